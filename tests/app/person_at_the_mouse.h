#pragma once

// A person at the mouse of the program's window on a test desktop: xdotool's
// hands, screenshots for eyes and the disk audio output for ears. Shared by
// the Linux build's desktop tests and the Windows build's under Wine.

#include "child_process.h"
#include "desktop.h"
#include "disk_audio.h"
#include "skin/skin_images.h"
#include "test_songs.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <utility>

namespace e2e {

// The skin's pixels on the screen, with the window's corner at `origin`.
struct SkinOnScreen {
    Screenshot shot;
    std::pair<int, int> origin;
    Rgb At(int x, int y) const { return shot.At(origin.first + x, origin.second + y); }
};

// The background image's colour at (x, y), where it is opaque.
inline Rgb BackgroundAt(int x, int y) {
    const unsigned char* p = SkinImagePixels(BackgroundImage) + (y * 372 + x) * 4;
    return Rgb{p[2], p[1], p[0]};
}

// After a test: ends the program if it still runs and stops the desktop;
// keeps the folder, saying so with what the program did, when the test
// failed, else removes it.
inline void CleanUp(Child& program, Desktop& desktop, const std::string& folder, bool failed) {
    StillRunning(program); // reaps it if it has ended, for Describe
    const std::string how = Describe(program);
    if (program.pid > 0) {
        Terminate(program);
        WaitForExit(program, 5000);
    }
    desktop.Stop();
    if (failed)
        std::fprintf(stderr, "kept %s; the program: %s\n%s\n", folder.c_str(), how.c_str(),
                     ReadFile(program.stderrPath).c_str());
    else
        RemoveFolder(folder);
}

// How many pixels of the box differ from the background image: a glow's
// light.
inline int LitPixels(const SkinOnScreen& skin, int left, int top, int right, int bottom) {
    int lit = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            lit += !(skin.At(x, y) == BackgroundAt(x, y));
    return lit;
}

class Person {
  public:
    // `origin`: the window's corner on the screen, set once it is known.
    Person(const Desktop& desktop, const std::string& audioPath)
        : desktop_(desktop), audioPath_(audioPath) {}

    std::pair<int, int> origin;

    std::string Screen(int x, int y) const {
        return std::to_string(origin.first + x) + " " + std::to_string(origin.second + y);
    }
    void Hover(int x, int y) const { desktop_.Run("xdotool mousemove " + Screen(x, y)); }
    // A click as short as a touchpad's tap: the press and its release come
    // together, and the program still sees it.
    void Click(int x, int y) const {
        Hover(x, y);
        desktop_.Run("xdotool mousedown 1 mouseup 1");
    }
    // Presses at (x, y), moves to (toX, toY) in steps and lets go.
    void Drag(int x, int y, int toX, int toY) const {
        Hover(x, y);
        std::string steps = "xdotool sleep 0.1 mousedown 1 sleep 0.25";
        for (int step = 1; step <= 5; ++step)
            steps += " mousemove " + Screen(x + (toX - x) * step / 5, y + (toY - y) * step / 5) +
                     " sleep 0.05";
        desktop_.Run(steps + " sleep 0.2 mouseup 1");
    }
    SkinOnScreen Look() const { return SkinOnScreen{desktop_.Shoot(), origin}; }

    // How much sound the output holds now.
    std::size_t Mark() const { return ReadDiskAudio(audioPath_).Frames(); }
    struct Heard {
        int peak;
        double hz;
    };
    // What the output holds `fromSeconds` after `mark`, over `seconds`, once
    // it has come; the default start skips what was already on its way.
    Heard HeardAfter(std::size_t mark, double fromSeconds = 0.15, double seconds = 0.3) const {
        const long from = static_cast<long>(mark + fromSeconds * AudioRate);
        const long to = from + static_cast<long>(seconds * AudioRate);
        DiskAudio audio;
        const bool came = WaitUntil(
            [&] { return static_cast<long>((audio = ReadDiskAudio(audioPath_)).Frames()) >= to; },
            5000);
        EXPECT_TRUE(came) << "the sound output stalled";
        return Heard{Peak(audio, from, to), ToneFrequency(audio, from, to)};
    }

  private:
    const Desktop& desktop_;
    const std::string& audioPath_;
};

} // namespace e2e
