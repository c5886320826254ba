#include "app/shell.h"

#include "audiolib/bass.h"
#include "desktop/media_controls.h"
#include "playback/player.h"

ShellState Shell = {nullptr, nullptr, false};
std::int32_t CaptionHeight = 0;

namespace {

constexpr UINT ClassStyle = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
constexpr DWORD WindowExStyle = WS_EX_LAYERED | WS_EX_APPWINDOW;
constexpr DWORD WindowStyle = WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr DWORD LibraryVersion = 0x0203;
constexpr DWORD OutputRate = 44100;

void ShowStartUpFailure(const char* text, const char* caption, UINT icon) {
    MessageBoxA(nullptr, text, caption, MB_OK | icon);
}

// The window exists and its timer runs, but no song will ever play: stop the
// timer so the box is all the user sees (the window shows nothing until a tick
// has composed a frame, and ticks do no work before the library has started).
void ShowLibraryFailure(const char* text) {
    KillTimer(Shell.window, TickTimerId);
    ShowStartUpFailure(text, nullptr, MB_ICONERROR);
}

bool RegisterWindowClass() {
    WNDCLASSA windowClass = {};
    windowClass.style = ClassStyle;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = Shell.instance;
    windowClass.hIcon = LoadIconA(Shell.instance, "icon2.ico");
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground =
        reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = WindowClassName;
    return RegisterClassA(&windowClass) != 0;
}

// Centred on the screen; a screen smaller than the window gives a negative
// position (the division truncates toward zero).
POINT CentredPosition() {
    HDC screen = GetDC(nullptr);
    const int width = GetDeviceCaps(screen, HORZRES);
    const int height = GetDeviceCaps(screen, VERTRES);
    ReleaseDC(nullptr, screen);
    return POINT{(width - WindowWidth) / 2, (height - WindowHeight) / 2};
}

bool StartLibrary() {
    if ((BASS_GetVersion() >> 16) != LibraryVersion) {
        ShowLibraryFailure("An incorrect version of BASS.DLL was loaded");
        return false;
    }
    if (BASS_Init(-1, OutputRate, 0, Shell.window, nullptr) == 0) {
        ShowLibraryFailure("Can't initialize device");
        return false;
    }
    return true;
}

void ShowShutdownFailure(const char* text) {
    MessageBoxA(nullptr, text, "SHUTDOWN ERROR", MB_OK | MB_ICONINFORMATION);
}

} // namespace

bool StartUp(int showCommand) {
    Shell.instance = GetModuleHandleA(nullptr);
    if (!RegisterWindowClass()) return false;
    const POINT position = CentredPosition();
    CaptionHeight = GetSystemMetrics(SM_CYCAPTION);
    Shell.window = CreateWindowExA(WindowExStyle, WindowClassName, WindowTitle, WindowStyle,
                                   position.x, position.y, WindowWidth, WindowHeight, nullptr,
                                   nullptr, Shell.instance, nullptr);
    if (Shell.window == nullptr) {
        ShowStartUpFailure("Window Creation Error.", "ERROR", MB_ICONEXCLAMATION);
        return false;
    }
    ShowWindow(Shell.window, showCommand);
    UpdateWindow(Shell.window);
    if (!StartLibrary()) return false;
    Shell.ticking = true;
    PlaySong(0);
    return true;
}

void RunMessageLoop() {
    MSG message;
    // GetMessageA gives -1 on an error; that ends the loop too rather than
    // spinning on a message that never comes.
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void ShutDown() {
    // The boxes below run ticks; none may touch the library once it is gone.
    Shell.ticking = false;
    BASS_Free();
    if (ReleaseDC(Shell.window, GetDC(Shell.window)) == 0)
        ShowShutdownFailure("Release Device Context Failed.");
    if (!DestroyWindow(Shell.window)) ShowShutdownFailure("Could Not Release hWnd.");
    if (!UnregisterClassA(WindowClassName, Shell.instance))
        ShowShutdownFailure("Could Not Unregister Class.");
    ExitProcess(0);
}

int WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
    if (!StartUp(showCommand)) return 0;
    ServeMediaControls(Shell.window);
    RunMessageLoop();
    ShutDown();
}
