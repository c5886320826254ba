#pragma once

// Decoders behind the mixer: a tracker module (libopenmpt) or a sampled sound
// file (libsndfile), both rendering 16-bit stereo at the output rate. A
// source is used by one thread at a time: built on the caller's thread, then
// handed to the mixer, which renders, seeks and sets volumes on it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tonebox::audio {

constexpr int kRate = 44100;
constexpr int kBytesPerFrame = 4;

using Bytes = std::vector<std::byte>;

class Source {
  public:
    virtual ~Source() = default;
    // Renders up to `frames` frames into `out`; fewer at the end, 0 after it.
    virtual std::size_t Render(std::int16_t* out, std::size_t frames) noexcept = 0;
    // Moves to `frame`; false when the source cannot go there.
    virtual bool Seek(std::uint64_t frame) noexcept = 0;
    virtual std::uint64_t LengthFrames() const noexcept = 0;
    // Module channels; a sound file has none.
    virtual int ChannelCount() const noexcept { return 0; }
    // The listener's level of each module channel, 0..100, ChannelCount()
    // of them: a factor on whatever the song plays there, kept across the
    // song's own commands, seeks and subsongs. Called between renders.
    virtual void SetLevels(const std::uint8_t* /*levels*/) noexcept {}
};

constexpr std::uint32_t kModuleRamp = 0x200;

// A module source, or null when `data` is not a module libopenmpt accepts,
// or its subsongs together last more than a day.
// It plays every subsong in turn, each from its own start, as one stream;
// of a module with more than 16 subsongs, the first 16 (fewer for a file
// beyond 16 MiB: each subsong holds a copy of the module).
//
// A seek that lands where libopenmpt's own would silence held notes plays
// them again from where they began, within `seekBudgetSeconds` of processor
// time on the caller's thread; past that, libopenmpt's seek it is.
constexpr double kSeekBudgetSeconds = 0.012;
constexpr double kNoSeekBudget = std::numeric_limits<double>::infinity();
std::unique_ptr<Source> OpenModule(const Bytes& data, std::uint32_t flags,
                                   double seekBudgetSeconds = kSeekBudgetSeconds);

// A sound file source (WAV, FLAC, Ogg Vorbis, ...), or null when `data` is
// not sampled audio. Takes the bytes: the decoder reads them from memory, so
// rendering never touches the disk.
std::unique_ptr<Source> OpenSoundFile(Bytes data);

// "./songs/X.it" for ".\songs\X.it": the separator of the callers' paths.
std::string NativePath(const char* path);

// The bytes of a regular file from `offset`, `length` of them (0: to the
// end); nothing for a missing, unreadable or special file.
std::optional<Bytes> ReadFileBytes(const std::string& path, std::uint64_t offset,
                                   std::uint64_t length);

// The bytes of the file a caller's path names: from the working directory,
// as the playlist's relative paths say, else, for a relative path, from
// `data_dir` (the installed data folder); nothing when neither has it.
std::optional<Bytes> ReadSongFile(const char* path, std::uint64_t offset, std::uint64_t length,
                                  const std::filesystem::path& data_dir);

} // namespace tonebox::audio
