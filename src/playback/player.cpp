#include "playback/player.h"

#include "platform/win32.h"
#include "playback/song_table.h"
#include "shared/float_to_int.h"

PlayerState Player = {0, 0, NoVolume, 0};

namespace {

constexpr DWORD StreamFlags = BASS_SAMPLE_LOOP;
constexpr DWORD ModuleFlags = BASS_SAMPLE_LOOP | BASS_MUSIC_RAMP | BASS_MUSIC_PRESCAN;
constexpr DWORD NoChannel = 0xFFFFFFFF;
constexpr DWORD FullVolume = 100;

// Attributes from 0x200 on are instrument volumes, so the channel sweep never
// goes past 0x1FF even if the library kept answering.
constexpr DWORD MaxModuleChannels = 0x100;

// True while a "Can't load file" box is open. The box keeps ticks running, and
// a tick may fail to load the next song too: that failure is not boxed again,
// so a folder of missing songs never stacks boxes or stalls the music.
bool LoadFailureBoxOpen = false;

void ReportLoadFailure() {
    if (LoadFailureBoxOpen) return;
    LoadFailureBoxOpen = true;
    MessageBoxA(nullptr, "Can't load file", nullptr, MB_OK | MB_ICONERROR);
    LoadFailureBoxOpen = false;
}

// Every module channel of the current song to `level`; a module answers -1
// past its last channel.
void ApplyVolume(DWORD level) {
    for (DWORD n = 0; n < MaxModuleChannels; ++n) {
        const DWORD attribute = BASS_MUSIC_ATTRIB_VOL_CHAN + n;
        if (BASS_MusicSetAttribute(Player.channel, attribute, 1) == NoChannel) return;
        BASS_MusicSetAttribute(Player.channel, attribute, level);
    }
}

DWORD OpenSong(const char* path) {
    DWORD handle = BASS_StreamCreateFile(FALSE, path, 0, 0, StreamFlags);
    if (handle == 0) handle = BASS_MusicLoad(FALSE, path, 0, 0, ModuleFlags, 0);
    return handle;
}

} // namespace

void PlaySong(std::int16_t index) {
    const bool again = index == Player.currentSong && Player.channel != 0;
    Player.currentSong = index;
    if (Player.channel != 0) BASS_MusicFree(Player.channel);
    Player.channel = 0;
    Player.channel = OpenSong(SongTable.entries[index].path);
    if (Player.channel == 0) {
        // The box runs ticks that may load another song: nothing after it may
        // rely on the player being as it was.
        ReportLoadFailure();
        return;
    }
    // Until the listener first sets a volume, each song plays at its own;
    // from then on every song starts at theirs, so sound and knob agree.
    if (Player.volume != NoVolume) ApplyVolume(static_cast<DWORD>(Player.volume));
    BASS_ChannelPlay(Player.channel, TRUE);
    if (again) ++Player.jumps;
}

void AdvanceAtEnd() {
    const QWORD length = BASS_ChannelGetLength(Player.channel);
    const QWORD position = BASS_ChannelGetPosition(Player.channel);
    // With no channel both read all ones and the test holds; a length of 0
    // wraps to the largest value and never does.
    if (position < length - 1) return;
    std::int16_t next = static_cast<std::int16_t>(Player.currentSong + 1);
    if (next > SongTable.count - 1) next = 0;
    PlaySong(next);
}

std::int32_t PositionMs() {
    if (Player.channel == 0) return 0;
    const float seconds =
        BASS_ChannelBytes2Seconds(Player.channel, BASS_ChannelGetPosition(Player.channel));
    const std::int32_t ms = FloatToInt(static_cast<double>(seconds) * 1000.0);
    if (BASS_ChannelIsActive(Player.channel) == BASS_ACTIVE_STOPPED) return 0;
    return ms;
}

void SeekMs(std::int32_t ms) {
    if (Player.channel == 0) return;
    const std::int32_t wholeSeconds = ms / 1000;
    const QWORD bytes = BASS_ChannelSeconds2Bytes(Player.channel, static_cast<float>(wholeSeconds));
    if (BASS_ChannelSetPosition(Player.channel, bytes)) ++Player.jumps;
}

void SetVolume(std::int32_t volume) {
    DWORD level = static_cast<DWORD>(volume) & 0xFF;
    if (level > FullVolume) level = FullVolume;
    Player.volume = static_cast<std::int16_t>(level);
    ApplyVolume(level);
}
