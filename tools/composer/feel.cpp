// Tempo and feel: the swing, the slowing into a ring-out, the end.

#include "parts.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace composer::detail {

namespace {

// Puts a control effect on a row in a free cell; in MOD it may push out a
// note's volume, a vibrato or an arpeggio, never a note's timing.
void Control(Ctx& c, int row, Effect e, int param) {
    const std::vector<int> order =
        IsMod(c) ? std::vector<int>{Kit, Bass, Arp, Lead}
                 : std::vector<int>{Hats, Kit, Perc, Sparkle, Counter, Pad3, Pad2, Pad1, Echo};
    for (int pass = 0; pass < 3; ++pass)
        for (int ch : order) {
            if (!HasChannel(c, ch)) continue;
            Cell& cell = At(c, ch, row);
            const bool free = cell.effect == Effect::None && (!IsMod(c) || cell.volume < 0) &&
                              !(IsMod(c) && cell.note == NoteOff);
            const bool takeVolume =
                pass >= 1 && IsMod(c) && cell.effect == Effect::None && cell.note != NoteOff;
            const bool takeEffect =
                pass == 2 && (cell.effect == Effect::Vibrato || cell.effect == Effect::Arpeggio);
            if (free || takeVolume || takeEffect) {
                if (IsMod(c)) cell.volume = -1;
                cell.effect = e;
                cell.param = static_cast<std::uint8_t>(param);
                return;
            }
        }
}

} // namespace

void PlayControl(Ctx& c) {
    const Section& outro = c.sections.back();
    // The swing stops for a slowing or stopping ending, and in MOD (one
    // effect a cell) where the ending's volumes need the cells.
    const int swingEnd = c.ending == Ending::Fade && !IsMod(c) ? c.totalRows : outro.start;
    if (c.swing) {
        for (int row = 0; row < swingEnd; ++row)
            Control(c, row, Effect::SetSpeed, row % 2 ? 6 - c.swing : 6 + c.swing);
        if (swingEnd < c.totalRows) Control(c, swingEnd, Effect::SetSpeed, 6);
    }
    if (c.ending == Ending::Ring) // the last two bars before the chord slow down
        for (int k = 1; k <= 8; ++k)
            Control(c, outro.start + c.bar + c.bar / 4 * (k - 1), Effect::SetTempo,
                    c.bpm * (100 - 4 * k) / 100);
    Control(c, c.totalRows - 1, Effect::PatternBreak, 0);
}

} // namespace composer::detail
