// The one extra descriptor the message wait watches for the program.

#include "platform/descriptor_watch.h"
#include "platform/state.h"

namespace platform {
namespace {

struct Watched {
    DescriptorWatch* watch = nullptr;
    bool serving = false; // its Dispatch runs: nested waits leave it alone
    Uint64 due = 0;       // when its timeout ends; 0 without one
};

Watched& TheWatched() {
    static Watched watched;
    return watched;
}

} // namespace

void WatchDescriptor(DescriptorWatch* watch) {
    TheWatched() = Watched{watch, false, 0};
}

} // namespace platform

namespace platform::detail {

pollfd PrepareWatch(int& timeoutMs) {
    Watched& w = TheWatched();
    if (!w.watch || w.serving) return pollfd{-1, 0, 0};
    const DescriptorWatch::Interest interest = w.watch->Prepare();
    w.due = interest.timeoutMs < 0 ? 0 : SDL_GetTicks64() + static_cast<Uint64>(interest.timeoutMs);
    if (interest.timeoutMs >= 0 && (timeoutMs < 0 || interest.timeoutMs < timeoutMs))
        timeoutMs = interest.timeoutMs;
    return pollfd{interest.descriptor, interest.events, 0};
}

bool ServeWatch(const pollfd& entry) {
    Watched& w = TheWatched();
    if (!w.watch || w.serving) return false;
    const bool ready = entry.fd >= 0 && entry.revents != 0;
    if (!ready && (w.due == 0 || SDL_GetTicks64() < w.due)) return false;
    DescriptorWatch* const watch = w.watch;
    w.serving = true;
    watch->Dispatch();
    // The watch may have been replaced or stopped meanwhile.
    if (TheWatched().watch == watch) TheWatched().serving = false;
    return true;
}

} // namespace platform::detail
