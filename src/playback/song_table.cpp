#include "playback/song_table.h"

namespace {

constexpr void CopyText(char* to, const char* from) {
    while (*from)
        *to++ = *from++;
}

constexpr int TextLength(const char* s) {
    int n = 0;
    while (s[n])
        ++n;
    return n;
}

// One row: the file lives in the songs folder beside the program's working
// directory; the author's length is counted, never typed.
constexpr SongEntry Row(const char* title, const char* fileName, const char* author) {
    SongEntry e{};
    CopyText(e.title, title);
    CopyText(e.path, ".\\songs\\");
    CopyText(e.path + 8, fileName);
    CopyText(e.author, author);
    e.authorLength = static_cast<std::int16_t>(TextLength(author));
    return e;
}

} // namespace

// The authors are the composer's style presets (tools/composer/styles.cpp).
const SongList SongTable = {
    SongCount,
    {
        Row("AFTERGLOW", "Afterglow.xm", "GLIMMER"),
        Row("AMBER CIRCUIT", "AmberCircuit.mod", "CIRCUIT"),
        Row("ARCADE SUNRISE", "ArcadeSunrise.it", "BRISK"),
        Row("BLUE HOUR", "BlueHour.XM", "DRIFT, HAZE"),
        Row("BRICK BY BRICK", "BrickByBrick.mod", "STOMP"),
        Row("CANDLE CODE", "CandleCode.it", "HAZE"),
        Row("CHROME GARDEN", "ChromeGarden.xm", "CIRCUIT, GLIMMER"),
        Row("CLOUD FACTORY", "CloudFactory.MOD", "BRISK"),
        Row("COPPER RAIN", "CopperRain.it", "DRIFT"),
        Row("DAYBREAK RUN", "DaybreakRun.xm", "BRISK, GLIMMER"),
        Row("DUST AND NEON", "DustAndNeon.mod", "CIRCUIT"),
        Row("ECHO VALLEY", "EchoValley.IT", "DRIFT"),
        Row("EMBER DANCE", "EmberDance.xm", "STOMP"),
        Row("FIREFLY PARADE", "FireflyParade.mod", "GLIMMER"),
        Row("FROST BYTE", "FrostByte.it", "CIRCUIT, STOMP"),
        Row("GLASS STAIRS", "GlassStairs.xm", "GLIMMER, DRIFT"),
        Row("HARBOUR LIGHTS", "HarbourLights.mod", "HAZE"),
        Row("HIGH SCORE (2)", "HighScore2.it", "BRISK"),
        Row("INK AND IRON", "InkAndIron.xm", "STOMP, CIRCUIT"),
        Row("JADE MACHINE", "JadeMachine.mod", "CIRCUIT"),
        Row("KITE STRINGS", "KiteStrings.it", "GLIMMER"),
        Row("LANTERN WALK", "LanternWalk.xm", "HAZE, DRIFT"),
        Row("MAGNET TOWN", "MagnetTown.mod", "BRISK"),
        Row("MIDNIGHT RELAY", "MidnightRelay.it", "CIRCUIT"),
        Row("MOSS + MARBLE", "MossAndMarble.xm", "DRIFT"),
        Row("NORTH STAR", "NorthStar.mod", "GLIMMER, BRISK"),
        Row("ORBIT CAFE", "OrbitCafe.it", "HAZE"),
        Row("PAPER PLANETS", "PaperPlanets.Xm", "BRISK"),
        Row("PIXEL TIDE", "PixelTide.mod", "STOMP"),
        Row("QUARTZ CLOCK", "QuartzClock.it", "GLIMMER"),
        Row("RAIN ON TIN", "RainOnTin.xm", "DRIFT"),
        Row("RIVER SKETCH", "RiverSketch.mod", "HAZE"),
        Row("SILVER TRAM", "SilverTram.it", "CIRCUIT"),
        Row("SKY FERRY", "SkyFerry.xm", "BRISK"),
        Row("SLOW COMET", "SlowComet.mod", "DRIFT, GLIMMER"),
        Row("TIN TOY MARCH", "TinToyMarch.it", "STOMP, BRISK"),
        Row("VELVET LOOP", "VelvetLoop.xm", "HAZE, CIRCUIT"),
        Row("WARP-DRIVE", "WarpDrive.mod", "STOMP"),
        Row("WINTER MILL", "WinterMill.it", "DRIFT"),
        Row("ZENITH 64", "Zenith64.xm", "GLIMMER"),
    },
};
