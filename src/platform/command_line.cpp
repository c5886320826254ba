// The command line a Linux user and a packager's tools expect: --help and
// --version answer and end, --scale chooses the window's size, anything
// else is refused with the usage and status 2, before any window opens.

#include "platform/command_line.h"
#include "platform/scale.h"
#include "usage.h"

#include <cstdio>
#include <cstring>

namespace platform {
namespace {

// A scale as the option spells it: one digit from 1 to kMaxScale, or 0.
int ScaleOf(const char* text) {
    return std::strlen(text) == 1 && text[0] >= '1' && text[0] <= '0' + kMaxScale ? text[0] - '0'
                                                                                  : 0;
}

CommandLine Refused(std::string problem) {
    CommandLine line;
    line.action = CommandLine::Action::Refuse;
    line.problem = std::move(problem);
    return line;
}

} // namespace

CommandLine ReadCommandLine(int argc, const char* const* argv) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            line.action = CommandLine::Action::Help;
            return line;
        }
        if (arg == "--version") {
            line.action = CommandLine::Action::Version;
            return line;
        }
        if (arg == "--scale" || arg.rfind("--scale=", 0) == 0) {
            const bool joined = arg != "--scale";
            if (!joined && i + 1 == argc) return Refused("--scale needs a number from 1 to 4");
            const char* value = joined ? argv[i] + 8 : argv[++i];
            line.scale = ScaleOf(value);
            if (line.scale == 0)
                return Refused("--scale takes a number from 1 to 4, not '" + std::string(value) +
                               "'");
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') return Refused("unknown option '" + arg + "'");
        return Refused("unexpected argument '" + arg + "': the songs are compiled in");
    }
    return line;
}

int Answer(const CommandLine& line) {
    switch (line.action) {
    case CommandLine::Action::Help:
        std::fputs(kUsage, stdout);
        return 0;
    case CommandLine::Action::Version:
        std::printf("tonebox %s\n", TONEBOX_VERSION);
        return 0;
    case CommandLine::Action::Refuse:
        std::fprintf(stderr, "tonebox: %s\n%s", line.problem.c_str(), kUsage);
        return 2;
    case CommandLine::Action::Run:
        break;
    }
    return 0;
}

} // namespace platform
