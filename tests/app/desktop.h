#pragma once

// A real X desktop for end-to-end runs: Xvfb on a display of its own, with a
// solid backdrop, and optionally openbox and the picom compositor; X clients
// run against it, screenshots read from it.

#include "child_process.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

// Polls `ready` every 50 ms until it holds or `limitMs` has passed.
template <typename Ready>
bool WaitUntil(Ready ready, int limitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return ready();
}

struct Rgb {
    std::uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};

struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;
    Rgb At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// The desktop's solid backdrop.
constexpr Rgb Backdrop = {0x20, 0x50, 0xa0};
constexpr int ScreenWidth = 1024;
constexpr int ScreenHeight = 768;

class Desktop {
  public:
    enum class Kind { Bare, WindowManager, Compositing };

    // Starts the server and what `kind` asks for in `folder`; "" or what
    // went wrong.
    std::string Start(const std::string& folder, Kind kind);
    void Stop();
    ~Desktop() { Stop(); }

    const std::string& Display() const { return display_; }

    // Runs a shell command as an X client of this desktop; its output.
    std::string Run(const std::string& command) const;

    // The id of the first window named exactly `name`, or "".
    std::string FindWindow(const std::string& name, bool visible = true) const;
    int CountWindows(const std::string& name) const;

    // The window's top-left corner on the screen, or {-99999, -99999}.
    std::pair<int, int> WindowPosition(const std::string& window) const;

    Screenshot Shoot() const;

  private:
    std::string folder_;
    std::string display_;
    std::vector<Child> clients_;
};

} // namespace e2e
