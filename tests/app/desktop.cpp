#include "desktop.h"

#include <cstdio>
#include <cstdlib>

namespace e2e {

namespace {

// The number after `label` in xwininfo's report.
int FieldOf(const std::string& info, const std::string& label) {
    const std::size_t at = info.find(label);
    return at == std::string::npos ? -99999 : std::atoi(info.c_str() + at + label.size());
}

} // namespace

std::string Desktop::Start(const std::string& folder, Kind kind) {
    folder_ = folder;
    // Xvfb picks a free display itself and writes its number, so runs side
    // by side never share one. It must not reset when its last client
    // leaves, or it refuses the next one for a moment.
    Child server =
        Launch(std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0",
                                        std::to_string(ScreenWidth) + "x" +
                                            std::to_string(ScreenHeight) + "x24",
                                        "-nolisten", "tcp", "-noreset"},
               folder, {});
    clients_.push_back(server);
    std::string number;
    if (!WaitUntil(
            [&] {
                number = ReadFile(server.stdoutPath);
                return number.find('\n') != std::string::npos;
            },
            30000))
        return "Xvfb did not start: " + ReadFile(server.stderrPath);
    // Built apart and moved in: GCC 12 at -O3 reports a false overlap
    // (-Wrestrict) when a literal is copied into the member in place.
    std::string name(1, ':');
    name.append(number, 0, number.find('\n'));
    display_ = std::move(name);
    const std::vector<std::string> environment = {"DISPLAY=" + display_, "PATH=/usr/bin:/bin",
                                                  "HOME=" + folder};
    if (kind != Kind::Bare) {
        clients_.push_back(Launch(std::vector<std::string>{"/usr/bin/openbox", "--sm-disable"},
                                  folder, environment));
        if (!WaitUntil(
                [&] {
                    return Run("xprop -root _NET_SUPPORTED").find("MOVERESIZE") !=
                           std::string::npos;
                },
                30000))
            return "openbox did not start";
    }
    char colour[16];
    std::snprintf(colour, sizeof colour, "#%02x%02x%02x", Backdrop.r, Backdrop.g, Backdrop.b);
    Run(std::string("hsetroot -solid '") + colour + "'");
    if (kind == Kind::Compositing) {
        Child compositor = Launch(std::vector<std::string>{"/usr/bin/picom", "--backend", "xrender",
                                                           "--config", "/dev/null"},
                                  folder, environment);
        clients_.push_back(compositor);
        // picom gives no sign of having taken the screen; a moment does.
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        if (!StillRunning(clients_.back()))
            return "picom did not start: " + ReadFile(compositor.stderrPath);
    }
    return "";
}

void Desktop::Stop() {
    // The server last: its clients go first.
    for (auto it = clients_.rbegin(); it != clients_.rend(); ++it) {
        if (it->pid <= 0) continue;
        Terminate(*it);
        WaitForExit(*it, 5000);
    }
    clients_.clear();
}

std::string Desktop::Run(const std::string& command) const {
    return ShellOutput("DISPLAY=" + display_ + " " + command + " 2>/dev/null");
}

std::string Desktop::FindWindow(const std::string& name, bool visible) const {
    const std::string ids = Run(std::string("xdotool search ") + (visible ? "--onlyvisible " : "") +
                                "--name '^" + name + "$'");
    const std::size_t end = ids.find('\n');
    return end == std::string::npos ? "" : ids.substr(0, end);
}

int Desktop::CountWindows(const std::string& name) const {
    return CountOccurrences(Run("xwininfo -root -tree"), "\"" + name + "\"");
}

std::pair<int, int> Desktop::WindowPosition(const std::string& window) const {
    const std::string info = Run("xwininfo -id " + window);
    return {FieldOf(info, "Absolute upper-left X:"), FieldOf(info, "Absolute upper-left Y:")};
}

Screenshot Desktop::Shoot() const {
    const std::string path = folder_ + "/screen.rgb";
    Run("import -window root -depth 8 rgb:" + path);
    const std::string bytes = ReadFile(path);
    Screenshot shot{ScreenWidth, ScreenHeight, {}};
    if (bytes.size() != static_cast<std::size_t>(ScreenWidth) * ScreenHeight * 3) return {};
    shot.pixels.resize(static_cast<std::size_t>(ScreenWidth) * ScreenHeight);
    for (std::size_t i = 0; i < shot.pixels.size(); ++i)
        shot.pixels[i] = Rgb{static_cast<std::uint8_t>(bytes[3 * i]),
                             static_cast<std::uint8_t>(bytes[3 * i + 1]),
                             static_cast<std::uint8_t>(bytes[3 * i + 2])};
    return shot;
}

} // namespace e2e
