// SIGTERM and SIGINT (the session ending, a Ctrl+C) close the program as its
// own close does, whatever it is doing: a box open, a window move under way.

#include "platform/state.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

namespace platform::detail {
namespace {

std::atomic<bool> signalled{false};
int wakeFd = -1;

// Only what a handler may do: a flag, and one write that wakes the wait on
// whichever thread the signal came to.
void OnEndSignal(int) {
    const int saved = errno;
    signalled.store(true);
    const std::uint64_t one = 1;
    (void)!write(wakeFd, &one, sizeof one);
    errno = saved;
}

static_assert(std::atomic<bool>::is_always_lock_free);

} // namespace

void CatchEndSignals() {
    wakeFd = WakeDescriptor();
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

bool TakeEndSignal() {
    return signalled.exchange(false);
}

// Every window is asked to close; before there is one, the loop ends as soon
// as it runs. Boxes and moves see the session end and give way.
void EndSession() {
    Platform& s = State();
    s.ending = true;
    bool closed = false;
    for (auto& w : s.windows)
        if (w.inUse) closed = PostMessageA(&w, WM_CLOSE, 0, 0) || closed;
    if (!closed) PostQuitMessage(0);
}

} // namespace platform::detail
