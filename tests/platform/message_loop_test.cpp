// The window, its messages and the loop, under SDL's dummy video driver.

#include "platform/descriptor_watch.h"
#include "window_test_support.h"

#include <cstring>

#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace platform_test;

namespace {

constexpr UINT kFirst = WM_USER + 1;
constexpr UINT kSecond = WM_USER + 2;
constexpr UINT kThird = WM_USER + 3;

LRESULT CreateProbe(HWND w, UINT message, WPARAM, LPARAM lParam) {
    Recorder& r = Record();
    r.seen.push_back({w, message, 0, lParam, 1});
    if (message == WM_CREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        // A create request whose title says "refuse" is turned down.
        if (std::strcmp(create->lpszName, "refuse") == 0) return -1;
    }
    return DefWindowProcA(w, message, 0, lParam);
}

TEST(WindowLifecycle, CreateDeliversWmCreateBeforeReturningAndClassesFollowTheirWindows) {
    Record() = Recorder{};
    WNDCLASSA c{};
    c.lpfnWndProc = CreateProbe;
    c.hInstance = GetModuleHandleA(nullptr);
    c.lpszClassName = "ZilDisc";
    ASSERT_NE(RegisterClassA(&c), 0);
    EXPECT_EQ(RegisterClassA(&c), 0) << "a class name is registered once";

    HWND w = CreateWindowExA(WS_EX_LAYERED | WS_EX_APPWINDOW, "ZilDisc", "z!l tonebox",
                             WS_OVERLAPPEDWINDOW | WS_VISIBLE, 326, 259, 372, 250, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(Record().seen.size(), 1u);
    EXPECT_EQ(Record().seen[0].message, WM_CREATE);
    EXPECT_EQ(Record().seen[0].window, w);
    RECT rect;
    ASSERT_TRUE(GetWindowRect(w, &rect));
    EXPECT_EQ(rect.left, 326);
    EXPECT_EQ(rect.top, 259);
    EXPECT_EQ(rect.right - rect.left, 372);
    EXPECT_EQ(rect.bottom - rect.top, 250);

    EXPECT_EQ(UnregisterClassA("ZilDisc", GetModuleHandleA(nullptr)), FALSE)
        << "a class with a window left cannot go";
    EXPECT_EQ(
        CreateWindowExA(0, "NoSuchClass", "x", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(CreateWindowExA(0, "ZilDisc", "refuse", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                              nullptr),
              nullptr)
        << "WM_CREATE returning -1 refuses the window";

    // The program's shutdown: release the context, destroy, unregister.
    Record().seen.clear();
    EXPECT_EQ(ReleaseDC(w, GetDC(w)), 1);
    EXPECT_EQ(DestroyWindow(w), TRUE);
    ASSERT_EQ(Record().seen.size(), 1u);
    EXPECT_EQ(Record().seen[0].message, WM_DESTROY);
    EXPECT_EQ(DestroyWindow(w), FALSE) << "a window is destroyed once";
    EXPECT_EQ(ReleaseDC(w, GetDC(w)), 0);
    EXPECT_EQ(UnregisterClassA("ZilDisc", GetModuleHandleA(nullptr)), TRUE);
    EXPECT_EQ(UnregisterClassA("ZilDisc", GetModuleHandleA(nullptr)), FALSE);
}

TEST(WindowLifecycle, ScreenSizeAndMetricsCentreTheWindow) {
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    SDL_DisplayMode mode;
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &mode), 0);
    EXPECT_EQ(GetDeviceCaps(screen, HORZRES), mode.w);
    EXPECT_EQ(GetDeviceCaps(screen, VERTRES), mode.h);
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION), 23);
    EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), "icon2.ico"), nullptr)
        << "the program carries no icon of that name";
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
}

// Without a reachable display SDL would fall back to an invisible window; the
// layer refuses the window instead, with a message.
TEST(WindowLifecycle, NoReachableDisplayMeansNoWindow) {
    EXPECT_EXIT(
        {
            unsetenv("SDL_VIDEODRIVER");
            setenv("DISPLAY", ":9999", 1);
            WNDCLASSA c{};
            c.lpfnWndProc = DefWindowProcA;
            c.lpszClassName = "NoDisplay";
            RegisterClassA(&c);
            HWND w = CreateWindowExA(0, "NoDisplay", "x", WS_VISIBLE, 0, 0, 372, 250, nullptr,
                                     nullptr, nullptr, nullptr);
            std::exit(w == nullptr ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        "no display to open a window on \\(DISPLAY is unreachable\\)");
}

TEST(ProcessEnd, ExitProcessEndsWithTheGivenStatus) {
    EXPECT_EXIT(ExitProcess(0), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(ExitProcess(7), ::testing::ExitedWithCode(7), "");
}

class MessageQueue : public WindowTest {};

TEST_F(MessageQueue, PostedMessagesComeInOrderAndQuitComesLastWithItsCode) {
    EXPECT_TRUE(PostMessageA(window, kFirst, 1, 10));
    EXPECT_TRUE(PostMessageA(window, kSecond, 2, 20));
    PostQuitMessage(5);
    EXPECT_TRUE(PostMessageA(window, kThird, 3, 30));
    auto got = Pump(3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].message, kFirst);
    EXPECT_EQ(got[0].wParam, 1u);
    EXPECT_EQ(got[0].lParam, 10);
    EXPECT_EQ(got[1].message, kSecond);
    EXPECT_EQ(got[2].message, kThird);
    EXPECT_EQ(Messages(Record().seen), (std::vector<UINT>{kFirst, kSecond, kThird}));
    MSG m;
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), FALSE);
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 5u);
    EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(&m), kFirst, 0, 0))
        << "no message for what is not a window";
}

TEST_F(MessageQueue, SendCallsTheProcedureAtOnceAndReentrantly) {
    Record().handler = [](HWND w, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
        if (message == kFirst) return SendMessageA(w, kSecond, wParam + 1, 0) + 100;
        if (message == kSecond) return static_cast<LRESULT>(wParam) * 2;
        return 0;
    };
    PostMessageA(window, kThird, 0, 0);
    EXPECT_EQ(SendMessageA(window, kFirst, 4, 0), 110);
    ASSERT_EQ(Record().seen.size(), 2u) << "the posted message waits for the loop";
    EXPECT_EQ(Record().seen[0].message, kFirst);
    EXPECT_EQ(Record().seen[1].message, kSecond);
    EXPECT_EQ(Record().seen[1].depth, 2) << "the sent message ran inside the first";
    Pump(1);
    EXPECT_EQ(Record().seen.back().message, kThird);
}

TEST_F(MessageQueue, CloseFromTheDesktopDefaultsToDestroyingTheWindow) {
    PushWindowEvent(SDL_WINDOWEVENT_CLOSE);
    auto got = Pump(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, WM_CLOSE);
    EXPECT_EQ(got[0].hwnd, window);
    // Nothing handled WM_CLOSE: the default destroys the window.
    EXPECT_EQ(Messages(Record().seen), (std::vector<UINT>{WM_CLOSE, WM_DESTROY}));
    RECT rect;
    EXPECT_FALSE(GetWindowRect(window, &rect));
    window = nullptr;
}

TEST_F(MessageQueue, SignalQuitAndFocusArriveAsCloseAndActivate) {
    Record().handler = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; };
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    auto got = Pump(3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].message, WM_ACTIVATE);
    EXPECT_EQ(got[0].wParam, WA_ACTIVE);
    EXPECT_EQ(got[1].message, WM_ACTIVATE);
    EXPECT_EQ(got[1].wParam, WA_INACTIVE);
    EXPECT_EQ(got[2].message, WM_CLOSE);
}

TEST_F(MessageQueue, QuitRequestWaitsForPostedMessagesAndFiltersSelect) {
    PostMessageA(window, kFirst, 0, 0);
    PostMessageA(window, kSecond, 0, 0);
    MSG m;
    ASSERT_TRUE(GetMessageA(&m, nullptr, kSecond, kSecond));
    EXPECT_EQ(m.message, kSecond) << "a range filter skips what lies outside";
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, kFirst);
}

// A watched pipe is served in the wait when a byte comes, and by its own
// timeout when none does; a box its service opens keeps the messages going
// but never serves it again from inside.
TEST_F(MessageQueue, AWatchedDescriptorIsServedInTheWaitAndNeverFromWithinItself) {
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_NONBLOCK), 0);
    struct PipeWatch final : platform::DescriptorWatch {
        int fd = -1, timeoutMs = -1, served = 0, depth = 0, deepest = 0;
        Interest Prepare() override { return {fd, POLLIN, timeoutMs}; }
        void Dispatch() override {
            ++served;
            deepest = std::max(deepest, ++depth);
            MSG m; // as a box's loop would, with the byte still unread
            platform::detail::NextMessage(m, 30, false);
            char byte;
            (void)!read(fd, &byte, 1);
            --depth;
        }
    } watch;
    watch.fd = ends[0];
    platform::WatchDescriptor(&watch);
    MSG m;
    (void)!write(ends[1], "x", 1);
    platform::detail::NextMessage(m, 100, false);
    EXPECT_EQ(watch.served, 1);
    EXPECT_EQ(watch.deepest, 1);
    watch.timeoutMs = 10;
    platform::detail::NextMessage(m, 60, false);
    EXPECT_GE(watch.served, 2) << "its own timeout";
    platform::WatchDescriptor(nullptr);
    close(ends[0]);
    close(ends[1]);
}

} // namespace
