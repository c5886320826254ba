#pragma once

// The mixer: a fixed table of channels, each a source with its play state,
// mixed into the output on the audio thread. Callers on other threads start,
// pause, seek and query channels; those calls hold the state lock only for a
// few copies, never while a source decodes. Seeks run on the caller's thread
// (a module's seek allocates); meanwhile the audio thread leaves that channel
// silent rather than wait. The audible position and the sample data come
// from a history of what each channel has put out, keyed by output frame,
// read at the frame the listener hears now.

#include "audiolib/source.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

struct kiss_fftr_state;

namespace tonebox::audio {

enum class Activity { kStopped = 0, kPlaying = 1, kPaused = 3 };

// How long locks were held, gathered when the probe is on.
struct LockFigures {
    std::int64_t count = 0;
    std::int64_t total_ns = 0;
    std::int64_t max_ns = 0;
    // Holds by power of two: bucket b counts holds below 2^b ns.
    std::array<std::int64_t, 40> below_pow2_ns{};
    // The hold time in ns that `fraction` of the holds stay within (to the
    // power of two above it).
    std::int64_t Percentile(double fraction) const;
};

constexpr std::size_t kFftSize = 1024;
constexpr std::size_t kFftBins = kFftSize / 2;

class Mixer {
  public:
    static constexpr std::size_t kCapacity = 32;
    static constexpr std::size_t kBlock = 1024;
    static constexpr std::size_t kHistory = 16384; // frames, a power of two

    // `latency_frames`: output frames between the end of what was mixed and
    // what the listener hears. With `follow_clock` the audible frame also
    // moves on with the time since the last mix, as a device plays it.
    Mixer(std::size_t latency_frames, bool follow_clock);
    ~Mixer();
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    void SetLatency(std::size_t latency_frames);

    // A handle for the source, or 0 when the table is full.
    std::uint32_t Add(std::unique_ptr<Source> source);
    bool Remove(std::uint32_t handle);
    void RemoveAll();

    bool Play(std::uint32_t handle, bool restart);
    bool Pause(std::uint32_t handle);
    bool Stop(std::uint32_t handle);
    Activity State(std::uint32_t handle);
    bool Valid(std::uint32_t handle);
    // Some channel is playing, or still to be heard ending.
    bool AnyPlaying();

    // In frames; nothing for an unknown handle.
    std::optional<std::uint64_t> Length(std::uint32_t handle);
    std::optional<std::uint64_t> Position(std::uint32_t handle);
    bool SetPosition(std::uint32_t handle, std::uint64_t frame);

    // The listener's volume 0..100 of module channel `channel`, a factor on
    // what the song plays there; false when there is no such channel.
    bool SetChannelVolume(std::uint32_t handle, int channel, int volume);

    // The `frames` stereo frames being heard now (at most kHistory / 2);
    // false unless the channel is playing.
    bool Samples(std::uint32_t handle, std::int16_t* out, std::size_t frames);
    // kFftBins magnitudes of the kFftSize frames being heard now, mono, Hann
    // window, a full-scale sine at a bin's centre reading 1.0 there.
    bool Spectrum(std::uint32_t handle, float* out);

    // The audio thread: fills `frames` interleaved stereo frames.
    void Mix(std::int16_t* out, std::size_t frames) noexcept;

    void SetLockProbe(bool on) { probe_on_.store(on); }
    LockFigures StateLockFigures() const;
    LockFigures RenderLockFigures() const;

  private:
    struct Channel;
    struct Probe {
        std::atomic<std::int64_t> count{0}, total_ns{0}, max_ns{0};
        std::array<std::atomic<std::int64_t>, 40> buckets{};
        void Add(std::int64_t ns);
        LockFigures Read() const;
    };
    class Held;

    Channel* Find(std::uint32_t handle);
    void BeginSeek(Channel& ch, std::uint64_t frame);
    void FinishSeek(const std::shared_ptr<Channel>& ch);
    std::uint64_t AudibleFrame() const;
    void Settle(Channel& ch, std::uint64_t audible);
    bool Window(std::uint32_t handle, std::int16_t* out, std::size_t frames);
    void MixBlock(std::int16_t* out, std::size_t offset, std::size_t frames,
                  std::size_t total) noexcept;
    std::uint64_t TakeRequests() noexcept;
    void RenderJobs(std::size_t frames) noexcept;
    void Publish(std::uint64_t device, std::size_t frames, std::size_t total) noexcept;

    // One channel's work in the block being mixed.
    struct Job {
        Channel* ch = nullptr;
        bool play = false;
        std::uint64_t serial = 0;
        bool volumes = false;
        bool busy = false; // a seek had the source
        std::size_t rendered = 0;
    };

    mutable std::mutex state_mutex_;
    std::mutex render_mutex_;
    std::mutex fft_mutex_;

    // Under state_mutex_.
    // Shared only so that a seek in progress keeps its channel alive; the
    // audio thread holds no reference, so a channel is never freed there.
    std::array<std::shared_ptr<Channel>, kCapacity> slots_;
    std::array<std::uint32_t, kCapacity> generation_{};
    std::uint64_t device_frames_ = 0;
    std::size_t latency_ = 0;
    std::size_t last_mix_frames_ = 0;
    std::chrono::steady_clock::time_point last_mix_time_{};
    const bool follow_clock_;

    // The audio thread's own working storage, under render_mutex_.
    std::array<std::array<std::int16_t, kBlock * 2>, kCapacity> scratch_{};
    std::array<Job, kCapacity> jobs_{};

    kiss_fftr_state* fft_ = nullptr;
    std::array<float, kFftSize> window_{};

    std::atomic<bool> probe_on_{false};
    Probe state_probe_, render_probe_;
};

} // namespace tonebox::audio
