#pragma once

// A window whose procedure records every message, for driving the platform
// layer through real messages under SDL's dummy video driver.

#include "deadline.h"
#include "platform/state.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

namespace platform_test {

struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    int depth; // how many calls of the procedure were running, this one included
};

struct Recorder {
    std::vector<Seen> seen;
    int depth = 0;
    // Runs inside the procedure for every message; its result is returned
    // when set, else DefWindowProcA's.
    std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler;
};

inline Recorder& Record() {
    static Recorder recorder;
    return recorder;
}

inline LRESULT RecordingProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    Recorder& r = Record();
    ++r.depth;
    r.seen.push_back({w, message, wParam, lParam, r.depth});
    LRESULT result = 0;
    bool handled = false;
    if (r.handler) {
        handled = true;
        result = r.handler(w, message, wParam, lParam);
    }
    if (!handled) result = DefWindowProcA(w, message, wParam, lParam);
    --r.depth;
    return result;
}

inline std::vector<UINT> Messages(const std::vector<Seen>& seen) {
    std::vector<UINT> out;
    for (const auto& s : seen)
        out.push_back(s.message);
    return out;
}

// A registered class and one window of it, torn down after each test. The
// test's loop, box or move must be over within a few seconds.
class WindowTest : public ::testing::Test {
  protected:
    static constexpr const char* kClass = "PlatformTest";

    void SetUp() override {
        Record() = Recorder{};
        WNDCLASSA c{};
        c.lpfnWndProc = RecordingProc;
        c.hInstance = GetModuleHandleA(nullptr);
        c.lpszClassName = kClass;
        ASSERT_NE(RegisterClassA(&c), 0);
        window = CreateWindowExA(WS_EX_LAYERED, kClass, "test", WS_VISIBLE, 40, 30, 372, 250,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        Record().seen.clear();
    }

    void TearDown() override {
        Record().handler = nullptr;
        if (window) DestroyWindow(window);
        UnregisterClassA(kClass, GetModuleHandleA(nullptr));
        // Drain what is left so the next test starts with an empty queue.
        PostQuitMessage(0);
        MSG m;
        while (GetMessageA(&m, nullptr, 0, 0)) {
        }
    }

    // Fetches and dispatches until `count` messages have been fetched.
    std::vector<MSG> Pump(int count) {
        std::vector<MSG> got;
        MSG m;
        while (static_cast<int>(got.size()) < count && GetMessageA(&m, nullptr, 0, 0)) {
            got.push_back(m);
            DispatchMessageA(&m);
        }
        return got;
    }

    Uint32 SdlId() const { return window->sdlId; }

    // The desktop's word about the window, as SDL brings it.
    void PushWindowEvent(SDL_WindowEventID event) const {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = SdlId();
        e.window.event = static_cast<Uint8>(event);
        SDL_PushEvent(&e);
    }

    testsupport::Deadline deadline{std::chrono::seconds(5)};
    HWND window = nullptr;
};

} // namespace platform_test
