// The audio library's calls over the mixer, with SDL's audio device as the
// output. Every call checks its handle and arguments; a bad one fails with
// the library's error value rather than touching anything.

#include "audiolib/bass.h"

#include "audiolib/mixer.h"
#include "audiolib/output.h"
#include "audiolib/source.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>

#include <SDL.h>

namespace {

using tonebox::audio::Activity;
using tonebox::audio::Bytes;
using tonebox::audio::kBytesPerFrame;
using tonebox::audio::kRate;
using tonebox::audio::Mixer;
using tonebox::audio::Output;

constexpr DWORD kVersion = 0x02030000;
constexpr QWORD kNoPosition = ~QWORD{0};
constexpr DWORD kError = ~DWORD{0};
constexpr DWORD kMaxSampleBytes = Mixer::kHistory / 2 * kBytesPerFrame;
// Until the device first runs, the mixer reckons with a buffer of this many
// frames between what it mixed and what is heard.
constexpr std::size_t kFirstLatency = 2048;

// The output goes first, and with it the device's thread that mixes from
// the mixer; also when the process ends while it plays, without BASS_Free.
struct Library {
    std::shared_ptr<Mixer> mixer;
    std::unique_ptr<Output> output;
};

std::mutex library_mutex;
Library library;

std::shared_ptr<Mixer> CurrentMixer() {
    std::lock_guard<std::mutex> lock(library_mutex);
    return library.mixer;
}

// The output lives while the library's lock is held.
bool OutputLost() {
    std::lock_guard<std::mutex> lock(library_mutex);
    return library.output && library.output->Lost();
}

void WakeOutput() {
    std::lock_guard<std::mutex> lock(library_mutex);
    if (library.output) library.output->Wake();
}

// The installed data folder, beside the executable's own folder:
// <prefix>/bin/tonebox has its songs in <prefix>/share/tonebox/songs.
const std::filesystem::path& DataDir() {
    static const std::filesystem::path dir = [] {
        char* base = SDL_GetBasePath();
        if (base == nullptr) return std::filesystem::path();
        std::filesystem::path found = std::filesystem::path(base) / ".." / "share" / "tonebox";
        SDL_free(base);
        return found.lexically_normal();
    }();
    return dir;
}

// The bytes a load call names: a file (path, offset, length 0 for all of
// it) or a block of memory.
std::optional<Bytes> InputBytes(BOOL mem, const void* file, QWORD offset, QWORD length) {
    if (file == nullptr) return std::nullopt;
    if (mem) {
        if (length == 0) return std::nullopt;
        const auto* begin = static_cast<const std::byte*>(file) + offset;
        return Bytes(begin, begin + length);
    }
    return tonebox::audio::ReadSongFile(static_cast<const char*>(file), offset, length, DataDir());
}

} // namespace

DWORD BASS_GetVersion() {
    return kVersion;
}

BOOL BASS_Init(int device, DWORD /*freq*/, DWORD /*flags*/, HWND /*win*/, const GUID* /*clsid*/) {
    std::lock_guard<std::mutex> lock(library_mutex);
    if (library.mixer || (device != -1 && device != 1)) return FALSE;
    auto mixer = std::make_shared<Mixer>(kFirstLatency, true);
    auto output = Output::Open(mixer);
    if (!output) return FALSE;
    library.mixer = std::move(mixer);
    library.output = std::move(output);
    return TRUE;
}

BOOL BASS_Free() {
    Library gone;
    {
        std::lock_guard<std::mutex> lock(library_mutex);
        if (!library.mixer) return FALSE;
        std::swap(gone, library);
    }
    // The music fades out and the device closes, with it the callback; the
    // channels go with the mixer.
    gone.output.reset();
    gone.mixer->RemoveAll();
    return TRUE;
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length,
                              DWORD /*flags*/) {
    const auto mixer = CurrentMixer();
    if (!mixer) return 0;
    auto bytes = InputBytes(mem, file, offset, length);
    if (!bytes) return 0;
    return mixer->Add(tonebox::audio::OpenSoundFile(std::move(*bytes)));
}

HMUSIC BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags,
                      DWORD /*freq*/) {
    const auto mixer = CurrentMixer();
    if (!mixer) return 0;
    const auto bytes = InputBytes(mem, file, offset, length);
    if (!bytes) return 0;
    return mixer->Add(tonebox::audio::OpenModule(*bytes, flags));
}

BOOL BASS_MusicFree(HMUSIC handle) {
    const auto mixer = CurrentMixer();
    return mixer && mixer->Remove(handle) ? TRUE : FALSE;
}

DWORD BASS_MusicSetAttribute(HMUSIC handle, DWORD attrib, DWORD value) {
    const auto mixer = CurrentMixer();
    if (!mixer || attrib < BASS_MUSIC_ATTRIB_VOL_CHAN || attrib >= BASS_MUSIC_ATTRIB_VOL_CHAN + 256)
        return kError;
    const int channel = static_cast<int>(attrib - BASS_MUSIC_ATTRIB_VOL_CHAN);
    const int volume = static_cast<int>(std::min<DWORD>(value, 100));
    return mixer->SetChannelVolume(handle, channel, volume) ? TRUE : kError;
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
    const auto mixer = CurrentMixer();
    if (!mixer || !mixer->Play(handle, restart != FALSE)) return FALSE;
    WakeOutput();
    return TRUE;
}

BOOL BASS_ChannelPause(DWORD handle) {
    const auto mixer = CurrentMixer();
    return mixer && mixer->Pause(handle) ? TRUE : FALSE;
}

BOOL BASS_ChannelStop(DWORD handle) {
    const auto mixer = CurrentMixer();
    return mixer && mixer->Stop(handle) ? TRUE : FALSE;
}

// A playing channel whose device has gone is stalled: nothing is heard, and
// it goes on where it stands once the device is back.
DWORD BASS_ChannelIsActive(DWORD handle) {
    const auto mixer = CurrentMixer();
    if (!mixer) return BASS_ACTIVE_STOPPED;
    const Activity activity = mixer->State(handle);
    if (activity == Activity::kPlaying && OutputLost()) return BASS_ACTIVE_STALLED;
    return static_cast<DWORD>(activity);
}

QWORD BASS_ChannelGetLength(DWORD handle) {
    const auto mixer = CurrentMixer();
    const auto frames = mixer ? mixer->Length(handle) : std::nullopt;
    return frames ? *frames * kBytesPerFrame : kNoPosition;
}

QWORD BASS_ChannelGetPosition(DWORD handle) {
    const auto mixer = CurrentMixer();
    const auto frames = mixer ? mixer->Position(handle) : std::nullopt;
    return frames ? *frames * kBytesPerFrame : kNoPosition;
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos) {
    const auto mixer = CurrentMixer();
    return mixer && mixer->SetPosition(handle, pos / kBytesPerFrame) ? TRUE : FALSE;
}

float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    const auto mixer = CurrentMixer();
    if (!mixer || !mixer->Valid(handle) || pos == kNoPosition) return -1.0f;
    return static_cast<float>(double(pos / kBytesPerFrame) / kRate);
}

QWORD BASS_ChannelSeconds2Bytes(DWORD handle, float pos) {
    const auto mixer = CurrentMixer();
    // A negative or undefined time has no position: the all-ones value,
    // which no seek accepts.
    if (!mixer || !mixer->Valid(handle) || !(pos >= 0.0f) || std::isinf(pos)) return kNoPosition;
    return static_cast<QWORD>(std::floor(double(pos) * kRate)) * kBytesPerFrame;
}

DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    const auto mixer = CurrentMixer();
    if (!mixer || buffer == nullptr) return kError;
    if (length == BASS_DATA_FFT1024)
        return mixer->Spectrum(handle, static_cast<float*>(buffer))
                   ? DWORD{tonebox::audio::kFftBins * sizeof(float)}
                   : kError;
    // Other requests with flags (other FFT sizes, float samples) are not offered.
    if (length & 0xFF000000u) return kError;
    const DWORD bytes = std::min(length, kMaxSampleBytes) / kBytesPerFrame * kBytesPerFrame;
    if (bytes == 0) return kError;
    return mixer->Samples(handle, static_cast<std::int16_t*>(buffer), bytes / kBytesPerFrame)
               ? bytes
               : kError;
}
