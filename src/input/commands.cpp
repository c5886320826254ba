#include "input/commands.h"

#include "audiolib/bass.h"
#include "input/controls.h"
#include "input/volume_slider.h"
#include "playback/player.h"
#include "playback/song_table.h"

#include <algorithm>
#include <cmath>

void PlayOrResume() {
    if (BASS_ChannelIsActive(Player.channel) == BASS_ACTIVE_STOPPED)
        BASS_ChannelPlay(Player.channel, TRUE);
    if (BASS_ChannelIsActive(Player.channel) == BASS_ACTIVE_PAUSED)
        BASS_ChannelPlay(Player.channel, FALSE);
}

void PausePlayback() {
    if (BASS_ChannelIsActive(Player.channel) == BASS_ACTIVE_PLAYING)
        BASS_ChannelPause(Player.channel);
}

void PlayOrPause() {
    if (BASS_ChannelIsActive(Player.channel) == BASS_ACTIVE_PLAYING)
        PausePlayback();
    else
        PlayOrResume();
}

// Back to the start through the player's seek, which counts the jump like
// every other.
void StopPlayback() {
    BASS_ChannelStop(Player.channel);
    SeekMs(0);
}

void SeekBy(std::int32_t ms) {
    SeekMs(PositionMs() + ms);
}

namespace {

void PlayListedSong(int index) {
    const int count = SongTable.count;
    const auto song = static_cast<std::int16_t>((index % count + count) % count);
    ShowSongRow(song);
    PlaySong(song);
}

} // namespace

void PlayNextSong() {
    PlayListedSong(Player.currentSong + 1);
}

void PlayPreviousSong() {
    PlayListedSong(Player.currentSong - 1);
}

void StepKnob(int steps) {
    PlaceKnob(static_cast<std::int16_t>(VolumeSlider.knobX + steps * KnobStep));
}

void SetKnobShare(double share) {
    if (std::isnan(share)) return;
    share = std::clamp(share, 0.0, 1.0);
    PlaceKnob(static_cast<std::int16_t>(KnobLeftEnd + std::lround(share * KnobTrackLength)));
}
