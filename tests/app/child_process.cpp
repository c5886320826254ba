#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace e2e {

Child Launch(const std::vector<std::string>& command, const std::string& folder,
             const std::vector<std::string>& environment) {
    Child child;
    const std::string name = std::filesystem::path(command.at(0)).filename().string();
    child.stderrPath = folder + "/" + name + ".stderr";
    child.stdoutPath = folder + "/" + name + ".stdout";
    std::vector<char*> envp;
    for (const std::string& variable : environment)
        envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int err = open(child.stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int out = open(child.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err < 0 || out < 0 || chdir(folder.c_str()) != 0) _exit(127);
        dup2(err, 2);
        dup2(out, 1);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    child.pid = pid;
    return child;
}

std::optional<int> WaitForExit(Child& child, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (StillRunning(child)) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child.pid, SIGKILL);
            waitpid(child.pid, &child.waitStatus, 0);
            child.pid = -1;
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (child.waitStatus == -1 || !WIFEXITED(child.waitStatus)) return std::nullopt;
    return WEXITSTATUS(child.waitStatus);
}

bool StillRunning(Child& child) {
    if (child.pid <= 0) return false;
    int status = 0;
    if (waitpid(child.pid, &status, WNOHANG) == 0) return true;
    child.waitStatus = status;
    child.pid = -1;
    return false;
}

std::string Describe(const Child& child) {
    if (child.pid > 0) return "running";
    if (child.waitStatus == -1) return "never started";
    if (WIFEXITED(child.waitStatus))
        return "exit status " + std::to_string(WEXITSTATUS(child.waitStatus));
    if (WIFSIGNALED(child.waitStatus))
        return "signal " + std::to_string(WTERMSIG(child.waitStatus));
    return "stopped";
}

void Terminate(const Child& child) {
    if (child.pid > 0) kill(child.pid, SIGTERM);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string ShellOutput(const std::string& line) {
    std::string output;
    if (FILE* pipe = popen(line.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

int CountOccurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size()))
        ++count;
    return count;
}

std::string MakeTemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tonebox-e2e-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

void RemoveFolder(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

} // namespace e2e
