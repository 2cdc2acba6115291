// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/StopRequest.h"

#include <atomic>

#include <pthread.h>

namespace {

std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");

void OnStopSignal(int signal) {
    int none = 0;
    g_stopSignal.compare_exchange_strong(none, signal);
}

}  // namespace

void RequestStop(int signal) noexcept {
    OnStopSignal(signal);
}

int StopSignal() noexcept {
    return g_stopSignal.load();
}

void ClearStopRequest() noexcept {
    g_stopSignal.store(0);
}

void CatchStopSignals() {
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
