// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/StopRequest.h"

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");
// A pipe written on each stop, to wake an event loop; -1 until signals are caught.
std::atomic<int> g_wakeRead{-1};
std::atomic<int> g_wakeWrite{-1};

void OnStopSignal(int signal) {
    int none = 0;
    g_stopSignal.compare_exchange_strong(none, signal);
    const int wake = g_wakeWrite.load();
    if (wake >= 0) {
        const int saved = errno;
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake, &byte, 1);
        errno = saved;
    }
}

}  // namespace

int StopSignal() noexcept {
    return g_stopSignal.load();
}

int StopWakeFd() noexcept {
    return g_wakeRead.load();
}

void ClearStopRequest() noexcept {
    g_stopSignal.store(0);
    char bytes[16];
    const int wake = g_wakeRead.load();
    while (wake >= 0 && ::read(wake, bytes, sizeof bytes) > 0) {
    }
}

void CatchStopSignals() {
    int fds[2];
    if (g_wakeRead.load() < 0 && ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        g_wakeRead.store(fds[0]);
        g_wakeWrite.store(fds[1]);
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read of the terminal or a wait for the encoder returns with EINTR.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

CStopSignalsHeld::CStopSignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &held, &m_previous);
}

CStopSignalsHeld::~CStopSignalsHeld() {
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}
