#include "audiolib/mixer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <vector>

#include <kiss_fftr.h>

namespace tonebox::audio {

// A stretch of one channel's output: from output frame `device`, `rendered`
// frames of the channel starting at its frame `position`, then silence.
struct Segment {
    std::uint64_t device = 0;
    std::uint64_t position = 0;
    std::uint64_t rendered = 0;
};

struct Mixer::Channel {
    std::uint32_t handle = 0;
    // Used under `decoder`: rendered on the audio thread, sought on the
    // caller's. Destroyed after the audio thread let go.
    std::unique_ptr<Source> source;
    std::mutex decoder;
    std::uint64_t length = 0;
    int module_channels = 0;

    // Under state_mutex_.
    Activity activity = Activity::kStopped;
    bool ended = false;             // the source ran out
    std::uint64_t ended_device = 0; // output frame where its sound stopped
    std::uint64_t position = 0;     // next frame the source renders
    bool seeking = false;           // the source is on its way to `position`
    std::uint64_t seek_serial = 0;
    std::vector<std::uint8_t> volumes;
    bool volumes_dirty = false;
    static constexpr std::size_t kSegments = 32;
    std::array<Segment, kSegments> segments{};
    std::size_t segment_count = 0; // newest at segments[segment_count - 1]
    std::vector<std::int16_t> history = std::vector<std::int16_t>(kHistory * 2);

    // The audio thread's copy of the volumes, under render_mutex_.
    std::vector<std::uint8_t> applied;

    void Record(const Segment& s) {
        if (segment_count == kSegments) {
            std::move(segments.begin() + 1, segments.end(), segments.begin());
            --segment_count;
        }
        segments[segment_count++] = s;
    }
};

// A lock on a mutex that, with the probe on, times how long it is held.
class Mixer::Held {
  public:
    Held(std::mutex& m, Probe& probe, bool on) : lock_(m), probe_(probe), on_(on) {
        if (on_) start_ = std::chrono::steady_clock::now();
    }
    ~Held() {
        if (!on_) return;
        const auto held = std::chrono::steady_clock::now() - start_;
        lock_.unlock();
        probe_.Add(std::chrono::duration_cast<std::chrono::nanoseconds>(held).count());
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

  private:
    std::unique_lock<std::mutex> lock_;
    Probe& probe_;
    bool on_;
    std::chrono::steady_clock::time_point start_;
};

void Mixer::Probe::Add(std::int64_t ns) {
    count.fetch_add(1, std::memory_order_relaxed);
    total_ns.fetch_add(ns, std::memory_order_relaxed);
    const auto width = static_cast<std::size_t>(std::bit_width(static_cast<std::uint64_t>(ns)));
    buckets[std::min(width, buckets.size() - 1)].fetch_add(1, std::memory_order_relaxed);
    std::int64_t seen = max_ns.load(std::memory_order_relaxed);
    while (ns > seen && !max_ns.compare_exchange_weak(seen, ns, std::memory_order_relaxed)) {
    }
}

LockFigures Mixer::Probe::Read() const {
    LockFigures figures{count.load(), total_ns.load(), max_ns.load(), {}};
    for (std::size_t b = 0; b < buckets.size(); ++b)
        figures.below_pow2_ns[b] = buckets[b].load();
    return figures;
}

std::int64_t LockFigures::Percentile(double fraction) const {
    std::int64_t seen = 0;
    for (std::size_t b = 0; b < below_pow2_ns.size(); ++b) {
        seen += below_pow2_ns[b];
        if (double(seen) >= fraction * double(count)) return std::int64_t{1} << b;
    }
    return max_ns;
}

namespace {

constexpr std::uint32_t kSlotBits = 8;

std::size_t SlotOf(std::uint32_t handle) {
    return static_cast<std::size_t>(handle & ((1u << kSlotBits) - 1)) - 1;
}

} // namespace

Mixer::Mixer(std::size_t latency_frames, bool follow_clock)
    : latency_(latency_frames), follow_clock_(follow_clock) {
    // Each mixer numbers its handles from its own range, so a handle kept
    // from before a free and re-init does not name a new channel.
    static std::atomic<std::uint32_t> epoch{0};
    generation_.fill((epoch.fetch_add(1) * 0x1000u) & 0xFFFFFFu);
    fft_ = kiss_fftr_alloc(static_cast<int>(kFftSize), 0, nullptr, nullptr);
    // Periodic Hann: its mean is exactly 0.5, which the scaling relies on.
    for (std::size_t n = 0; n < kFftSize; ++n)
        window_[n] = static_cast<float>(
            0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * double(n) / kFftSize)));
}

Mixer::~Mixer() {
    RemoveAll();
    kiss_fftr_free(fft_);
}

void Mixer::SetLatency(std::size_t latency_frames) {
    Held lock(state_mutex_, state_probe_, probe_on_);
    latency_ = latency_frames;
}

std::uint32_t Mixer::Add(std::unique_ptr<Source> source) {
    if (!source) return 0;
    auto ch = std::make_shared<Channel>();
    ch->length = source->LengthFrames();
    ch->module_channels = source->ChannelCount();
    ch->volumes.assign(static_cast<std::size_t>(ch->module_channels), 100);
    ch->applied = ch->volumes;
    ch->source = std::move(source);

    Held lock(state_mutex_, state_probe_, probe_on_);
    for (std::size_t slot = 0; slot < kCapacity; ++slot) {
        if (slots_[slot]) continue;
        generation_[slot] = (generation_[slot] + 1) & 0xFFFFFFu;
        if (generation_[slot] == 0) generation_[slot] = 1;
        ch->handle = (generation_[slot] << kSlotBits) | static_cast<std::uint32_t>(slot + 1);
        slots_[slot] = std::move(ch);
        return slots_[slot]->handle;
    }
    return 0;
}

bool Mixer::Remove(std::uint32_t handle) {
    std::shared_ptr<Channel> gone;
    {
        Held lock(state_mutex_, state_probe_, probe_on_);
        if (Find(handle) == nullptr) return false;
        gone = std::move(slots_[SlotOf(handle)]);
    }
    // Wait out a mix that may still be decoding it, then free it here, on
    // the caller's thread.
    { std::lock_guard<std::mutex> barrier(render_mutex_); }
    return true;
}

void Mixer::RemoveAll() {
    std::array<std::shared_ptr<Channel>, kCapacity> gone;
    {
        Held lock(state_mutex_, state_probe_, probe_on_);
        std::swap(gone, slots_);
    }
    { std::lock_guard<std::mutex> barrier(render_mutex_); }
}

Mixer::Channel* Mixer::Find(std::uint32_t handle) {
    if (handle == 0) return nullptr;
    const std::size_t slot = SlotOf(handle);
    if (slot >= kCapacity || !slots_[slot] || slots_[slot]->handle != handle) return nullptr;
    return slots_[slot].get();
}

std::uint64_t Mixer::AudibleFrame() const {
    std::uint64_t behind = latency_;
    if (follow_clock_) {
        // The device plays the last block over its duration; until the next
        // mix, the frame heard moves on with the clock.
        const auto elapsed = std::chrono::steady_clock::now() - last_mix_time_;
        const double seconds = std::chrono::duration<double>(elapsed).count();
        const double played = std::clamp(seconds * kRate, 0.0, double(last_mix_frames_));
        behind += last_mix_frames_ - static_cast<std::size_t>(played);
    }
    return device_frames_ > behind ? device_frames_ - behind : 0;
}

// A channel whose source ran out stops once its last frame has been heard.
void Mixer::Settle(Channel& ch, std::uint64_t audible) {
    if (ch.ended && ch.activity == Activity::kPlaying && audible >= ch.ended_device)
        ch.activity = Activity::kStopped;
}

bool Mixer::Valid(std::uint32_t handle) {
    Held lock(state_mutex_, state_probe_, probe_on_);
    return Find(handle) != nullptr;
}

bool Mixer::Play(std::uint32_t handle, bool restart) {
    std::shared_ptr<Channel> sought;
    {
        Held lock(state_mutex_, state_probe_, probe_on_);
        Channel* ch = Find(handle);
        if (ch == nullptr) return false;
        Settle(*ch, AudibleFrame());
        // Played again after its end, a song starts over.
        if (ch->ended && ch->activity == Activity::kStopped) restart = true;
        ch->activity = Activity::kPlaying;
        if (!restart) return true;
        BeginSeek(*ch, 0);
        sought = slots_[SlotOf(handle)];
    }
    FinishSeek(sought);
    return true;
}

// Under the state lock: from now on the channel stands at `frame`.
void Mixer::BeginSeek(Channel& ch, std::uint64_t frame) {
    ch.position = frame;
    ch.seeking = true;
    ++ch.seek_serial;
    ch.ended = false;
    ch.segment_count = 0;
}

// Moves the source to the latest target. Whoever seeks last sees the latest
// target, so concurrent seeks end where the last one asked.
void Mixer::FinishSeek(const std::shared_ptr<Channel>& ch) {
    std::lock_guard<std::mutex> decoder(ch->decoder);
    std::uint64_t target = 0, serial = 0;
    {
        Held lock(state_mutex_, state_probe_, probe_on_);
        target = ch->position;
        serial = ch->seek_serial;
    }
    ch->source->Seek(target);
    Held lock(state_mutex_, state_probe_, probe_on_);
    if (ch->seek_serial == serial) ch->seeking = false;
}

bool Mixer::Pause(std::uint32_t handle) {
    Held lock(state_mutex_, state_probe_, probe_on_);
    Channel* ch = Find(handle);
    if (ch == nullptr) return false;
    Settle(*ch, AudibleFrame());
    if (ch->activity != Activity::kPlaying) return false;
    ch->activity = Activity::kPaused;
    return true;
}

bool Mixer::Stop(std::uint32_t handle) {
    Held lock(state_mutex_, state_probe_, probe_on_);
    Channel* ch = Find(handle);
    if (ch == nullptr) return false;
    ch->activity = Activity::kStopped;
    return true;
}

Activity Mixer::State(std::uint32_t handle) {
    Held lock(state_mutex_, state_probe_, probe_on_);
    Channel* ch = Find(handle);
    if (ch == nullptr) return Activity::kStopped;
    Settle(*ch, AudibleFrame());
    return ch->activity;
}

bool Mixer::AnyPlaying() {
    Held lock(state_mutex_, state_probe_, probe_on_);
    const std::uint64_t audible = AudibleFrame();
    for (const auto& ch : slots_) {
        if (!ch) continue;
        Settle(*ch, audible);
        if (ch->activity == Activity::kPlaying) return true;
    }
    return false;
}

std::optional<std::uint64_t> Mixer::Length(std::uint32_t handle) {
    Held lock(state_mutex_, state_probe_, probe_on_);
    Channel* ch = Find(handle);
    if (ch == nullptr) return std::nullopt;
    return ch->length;
}

std::optional<std::uint64_t> Mixer::Position(std::uint32_t handle) {
    Held lock(state_mutex_, state_probe_, probe_on_);
    Channel* ch = Find(handle);
    if (ch == nullptr) return std::nullopt;
    const std::uint64_t audible = AudibleFrame();
    Settle(*ch, audible);
    if (ch->ended && audible >= ch->ended_device) return ch->length;
    if (ch->segment_count == 0) return std::min(ch->position, ch->length);
    // Before the first stretch mixed since a seek, the listener is still
    // hearing older sound: the position is the seek's target.
    std::uint64_t position = ch->segments[0].position;
    for (std::size_t i = ch->segment_count; i-- > 0;) {
        const Segment& s = ch->segments[i];
        if (s.device <= audible) {
            position = s.position + std::min(audible - s.device, s.rendered);
            break;
        }
    }
    return std::min(position, ch->length);
}

bool Mixer::SetPosition(std::uint32_t handle, std::uint64_t frame) {
    std::shared_ptr<Channel> sought;
    {
        Held lock(state_mutex_, state_probe_, probe_on_);
        Channel* ch = Find(handle);
        if (ch == nullptr || frame > ch->length) return false;
        Settle(*ch, AudibleFrame());
        BeginSeek(*ch, frame);
        sought = slots_[SlotOf(handle)];
    }
    FinishSeek(sought);
    return true;
}

bool Mixer::SetChannelVolume(std::uint32_t handle, int channel, int volume) {
    Held lock(state_mutex_, state_probe_, probe_on_);
    Channel* ch = Find(handle);
    if (ch == nullptr || channel < 0 || channel >= ch->module_channels) return false;
    ch->volumes[static_cast<std::size_t>(channel)] =
        static_cast<std::uint8_t>(std::clamp(volume, 0, 100));
    ch->volumes_dirty = true;
    return true;
}

bool Mixer::Window(std::uint32_t handle, std::int16_t* out, std::size_t frames) {
    Held lock(state_mutex_, state_probe_, probe_on_);
    Channel* ch = Find(handle);
    if (ch == nullptr || frames > kHistory / 2) return false;
    const std::uint64_t audible = AudibleFrame();
    Settle(*ch, audible);
    if (ch->activity != Activity::kPlaying) return false;
    // What is heard from now on; when less than that has been mixed yet,
    // the newest frames there are.
    std::uint64_t first = audible;
    if (first + frames > device_frames_)
        first = device_frames_ > frames ? device_frames_ - frames : 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const std::uint64_t frame = first + i;
        const std::size_t at = static_cast<std::size_t>(frame % kHistory) * 2;
        const bool mixed = frame < device_frames_;
        out[i * 2] = mixed ? ch->history[at] : 0;
        out[i * 2 + 1] = mixed ? ch->history[at + 1] : 0;
    }
    return true;
}

bool Mixer::Samples(std::uint32_t handle, std::int16_t* out, std::size_t frames) {
    return out != nullptr && Window(handle, out, frames);
}

bool Mixer::Spectrum(std::uint32_t handle, float* out) {
    if (out == nullptr || fft_ == nullptr) return false;
    std::array<std::int16_t, kFftSize * 2> frames;
    if (!Window(handle, frames.data(), kFftSize)) return false;
    std::array<float, kFftSize> mono;
    for (std::size_t n = 0; n < kFftSize; ++n) {
        const float mid = (float(frames[n * 2]) + float(frames[n * 2 + 1])) / (2.0f * 32768.0f);
        mono[n] = mid * window_[n];
    }
    std::array<kiss_fft_cpx, kFftBins + 1> bins;
    {
        std::lock_guard<std::mutex> lock(fft_mutex_);
        kiss_fftr(fft_, mono.data(), bins.data());
    }
    // A sine of amplitude A gives A * N / 2 at its bin, halved by the window.
    const float scale = 4.0f / kFftSize;
    // The bins stay far below float's range, so the plain root is safe and
    // costs a fraction of hypot's guarded one.
    for (std::size_t k = 0; k < kFftBins; ++k)
        out[k] = std::sqrt(bins[k].r * bins[k].r + bins[k].i * bins[k].i) * scale;
    return true;
}

void Mixer::Mix(std::int16_t* out, std::size_t frames) noexcept {
    Held render(render_mutex_, render_probe_, probe_on_);
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t n = std::min(kBlock, frames - done);
        MixBlock(out + done * 2, done, n, frames);
        done += n;
    }
}

// Mixes the `frames` frames that start `offset` frames into a mix of
// `total` frames.
void Mixer::MixBlock(std::int16_t* out, std::size_t offset, std::size_t frames,
                     std::size_t total) noexcept {
    const std::uint64_t device = TakeRequests() + offset;
    RenderJobs(frames);
    Publish(device, frames, offset + frames == total ? total : 0);
    // Only the channels that exist are summed: there is mostly one of them.
    const std::int16_t* blocks[kCapacity];
    std::size_t count = 0;
    for (std::size_t slot = 0; slot < kCapacity; ++slot)
        if (jobs_[slot].ch != nullptr) blocks[count++] = scratch_[slot].data();
    for (std::size_t i = 0; i < frames * 2; ++i) {
        int sum = 0;
        for (std::size_t k = 0; k < count; ++k)
            sum += blocks[k][i];
        out[i] = static_cast<std::int16_t>(std::clamp(sum, -32768, 32767));
    }
}

// Takes what the callers asked for since the last block; returns the output
// frame the mix being made starts at.
std::uint64_t Mixer::TakeRequests() noexcept {
    Held lock(state_mutex_, state_probe_, probe_on_);
    for (std::size_t slot = 0; slot < kCapacity; ++slot) {
        Job& job = jobs_[slot];
        job = Job{};
        Channel* ch = slots_[slot].get();
        if (ch == nullptr) continue;
        job.ch = ch;
        job.play = ch->activity == Activity::kPlaying && !ch->ended && !ch->seeking;
        job.serial = ch->seek_serial;
        if (ch->volumes_dirty) {
            std::copy(ch->volumes.begin(), ch->volumes.end(), ch->applied.begin());
            ch->volumes_dirty = false;
            job.volumes = true;
        }
    }
    return device_frames_;
}

// Decodes with no state lock held, never waiting for a seek: a channel whose
// source is being sought stays silent for this block.
void Mixer::RenderJobs(std::size_t frames) noexcept {
    for (std::size_t slot = 0; slot < kCapacity; ++slot) {
        Job& job = jobs_[slot];
        if (job.ch == nullptr) continue;
        std::int16_t* block = scratch_[slot].data();
        std::unique_lock<std::mutex> decoder(job.ch->decoder, std::try_to_lock);
        job.busy = !decoder.owns_lock();
        if (!job.busy) {
            Source& source = *job.ch->source;
            if (job.volumes) source.SetLevels(job.ch->applied.data());
            if (job.play) job.rendered = source.Render(block, frames);
        }
        std::fill(block + job.rendered * 2, block + frames * 2, std::int16_t{0});
    }
}

// Files each channel's block into its history, moves its position on and
// notes where its sound ended. With the last block of a mix (`total` its
// length, else 0), the output frame count and the time of the mix change
// together, so the audible frame derived from them never runs ahead and
// drops back.
void Mixer::Publish(std::uint64_t device, std::size_t frames, std::size_t total) noexcept {
    Held lock(state_mutex_, state_probe_, probe_on_);
    for (std::size_t slot = 0; slot < kCapacity; ++slot) {
        const Job& job = jobs_[slot];
        Channel* ch = job.ch;
        if (ch == nullptr || slots_[slot].get() != ch) continue; // freed meanwhile
        const std::int16_t* block = scratch_[slot].data();
        for (std::size_t i = 0; i < frames; ++i) {
            const std::size_t at = static_cast<std::size_t>((device + i) % kHistory) * 2;
            ch->history[at] = block[i * 2];
            ch->history[at + 1] = block[i * 2 + 1];
        }
        if (job.busy && job.volumes) ch->volumes_dirty = true; // next block
        // A seek that came in while this block decoded governs instead.
        if (ch->seek_serial != job.serial) continue;
        ch->Record({device, ch->position, job.rendered});
        ch->position += job.rendered;
        if (job.play && !job.busy && job.rendered < frames) {
            ch->ended = true;
            ch->ended_device = device + job.rendered;
            ch->position = ch->length;
        }
    }
    if (total == 0) return;
    device_frames_ = device + frames;
    last_mix_frames_ = total;
    last_mix_time_ = std::chrono::steady_clock::now();
}

LockFigures Mixer::StateLockFigures() const {
    return state_probe_.Read();
}
LockFigures Mixer::RenderLockFigures() const {
    return render_probe_.Read();
}

} // namespace tonebox::audio
