#include "render/marquee_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string Text = MarqueeText;

// The runs of more than one blank, in order, with the text between them.
struct Layout {
    std::vector<int> runs;
    std::vector<std::string> sections;
};

Layout Split(const std::string& text) {
    Layout out;
    std::size_t i = 0;
    std::string section;
    while (i < text.size()) {
        std::size_t j = i;
        while (j < text.size() && text[j] == ' ')
            ++j;
        const std::size_t blanks = j - i;
        if (blanks > 1) {
            if (!section.empty()) out.sections.push_back(section);
            section.clear();
            out.runs.push_back(static_cast<int>(blanks));
            i = j;
        } else if (blanks == 1) {
            section += ' ';
            i = j;
        } else {
            section += text[i++];
        }
    }
    if (!section.empty()) out.sections.push_back(section);
    return out;
}

TEST(MarqueeText, LengthAndTheRunsOfBlanksThatShapeIt) {
    EXPECT_EQ(std::strlen(MarqueeText), 3314u);
    const Layout layout = Split(Text);
    // 56 before, 2 after, and between the eight sections only single blanks.
    const std::vector<int> runs = {56, 35, 18, 18, 12, 20, 17, 18, 2};
    EXPECT_EQ(layout.runs, runs);
    ASSERT_EQ(layout.sections.size(), 8u);
    EXPECT_EQ(Text.substr(0, 57), std::string(56, ' ') + 'H');
    EXPECT_EQ(Text.substr(Text.size() - 3), "!  ");
}

TEST(MarqueeText, OnlyCharactersTheGlyphStripDraws) {
    const std::string allowed = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012349 !&'(),-.:;^";
    for (std::size_t i = 0; i < Text.size(); ++i)
        EXPECT_NE(allowed.find(Text[i]), std::string::npos) << "at " << i << ": " << Text[i];
}

TEST(MarqueeText, GreetsPresentsCreditsAndSaysItStartsAgain) {
    const Layout layout = Split(Text);
    ASSERT_EQ(layout.sections.size(), 8u);
    const std::string& hello = layout.sections[0];
    EXPECT_NE(hello.find("CHIP-MUSIC LISTENERS"), std::string::npos);
    EXPECT_NE(hello.find("Z!L TONEBOX"), std::string::npos);
    const std::string& credits = layout.sections[1];
    for (const char* part : {"CODE:", "GRAPHICS:", "MUSIC:", "PAINTER", "COMPOSER", "PRESETS"})
        EXPECT_NE(credits.find(part), std::string::npos) << part;
    for (int turn = 2; turn < 7; ++turn)
        EXPECT_NE(layout.sections[turn].find("GREETINGS"), std::string::npos) << turn;
    const std::string& goodbye = layout.sections[7];
    EXPECT_NE(goodbye.find("THANK YOU"), std::string::npos);
    EXPECT_NE(goodbye.find("STARTS AGAIN"), std::string::npos);
}

} // namespace
