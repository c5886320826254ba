#include "input/keys.h"

#include "input/commands.h"

namespace {

struct KeyCommand {
    WPARAM key;
    void (*run)();
    bool repeats; // acts again on the auto-repeat of a held key
};

constexpr KeyCommand KeyCommands[] = {
    {VK_SPACE, PlayOrPause, false},
    {VK_MEDIA_PLAY_PAUSE, PlayOrPause, false},
    {'X', PlayOrResume, false},
    {'C', PausePlayback, false},
    {'V', StopPlayback, false},
    {VK_MEDIA_STOP, StopPlayback, false},
    {'Z', PlayPreviousSong, false},
    {VK_MEDIA_PREV_TRACK, PlayPreviousSong, false},
    {'B', PlayNextSong, false},
    {VK_MEDIA_NEXT_TRACK, PlayNextSong, false},
    {VK_LEFT, [] { SeekBy(-SeekStepMs); }, true},
    {VK_RIGHT, [] { SeekBy(SeekStepMs); }, true},
    {VK_UP, [] { StepKnob(1); }, true},
    {VK_DOWN, [] { StepKnob(-1); }, true},
};

// Bit 30 of a key message's flags: the key was down already, an auto-repeat.
constexpr LPARAM WasDown = 0x40000000;

} // namespace

void OnCommandKey(WPARAM key, LPARAM flags) {
    for (const KeyCommand& command : KeyCommands) {
        if (command.key != key) continue;
        if (command.repeats || !(flags & WasDown)) command.run();
        return;
    }
}
