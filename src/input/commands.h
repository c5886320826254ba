#pragma once

// What the listener can ask of the player, however they ask it: the skin's
// buttons, the keyboard, the keyboard's media keys or the desktop's player
// controls. Every way in runs the same command here, so a key does exactly
// what its button does.

#include <cstdint>

// Starts a stopped song from its beginning, resumes a paused one; a playing
// one goes on.
void PlayOrResume();
void PausePlayback(); // only a playing song pauses
// Pauses a playing song, else plays or resumes it.
void PlayOrPause();
// Stops the song and returns it to its start: a later play starts it afresh.
void StopPlayback();

// Moves the playing position by `ms` from where it is now, truncated to
// whole seconds as every seek is.
void SeekBy(std::int32_t ms);
constexpr std::int32_t SeekStepMs = 1000; // the back and forward buttons' step

// Plays the playlist's next or previous song, wrapping at its ends, as a
// click on its row would, and scrolls the list so that its row is in view.
void PlayNextSong();
void PlayPreviousSong();

// Moves the knob by `steps` tenths of its track (negative: to the left) and
// sets the volume from its place, as a drag would.
void StepKnob(int steps);
// Places the knob at `share` of its track (0 the left end, 1 the right,
// clamped to them) and sets the volume from its place, as a drag would.
void SetKnobShare(double share);
