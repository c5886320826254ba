#pragma once

// One more descriptor for the message wait to watch beside the desktop's,
// with a timeout of its own: a connection the program serves on the
// window's thread, between its messages, such as the session bus.

namespace platform {

class DescriptorWatch {
  public:
    struct Interest {
        int descriptor; // -1: nothing to watch now
        short events;   // as poll(2) takes them
        int timeoutMs;  // how soon to be served even if nothing comes; -1: no limit
    };

    // Asked before every wait of the window's thread.
    virtual Interest Prepare() = 0;
    // After a wait in which the descriptor became ready or the timeout
    // passed, on the window's thread. A box it opens keeps the messages
    // going, but this watch is not served again until it returns.
    virtual void Dispatch() = 0;

  protected:
    ~DescriptorWatch() = default;
};

// Watches `watch` from the next wait on, in place of any before it; nullptr
// stops watching. The watch must outlive its watching.
void WatchDescriptor(DescriptorWatch* watch);

} // namespace platform
