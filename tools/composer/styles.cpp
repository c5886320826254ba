#include "styles.h"

namespace composer {

const std::vector<Style>& Styles() {
    static const std::vector<Style> styles = {
        {
            "BRISK",
            128,
            156,
            {0, 0, 1},
            {"ionian", "mixolydian"},
            {{0, 4, 5, 3}, {0, 3, 4, 3}, {0, 5, 3, 4}, {5, 3, 0, 4}, {0, 2, 3, 4}, {0, 3, 0, 4}},
            {{3, 4, 2, 5}, {3, 0, 3, 4}, {5, 3, 4, 4}},
            {4, 3},
            {Wave::Pulse25, Wave::Pulse12, Wave::Saw},
            {Wave::Pulse12, Wave::Pulse25},
            {Wave::Triangle, Wave::Pulse50, Wave::Pulse25},
            {Wave::SoftSquare, Wave::Organ},
            {Wave::Pulse50, Wave::Triangle},
            {"R=R=O=R=R=R=O=R=", "R=.RR=O=R=.RF=O=", "R.RRO.R.R.RRO.RA", "R=O=R=O=R=O=F=A="},
            {"x.......x.......", "x.....x.x.......", "x.......x.x....."},
            "...x..x...xx..x.",
            {"....x.......x...", "....x.......x..g", "....x..g....x..."},
            {"..x...x...x...x.", "x.x.x.x.x.x.x.x.", "xgxgxgxgxgxgxgxg", "x.x.x.xox.x.x.xo"},
            {"....c.......c...", "s.s.s.s.s.s.s.s.", "..r..r....r..r.."},
            {{"x=x=", 5},
             {"x===", 2},
             {"xxx=", 2},
             {"x=xx", 2},
             {"x==x", 2},
             {"..x=", 1},
             {".x=x", 1}},
            {"x.......x.......", "x...x...x...x...", "x..x..x.x..x..x."},
            {Form::VerseChorus, Form::Rondo, Form::Dance},
            {Ending::Cold, Ending::Fade, Ending::Ring},
            false,
            false,
            false,
            0x42,
            1,
        },
        {
            "CIRCUIT",
            118,
            136,
            {0},
            {"aeolian", "dorian"},
            {{0, 5, 2, 6}, {0, 6, 5, 6}, {0, 3, 6, 2}, {0, 5, 3, 4}, {0, 0, 5, 6}},
            {{5, 6, 3, 4}, {3, 3, 5, 6}, {2, 3, 4, 4}},
            {6, 4},
            {Wave::Saw, Wave::DetunedSaw, Wave::Pulse25},
            {Wave::Pulse25, Wave::Pulse12, Wave::Saw},
            {Wave::Pulse50, Wave::Saw, Wave::Pulse25},
            {Wave::DetunedSaw, Wave::Organ},
            {Wave::Organ, Wave::Pulse12},
            {"R=.R=.R=R=.R=.O=", "R=RR=.R=R=RR=.F=", "R.OR.OR.R.OR.OR.", "R==R==R=R==R==A="},
            {"x.....x.x.......", "x.........x.....", "x.......x.....x.", "x..x....x......."},
            "..x...x..x.x..x.",
            {"....x.......x...", "....x..g....x...", "........x......."},
            {"x.x.x.x.x.x.x.x.", "..x...x...x...x.", "xxgxxxgxxxgxxxgo", "x.xgx.xgx.xgx.xg"},
            {"....c.......c...", "..r...r...r..r.r", "s.ssssssssssssss"},
            {{"x==x", 3}, {"..x=", 2}, {"x=x=", 3}, {"x===", 2}, {"x=..", 2}, {".x=x", 1}},
            {"x..x..x.x..x..x.", "x.x.x.x.x.x.x.x.", "x.......x......."},
            {Form::Dance, Form::VerseChorus, Form::Variations},
            {Ending::Fade, Ending::Cold, Ending::Ring},
            true,
            true,
            false,
            0x32,
            1,
        },
        {
            "DRIFT",
            70,
            92,
            {0, 1},
            {"dorian", "aeolian"},
            {{0, 6, 5, 6}, {0, 3, 0, 3}, {0, 5, 2, 6}, {5, 6, 0, 0}, {0, 2, 5, 6}},
            {{3, 4, 5, 5}, {2, 3, 4, 4}, {5, 3, 6, 6}},
            {6, 4},
            {Wave::Pwm, Wave::Saw, Wave::Pulse25},
            {Wave::Bell, Wave::Triangle},
            {Wave::Triangle, Wave::SoftSquare, Wave::Saw},
            {Wave::Organ, Wave::Pwm},
            {Wave::Triangle, Wave::Organ},
            {"R=======F===R===", "R=====R=====O===", "R=======R===A===", "R===F===O===F==="},
            {"x.........x.....", "x.......x.......", "x......x..x....."},
            ".....x.....x..x.",
            {"........x.......", "........x......g", "....g...x......."},
            {"x...x...x...x..g", "x.x.x.x.x.x.x.x.", "..x...x...x...x.", "x...x.o.x...x.o."},
            {"........c.......", "s...s.s.s...s.s.", "...r......r....."},
            {{"x===", 4}, {"====", 3}, {"x=x=", 2}, {"x==x", 2}, {"....", 1}},
            {"x...............", "x.......x.......", "x.....x.....x..."},
            {Form::Ballad, Form::Aaba, Form::Variations},
            {Ending::Ring, Ending::Fade},
            true,
            true,
            true,
            0x43,
            3,
        },
        {
            "GLIMMER",
            96,
            124,
            {0, 1},
            {"lydian", "ionian"},
            {{0, 1, 0, 1}, {0, 1, 4, 3}, {3, 4, 2, 5}, {0, 5, 1, 4}, {0, 4, 1, 3}},
            {{5, 1, 3, 4}, {2, 5, 3, 4}, {3, 3, 1, 4}},
            {4, 1},
            {Wave::Bell, Wave::Pulse12, Wave::Pulse25},
            {Wave::Pulse12, Wave::Bell},
            {Wave::Pulse25, Wave::Triangle, Wave::Pulse50},
            {Wave::Organ, Wave::SoftSquare},
            {Wave::Triangle, Wave::Pulse50},
            {"R===R===O===R=F=", "R=R===O=R===F=O=", "R.R.O.R.R.R.O.RA", "R=====O=R=====A="},
            {"x.......x.x.....", "x.......x.......", "x.....x...x....."},
            "...x..x...x..x..",
            {"....x.......x...", "....x.......x.g.", "....x..g....x..."},
            {"x.xgx.x.x.xgx.xo", "..x...x...x...x.", "x.x.x.x.x.x.x.x.", "xgxgx.xgxgxgx.xo"},
            {"....c.......c...", "r..r..r.r..r..r.", "s.ss.ss.s.ss.ss."},
            {{"x=x=", 3}, {"xxxx", 1}, {"x===", 2}, {"x=xx", 2}, {"====", 1}, {"x.x=", 1}},
            {"x...x...x...x...", "x.......x.......", "x.x...x.x.x...x."},
            {Form::Aaba, Form::Rondo, Form::VerseChorus},
            {Ending::Ring, Ending::Fade, Ending::Cold},
            true,
            true,
            false,
            0x32,
            2,
        },
        {
            "STOMP",
            160,
            180,
            {0},
            {"aeolian", "phrygian"},
            {{0, 6, 5, 6}, {0, 5, 6, 0}, {0, 3, 4, 0}, {0, 5, 3, 6}, {0, 1, 0, 6}},
            {{3, 4, 5, 6}, {5, 3, 6, 6}, {3, 3, 4, 4}},
            {6, 4},
            {Wave::Pulse50, Wave::Saw, Wave::Pulse25},
            {Wave::Pulse25, Wave::Pulse12},
            {Wave::Saw, Wave::Pulse50, Wave::Pulse25},
            {Wave::DetunedSaw, Wave::SoftSquare},
            {Wave::Pulse12, Wave::Saw},
            {"R.RRR.RRR.RRR.OR", "R.R.O.R.R.R.O.RF", "RRORRORRRRORRORA", "R.O.R.O.R.O.R.O."},
            {"x...x...x...x...", "x..x..x.x..x..x.", "x.x...x.x.x...x."},
            "...x..x....x..x.",
            {"....x.......x..x", "....x.......x...", "....x..g.g..x..."},
            {"xgxgxgxgxgxgxgxo", "x.x.x.x.x.x.x.x.", "..o...o...o...o.", "xxxxxxxxxxxxxxxx"},
            {"....c.......c...", "c...c...c...c...", "..r...r...r...r."},
            {{"x=x=", 3}, {"xxxx", 2}, {"x=xx", 2}, {"x.x.", 2}, {"x===", 1}, {"xx.x", 1}},
            {"x.x.x.x.x.x.x.x.", "x...x...x...x...", "xxx.xxx.xxx.xxx."},
            {Form::Dance, Form::VerseChorus, Form::Rondo},
            {Ending::Cold, Ending::Cold, Ending::Fade},
            false,
            false,
            false,
            0x44,
            1,
        },
        {
            "HAZE",
            78,
            104,
            {1, 2},
            {"aeolian", "mixolydian", "dorian"},
            {{5, 3, 0, 4}, {0, 6, 3, 0}, {0, 3, 6, 2}, {0, 5, 3, 4}, {1, 4, 0, 0}},
            {{3, 3, 0, 0}, {5, 5, 3, 4}, {3, 4, 2, 5}},
            {4, 1},
            {Wave::SoftSquare, Wave::Pwm, Wave::Pulse25},
            {Wave::Triangle, Wave::Bell},
            {Wave::Triangle, Wave::Pulse50, Wave::SoftSquare},
            {Wave::Organ, Wave::Pwm},
            {Wave::Pwm, Wave::Organ},
            {"R=====R=..F=R===", "R=..R=..F=..O=R=", "R===T===F===A===", "R=..O=..R=..F=A="},
            {"x......x..x.....", "x.........x.....", "x.......x......."},
            "...x...x.....x..",
            {"....x.......x...", "....x...g...x...", "....x.......x.g."},
            {"x.x.x.x.x.x.x.x.", "x...x.x.x...x.x.", "..x...x...x...x.", "x.xox.x.x.xox.x."},
            {"....r.......r...", "s.s.s.s.s.s.s.s.", "......c.......c."},
            {{"x===", 3}, {"x==x", 3}, {"====", 2}, {"..x=", 2}, {"x=x=", 1}, {"x.x=", 1}},
            {"x.......x..x....", "x.....x.....x...", "x...x...x...x..."},
            {Form::Ballad, Form::Aaba, Form::Variations, Form::Rondo},
            {Ending::Fade, Ending::Ring},
            false,
            true,
            true,
            0x43,
            2,
        },
    };
    return styles;
}

const Character& CharacterOf(const Style& style) {
    using T = Timbre;
    static const Character brisk = {{0.55, 0.85},
                                    {0.35, 0.6},
                                    {0.6, 0.9},
                                    {0.5, 0.8},
                                    {0, 1, 9},
                                    {T::Chip, T::Saw, T::Fm, T::Organ},
                                    {T::Chip, T::Fm, T::Pluck, T::Sub},
                                    {T::Chip, T::Mallet, T::Pluck},
                                    {T::Organ, T::Saw},
                                    {110, 250},
                                    60,
                                    40};
    static const Character circuit = {{0.4, 0.75},
                                      {0.6, 0.95},
                                      {0.5, 0.8},
                                      {0.6, 1},
                                      {0, 1, 9},
                                      {T::Saw, T::Acid, T::Vowel, T::Chip},
                                      {T::Acid, T::Sub, T::Saw, T::Fm},
                                      {T::Pluck, T::Chip, T::Fm},
                                      {T::Saw, T::Vowel, T::Wind},
                                      {180, 360},
                                      80,
                                      30};
    static const Character drift = {{0, 0.3},
                                    {0.3, 0.7},
                                    {0, 0.3},
                                    {0.6, 1},
                                    {4, 4, 2},
                                    {T::Flute, T::Vowel, T::Pluck, T::Mallet},
                                    {T::Sub, T::Organ, T::Pluck},
                                    {T::Pluck, T::Mallet, T::Fm},
                                    {T::Vowel, T::Organ, T::Saw, T::Wind, T::Wind},
                                    {150, 360},
                                    50,
                                    0};
    static const Character glimmer = {{0.6, 1},
                                      {0, 0.35},
                                      {0.4, 0.8},
                                      {0.7, 1},
                                      {1, 3, 6},
                                      {T::Mallet, T::Fm, T::Chip, T::Pluck},
                                      {T::Pluck, T::Fm, T::Sub},
                                      {T::Fm, T::Mallet, T::Chip},
                                      {T::Organ, T::Vowel, T::Wind},
                                      {120, 240},
                                      50,
                                      30};
    static const Character stomp = {{0.7, 1},
                                    {0.7, 1},
                                    {0.7, 1},
                                    {0.3, 0.6},
                                    {0, 0, 1},
                                    {T::Saw, T::Chip, T::Acid, T::Vowel},
                                    {T::Saw, T::Chip, T::Fm, T::Acid},
                                    {T::Chip, T::Saw},
                                    {T::Saw, T::Organ},
                                    {110, 200},
                                    70,
                                    60};
    static const Character haze = {{0.1, 0.45},
                                   {0.4, 0.75},
                                   {0.2, 0.55},
                                   {0.4, 0.8},
                                   {2, 5, 3},
                                   {T::Fm, T::Organ, T::Flute, T::Vowel},
                                   {T::Pluck, T::Sub, T::Fm},
                                   {T::Fm, T::Pluck, T::Organ},
                                   {T::Organ, T::Vowel, T::Wind, T::Wind},
                                   {140, 300},
                                   40,
                                   40};
    const std::string name = style.name;
    if (name == "BRISK") return brisk;
    if (name == "CIRCUIT") return circuit;
    if (name == "DRIFT") return drift;
    if (name == "GLIMMER") return glimmer;
    if (name == "STOMP") return stomp;
    return haze;
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

const char* WaveName(Wave wave) {
    switch (wave) {
    case Wave::Pulse12:
        return "pulse 12%";
    case Wave::Pulse25:
        return "pulse 25%";
    case Wave::Pulse50:
        return "square";
    case Wave::Triangle:
        return "triangle";
    case Wave::Saw:
        return "saw";
    case Wave::Organ:
        return "organ";
    case Wave::SoftSquare:
        return "soft square";
    case Wave::Pwm:
        return "pwm";
    case Wave::DetunedSaw:
        return "detuned saw";
    case Wave::Bell:
        return "bell";
    }
    return "?";
}

const char* FormName(Form form) {
    switch (form) {
    case Form::VerseChorus:
        return "verse-chorus";
    case Form::Aaba:
        return "aaba";
    case Form::Rondo:
        return "rondo";
    case Form::Dance:
        return "dance";
    case Form::Ballad:
        return "ballad";
    case Form::Variations:
        return "variations";
    }
    return "?";
}

const char* EndingName(Ending ending) {
    switch (ending) {
    case Ending::Fade:
        return "fade";
    case Ending::Ring:
        return "ring";
    case Ending::Cold:
        return "cold";
    }
    return "?";
}

} // namespace composer
