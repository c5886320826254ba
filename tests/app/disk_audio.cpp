#include "disk_audio.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace e2e {

DiskAudio ReadDiskAudio(const std::string& path) {
    DiskAudio audio;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return audio;
    const std::streamsize bytes = in.tellg();
    in.seekg(0);
    audio.samples.resize(static_cast<std::size_t>(bytes / 4) * 2);
    in.read(reinterpret_cast<char*>(audio.samples.data()),
            static_cast<std::streamsize>(audio.samples.size() * 2));
    return audio;
}

long FirstAudibleFrame(const DiskAudio& audio, int threshold) {
    for (std::size_t frame = 0; frame < audio.Frames(); ++frame)
        if (std::abs(audio.samples[frame * 2]) >= threshold ||
            std::abs(audio.samples[frame * 2 + 1]) >= threshold)
            return static_cast<long>(frame);
    return -1;
}

double ToneFrequency(const DiskAudio& audio, long from, long to, int threshold) {
    to = std::min(to, static_cast<long>(audio.Frames()));
    if (from < 0 || to <= from) return 0;
    // Measured between the first and the last sign change, so a window that
    // is only partly sounding still reads the tone's own pitch.
    int changes = 0;
    int sign = 0;
    long firstChange = -1;
    long lastChange = -1;
    for (long frame = from; frame < to; ++frame) {
        const int value = audio.samples[static_cast<std::size_t>(frame) * 2];
        const int now = value > threshold ? 1 : value < -threshold ? -1 : 0;
        if (now == 0) continue;
        if (sign != 0 && now != sign) {
            if (firstChange < 0) firstChange = frame;
            lastChange = frame;
            ++changes;
        }
        sign = now;
    }
    if (changes < 3) return 0;
    return (changes - 1) / 2.0 * AudioRate / static_cast<double>(lastChange - firstChange);
}

int Peak(const DiskAudio& audio, long from, long to) {
    to = std::min(to, static_cast<long>(audio.Frames()));
    int peak = 0;
    for (long frame = std::max(from, 0L); frame < to; ++frame)
        for (int side = 0; side < 2; ++side)
            peak = std::max(peak, std::abs(static_cast<int>(
                                      audio.samples[static_cast<std::size_t>(frame) * 2 + side])));
    return peak;
}

} // namespace e2e
