#include "audiolib/source.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <streambuf>
#include <utility>

#include <time.h>

#include <libopenmpt/libopenmpt.hpp>
#include <libopenmpt/libopenmpt_ext.hpp>
#include <sndfile.h>

namespace tonebox::audio {
namespace {

// Files beyond this are not songs; refusing them keeps a stray path from
// eating memory.
constexpr std::uint64_t kMaxFileBytes = 512ull << 20;

std::uint64_t FramesOf(double seconds) {
    if (!(seconds > 0.0)) return 0;
    return static_cast<std::uint64_t>(std::llround(seconds * kRate));
}

std::int16_t ToSample(float v) {
    const float scaled = std::clamp(v * 32768.0f, -32768.0f, 32767.0f);
    return static_cast<std::int16_t>(std::lrint(scaled));
}

// libopenmpt talks about what it loads; nobody reads it. Each module keeps
// its own sink, which it writes to during playback too.
class NullStream : public std::ostream {
  public:
    NullStream() : std::ostream(&buffer_) {}

  private:
    struct Discard : std::streambuf {
        int overflow(int c) override { return traits_type::not_eof(c); }
    } buffer_;
};

// Thread CPU time: what the seek itself spent, however busy the machine.
double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// libopenmpt's raw pattern data (get_pattern_row_channel_command) uses its
// internal numbering of notes and commands.
namespace raw {
constexpr int kLastNote = 120; // notes are 1..120
constexpr int kNoteFade = 253; // 253..255: fade, cut and off
constexpr int kArpeggio = 1, kPortaUp = 2, kPortaDown = 3, kTonePorta = 4, kVibrato = 5,
              kTonePortaVolume = 6, kVibratoVolume = 7, kPositionJump = 12, kPatternBreak = 14,
              kExtended = 19, kKeyOff = 25, kFineVibrato = 26, kExtraFinePorta = 28,
              kNoteSlideFirst = 35, kNoteSlideLast = 38;
constexpr int kVolumeVibratoSpeed = 7, kVolumeVibratoDepth = 8, kVolumeTonePorta = 11,
              kVolumePortaUp = 12, kVolumePortaDown = 13;
} // namespace raw

// What libopenmpt's seek does to a note after a command: carries it on, or
// stops it while it still sounds (arpeggio, slides), or stops it in its
// release or plays it on at another phase than continuous playback has
// (key off, vibrato), where less is lost.
enum class Loss { kNone, kSoft, kHard };

Loss LossBySeek(int note, int effect, int param, int volume_effect) {
    using namespace raw;
    switch (effect) {
    case kArpeggio:
    case kPortaUp:
    case kPortaDown:
    case kExtraFinePorta:
        return Loss::kHard;
    case kExtended: // MOD and XM E1x and E2x: fine slides
        if ((param >> 4) == 1 || (param >> 4) == 2) return Loss::kHard;
        break;
    case kVibrato:
    case kVibratoVolume:
    case kFineVibrato:
    case kKeyOff:
        return Loss::kSoft;
    default:
        if (effect >= kNoteSlideFirst && effect <= kNoteSlideLast) return Loss::kHard;
    }
    if (volume_effect == kVolumePortaUp || volume_effect == kVolumePortaDown) return Loss::kHard;
    if (volume_effect == kVolumeVibratoSpeed || volume_effect == kVolumeVibratoDepth ||
        note >= kNoteFade)
        return Loss::kSoft;
    return Loss::kNone;
}

// The last row of `pattern` that plays before the next order: the row of a
// pattern break, or its last row; -1 when the pattern does not exist (an
// order marker) or jumps elsewhere, so that the orders before it are not
// what played before.
int LastPlayedRow(const openmpt::module& m, int pattern) {
    const int rows = m.get_pattern_num_rows(pattern);
    if (rows <= 0) return -1;
    for (int row = 0; row < rows; ++row)
        for (int c = 0; c < m.get_num_channels(); ++c) {
            const int effect =
                m.get_pattern_row_channel_command(pattern, row, c, openmpt::module::command_effect);
            if (effect == raw::kPositionJump) return -1;
            if (effect == raw::kPatternBreak) return row;
        }
    return rows - 1;
}

// Where the earliest notes began, among those sounding at the current row
// that libopenmpt's seek loses: (order, row), walking back along the order
// list as it plays straight through, at most `limit` rows.
struct LostNotes {
    std::optional<std::pair<int, int>> any;  // the earliest of all
    std::optional<std::pair<int, int>> hard; // the earliest stopped while it sounds
};

LostNotes FindLostNotes(const openmpt::module& m, int limit) {
    const int channels = m.get_num_channels();
    // Each channel's worst loss since its note, until the note is found.
    std::vector<std::optional<Loss>> open(static_cast<std::size_t>(std::max(channels, 0)),
                                          Loss::kNone);
    int order = m.get_current_order(), row = m.get_current_row();
    int pattern = m.get_order_pattern(order);
    int searching = channels;
    LostNotes lost;
    for (int step = 0; step < limit && searching > 0; ++step) {
        if (--row < 0) {
            if (--order < 0) break;
            pattern = m.get_order_pattern(order);
            row = LastPlayedRow(m, pattern);
            if (row < 0) break;
        }
        for (int c = 0; c < channels; ++c) {
            auto& loss = open[static_cast<std::size_t>(c)];
            if (!loss) continue;
            auto cell = [&](int what) {
                return int(m.get_pattern_row_channel_command(pattern, row, c, what));
            };
            const int note = cell(openmpt::module::command_note);
            const int effect = cell(openmpt::module::command_effect);
            const int volume_effect = cell(openmpt::module::command_volumeffect);
            loss =
                std::max(*loss, LossBySeek(note, effect, cell(openmpt::module::command_parameter),
                                           volume_effect));
            const bool glide = effect == raw::kTonePorta || effect == raw::kTonePortaVolume ||
                               volume_effect == raw::kVolumeTonePorta;
            if (note < 1 || note > raw::kLastNote || glide) continue;
            if (*loss != Loss::kNone) lost.any = {order, row};
            if (*loss == Loss::kHard) lost.hard = {order, row};
            loss.reset();
            --searching;
        }
    }
    return lost;
}

class ModuleSource final : public Source {
  public:
    ModuleSource(const Bytes& data, std::uint32_t flags, double seekBudgetSeconds)
        : ramp_((flags & kModuleRamp) != 0), seek_budget_(seekBudgetSeconds) {
        // One decoder a subsong, each put at its own start here: moving a
        // decoder to another subsong allocates, which the audio thread must
        // not do when one subsong ends and the next begins.
        auto first = std::make_unique<openmpt::module_ext>(data, log_, Controls());
        channels_ = std::max(0, first->get_num_channels());
        // Without a single sample (a file cut off before its samples, say)
        // it can make no sound: nothing to play, like an empty order list.
        if (first->get_num_samples() == 0) return;
        // Pattern loops and delays let a few kilobytes claim to last for
        // days, and every subsong's decoder works through all of it again
        // when it loads and seeks: no song, refused like one of length 0.
        first->select_subsong(-1);
        if (!(first->get_duration_seconds() <= kMaxSeconds)) return;
        const int subsongs = std::min(std::max(1, first->get_num_subsongs()), MaxSubsongs(data));
        for (int k = 0; k < subsongs; ++k) {
            auto module = first ? std::move(first)
                                : std::make_unique<openmpt::module_ext>(data, log_, Controls());
            module->select_subsong(k);
            module->set_repeat_count(0);
            // Until it first renders, libopenmpt times its seeks at its own
            // default rate, where a tick can last a fraction of a frame more
            // or less than it plays at ours: an empty render sets the rate.
            std::int16_t none[2];
            module->read_interleaved_stereo(kRate, 0, none);
            module->set_render_param(openmpt::module::RENDER_VOLUMERAMPING_STRENGTH,
                                     ramp_ ? -1 : 0);
            const std::uint64_t frames = FramesOf(module->get_duration_seconds());
            if (frames == 0) continue;
            Part part;
            part.subsong = k;
            part.start = length_;
            part.length = frames;
            part.interactive = static_cast<openmpt::ext::interactive*>(
                module->get_interface(openmpt::ext::interactive_id));
            part.module = std::move(module);
            part.holds.assign(static_cast<std::size_t>(channels_), Hold{});
            parts_.push_back(std::move(part));
            length_ += frames;
        }
        levels_.assign(static_cast<std::size_t>(channels_), 100);
        ratios_.assign(static_cast<std::size_t>(channels_), 1.0);
    }

    // Each subsong plays for its length, then the next one from its start.
    // Stops at the length itself: libopenmpt's own end of song allocates,
    // which the audio thread must not.
    std::size_t Render(std::int16_t* out, std::size_t frames) noexcept override {
        std::size_t done = 0;
        while (done < frames && !parts_.empty()) {
            Part& part = parts_[current_];
            const std::uint64_t end = part.start + part.length;
            if (pos_ >= end) {
                if (current_ + 1 >= parts_.size()) break;
                ApplyHolds(parts_[++current_]);
                continue;
            }
            const auto n = static_cast<std::size_t>(
                std::min<std::uint64_t>({frames - done, end - pos_, kChunk}));
            Deliver(part, out + done * 2, n);
            pos_ += n;
            done += n;
        }
        return done;
    }

    bool Seek(std::uint64_t frame) noexcept override {
        if (frame > length_ || parts_.empty()) return false;
        try {
            std::size_t k = parts_.size() - 1;
            while (k > 0 && parts_[k].start > frame)
                --k;
            // The subsongs after this one play from their starts again.
            for (std::size_t later = k + 1; later < parts_.size(); ++later)
                if (!parts_[later].fresh) Restart(parts_[later]);
            Part& part = parts_[k];
            const std::uint64_t offset = frame - part.start;
            if (offset < part.length)
                SeekWithin(part, offset);
            else
                part.fresh = false; // the very end: nothing left to play
            current_ = k;
            pos_ = frame;
            sounding_ = false;
            gain_ = target_gain_;
            return true;
        } catch (...) {
            return false;
        }
    }

    std::uint64_t LengthFrames() const noexcept override { return length_; }
    int ChannelCount() const noexcept override { return channels_; }

    // All channels at one level: a gain on the output, exact, and the song's
    // own channel volumes untouched. Levels that differ: the highest is the
    // gain, and the channels below it are lowered further through
    // libopenmpt's channel volume, which the song's own channel-volume
    // commands also set; after each block the layer puts its share back on
    // top of what the song set.
    void SetLevels(const std::uint8_t* levels) noexcept override {
        int top = 0;
        for (std::size_t c = 0; c < levels_.size(); ++c) {
            levels_[c] = std::min<std::uint8_t>(levels[c], 100);
            top = std::max<int>(top, levels_[c]);
        }
        target_gain_ = top / 100.0;
        // Ramped only where it changes a sound already heard.
        if (!ramp_ || !sounding_) gain_ = target_gain_;
        holding_ = false;
        for (std::size_t c = 0; c < levels_.size(); ++c) {
            ratios_[c] = top > 0 ? levels_[c] / double(top) : 1.0;
            holding_ = holding_ || ratios_[c] < 1.0;
        }
        if (!parts_.empty()) ApplyHolds(parts_[current_]);
    }

  private:
    static constexpr std::size_t kChunk = 1024;
    // A gain change ramps over this many frames with ramping on.
    static constexpr double kGainRampFrames = 256;
    // A seek plays again from the start of a note libopenmpt's seek would
    // lose, when that start lies within this many rows and seconds, and the
    // whole seek fits in the processor time the source was given for it.
    static constexpr int kLookBackRows = 512;
    static constexpr std::uint64_t kMaxReplayFrames = 30 * kRate;
    static constexpr double kUnbudgeted = kNoSeekBudget;

    // The layer's share of one channel's libopenmpt volume.
    struct Hold {
        bool held = false;
        double song = 1.0;    // the song's own volume there
        double written = 1.0; // what the layer wrote instead
    };

    struct Part {
        int subsong = 0;
        std::unique_ptr<openmpt::module_ext> module;
        openmpt::ext::interactive* interactive = nullptr;
        std::uint64_t start = 0, length = 0; // frames in the whole stream
        bool fresh = true;                   // at its start, untouched
        std::vector<Hold> holds;
    };

    // Each subsong's decoder holds the whole module again, and loading one
    // parses the file again: a file whose order list or sequences make a
    // hundred subsongs would take a hundred times its memory and loading
    // time. The subsongs played are the first ones, at most kMaxSubsongs
    // and at most as many copies as fit in kSubsongBytes.
    static constexpr double kMaxSeconds = 24 * 3600.0; // all subsongs together
    static constexpr int kMaxSubsongs = 16;
    static constexpr std::size_t kSubsongBytes = 256u << 20;
    static int MaxSubsongs(const Bytes& data) {
        return static_cast<int>(std::clamp<std::size_t>(
            kSubsongBytes / std::max<std::size_t>(data.size(), 1), 1, kMaxSubsongs));
    }

    static std::map<std::string, std::string> Controls() {
        return {{"seek.sync_samples", "1"}, {"play.at_end", "stop"}, {"dither", "0"}};
    }

    void Restart(Part& part) {
        part.module->select_subsong(part.subsong);
        part.fresh = true;
        part.holds.assign(part.holds.size(), Hold{});
    }

    // Moves `part` to `offset` frames into its subsong, exactly: libopenmpt
    // goes to the start of a row, and the rest is rendered away. Notes that
    // its seek cannot carry on are played again from where they began, as
    // far as the seek's CPU budget allows, a plain seek kept in reserve.
    void SeekWithin(Part& part, std::uint64_t offset) {
        part.fresh = false;
        const double began = ThreadCpuSeconds();
        const std::uint64_t at = RowAtOrBefore(part, offset);
        const double plain = ThreadCpuSeconds() - began;
        const LostNotes lost = FindLostNotes(*part.module, kLookBackRows);
        if (!lost.any) {
            Skip(part, offset - at, kUnbudgeted);
            return;
        }
        // From the earliest lost note; when that does not fit, from the
        // earliest that would be silent.
        const std::optional<std::pair<int, int>> tries[] = {
            lost.any, lost.hard != lost.any ? lost.hard : std::nullopt};
        for (const auto& from : tries) {
            if (!from) continue;
            const double seconds = part.module->set_position_order_row(from->first, from->second);
            const std::uint64_t start = FramesOf(seconds);
            const double left = seek_budget_ - (ThreadCpuSeconds() - began) - plain;
            if (seconds < 0.0 || start > at || offset - start > kMaxReplayFrames || left <= 0)
                continue;
            Settled(part);
            if (Skip(part, offset - start, left)) return;
        }
        // Too far back, or too slow to replay: libopenmpt's seek it is.
        Skip(part, offset - RowAtOrBefore(part, offset), kUnbudgeted);
    }

    // libopenmpt's seek goes to the start of the row at or after the time
    // asked for: asks half a row before the row that holds `frame`, then
    // earlier and earlier until it lands no later than `frame`; returns the
    // frame it landed on.
    std::uint64_t RowAtOrBefore(Part& part, std::uint64_t frame) {
        openmpt::module& m = *part.module;
        const double target = double(frame) / kRate;
        double reached = m.set_position_seconds(target);
        if (FramesOf(reached) > frame && m.get_current_tempo() > 0) {
            const double row = m.get_current_speed() * 2.5 / m.get_current_tempo();
            reached = m.set_position_seconds(std::max(0.0, reached - 1.5 * row));
        }
        for (double back = 0.01; FramesOf(reached) > frame && back < 2 * target; back *= 2)
            reached = m.set_position_seconds(std::max(0.0, target - back));
        if (FramesOf(reached) > frame) reached = m.set_position_seconds(0.0);
        Settled(part);
        return std::min(FramesOf(reached), frame);
    }

    // After a seek, libopenmpt's channel volumes are the song's again.
    void Settled(Part& part) {
        part.holds.assign(part.holds.size(), Hold{});
        ApplyHolds(part);
    }

    // Renders `frames` frames away, giving up (false) when that takes more
    // than `budget` seconds of CPU time, or will at the pace so far.
    bool Skip(Part& part, std::uint64_t frames, double budget) {
        const bool budgeted = budget != kUnbudgeted;
        const double began = budgeted ? ThreadCpuSeconds() : 0.0;
        const std::uint64_t total = frames;
        for (int chunks = 1; frames > 0; ++chunks) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(frames, kChunk));
            Read(part, scratch_, n);
            frames -= n;
            if (!budgeted || frames == 0) continue;
            const double spent = ThreadCpuSeconds() - began;
            const double pace = spent / double(total - frames);
            if (spent > budget || (chunks >= 4 && pace * double(total) > budget)) return false;
        }
        return true;
    }

    // `n` frames of the part as libopenmpt renders them, silence where its
    // rendering falls short of the length it gave.
    template <typename T>
    void Read(Part& part, T* out, std::size_t n) noexcept {
        part.fresh = false;
        std::size_t got = 0;
        try {
            got = part.module->read_interleaved_stereo(kRate, n, out);
        } catch (...) {
        }
        std::fill(out + got * 2, out + n * 2, T{});
        if (holding_) ApplyHolds(part);
    }

    // At full gain libopenmpt's own 16-bit output, as it is; otherwise its
    // float output under the gain, ramped when ramping is on.
    void Deliver(Part& part, std::int16_t* out, std::size_t n) noexcept {
        sounding_ = true;
        if (gain_ == 1.0 && target_gain_ == 1.0) {
            Read(part, out, n);
            return;
        }
        Read(part, mix_, n);
        const double step = 1.0 / kGainRampFrames;
        for (std::size_t i = 0; i < n; ++i) {
            if (gain_ != target_gain_)
                gain_ = gain_ < target_gain_ ? std::min(target_gain_, gain_ + step)
                                             : std::max(target_gain_, gain_ - step);
            const auto g = static_cast<float>(gain_);
            out[i * 2] = ToSample(mix_[i * 2] * g);
            out[i * 2 + 1] = ToSample(mix_[i * 2 + 1] * g);
        }
    }

    // Puts the layer's share of each channel's volume on what the song set
    // there last, or gives a channel back to the song.
    void ApplyHolds(Part& part) noexcept {
        if (part.interactive == nullptr) return;
        try {
            for (std::size_t c = 0; c < part.holds.size(); ++c) {
                Hold& hold = part.holds[c];
                const double ratio = ratios_[c];
                if (!hold.held && ratio >= 1.0) continue;
                const int channel = static_cast<int>(c);
                const double now = part.interactive->get_channel_volume(channel);
                // Unheld, or changed since: the song's own volume.
                if (!hold.held || now != hold.written) hold.song = now;
                if (ratio >= 1.0) {
                    part.interactive->set_channel_volume(channel, hold.song);
                    hold.held = false;
                    continue;
                }
                part.interactive->set_channel_volume(channel, hold.song * ratio);
                hold.written = part.interactive->get_channel_volume(channel);
                hold.held = true;
            }
        } catch (...) {
        }
    }

    NullStream log_;
    const bool ramp_;
    const double seek_budget_; // processor seconds a seek may spend replaying notes
    int channels_ = 0;
    std::vector<Part> parts_;
    std::size_t current_ = 0;
    std::uint64_t length_ = 0;
    std::uint64_t pos_ = 0; // frames rendered from the start of the stream
    std::vector<std::uint8_t> levels_;
    std::vector<double> ratios_;
    bool holding_ = false;
    double gain_ = 1.0, target_gain_ = 1.0;
    bool sounding_ = false; // rendered since the start or the last seek
    std::int16_t scratch_[kChunk * 2] = {};
    float mix_[kChunk * 2] = {};
};

// libsndfile reads through these from the bytes held in memory.
struct MemoryFile {
    Bytes data;
    sf_count_t pos = 0;
};

sf_count_t MemLength(void* user) {
    return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->data.size());
}

sf_count_t MemSeek(sf_count_t offset, int whence, void* user) {
    auto* f = static_cast<MemoryFile*>(user);
    const sf_count_t size = static_cast<sf_count_t>(f->data.size());
    sf_count_t base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? size : 0;
    const sf_count_t target = base + offset;
    if (target < 0 || target > size) return -1;
    f->pos = target;
    return f->pos;
}

sf_count_t MemRead(void* ptr, sf_count_t count, void* user) {
    auto* f = static_cast<MemoryFile*>(user);
    const sf_count_t size = static_cast<sf_count_t>(f->data.size());
    const sf_count_t n = std::clamp<sf_count_t>(size - f->pos, 0, std::max<sf_count_t>(count, 0));
    if (n > 0) std::memcpy(ptr, f->data.data() + f->pos, static_cast<std::size_t>(n));
    f->pos += n;
    return n;
}

sf_count_t MemWrite(const void*, sf_count_t, void*) {
    return 0;
}
sf_count_t MemTell(void* user) {
    return static_cast<MemoryFile*>(user)->pos;
}

struct SndfileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

// A sound file at any rate, resampled linearly to the output rate; mono is
// played on both sides, beyond two channels the first two are kept.
class SoundFileSource final : public Source {
  public:
    explicit SoundFileSource(Bytes data) : file_{std::move(data)} {
        SF_VIRTUAL_IO io{MemLength, MemSeek, MemRead, MemWrite, MemTell};
        sndfile_.reset(sf_open_virtual(&io, SFM_READ, &info_, &file_));
        if (!sndfile_ || info_.channels < 1 || info_.samplerate < 1 || info_.frames < 1 ||
            info_.frames == SF_COUNT_MAX)
            return;
        rate_ = static_cast<std::uint64_t>(info_.samplerate);
        total_ = static_cast<std::uint64_t>(info_.frames);
        length_ = total_ * kRate / rate_;
        raw_.resize(kChunk * static_cast<std::size_t>(info_.channels));
        stereo_.resize((kChunk + 1) * 2);
    }

    bool Valid() const { return length_ > 0; }

    std::size_t Render(std::int16_t* out, std::size_t frames) noexcept override {
        std::size_t done = 0;
        while (done < frames && out_pos_ < length_) {
            const std::uint64_t scaled = out_pos_ * rate_;
            const std::uint64_t i = scaled / kRate;
            const float t = float(scaled % kRate) / kRate;
            if (!Ensure(i)) break;
            const std::size_t at = static_cast<std::size_t>(i - buf_start_);
            const bool next = at + 1 < buf_count_;
            for (int side = 0; side < 2; ++side) {
                const float a = stereo_[at * 2 + side];
                const float b = next ? stereo_[(at + 1) * 2 + side] : a;
                out[done * 2 + side] = ToSample(a + (b - a) * t);
            }
            ++done;
            ++out_pos_;
        }
        return done;
    }

    // Moves the file there now, on the caller's thread: a compressed
    // format's seek decodes and allocates.
    bool Seek(std::uint64_t frame) noexcept override {
        if (frame > length_) return false;
        out_pos_ = frame;
        buf_count_ = 0;
        buf_start_ = frame * rate_ / kRate;
        if (buf_start_ >= total_) return true;
        if (sf_seek(sndfile_.get(), static_cast<sf_count_t>(buf_start_), SEEK_SET) < 0)
            return false;
        file_pos_ = buf_start_;
        return true;
    }

    std::uint64_t LengthFrames() const noexcept override { return length_; }

  private:
    static constexpr std::size_t kChunk = 1024;

    // Brings frame i, and i + 1 where the file has it, into the buffer.
    bool Ensure(std::uint64_t i) noexcept {
        const std::uint64_t end = buf_start_ + buf_count_;
        if (i >= buf_start_ && i + 1 < end) return true;
        if (i >= buf_start_ && i < end && end >= total_) return true;
        if (i + 1 == end) {
            // Keep the last frame: it is the left side of the next step.
            std::copy_n(&stereo_[(buf_count_ - 1) * 2], 2, stereo_.begin());
            buf_start_ = i;
            buf_count_ = 1;
        } else {
            buf_start_ = i;
            buf_count_ = 0;
        }
        const std::uint64_t want = buf_start_ + buf_count_;
        if (want != file_pos_) {
            if (sf_seek(sndfile_.get(), static_cast<sf_count_t>(want), SEEK_SET) < 0) return false;
            file_pos_ = want;
        }
        const sf_count_t got =
            sf_readf_float(sndfile_.get(), raw_.data(), static_cast<sf_count_t>(kChunk));
        if (got <= 0) return buf_count_ > 0 && i < buf_start_ + buf_count_;
        const std::size_t channels = static_cast<std::size_t>(info_.channels);
        for (std::size_t f = 0; f < static_cast<std::size_t>(got); ++f) {
            const float left = raw_[f * channels];
            const float right = channels > 1 ? raw_[f * channels + 1] : left;
            stereo_[(buf_count_ + f) * 2] = left;
            stereo_[(buf_count_ + f) * 2 + 1] = right;
        }
        buf_count_ += static_cast<std::size_t>(got);
        file_pos_ += static_cast<std::uint64_t>(got);
        return i < buf_start_ + buf_count_;
    }

    MemoryFile file_;
    SF_INFO info_{};
    std::unique_ptr<SNDFILE, SndfileCloser> sndfile_;
    std::uint64_t rate_ = kRate, total_ = 0, length_ = 0;
    std::uint64_t out_pos_ = 0, file_pos_ = 0, buf_start_ = 0;
    std::size_t buf_count_ = 0;
    std::vector<float> raw_, stereo_;
};

} // namespace

std::unique_ptr<Source> OpenModule(const Bytes& data, std::uint32_t flags,
                                   double seekBudgetSeconds) {
    if (data.empty()) return nullptr;
    try {
        auto source = std::make_unique<ModuleSource>(data, flags, seekBudgetSeconds);
        // Nothing to play (an order list of skip markers, or no samples): a
        // channel of length 0 would never reach its end, and the player would
        // wait on its silence for ever.
        if (source->LengthFrames() == 0) return nullptr;
        return source;
    } catch (...) {
        // openmpt::exception for anything that is not a module, bad_alloc
        // for a file that claims absurd sizes: either way, no channel.
        return nullptr;
    }
}

std::unique_ptr<Source> OpenSoundFile(Bytes data) {
    if (data.empty()) return nullptr;
    try {
        auto source = std::make_unique<SoundFileSource>(std::move(data));
        if (!source->Valid()) return nullptr;
        return source;
    } catch (...) {
        return nullptr;
    }
}

std::string NativePath(const char* path) {
    std::string native(path);
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}

std::optional<Bytes> ReadFileBytes(const std::string& path, std::uint64_t offset,
                                   std::uint64_t length) {
    try {
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
        const std::uint64_t size = std::filesystem::file_size(path, error);
        if (error || offset > size) return std::nullopt;
        std::uint64_t count = size - offset;
        if (length != 0) count = std::min(count, length);
        if (count > kMaxFileBytes) return std::nullopt;
        std::ifstream in(path, std::ios::binary);
        if (!in) return std::nullopt;
        in.seekg(static_cast<std::streamoff>(offset));
        Bytes bytes(static_cast<std::size_t>(count));
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
        if (static_cast<std::uint64_t>(in.gcount()) != count) return std::nullopt;
        return bytes;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<Bytes> ReadSongFile(const char* path, std::uint64_t offset, std::uint64_t length,
                                  const std::filesystem::path& data_dir) {
    const std::string native = NativePath(path);
    if (auto bytes = ReadFileBytes(native, offset, length)) return bytes;
    const std::filesystem::path relative(native);
    if (relative.is_absolute() || data_dir.empty()) return std::nullopt;
    return ReadFileBytes((data_dir / relative).lexically_normal().string(), offset, length);
}

} // namespace tonebox::audio
