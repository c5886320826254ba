// Message boxes: a real box on a helper thread while the window's thread
// keeps dispatching, as the desktop's modal loop does.

#include "platform/state.h"
#include "platform/testing.h"

#include <atomic>
#include <cstddef>
#include <cstdio>
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

// Shows the box on the desktop; false if it could not be shown.
bool ShowOnDesktop(const ShownBox& box) {
    std::atomic<bool> finished{false};
    int result = -1;
    std::thread helper([&] {
        result = SDL_ShowSimpleMessageBox(SdlIcon(box.type), box.caption.c_str(), box.text.c_str(),
                                          nullptr);
        // SDL keeps a thread's error text until it is told the thread ends;
        // only its own threads tell it themselves.
        SDL_TLSCleanup();
        finished.store(true);
        WakeWaiters();
    });
    DispatchUntil([&] { return finished.load(); });
    helper.join();
    return result == 0;
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
        DispatchUntil([&] { return boxes.answers.load() > 0; });
        boxes.answers.fetch_sub(1);
    } else if (!HasDisplay() || !ShowOnDesktop(box)) {
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
