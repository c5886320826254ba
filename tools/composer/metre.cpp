// Metres: the grid of four, and the lines of the songs in three (a waltz
// in 3/4, a lilt or a jig in 6/8).

#include "styles.h"

#include <utility>

namespace composer {

const Metre& MetreOf(Time time) {
    static const Metre four = {
        Time::Four,
        "4/4",
        16,
        4,
        64,
        {"----k.s.", "------ss", "----s.ss", "------tm", "-----sks", "----s.o.", "----ks.s",
         "----ggss"},
        {"s.s.ssss", "ssssssss", "t.t.m.l.", "ttmmllss", "k.s.k.ss", "s..s..s.", "sstmlk..",
         "s.tml.ss"},
        {"x...x...x...x...", "..x...x...x...x.", "x.......x.......", "x...x...x...x..o"},
        {"x...............", "x.........x....."},
        "........x.......",
        "R=======R=======",
        "R=======F=======",
        "R===============",
        {"x===============", "x=======x=======", "x===========....", "....x===x======="},
        {"x===x===========", "x=======x=======", "..x=x===========", "x=x=====x======="},
        {"x=x=x===========", "x===x===x=======", "x=xxx===========", "..x=x===x======="},
        {},
        {},
        {},
        {},
        {},
        {},
        "",
        {},
    };
    // Three beats of four rows: the bass on one, the kit's "pah" on two and
    // three, fills over the last two beats.
    static const Metre three = {
        Time::Three,
        "3/4",
        12,
        4,
        48,
        four.smallFills,
        four.bigFills,
        {"x...x...x...", "..x...x...x.", "x.......x...", "x...x...x..o"},
        {"x...........", "x.......x..."},
        "........x...",
        "R===========",
        "R=======F===",
        "R===========",
        {"x===========", "x=======x===", "x=========..", "....x===x==="},
        {"x===x=======", "x=======x===", "..x=x=======", "x=x=====x==="},
        {"x=x=x=======", "x===x===x===", "x=xxx=======", "..x=x===x==="},
        {"R=======F===", "R===F===F===", "R===T===F===", "R=======A===", "R===....O==="},
        {"x...........", "x.......x...", "x.........x."},
        {"....x...x...", "........x...", "....x...x..g"},
        {"x.x.x.x.x.x.", "x...x...x...", "x.xgx.xgx.xg", "..x...x...x."},
        {"....c...c...", "s.s.s.s.s.s.", "..r...r...r."},
        {"x...x...x...", "x.......x...", "....x...x..."},
        "......x...x.",
        {},
    };
    // Two beats of three eighths, an eighth two rows: long-short lilts,
    // the backbeat on the second beat, fills over the last beat.
    static const Metre six = {
        Time::Six,
        "6/8",
        12,
        6,
        48,
        {"--k.s.", "----ss", "--s.ss", "----tm", "---sks", "--s.o.", "--ks.s", "--ggss"},
        {"s.s.ss", "ssssss", "t.m.l.", "ttmmll", "k.s.ss", "s.ss.s", "stml..", "s.tmls"},
        {"x.....x.....", "x.x.x.x.x.x.", "x...x.x...x.", "x.....x...o."},
        {"x...........", "x.........x."},
        "......x.....",
        "R===========",
        "R=====F=====",
        "R===========",
        {"x===========", "x=====x=====", "x=========..", "......x====="},
        {"x===x=x=====", "x=====x=====", "x===x=======", "..x=x=x====="},
        {"x=x=x=x=====", "x===x=x=====", "x=xxx=x=====", "..x=x=x====="},
        {"R===R=F===F=", "R=====F=====", "R=R=R=F=F=A=", "R===O=R===F=", "R===.RF===A="},
        {"x.....x.....", "x...........", "x.....x...x.", "x...x.x....."},
        {"......x.....", "......x....g", "....g.x.....", "......x...g."},
        {"x.x.x.x.x.x.", "x.g.g.x.g.g.", "x.....x.....", "x.x.o.x.x.o."},
        {"......c.....", "s.s.s.s.s.s.", "..r.r...r.r."},
        {"x.x.x.x.x.x.", "x.....x.....", "x...x.x...x."},
        "..x.x...x.x.",
        {{"x===x=", 5},
         {"x=x=x=", 3},
         {"x=====", 2},
         {"x=xxx=", 1},
         {"x==x=x", 1},
         {"..x=x=", 1},
         {"x===..", 1}},
    };
    return time == Time::Three ? three : time == Time::Six ? six : four;
}

Style InMetre(const Style& style, const Metre& metre) {
    if (metre.time == Time::Four) return style;
    Style s = style;
    s.bassLines = metre.bassLines;
    s.kicks = metre.kicks;
    s.kickSpots = metre.kickSpots;
    s.snares = metre.snares;
    s.hats = metre.hats;
    s.percussion = metre.percussion;
    s.arpHits = metre.arpHits;
    if (!metre.rhythm.empty()) s.rhythm = metre.rhythm;
    // Eighths in threes swing by themselves.
    if (metre.time == Time::Six) s.swings = {0};
    return s;
}

Time TimeOf(const std::string& title, modwriter::Format format) {
    // MOD's patterns hold 64 rows, which bars of 12 do not fill.
    if (format == modwriter::Format::Mod) return Time::Four;
    static const std::pair<const char*, Time> words[] = {
        {"CAFE", Time::Three}, {"MILL", Time::Three}, {"WALK", Time::Six},
        {"KITE", Time::Six},   {"MARCH", Time::Six},
    };
    for (const auto& [word, time] : words)
        if (title.find(word) != std::string::npos) return time;
    return Time::Four;
}

} // namespace composer
