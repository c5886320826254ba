#include "sound_server.h"

#include "desktop.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace e2e {

namespace {

// A sink that plays into nothing, kept across restarts of the server.
constexpr const char* NullSink = R"(context.objects = [
    { factory = adapter
        args = {
            factory.name            = support.null-audio-sink
            node.name               = "null_a"
            node.description        = "Null Sink A"
            media.class             = "Audio/Sink"
            audio.position          = [ FL FR ]
            monitor.channel-volumes = true
            object.linger           = true
        }
    }
]
)";

} // namespace

std::string SoundServer::Start(const std::string& folder) {
    folder_ = folder;
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr)
        return "no session bus: run the test under dbus-run-session";
    namespace fs = std::filesystem;
    for (const char* sub : {"run", "config/pipewire/pipewire.conf.d", "state", "data"})
        fs::create_directories(folder + "/" + sub);
    chmod((folder + "/run").c_str(), 0700);
    std::ofstream(folder + "/config/pipewire/pipewire.conf.d/null-sink.conf") << NullSink;

    const std::vector<std::string> environment = Environment();
    processes_.push_back(Launch("/usr/bin/pipewire", folder, environment));
    if (!WaitUntil([&] { return fs::exists(folder + "/run/pipewire-0"); }, 10000))
        return "pipewire did not start: " + ReadFile(processes_.back().stderrPath);
    processes_.push_back(Launch("/usr/bin/wireplumber", folder, environment));
    processes_.push_back(Launch("/usr/bin/pipewire-pulse", folder, environment));
    if (!WaitUntil([&] { return Pactl("info").find("Default Sink: null_a") != std::string::npos; },
                   20000))
        return "the server did not offer its null sink: " + Pactl("info") +
               ReadFile(folder + "/wireplumber.stderr") +
               ReadFile(folder + "/pipewire-pulse.stderr");
    return "";
}

void SoundServer::Stop() {
    for (Child& process : processes_)
        Terminate(process);
    // They took up to nine seconds to end, measured.
    for (Child& process : processes_)
        WaitForExit(process, 20000);
    processes_.clear();
}

std::vector<std::string> SoundServer::Environment() const {
    std::vector<std::string> environment = {"XDG_RUNTIME_DIR=" + folder_ + "/run",
                                            "XDG_CONFIG_HOME=" + folder_ + "/config",
                                            "XDG_STATE_HOME=" + folder_ + "/state",
                                            "XDG_DATA_HOME=" + folder_ + "/data",
                                            "HOME=" + folder_,
                                            "PATH=/usr/bin:/bin"};
    if (const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        environment.push_back(std::string("DBUS_SESSION_BUS_ADDRESS=") + bus);
    return environment;
}

std::string SoundServer::Pactl(const std::string& arguments) const {
    std::string line = "env -i";
    for (const std::string& variable : Environment())
        line += " '" + variable + "'";
    return ShellOutput(line + " pactl " + arguments + " 2>/dev/null");
}

std::string SoundServer::SinkState() const {
    std::istringstream lines(Pactl("list sinks short"));
    for (std::string line; std::getline(lines, line);) {
        if (line.find("\tnull_a\t") == std::string::npos) continue;
        return line.substr(line.rfind('\t') + 1);
    }
    return "";
}

Child SoundServer::Record(const std::string& path) const {
    return Launch(std::vector<std::string>{"/usr/bin/pw-record", "--target", "null_a", "-P",
                                           "{ stream.capture.sink = true }", "--rate", "44100",
                                           "--channels", "2", "--format", "s16", path},
                  folder_, Environment());
}

} // namespace e2e
