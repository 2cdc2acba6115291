// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <csignal>

// A stop asked for from outside the job (SIGINT or SIGTERM to the command-line publisher). The
// long steps (file copies, the encoder, the pages one after the other) look at it and end early,
// leaving no partial file behind.

// The signal that asked for the stop; 0 when none did.
int StopSignal() noexcept;
inline bool StopRequested() noexcept {
    return StopSignal() != 0;
}
// Readable once a stop has been asked for, so that an event loop can wait for it: -1 until
// CatchStopSignals. Emptying it is the reader's.
int StopWakeFd() noexcept;
// Forgets the stop: for a test that asked for one in a process that goes on.
void ClearStopRequest() noexcept;
// SIGINT and SIGTERM ask for a stop instead of ending the process; system calls they interrupt
// fail with EINTR so that a blocked read or wait notices.
void CatchStopSignals();

// Holds SIGINT and SIGTERM back on this thread while a step that must not be cut in the middle
// (a page save) runs; they are delivered when it ends.
class CStopSignalsHeld {
public:
    CStopSignalsHeld();
    ~CStopSignalsHeld();
    CStopSignalsHeld(const CStopSignalsHeld&) = delete;
    CStopSignalsHeld& operator=(const CStopSignalsHeld&) = delete;

private:
    sigset_t m_previous;
};
