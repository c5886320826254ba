#pragma once

// The output device: SDL's audio device fed by the mixer, and a thread of the
// layer's own that keeps it. While nothing plays the device rests, so a sound
// server can suspend its sink; a play wakes it. When the device goes away
// (the server restarts, the headset is unplugged) the mixer holds its place
// and the keeper opens the default output again about once a second. Opening
// and closing can block, so only the keeper does them once the device runs.

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace tonebox::audio {

class Mixer;

class Output {
  public:
    // The default output, opened and running for `mixer`; null when no
    // device opens.
    static std::unique_ptr<Output> Open(std::shared_ptr<Mixer> mixer);
    // What plays fades out and the device takes a little silence before it
    // closes, so the music ends without a click.
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // A channel started: a resting device runs again. Never waits for it.
    void Wake();
    // The device went away and has not come back yet.
    bool Lost() const { return lost_.load(); }

  private:
    enum class State { kRunning, kResting, kLost };
    using Clock = std::chrono::steady_clock;

    Output(std::shared_ptr<Mixer> mixer, bool server);
    bool OpenDevice();
    void CloseDevice();
    static void Callback(void* user, Uint8* stream, int bytes);
    void Fill(std::int16_t* out, std::size_t frames);
    void Keep();
    void Step(bool woken);
    void Check(bool woken);
    void Rest();
    void Resume();
    void Run();
    void Lose();
    void TryAgain();
    void FadeOut();

    const std::shared_ptr<Mixer> mixer_;
    // A device that can go away and that holds a server's sink while open;
    // SDL's file and null drivers are neither, and rest paused instead (a
    // file driver reopened would start its file again).
    const bool server_;

    std::atomic<SDL_AudioDeviceID> device_{0};
    std::atomic<std::uint64_t> fills_{0};
    std::atomic<bool> gone_{false}; // SDL reports the device stopped
    std::atomic<bool> lost_{false};
    std::atomic<int> fade_left_{-1}; // frames of the fade still to go; -1 none

    std::mutex mutex_;
    std::condition_variable changed_;
    bool wake_ = false; // under mutex_
    bool quit_ = false; // under mutex_

    // The keeper's own.
    State state_ = State::kRunning;
    std::uint64_t seen_fills_ = 0;
    Clock::time_point progress_{};    // when the device last asked for sound
    Clock::time_point quiet_since_{}; // nothing playing since; epoch while something plays
    Clock::time_point next_try_{};

    std::thread keeper_;
};

} // namespace tonebox::audio
