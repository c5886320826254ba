// The process's entry: reads the command line, then starts the layer and
// hands over to the program. --help, --version and a line that cannot be
// read are answered before anything of the desktop or the sound is touched.

#include "platform/command_line.h"
#include "platform/scale.h"
#include "platform/win32.h"

int main(int argc, char** argv) {
    const platform::CommandLine line = platform::ReadCommandLine(argc, argv);
    if (line.action != platform::CommandLine::Action::Run) return platform::Answer(line);
    platform::ChooseScale(line.scale);
    char commandLine[] = "";
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
    ExitProcess(static_cast<UINT>(status));
}
