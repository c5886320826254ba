#include "audiolib/output.h"

#include "audiolib/mixer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace tonebox::audio {

namespace {

using namespace std::chrono_literals;

// 46 ms a callback: half the wakes of 1024 frames, and libopenmpt renders
// twice as much while its tables are at hand; still quick to answer a pause.
constexpr int kDeviceFrames = 2048;
// While the device runs the keeper looks at it this often: whether it still
// asks for sound, and whether anything plays.
constexpr auto kCheckPeriod = 500ms;
// Quiet this long, it rests: a pause and a quick resume keep the device.
constexpr auto kRestAfter = 1s;
// A server's stream that has asked for nothing this long has gone (SDL's
// PipeWire driver says nothing when its server goes away).
constexpr auto kStallLimit = 1500ms;
constexpr auto kRetryPeriod = 1s;
// 10 ms: short enough not to hear as a fade, long enough not to click.
constexpr int kFadeFrames = 441;
constexpr auto kDrainLimit = 400ms;

// How volume mixers and the session list the program's stream. SDL passes
// the names, and the role to PipeWire; the client libraries take the icon,
// and the role for PulseAudio, from their own variables. A user's own
// settings stay.
void NameTheStream() {
    SDL_SetHint(SDL_HINT_APP_NAME, "tonebox");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "tonebox");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "Music Disk");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_ROLE, "music");
#ifndef _WIN32
    setenv("PULSE_PROP_application.icon_name", "tonebox", 0);
    setenv("PULSE_PROP_media.role", "music", 0);
    setenv("PIPEWIRE_PROPS", "{ application.icon_name = tonebox }", 0);
#endif
}

} // namespace

std::unique_ptr<Output> Output::Open(std::shared_ptr<Mixer> mixer) {
    NameTheStream();
    // Counted per subsystem: the window's video subsystem is left alone.
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
    const char* driver = SDL_GetCurrentAudioDriver();
    const std::string_view name = driver != nullptr ? driver : "";
    std::unique_ptr<Output> output(new Output(std::move(mixer), name != "disk" && name != "dummy"));
    if (!output->OpenDevice()) return nullptr;
    output->Run();
    output->keeper_ = std::thread(&Output::Keep, output.get());
    return output;
}

Output::Output(std::shared_ptr<Mixer> mixer, bool server)
    : mixer_(std::move(mixer)), server_(server) {}

Output::~Output() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    if (keeper_.joinable()) keeper_.join();
    if (device_.load() != 0 && state_ == State::kRunning && !gone_.load()) FadeOut();
    CloseDevice();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void Output::Wake() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wake_ = true;
    }
    changed_.notify_one();
}

bool Output::OpenDevice() {
    SDL_AudioSpec want{};
    want.freq = kRate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kDeviceFrames;
    want.callback = Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the device takes.
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (id == 0) return false;
    mixer_->SetLatency(have.samples);
    device_.store(id);
    SDL_PauseAudioDevice(id, 0);
    return true;
}

void Output::CloseDevice() {
    const SDL_AudioDeviceID id = device_.exchange(0);
    if (id != 0) SDL_CloseAudioDevice(id);
    // A callback that ran while SDL took the device down saw it stopped.
    gone_.store(false);
}

void Output::Callback(void* user, Uint8* stream, int bytes) {
    static_cast<Output*>(user)->Fill(reinterpret_cast<std::int16_t*>(stream),
                                     static_cast<std::size_t>(bytes) / kBytesPerFrame);
}

void Output::Fill(std::int16_t* out, std::size_t frames) {
    fills_.fetch_add(1);
    // SDL's PulseAudio driver goes on asking for a device that has gone, and
    // throws the sound away: the mixer must not play on to nobody.
    if (!gone_.load() && SDL_GetAudioDeviceStatus(device_.load()) == SDL_AUDIO_STOPPED) {
        gone_.store(true);
        changed_.notify_one();
    }
    int fade = fade_left_.load();
    if (gone_.load() || fade == 0) {
        std::fill(out, out + frames * 2, std::int16_t{0});
        return;
    }
    mixer_->Mix(out, frames);
    if (fade < 0) return;
    for (std::size_t i = 0; i < frames * 2; i += 2) {
        out[i] = static_cast<std::int16_t>(out[i] * fade / kFadeFrames);
        out[i + 1] = static_cast<std::int16_t>(out[i + 1] * fade / kFadeFrames);
        if (fade > 0) --fade;
    }
    fade_left_.store(fade);
}

void Output::FadeOut() {
    const std::uint64_t start = fills_.load();
    fade_left_.store(kFadeFrames);
    // A fill may be under way; the next one fades, and two of silence
    // follow it out of the device.
    const auto limit = Clock::now() + kDrainLimit;
    while (fills_.load() < start + 4 && Clock::now() < limit)
        std::this_thread::sleep_for(2ms);
}

void Output::Keep() {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto woken = [&] {
        return quit_ || wake_ || (state_ == State::kRunning && gone_.load());
    };
    while (!quit_) {
        switch (state_) {
        case State::kRunning:
            changed_.wait_for(lock, kCheckPeriod, woken);
            break;
        case State::kResting:
            changed_.wait(lock, woken);
            break;
        case State::kLost:
            changed_.wait_until(lock, next_try_, woken);
            break;
        }
        if (quit_) break;
        const bool woke = std::exchange(wake_, false);
        lock.unlock();
        Step(woke);
        lock.lock();
    }
    // SDL keeps a thread's error text (a failed open's) until it is told the
    // thread ends; only its own threads tell it themselves.
    SDL_TLSCleanup();
}

void Output::Step(bool woken) {
    switch (state_) {
    case State::kRunning:
        Check(woken);
        break;
    case State::kResting:
        if (woken || mixer_->AnyPlaying()) Resume();
        break;
    case State::kLost:
        if (Clock::now() >= next_try_) TryAgain();
        break;
    }
}

void Output::Check(bool woken) {
    const auto now = Clock::now();
    const std::uint64_t fills = fills_.load();
    if (fills != seen_fills_) {
        seen_fills_ = fills;
        progress_ = now;
    }
    if (server_ && (gone_.load() || now - progress_ > kStallLimit)) return Lose();
    if (woken || mixer_->AnyPlaying()) {
        quiet_since_ = {};
        return;
    }
    if (quiet_since_ == Clock::time_point{})
        quiet_since_ = now;
    else if (now - quiet_since_ >= kRestAfter)
        Rest();
}

// A server's device closes, so the server can suspend the sink; a file's
// or the null driver's pauses.
void Output::Rest() {
    if (server_)
        CloseDevice();
    else
        SDL_PauseAudioDevice(device_.load(), 1);
    state_ = State::kResting;
}

void Output::Resume() {
    if (server_ && !OpenDevice()) return Lose();
    if (!server_) SDL_PauseAudioDevice(device_.load(), 0);
    Run();
}

void Output::Run() {
    state_ = State::kRunning;
    seen_fills_ = fills_.load();
    progress_ = Clock::now();
    quiet_since_ = {};
}

// The mixer stands where the listener last heard it; the default output is
// tried again at once, then every second.
void Output::Lose() {
    CloseDevice();
    lost_.store(true);
    state_ = State::kLost;
    next_try_ = Clock::now();
    std::fprintf(stderr, "audio: the output device went away; trying it again every second\n");
}

void Output::TryAgain() {
    if (!OpenDevice()) {
        next_try_ = Clock::now() + kRetryPeriod;
        return;
    }
    lost_.store(false);
    Run();
    std::fprintf(stderr, "audio: the output device is back\n");
}

} // namespace tonebox::audio
