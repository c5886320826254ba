// The process's entry: starts the layer and hands over to the program.

#include "platform/win32.h"

int main() {
    char commandLine[] = "";
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
    ExitProcess(static_cast<UINT>(status));
}
