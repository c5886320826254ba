// Measures the real program: the time from its start to the first audible
// sample in the disk audio driver's output (written at real time), and its
// processor use and peak memory over a run.
//
//   tonebox_startup_probe PROGRAM SONGS_FOLDER|--tones [SECONDS]
//
// --tones plays the steady-tone songs the end-to-end tests write. With DISPLAY
// set the program runs on that display, else under SDL's dummy video driver;
// TONEBOX_SCALE is passed on.

#include "child_process.h"
#include "disk_audio.h"
#include "test_songs.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

// User plus system time of a process, in seconds.
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n == 14) utime = std::stoull(field);
        if (n == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::string Status(pid_t pid, const std::string& key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0) return line;
    return key + " ?";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PROGRAM SONGS_FOLDER|--tones [SECONDS]\n", argv[0]);
        return 2;
    }
    const std::string program = std::filesystem::absolute(argv[1]).string();
    const double runSeconds = argc > 3 ? std::atof(argv[3]) : 20.0;
    const std::string folder = e2e::MakeTemporaryFolder();
    if (std::string(argv[2]) == "--tones") {
        std::filesystem::create_directory(folder + "/songs");
        for (int song = 0; song < 40; ++song)
            e2e::WriteToneSong(e2e::SongFile(folder, song), e2e::LowNote, false);
    } else {
        std::filesystem::copy(argv[2], folder + "/songs", std::filesystem::copy_options::recursive);
    }
    const std::string audioPath = folder + "/audio.raw";
    // On the probe's own display when it has one, else with no display.
    std::vector<std::string> env = {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + audioPath};
    const char* display = std::getenv("DISPLAY");
    env.push_back(display ? std::string("DISPLAY=") + display : "SDL_VIDEODRIVER=dummy");
    if (const char* scale = std::getenv("TONEBOX_SCALE"))
        env.push_back(std::string("TONEBOX_SCALE=") + scale);

    const auto start = std::chrono::steady_clock::now();
    e2e::Child child = e2e::Launch(program, folder, env);
    double firstAudibleMs = -1;
    while (e2e::StillRunning(child)) {
        const double elapsed =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (elapsed > 10000) break;
        if (e2e::FirstAudibleFrame(e2e::ReadDiskAudio(audioPath)) >= 0) {
            firstAudibleMs = elapsed;
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    std::printf("first audible sample in the output after %.1f ms\n", firstAudibleMs);

    const double cpuBefore = CpuSeconds(child.pid);
    const auto measureStart = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(runSeconds));
    const double cpu = CpuSeconds(child.pid) - cpuBefore;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - measureStart).count();
    std::printf("processor use while playing: %.2f%% of one core over %.1f s\n", 100.0 * cpu / wall,
                wall);
    std::printf("%s\n", Status(child.pid, "VmHWM").c_str());
    e2e::Terminate(child);
    const std::optional<int> status = e2e::WaitForExit(child, 10000);
    std::printf("exit status after SIGTERM: %d\n", status ? *status : -1);
    std::fputs(e2e::ReadFile(child.stderrPath).c_str(), stdout);
    e2e::RemoveFolder(folder);
    return 0;
}
