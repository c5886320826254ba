// Message boxes: a real box on a helper thread while the window's thread
// keeps dispatching, as the desktop's modal loop does.

#include "platform/state.h"
#include "platform/testing.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

namespace {

using platform::testing::BoxObserver;
using platform::testing::ShownBox;
using namespace platform::detail;

struct Boxes {
    std::vector<ShownBox> shown;
    BoxObserver observer;
    std::atomic<int> answers{0};
    int open = 0;
};

Boxes& TheBoxes() {
    static Boxes boxes;
    return boxes;
}

// Runs the window's messages, ticks included, until `done` holds. Whoever
// makes it hold wakes the loop.
template <typename Done>
void DispatchUntil(Done done) {
    MSG message;
    while (!done())
        if (NextMessage(message, -1, false) == Wait::Message) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
}

Uint32 SdlIcon(UINT type) {
    switch (type & MB_ICONMASK) {
    case MB_ICONERROR:
        return SDL_MESSAGEBOX_ERROR;
    case MB_ICONEXCLAMATION:
        return SDL_MESSAGEBOX_WARNING;
    case MB_ICONINFORMATION:
        return SDL_MESSAGEBOX_INFORMATION;
    default:
        return 0;
    }
}

// What the box's helper thread and the window's thread share; the helper's
// own copy keeps it alive if the helper has to be left behind.
struct Helper {
    std::atomic<pid_t> thread{0};
    std::atomic<bool> finished{false};
    std::atomic<int> result{-1};
};

// SDL shows the box from a process it forks off the helper thread, and waits
// for it: ending that process ends the box. Looked for until the helper is
// done, as the box may be about to start.
void TakeDown(std::thread& thread, const Helper& helper) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!helper.finished.load() && std::chrono::steady_clock::now() < limit) {
        std::ifstream children("/proc/self/task/" + std::to_string(helper.thread.load()) +
                               "/children");
        for (pid_t child = 0; children >> child;)
            kill(child, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // A box shown in the process itself cannot be taken down; it goes with
    // the process, which is ending.
    if (helper.finished.load())
        thread.join();
    else
        thread.detach();
}

// Shows the box on the desktop; false if it could not be shown. When the
// session ends meanwhile, the box is taken down.
bool ShowOnDesktop(const ShownBox& box) {
    auto helper = std::make_shared<Helper>();
    std::thread thread([helper, box] {
        helper->thread.store(gettid());
        helper->result.store(SDL_ShowSimpleMessageBox(SdlIcon(box.type), box.caption.c_str(),
                                                      box.text.c_str(), nullptr));
        // SDL keeps a thread's error text until it is told the thread ends;
        // only its own threads tell it themselves.
        SDL_TLSCleanup();
        helper->finished.store(true);
        WakeWaiters();
    });
    DispatchUntil([&] { return helper->finished.load() || State().ending; });
    if (!helper->finished.load()) {
        TakeDown(thread, *helper);
        return true;
    }
    thread.join();
    return helper->result.load() == 0;
}

constexpr std::size_t ShownBoxLimit = 256;

} // namespace

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    EnsureStarted();
    Boxes& boxes = TheBoxes();
    const ShownBox box{text ? text : "", caption ? caption : "Error", type};
    // Only the latest boxes are kept: a program whose songs are all missing
    // reports one a tick for as long as it runs.
    if (boxes.shown.size() == ShownBoxLimit) boxes.shown.erase(boxes.shown.begin());
    boxes.shown.push_back(box);
    ++boxes.open;
    if (BoxObserver observer = boxes.observer) {
        observer(box);
        DispatchUntil([&] { return boxes.answers.load() > 0 || State().ending; });
        if (boxes.answers.load() > 0) boxes.answers.fetch_sub(1);
    } else if (!HasDisplay() || State().ending || !ShowOnDesktop(box)) {
        std::fprintf(stderr, "%s: %s\n", box.caption.c_str(), box.text.c_str());
    }
    --boxes.open;
    return IDOK;
}

namespace platform::testing {

const std::vector<ShownBox>& ShownBoxes() {
    return TheBoxes().shown;
}
void ClearShownBoxes() {
    TheBoxes().shown.clear();
}
void SetBoxObserver(BoxObserver observer) {
    TheBoxes().observer = std::move(observer);
}
int OpenBoxCount() {
    return TheBoxes().open;
}

void AnswerOpenBox() {
    TheBoxes().answers.fetch_add(1);
    WakeWaiters();
}

} // namespace platform::testing
