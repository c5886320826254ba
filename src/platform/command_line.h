#pragma once

// The program's command line: what it asks for, and the answers to --help,
// --version and a line that cannot be read.

#include <string>

namespace platform {

struct CommandLine {
    enum class Action { Run, Help, Version, Refuse };
    Action action = Action::Run;
    int scale = 0;       // from --scale, 1 to 4; 0 when the desktop's is wanted
    std::string problem; // for Refuse: what is wrong, in one line
};

CommandLine ReadCommandLine(int argc, const char* const* argv);

// Prints the usage, the version, or the problem with the usage, and gives
// the process's status: 0, or 2 for a line that cannot be read.
int Answer(const CommandLine& line);

} // namespace platform
