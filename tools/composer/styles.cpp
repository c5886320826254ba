#include "styles.h"

namespace composer {

const std::vector<Style>& Styles() {
    static const std::vector<Style> styles = {
        {
            "BRISK",
            138,
            162,
            {0, 0, 1},
            {"ionian", "mixolydian"},
            {{0, 4, 5, 3}, {0, 3, 4, 3}, {0, 5, 3, 4}, {5, 3, 0, 4}, {0, 2, 3, 4}},
            {{3, 4, 2, 5}, {3, 0, 3, 4}},
            Wave::Pulse25,
            Wave::Pulse12,
            Wave::Triangle,
            Wave::SoftSquare,
            Wave::Pulse50,
            {"R=R=O=R=R=R=O=R=", "R=.RR=O=R=.RF=O="},
            "x...x...x...x...",
            "....x.......x...",
            "..x...x...x...xo",
            {{"x=x=", 5},
             {"x===", 2},
             {"xxx=", 2},
             {"x=xx", 2},
             {"x==x", 2},
             {"..x=", 1},
             {"====", 1}},
            "x.......x.......",
            false,
            false,
            false,
            0x42,
            2,
        },
        {
            "CIRCUIT",
            118,
            134,
            {0},
            {"aeolian", "dorian"},
            {{0, 5, 2, 6}, {0, 6, 5, 6}, {0, 3, 6, 2}, {0, 5, 3, 4}},
            {{5, 6, 3, 4}, {3, 3, 5, 6}},
            Wave::Saw,
            Wave::Pulse25,
            Wave::Pulse50,
            Wave::DetunedSaw,
            Wave::Organ,
            {"R=.R=.R=R=.R=.O=", "R=RR=.R=R=RR=.F="},
            "x.....x.x.....x.",
            "....x.......x...",
            "x.x.x.x.x.x.x.xo",
            {{"x==x", 3}, {"..x=", 2}, {"x=x=", 3}, {"x===", 2}, {"x=..", 2}, {".x=x", 1}},
            "x..x..x.x..x..x.",
            true,
            true,
            false,
            0x32,
            0,
        },
        {
            "DRIFT",
            84,
            100,
            {0, 1},
            {"dorian", "aeolian"},
            {{0, 6, 5, 6}, {0, 3, 0, 3}, {0, 5, 2, 6}, {5, 6, 0, 0}},
            {{3, 4, 5, 5}, {2, 3, 4, 4}},
            Wave::Pwm,
            Wave::Bell,
            Wave::Triangle,
            Wave::Organ,
            Wave::Triangle,
            {"R=======F===R===", "R=====R=====O==="},
            "x.........x.....",
            "........x.......",
            "x...x...x...x..g",
            {{"x===", 4}, {"====", 3}, {"x=x=", 2}, {"x==x", 2}, {"....", 1}},
            "x...............",
            true,
            true,
            true,
            0x43,
            0,
        },
        {
            "GLIMMER",
            110,
            128,
            {0, 1},
            {"lydian", "ionian"},
            {{0, 1, 0, 1}, {0, 1, 4, 3}, {3, 4, 2, 5}, {0, 5, 1, 4}},
            {{5, 1, 3, 4}, {2, 5, 3, 4}},
            Wave::Bell,
            Wave::Pulse12,
            Wave::Pulse25,
            Wave::Organ,
            Wave::Triangle,
            {"R===R===O===R=F=", "R=R===O=R===F=O="},
            "x.......x.x.....",
            "....x.......x...",
            "x.xgx.x.x.xgx.xo",
            {{"x=x=", 3}, {"xxxx", 1}, {"x===", 2}, {"x=xx", 2}, {"====", 1}},
            "x...x...x...x...",
            true,
            true,
            false,
            0x32,
            2,
        },
        {
            "STOMP",
            158,
            174,
            {0},
            {"aeolian", "phrygian"},
            {{0, 6, 5, 6}, {0, 5, 6, 0}, {0, 3, 4, 0}, {0, 5, 3, 6}},
            {{3, 4, 5, 6}, {5, 3, 6, 6}},
            Wave::Pulse50,
            Wave::Pulse25,
            Wave::Saw,
            Wave::DetunedSaw,
            Wave::Pulse12,
            {"R.RRR.RRR.RRR.OR", "R.R.O.R.R.R.O.RF"},
            "x..x..x.x..x..x.",
            "....x.......x..x",
            "xgxgxgxgxgxgxgxo",
            {{"x=x=", 3}, {"xxxx", 2}, {"x=xx", 2}, {"x.x.", 2}, {"x===", 1}},
            "x.x.x.x.x.x.x.x.",
            false,
            false,
            false,
            0x44,
            2,
        },
        {
            "HAZE",
            92,
            114,
            {1, 2},
            {"aeolian", "mixolydian", "dorian"},
            {{5, 3, 0, 4}, {0, 6, 3, 0}, {0, 3, 6, 2}, {0, 5, 3, 4}},
            {{3, 3, 0, 0}, {5, 5, 3, 4}},
            Wave::SoftSquare,
            Wave::Triangle,
            Wave::Triangle,
            Wave::Organ,
            Wave::Pwm,
            {"R=====R=..F=R===", "R=..R=..F=..O=R="},
            "x......x..x.....",
            "....x.......x...",
            "x.x.x.x.x.x.x.x.",
            {{"x===", 3}, {"x==x", 3}, {"====", 2}, {"..x=", 2}, {"x=x=", 1}},
            "x.......x..x....",
            false,
            true,
            true,
            0x43,
            0,
        },
    };
    return styles;
}

const Style* FindStyle(const std::string& name) {
    for (const Style& s : Styles())
        if (name == s.name) return &s;
    return nullptr;
}

const std::array<int, 7>* ModeSteps(const std::string& mode) {
    static const std::array<int, 7> ionian = {0, 2, 4, 5, 7, 9, 11};
    static const std::array<int, 7> dorian = {0, 2, 3, 5, 7, 9, 10};
    static const std::array<int, 7> phrygian = {0, 1, 3, 5, 7, 8, 10};
    static const std::array<int, 7> lydian = {0, 2, 4, 6, 7, 9, 11};
    static const std::array<int, 7> mixolydian = {0, 2, 4, 5, 7, 9, 10};
    static const std::array<int, 7> aeolian = {0, 2, 3, 5, 7, 8, 10};
    if (mode == "ionian") return &ionian;
    if (mode == "dorian") return &dorian;
    if (mode == "phrygian") return &phrygian;
    if (mode == "lydian") return &lydian;
    if (mode == "mixolydian") return &mixolydian;
    if (mode == "aeolian") return &aeolian;
    return nullptr;
}

} // namespace composer
