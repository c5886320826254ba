// The message queue: posted and sent messages, desktop events turned into
// window messages, the quit request and the coalesced timers.

#include "platform/state.h"

#include <deque>
#include <mutex>

namespace platform::detail {
namespace {

constexpr std::size_t kQueueLimit = 10000;
constexpr std::uintptr_t kTimerKeySlots = 64;
static_assert(kMaxTimers <= static_cast<int>(kTimerKeySlots));

struct Queue {
    std::mutex lock; // PostMessageA may come from another thread
    std::deque<MSG> messages;
};

Queue& TheQueue() {
    static Queue queue;
    return queue;
}

SDL_sem* WakeSemaphore() {
    static SDL_sem* semaphore = SDL_CreateSemaphore(0);
    return semaphore;
}

SDL_threadID MainThread() {
    static SDL_threadID id = SDL_ThreadID();
    return id;
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

// A tick is delivered, like the desktop's own, only when nothing else waits,
// and at most one is ever outstanding per timer.
bool TakeTimer(MSG& out, const Filter& filter) {
    for (auto& t : State().timers) {
        if (!t.inUse) continue;
        const std::uint32_t generation = t.generation.load();
        std::uint32_t pending = t.pending.load();
        if (pending != 0 && pending != generation) t.pending.compare_exchange_strong(pending, 0);
        if (pending != generation || generation == 0) continue;
        MSG m{t.window,       WM_TIMER,
              t.id,           reinterpret_cast<LPARAM>(t.callback),
              SDL_GetTicks(), {State().pointerX, State().pointerY}};
        if (!filter.Matches(m)) continue;
        t.pending.store(0);
        out = m;
        return true;
    }
    return false;
}

Uint32 TimerFired(Uint32, void* param) {
    const auto key = reinterpret_cast<std::uintptr_t>(param);
    Timer& t = State().timers[key % kTimerKeySlots];
    const auto generation = static_cast<std::uint32_t>(key / kTimerKeySlots);
    if (t.generation.load() != generation) return 0;
    std::uint32_t idle = 0;
    if (t.pending.compare_exchange_strong(idle, generation)) {
        SDL_Event event{};
        event.type = State().tickEvent;
        SDL_PushEvent(&event);
    }
    // Keep to the grid of the start time, so the rate does not drift by the
    // callback's own delay; a tick that is late by more than half a period
    // is not made up.
    const Uint64 period = t.period.load(), start = t.start.load(), now = SDL_GetTicks64();
    const Uint64 next = (now - start + period / 2) / period + 1;
    return static_cast<Uint32>(start + next * period - now);
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

// Window coordinates become client coordinates of a captioned window: the
// client area starts kCaptionHeight pixels below the top of the image.
LPARAM ClientPosition(int x, int y) {
    return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y - kCaptionHeight));
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
    Append(Message(w, WM_MOUSEMOVE, PointerFlags(s.buttons), ClientPosition(e.x, e.y)));
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
    Append(Message(w, message, PointerFlags(s.buttons), ClientPosition(e.x, e.y)));
}

void TranslateKey(const SDL_KeyboardEvent& e) {
    HWND w = EventWindow(e.windowID);
    const WPARAM key = VirtualKey(e.keysym.sym);
    if (!w || key == 0) return;
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
        MAKELPARAM(static_cast<WORD>(w->width), static_cast<WORD>(w->height - kCaptionHeight));
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
        w->x = e.data1, w->y = e.data2;
        break;
    case SDL_WINDOWEVENT_EXPOSED:
        if (w->mapped) SDL_UpdateWindowSurface(w->sdl);
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
    case SDL_QUIT: // a signal or the session ending: ask every window to close
        for (auto& w : s.windows)
            if (w.inUse) Append(Message(&w, WM_CLOSE, 0, 0));
        break;
    default:
        break;
    }
}

// X11 can block in SDL's own wait; the headless drivers have none (SDL
// would poll every millisecond), so there the layer sleeps on a semaphore
// that every pushed event raises.
bool SdlCanWait() {
    return State().videoDriver == "x11";
}

void WaitForEvent(int timeoutMs, bool& woke) {
    if (SdlCanWait()) {
        SDL_Event e;
        if (SDL_WaitEventTimeout(&e, timeoutMs)) Translate(e, woke);
        return;
    }
    SDL_SemWaitTimeout(WakeSemaphore(),
                       timeoutMs < 0 ? SDL_MUTEX_MAXWAIT : static_cast<Uint32>(timeoutMs));
}

Wait NextFiltered(MSG& message, int timeoutMs, bool honourQuit, const Filter& filter) {
    EnsureStarted();
    Platform& s = State();
    const Uint64 deadline = SDL_GetTicks64() + static_cast<Uint64>(timeoutMs < 0 ? 0 : timeoutMs);
    bool woke = false;
    for (;;) {
        SDL_Event e;
        while (SDL_PollEvent(&e))
            Translate(e, woke);
        if (TakeQueued(message, filter)) return Wait::Message;
        if (honourQuit && s.quitPending) return Wait::Quit;
        if (TakeTimer(message, filter)) return Wait::Message;
        if (woke) return Wait::Woken;
        int wait = -1;
        if (timeoutMs >= 0) {
            const Uint64 now = SDL_GetTicks64();
            if (now >= deadline) return Wait::Woken;
            wait = static_cast<int>(deadline - now);
        }
        WaitForEvent(wait, woke);
    }
}

} // namespace

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
    default:
        return 0;
    }
}

int OnPushedEvent(const SDL_Event& event) {
    // SDL_PollEvent pushes a sentinel of its own on every call: waking on it
    // would turn the wait into a busy loop.
    if (event.type != SDL_POLLSENTINEL && !SdlCanWait()) SDL_SemPost(WakeSemaphore());
    return 1;
}

Wait NextMessage(MSG& message, int timeoutMs, bool honourQuit) {
    return NextFiltered(message, timeoutMs, honourQuit, Filter{});
}

void WakeWaiters() {
    SDL_Event event{};
    event.type = State().wakeEvent;
    SDL_PushEvent(&event);
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

using namespace platform::detail;

BOOL GetMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax) {
    if (!message) return -1;
    MainThread();
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
    if (SDL_ThreadID() != MainThread()) WakeWaiters();
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
    if (slot) {
        SDL_RemoveTimer(slot->sdl);
    } else {
        for (auto& t : s.timers)
            if (!t.inUse) {
                slot = &t;
                break;
            }
        if (!slot) return 0;
        if (!window) id = s.nextThreadTimerId++;
    }
    const auto index = static_cast<std::uintptr_t>(slot - s.timers.data());
    const std::uint32_t generation = s.nextGeneration++;
    const Uint32 period = elapseMs < 10 ? 10 : elapseMs; // the desktop's own minimum
    slot->inUse = true;
    slot->window = window;
    slot->id = id;
    slot->callback = callback;
    slot->pending.store(0);
    slot->period.store(period);
    slot->start.store(SDL_GetTicks64());
    slot->generation.store(generation);
    void* key = reinterpret_cast<void*>(generation * kTimerKeySlots + index);
    slot->sdl = SDL_AddTimer(period, TimerFired, key);
    if (slot->sdl == 0) {
        slot->inUse = false;
        slot->generation.store(0);
        return 0;
    }
    return window && id != 0 ? id : (window ? 1 : id);
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    for (auto& t : State().timers) {
        if (!t.inUse || t.window != window || t.id != id) continue;
        SDL_RemoveTimer(t.sdl);
        t.generation.store(0);
        t.pending.store(0);
        t.inUse = false;
        return TRUE;
    }
    return FALSE;
}
