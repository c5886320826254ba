// The message queue: posted and sent messages, desktop events turned into
// window messages, the quit request and the coalesced timers.

#include "platform/present.h"
#include "platform/state.h"
#include "platform/testing.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <deque>
#include <mutex>

namespace platform::detail {
namespace {

constexpr std::size_t kQueueLimit = 10000;

struct Queue {
    std::mutex lock; // PostMessageA may come from another thread
    std::deque<MSG> messages;
};

Queue& TheQueue() {
    static Queue queue;
    return queue;
}

bool Append(const MSG& message) {
    Queue& q = TheQueue();
    std::lock_guard guard(q.lock);
    if (q.messages.size() >= kQueueLimit) return false;
    q.messages.push_back(message);
    return true;
}

struct Filter {
    HWND window = nullptr;
    UINT min = 0;
    UINT max = 0;
    bool Matches(const MSG& m) const {
        if (window && m.hwnd != window) return false;
        return (min == 0 && max == 0) || (m.message >= min && m.message <= max);
    }
};

bool TakeQueued(MSG& out, const Filter& filter) {
    Queue& q = TheQueue();
    std::lock_guard guard(q.lock);
    for (auto it = q.messages.begin(); it != q.messages.end(); ++it)
        if (filter.Matches(*it)) {
            out = *it;
            q.messages.erase(it);
            return true;
        }
    return false;
}

// The grid point after the tick taken at `now`: ticks keep to the grid of
// the start time, so the rate does not drift by the loop's own delays, and a
// tick late by more than half a period counts as the next one: the one it
// stands for is skipped, not made up.
Uint64 NextDue(const Timer& t, Uint64 now) {
    const Uint64 nearest = (now - t.start + t.period / 2) / t.period;
    return t.start + (nearest + 1) * t.period;
}

// A tick is made, like the desktop's own, only when nothing else waits, and
// a timer has at most one: however long the loop was away, a due timer
// gives one tick.
bool TakeTimer(MSG& out, const Filter& filter) {
    const Uint64 now = Now();
    for (auto& t : State().timers) {
        if (!t.inUse || now < t.due) continue;
        MSG m{t.window,       WM_TIMER,
              t.id,           reinterpret_cast<LPARAM>(t.callback),
              SDL_GetTicks(), {State().pointerX, State().pointerY}};
        if (!filter.Matches(m)) continue;
        t.due = NextDue(t, now);
        out = m;
        return true;
    }
    return false;
}

// Milliseconds until the earliest timer is due (0 if one is), -1 without timers.
int UntilNextTimer() {
    const Uint64 now = Now();
    int wait = -1;
    for (const auto& t : State().timers) {
        if (!t.inUse) continue;
        const Uint64 left = std::min<Uint64>(t.due > now ? t.due - now : 0, INT_MAX);
        if (wait < 0 || left < static_cast<Uint64>(wait)) wait = static_cast<int>(left);
    }
    return wait;
}

WPARAM PointerFlags(Uint32 buttons) {
    WPARAM flags = 0;
    if (buttons & SDL_BUTTON_LMASK) flags |= MK_LBUTTON;
    if (buttons & SDL_BUTTON_RMASK) flags |= MK_RBUTTON;
    if (buttons & SDL_BUTTON_MMASK) flags |= MK_MBUTTON;
    const SDL_Keymod mods = SDL_GetModState();
    if (mods & KMOD_SHIFT) flags |= MK_SHIFT;
    if (mods & KMOD_CTRL) flags |= MK_CONTROL;
    return flags;
}

HWND EventWindow(Uint32 sdlId) {
    if (HWND w = WindowFromSdlId(sdlId)) return w;
    return sdlId == 0 ? AnyWindow() : nullptr;
}

// Window coordinates become client coordinates of a captioned window with a
// sizing frame: first the program's own pixels (the window is shown `scale`
// times larger; rounded down), then the client area's, which lies inside
// the frame and below the caption, kFrameWidth pixels in from the image's
// left edge and kFrameWidth + kCaptionHeight down from its top.
LPARAM ClientPosition(const HWND__& w, int x, int y) {
    const auto unscaled = [&](int v) {
        return v >= 0 ? v / w.scale : -((w.scale - 1 - v) / w.scale);
    };
    return MAKELPARAM(static_cast<WORD>(unscaled(x) - kFrameWidth),
                      static_cast<WORD>(unscaled(y) - kCaptionHeight - kFrameWidth));
}

MSG Message(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    return MSG{w, message, wParam, lParam, SDL_GetTicks(), {State().pointerX, State().pointerY}};
}

void TranslateMotion(const SDL_MouseMotionEvent& e) {
    HWND w = EventWindow(e.windowID);
    Platform& s = State();
    s.buttons = e.state;
    if (!w) return;
    s.pointerX = w->x + e.x, s.pointerY = w->y + e.y;
    Append(Message(w, WM_MOUSEMOVE, PointerFlags(s.buttons), ClientPosition(*w, e.x, e.y)));
}

void TranslateButton(const SDL_MouseButtonEvent& e) {
    Platform& s = State();
    const bool down = e.type == SDL_MOUSEBUTTONDOWN;
    const Uint32 mask = SDL_BUTTON(e.button);
    s.buttons = down ? (s.buttons | mask) : (s.buttons & ~mask);
    HWND w = EventWindow(e.windowID);
    if (!w) return;
    s.pointerX = w->x + e.x, s.pointerY = w->y + e.y;
    if (e.button == SDL_BUTTON_LEFT && down) s.pressWindow = w, s.pressX = e.x, s.pressY = e.y;
    UINT message = 0;
    switch (e.button) {
    case SDL_BUTTON_LEFT:
        message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
        break;
    case SDL_BUTTON_RIGHT:
        message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
        break;
    case SDL_BUTTON_MIDDLE:
        message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
        break;
    default:
        return;
    }
    Append(Message(w, message, PointerFlags(s.buttons), ClientPosition(*w, e.x, e.y)));
}

void TranslateKey(const SDL_KeyboardEvent& e) {
    HWND w = EventWindow(e.windowID);
    const WPARAM key = VirtualKey(e.keysym.sym);
    if (!w || TakeScaleKey(w, e) || key == 0) return;
    // Repeat count 1, the scan code, bit 30 the previous state, bit 31 the transition.
    DWORD flags = 1 | (static_cast<DWORD>(e.keysym.scancode & 0xFF) << 16);
    if (e.type == SDL_KEYUP)
        flags |= 0xC0000000u;
    else if (e.repeat)
        flags |= 0x40000000u;
    Append(
        Message(w, e.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, key, static_cast<LPARAM>(flags)));
}

void TranslateWindowEvent(const SDL_WindowEvent& e) {
    HWND w = WindowFromSdlId(e.windowID);
    if (!w) return;
    const LPARAM clientSize =
        MAKELPARAM(static_cast<WORD>(w->width - 2 * kFrameWidth),
                   static_cast<WORD>(w->height - kCaptionHeight - 2 * kFrameWidth));
    switch (e.event) {
    case SDL_WINDOWEVENT_CLOSE:
        Append(Message(w, WM_CLOSE, 0, 0));
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        ReleaseLostButton(w->sdl);
        Append(Message(w, WM_ACTIVATE, WA_ACTIVE, 0));
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        Append(Message(w, WM_ACTIVATE, WA_INACTIVE, 0));
        break;
    case SDL_WINDOWEVENT_MINIMIZED:
        Append(Message(w, WM_SIZE, SIZE_MINIMIZED, 0));
        break;
    case SDL_WINDOWEVENT_ENTER:
        ReleaseLostButton(w->sdl);
        break;
    case SDL_WINDOWEVENT_RESTORED:
        ReleaseLostButton(w->sdl);
        Append(Message(w, WM_SIZE, SIZE_RESTORED, clientSize));
        break;
    case SDL_WINDOWEVENT_MOVED:
        if (TakeReportedPlace(*w, e.data1, e.data2)) w->x = e.data1, w->y = e.data2;
        break;
    case SDL_WINDOWEVENT_EXPOSED:
        platform::ShowImageAgain(w);
        break;
    default:
        break;
    }
}

void Translate(const SDL_Event& e, bool& woke) {
    Platform& s = State();
    if (e.type == s.wakeEvent) {
        woke = true;
        return;
    }
    switch (e.type) {
    case SDL_MOUSEMOTION:
        TranslateMotion(e.motion);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        TranslateButton(e.button);
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        TranslateKey(e.key);
        break;
    case SDL_WINDOWEVENT:
        TranslateWindowEvent(e.window);
        break;
    case SDL_QUIT: // the session ending: ask every window to close
        for (auto& w : s.windows)
            if (w.inUse) Append(Message(&w, WM_CLOSE, 0, 0));
        break;
    default:
        break;
    }
}

// SDL's pump turns a signal that came while the loop was busy into its quit
// event, and its X11 driver does work of its own there (a focus change it
// holds back, the screen saver kept off), so it runs now and then although
// nothing arrived: on a desktop every so often, where it costs reads of the
// connection; headless after every wait, where it costs nothing.
constexpr Uint64 kPumpEveryMs = 250;
Uint64 lastPump = 0;

bool PumpDue() {
    return DesktopConnection() < 0 || SDL_GetTicks64() - lastPump >= kPumpEveryMs;
}

// The wait's own wake-up: raised for every event another thread pushes.
int WakeFd() {
    static const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd;
}

void RaiseWake() {
    const std::uint64_t one = 1;
    (void)!write(WakeFd(), &one, sizeof one);
}

// Sleeps until the desktop sends something, another thread pushes an event,
// a signal comes, the program's own descriptor is served, or `timeoutMs`
// (-1: no limit) passes. No SDL wait: on X11 it would pump several times a
// wake, and the headless drivers would make it poll every millisecond. True
// when events may have come.
bool WaitForDesktop(int timeoutMs) {
    if (DesktopEventsUnread()) return true;
    const pollfd watched = PrepareWatch(timeoutMs); // poll passes over a negative descriptor
    pollfd fds[3] = {{WakeFd(), POLLIN, 0}, {DesktopConnection(), POLLIN, 0}, watched};
    const int ready = poll(fds, 3, timeoutMs);
    std::uint64_t count = 0;
    if (ready > 0 && (fds[0].revents & POLLIN)) (void)!read(fds[0].fd, &count, sizeof count);
    const bool served = ServeWatch(fds[2]);
    // Something to read, a signal (whose quit event the pump makes), or what
    // the watch did.
    return ready != 0 || served;
}

// Desktop events SDL has queued become messages; none is waited for.
void TranslateQueued(bool& woke) {
    SDL_Event events[16];
    int count = 0;
    while ((count = SDL_PeepEvents(events, 16, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT)) > 0)
        for (int i = 0; i < count; ++i)
            Translate(events[i], woke);
}

// Posted messages first, then desktop input, then the quit request, then a
// tick; with `timeoutMs` not negative, Woken once it has passed.
Wait NextFiltered(MSG& message, int timeoutMs, bool honourQuit, const Filter& filter) {
    EnsureStarted();
    Platform& s = State();
    const Uint64 deadline = SDL_GetTicks64() + static_cast<Uint64>(timeoutMs < 0 ? 0 : timeoutMs);
    bool woke = false;
    for (;;) {
        if (TakeEndSignal()) EndSession();
        TranslateQueued(woke);
        if (TakeQueued(message, filter)) return Wait::Message;
        if (honourQuit && s.quitPending) return Wait::Quit;
        // One wait, until the next event or the earliest due timer; none
        // when a tick or a wake-up is ready, only a look for desktop input
        // that would go before it.
        int wait = woke ? 0 : UntilNextTimer();
        if (timeoutMs >= 0) {
            const Uint64 now = SDL_GetTicks64();
            const int left = now >= deadline ? 0 : static_cast<int>(deadline - now);
            wait = wait < 0 ? left : std::min(wait, left);
        }
        // On a desktop the pump runs after a tick's wake once it is due; only
        // a longer wait is cut short for it.
        if (DesktopConnection() >= 0 && (wait < 0 || wait > static_cast<int>(kPumpEveryMs)))
            wait = static_cast<int>(kPumpEveryMs);
        const bool arrived = WaitForDesktop(wait);
        if (arrived || PumpDue()) {
            SDL_PumpEvents();
            lastPump = SDL_GetTicks64();
            if (arrived || SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) continue;
        }
        if (TakeTimer(message, filter)) return Wait::Message;
        if (woke || (timeoutMs >= 0 && SDL_GetTicks64() >= deadline)) return Wait::Woken;
    }
}

} // namespace

namespace {
platform::testing::Clock testClock = nullptr;
} // namespace

Uint64 Now() {
    return testClock ? testClock() : SDL_GetTicks64();
}

WPARAM VirtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return static_cast<WPARAM>('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9) return static_cast<WPARAM>('0' + (key - SDLK_0));
    if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + static_cast<WPARAM>(key - SDLK_F1);
    switch (key) {
    case SDLK_ESCAPE:
        return VK_ESCAPE;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return VK_RETURN;
    case SDLK_SPACE:
        return VK_SPACE;
    case SDLK_TAB:
        return VK_TAB;
    case SDLK_BACKSPACE:
        return VK_BACK;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
        return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
        return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT:
        return VK_MENU;
    case SDLK_PAUSE:
        return VK_PAUSE;
    case SDLK_PAGEUP:
        return VK_PRIOR;
    case SDLK_PAGEDOWN:
        return VK_NEXT;
    case SDLK_END:
        return VK_END;
    case SDLK_HOME:
        return VK_HOME;
    case SDLK_LEFT:
        return VK_LEFT;
    case SDLK_UP:
        return VK_UP;
    case SDLK_RIGHT:
        return VK_RIGHT;
    case SDLK_DOWN:
        return VK_DOWN;
    case SDLK_INSERT:
        return VK_INSERT;
    case SDLK_DELETE:
        return VK_DELETE;
    case SDLK_AUDIOPLAY:
        return VK_MEDIA_PLAY_PAUSE;
    case SDLK_AUDIOSTOP:
        return VK_MEDIA_STOP;
    case SDLK_AUDIONEXT:
        return VK_MEDIA_NEXT_TRACK;
    case SDLK_AUDIOPREV:
        return VK_MEDIA_PREV_TRACK;
    default:
        return 0;
    }
}

int OnPushedEvent(const SDL_Event& event) {
    // The loop's own thread looks at SDL's queue before it waits; SDL's poll
    // sentinel would turn the wait into a busy loop; a wake-up raises the
    // wait itself, once it is queued.
    const bool wake = event.type == State().wakeEvent;
    if (event.type != SDL_POLLSENTINEL && !wake && SDL_ThreadID() != State().loopThread)
        RaiseWake();
    return 1;
}

int WakeDescriptor() {
    return WakeFd();
}

Wait NextMessage(MSG& message, int timeoutMs, bool honourQuit) {
    return NextFiltered(message, timeoutMs, honourQuit, Filter{});
}

void WakeWaiters() {
    SDL_Event event{};
    event.type = State().wakeEvent;
    SDL_PushEvent(&event);
    // Raised here, not by SDL's watch of pushed events: SDL calls its
    // watchers before it queues the event, and a loop woken then would find
    // nothing and sleep on with the event unseen.
    if (SDL_ThreadID() != State().loopThread) RaiseWake();
}

void RequeueFront(const MSG& message) {
    Queue& q = TheQueue();
    std::lock_guard guard(q.lock);
    q.messages.push_front(message);
}

void ForgetWindowMessages(HWND window) {
    Queue& q = TheQueue();
    std::lock_guard guard(q.lock);
    std::erase_if(q.messages, [window](const MSG& m) { return m.hwnd == window; });
}

void KillWindowTimers(HWND window) {
    for (auto& t : State().timers)
        if (t.inUse && t.window == window) KillTimer(window, t.id);
}

} // namespace platform::detail

namespace platform::testing {

void SetClock(Clock clock) {
    platform::detail::testClock = clock;
}

} // namespace platform::testing

using namespace platform::detail;

BOOL GetMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax) {
    if (!message) return -1;
    for (;;) {
        switch (NextFiltered(*message, -1, true, Filter{window, filterMin, filterMax})) {
        case Wait::Message:
            return TRUE;
        case Wait::Quit:
            State().quitPending = false;
            *message = MSG{nullptr, WM_QUIT,        static_cast<WPARAM>(State().quitCode),
                           0,       SDL_GetTicks(), {State().pointerX, State().pointerY}};
            return FALSE;
        case Wait::Woken:
            break;
        }
    }
}

BOOL TranslateMessage(const MSG* message) {
    return message && (message->message == WM_KEYDOWN || message->message == WM_KEYUP);
}

LRESULT DispatchMessageA(const MSG* message) {
    if (!message) return 0;
    if (message->message == WM_TIMER && message->lParam != 0) {
        auto callback = reinterpret_cast<TIMERPROC>(message->lParam);
        callback(message->hwnd, WM_TIMER, message->wParam, message->time);
        return 0;
    }
    HWND w = FindWindow(message->hwnd);
    return w ? w->proc(w, message->message, message->wParam, message->lParam) : 0;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window && !FindWindow(window)) return FALSE;
    if (!Append(MSG{window, message, wParam, lParam, SDL_GetTicks(), {}})) return FALSE;
    if (SDL_ThreadID() != State().loopThread) RaiseWake();
    return TRUE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND w = FindWindow(window);
    return w ? w->proc(w, message, wParam, lParam) : 0;
}

void PostQuitMessage(int exitCode) {
    State().quitPending = true;
    State().quitCode = exitCode;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC callback) {
    EnsureStarted();
    if (window && !FindWindow(window)) return 0;
    Platform& s = State();
    Timer* slot = nullptr;
    for (auto& t : s.timers)
        if (t.inUse && t.window == window && t.id == id) slot = &t;
    if (!slot) {
        for (auto& t : s.timers)
            if (!t.inUse) {
                slot = &t;
                break;
            }
        if (!slot) return 0;
        if (!window) id = s.nextThreadTimerId++;
    }
    // Setting a timer again starts its grid afresh.
    const Uint64 period = elapseMs < 10 ? 10 : elapseMs; // the desktop's own minimum
    *slot = Timer{true, window, id, callback, Now(), period, 0};
    slot->due = slot->start + period;
    return window && id != 0 ? id : (window ? 1 : id);
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    for (auto& t : State().timers) {
        if (!t.inUse || t.window != window || t.id != id) continue;
        t = Timer{};
        return TRUE;
    }
    return FALSE;
}
