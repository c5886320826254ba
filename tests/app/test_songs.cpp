#include "test_songs.h"

#include "modwriter.h"
#include "playback/song_table.h"

#include <algorithm>
#include <cmath>

namespace e2e {

modwriter::Instrument SquareWave() {
    modwriter::Instrument instrument;
    instrument.name = "square";
    for (int frame = 0; frame < 256; ++frame)
        instrument.sample.data.push_back((frame / 16) % 2 == 0 ? 100 : -100);
    instrument.sample.loopStart = 0;
    instrument.sample.loopLength = 256;
    instrument.sample.volume = 64;
    return instrument;
}

std::string WriteToneSong(const std::string& path, int note, bool shortSong, int volume) {
    modwriter::Song song;
    song.name = "tone";
    song.channels = 4;
    song.instruments.push_back(SquareWave());
    modwriter::Pattern pattern(64, 4);
    pattern.at(0, 0) =
        modwriter::Cell{static_cast<std::uint8_t>(note), 1, static_cast<std::int8_t>(volume)};
    song.patterns.push_back(pattern);
    if (shortSong) {
        // 64 rows of one tick at 160 beats a minute: 64 x 2.5 / 160 = 1 s.
        song.speed = 1;
        song.tempo = 160;
        song.orders = {0};
    } else {
        // 64 rows of six ticks at 125: 7.68 s a pattern, four times.
        song.orders = {0, 0, 0, 0};
    }
    const std::optional<modwriter::Format> format = modwriter::FormatOfPath(path);
    if (!format) return "no module format for " + path;
    return modwriter::WriteFile(song, *format, path);
}

std::string SongFile(const std::string& folder, int song) {
    std::string path = SongTable.entries[song].path;
    std::replace(path.begin(), path.end(), '\\', '/');
    return folder + "/" + path;
}

std::string ToneSequence(const DiskAudio& audio, long first) {
    std::string sequence;
    const long quarter = AudioRate / 4;
    for (long from = first; from + quarter <= static_cast<long>(audio.Frames()); from += quarter) {
        char tone = '?';
        const double hz = ToneFrequency(audio, from, from + quarter);
        if (Peak(audio, from, from + quarter) < 256)
            tone = '-';
        else if (std::abs(hz - LowHz) < 10)
            tone = 'L';
        else if (std::abs(hz - HighHz) < 20)
            tone = 'H';
        if (sequence.empty() || sequence.back() != tone) sequence += tone;
    }
    return sequence;
}

} // namespace e2e
