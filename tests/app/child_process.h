#pragma once

// Runs the real program as a child process in a folder of its own, with its
// standard error captured, and waits for it with a time limit.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace e2e {

struct Child {
    pid_t pid = -1;      // -1 once reaped
    int waitStatus = -1; // waitpid's status once reaped
    std::string stderrPath;
    std::string stdoutPath;
};

// Starts `command` (the program's path, then its arguments) in `folder` with
// only the variables in `environment` (NAME=value) set.
Child Launch(const std::vector<std::string>& command, const std::string& folder,
             const std::vector<std::string>& environment);
inline Child Launch(const std::string& program, const std::string& folder,
                    const std::vector<std::string>& environment) {
    return Launch(std::vector<std::string>{program}, folder, environment);
}

// The exit status, or nullopt when the child was killed by a signal or did
// not end within `timeoutMs` (then it is killed and reaped).
std::optional<int> WaitForExit(Child& child, int timeoutMs);

// True while the child runs; reaps it when it has ended.
bool StillRunning(Child& child);

// How the child ended ("exit status 0", "signal 11") or "running".
std::string Describe(const Child& child);

// Asks the child to end the way the desktop would.
void Terminate(const Child& child);

std::string ReadFile(const std::string& path);
// What a shell command line writes to its standard output.
std::string ShellOutput(const std::string& line);
int CountOccurrences(const std::string& text, const std::string& part);

// A fresh empty folder under the system's temporary folder.
std::string MakeTemporaryFolder();
void RemoveFolder(const std::string& folder);

} // namespace e2e
