#include "render/spectrum.h"

#include "audiolib/bass.h"
#include "playback/player.h"
#include "render/frame.h"
#include "shared/float_to_int.h"

#include <cmath>
#include <cstring>

float SpectrumInput[SpectrumBins] = {};
std::int16_t SampleInput[SampleValues] = {};
std::int32_t PulseLevel = 0;

namespace {

constexpr DWORD SampleRequestBytes = 2048;

constexpr double LevelScale = 255.0;

// The spectrum's bars: column c reads bin c + 1.
constexpr int SpectrumColumns = 188;
constexpr int SpectrumLeft = 93;
constexpr int SpectrumBottomRow = 129; // memory row of the lowest cell (screen row 120)
constexpr double ColumnScale = 30.0;
constexpr double BarScale = 70.0;
constexpr double BarOffset = 4.0;
constexpr int MostCells = 68;
constexpr int HighestCellOffset = 70; // screen row 50; taller bars light it again
// 0.7 as a single-precision value, used as a double.
constexpr double BrightenFactor = 0.699999988079071;

// The scopes: two sample frames to a pixel column, 57 columns each.
constexpr int ScopePoints = 114;
constexpr int ScopeMiddleRow = 160; // memory row of silence (screen row 89)
constexpr int LeftScopeX = 28;
constexpr int RightScopeX = 289;
constexpr double ScopeDivisor = 131070.0;
constexpr double ScopeScale = 100.0;
constexpr std::uint8_t ScopeColour[3] = {0x88, 0x7C, 0x6D}; // B, G, R

void PlotScopePoint(int x, std::int16_t value) {
    const int v = FloatToInt(value / ScopeDivisor * ScopeScale);
    std::uint8_t* pixel = FramePixel(ScopeMiddleRow + v, x);
    pixel[0] = ScopeColour[0];
    pixel[1] = ScopeColour[1];
    pixel[2] = ScopeColour[2];
}

// Every brightened value, worked out once: a byte has only 256.
struct BrightenTable {
    std::uint8_t of[256];
    BrightenTable() {
        for (int v = 0; v < 256; ++v)
            of[v] = Brighten(static_cast<std::uint8_t>(v));
    }
};
const BrightenTable Brightened;

void BrightenCell(int memoryRow, int x) {
    std::uint8_t* pixel = FramePixel(memoryRow, x);
    pixel[2] = Brightened.of[pixel[2]];
    pixel[1] = Brightened.of[pixel[1]];
    pixel[0] = Brightened.of[pixel[0]];
}

} // namespace

std::uint8_t Brighten(std::uint8_t value) {
    return static_cast<std::uint8_t>(FloatToInt((255 - value) * BrightenFactor + value));
}

void AnalyseAudio() {
    PulseLevel = 0;
    if (BASS_ChannelIsActive(Player.channel) != BASS_ACTIVE_PLAYING) return;
    BASS_ChannelGetData(Player.channel, SpectrumInput, BASS_DATA_FFT1024);
    if (BASS_ChannelGetData(Player.channel, SampleInput, SampleRequestBytes) != SampleRequestBytes)
        std::memset(SampleInput, 0, sizeof SampleInput);
    const double low = static_cast<double>(SpectrumInput[2]) + SpectrumInput[1] + SpectrumInput[3] +
                       SpectrumInput[4] + SpectrumInput[5];
    PulseLevel = FloatToInt(low * LevelScale);
}

void DrawSpectrum() {
    for (int c = 0; c < SpectrumColumns; ++c) {
        const double magnitude = std::sqrt(static_cast<double>(SpectrumInput[c + 1]));
        const double slope = std::sqrt(c / ColumnScale);
        int cells = FloatToInt(slope * magnitude * 2 * BarScale - BarOffset);
        if (cells > MostCells) cells = MostCells;
        for (int k = 0; k < cells; ++k) {
            int offset = 2 * k;
            if (offset > HighestCellOffset) offset = HighestCellOffset;
            BrightenCell(SpectrumBottomRow + offset, SpectrumLeft + c);
        }
    }
}

void DrawScopes() {
    for (int i = 0; i < ScopePoints; ++i) {
        PlotScopePoint(LeftScopeX + i / 2, SampleInput[2 * i]);
        PlotScopePoint(RightScopeX + i / 2, SampleInput[2 * i + 1]);
    }
}
