#include "audiolib/source.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <streambuf>

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

class ModuleSource final : public Source {
  public:
    ModuleSource(const Bytes& data, std::uint32_t flags) : module_(data, log_, Controls()) {
        // Every subsong in order, as players do, once through, no fade.
        module_.select_subsong(-1);
        module_.set_repeat_count(0);
        module_.set_render_param(openmpt::module::RENDER_VOLUMERAMPING_STRENGTH,
                                 (flags & kModuleRamp) ? -1 : 0);
        interactive_ = static_cast<openmpt::ext::interactive*>(
            module_.get_interface(openmpt::ext::interactive_id));
        volumes_.assign(static_cast<std::size_t>(std::max(0, module_.get_num_channels())), 1.0);
        length_ = FramesOf(module_.get_duration_seconds());
    }

    // Stops at the length itself: libopenmpt's own end of song allocates,
    // which the audio thread must not.
    std::size_t Render(std::int16_t* out, std::size_t frames) noexcept override {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(frames, length_ - pos_));
        if (n == 0) return 0;
        try {
            const std::size_t got = module_.read_interleaved_stereo(kRate, n, out);
            pos_ += got;
            return got;
        } catch (...) {
            return 0;
        }
    }

    bool Seek(std::uint64_t frame) noexcept override {
        if (frame > length_) return false;
        try {
            const double reached = SeekRowAtOrBefore(frame);
            pos_ = std::min(FramesOf(reached), length_);
            // A seek resets the channel volumes: the caller's stay in force.
            ApplyVolumes();
            // The seek lands on the start of a row; render up to the frame
            // asked for so that position and sound agree.
            std::uint64_t skip = frame - std::min(frame, FramesOf(reached));
            while (skip > 0) {
                const std::size_t n = Render(scratch_, std::min<std::uint64_t>(skip, kScratch));
                if (n == 0) break;
                skip -= n;
            }
            return true;
        } catch (...) {
            return false;
        }
    }

    std::uint64_t LengthFrames() const noexcept override { return length_; }
    int ChannelCount() const noexcept override { return static_cast<int>(volumes_.size()); }

    void SetChannelVolume(int channel, double volume) noexcept override {
        if (channel < 0 || channel >= ChannelCount()) return;
        volumes_[static_cast<std::size_t>(channel)] = volume;
        ApplyVolume(channel);
    }

  private:
    static constexpr std::size_t kScratch = 1024;

    static std::map<std::string, std::string> Controls() {
        return {{"seek.sync_samples", "1"}, {"play.at_end", "stop"}, {"dither", "0"}};
    }

    // A seek goes to the start of the row at or after the time asked for:
    // ask earlier and earlier until it lands no later than `frame`.
    double SeekRowAtOrBefore(std::uint64_t frame) {
        const double target = double(frame) / kRate;
        double reached = module_.set_position_seconds(target);
        for (double back = 0.01; FramesOf(reached) > frame && back < 2 * target; back *= 2)
            reached = module_.set_position_seconds(std::max(0.0, target - back));
        if (FramesOf(reached) > frame) reached = module_.set_position_seconds(0.0);
        return reached;
    }

    void ApplyVolume(int channel) noexcept {
        if (interactive_ == nullptr) return;
        try {
            interactive_->set_channel_volume(channel, volumes_[static_cast<std::size_t>(channel)]);
        } catch (...) {
        }
    }

    void ApplyVolumes() noexcept {
        for (int c = 0; c < ChannelCount(); ++c)
            ApplyVolume(c);
    }

    NullStream log_;
    openmpt::module_ext module_;
    openmpt::ext::interactive* interactive_ = nullptr;
    std::vector<double> volumes_;
    std::uint64_t length_ = 0;
    std::uint64_t pos_ = 0; // frames rendered from the start
    std::int16_t scratch_[kScratch * 2] = {};
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

std::unique_ptr<Source> OpenModule(const Bytes& data, std::uint32_t flags) {
    if (data.empty()) return nullptr;
    try {
        auto source = std::make_unique<ModuleSource>(data, flags);
        // Nothing to play (an order list of skip markers, say): a channel of
        // length 0 would never reach its end, and the player would wait on
        // its silence for ever.
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

} // namespace tonebox::audio
