#pragma once

// A private PipeWire sound server for end-to-end runs, as a desktop session
// starts one without systemd: its own runtime folder and configuration, a
// null sink "null_a" as the default, on the session bus the test runs under
// (ctest starts it with dbus-run-session). What the sink plays is recorded
// from its monitor with pw-record at the program's own rate.

#include "child_process.h"

#include <string>
#include <vector>

namespace e2e {

class SoundServer {
  public:
    // Starts pipewire, wireplumber and pipewire-pulse with their files in
    // `folder`, and waits until the null sink is the default; "" or what
    // went wrong. Started again after Stop, it keeps its folder.
    std::string Start(const std::string& folder);
    // Ends the three processes and waits until they have gone.
    void Stop();
    ~SoundServer() { Stop(); }

    // What a client of this server has in its environment (PATH included).
    std::vector<std::string> Environment() const;
    // pactl's output for `arguments`.
    std::string Pactl(const std::string& arguments) const;
    // The null sink's state as `pactl list sinks short` gives it (RUNNING,
    // IDLE, SUSPENDED), or "".
    std::string SinkState() const;

    // Records what the sink plays into `path`: raw signed 16-bit stereo at
    // 44100 Hz, as SDL's disk driver writes. End it with Terminate.
    Child Record(const std::string& path) const;

  private:
    std::string folder_;
    std::vector<Child> processes_;
};

} // namespace e2e
