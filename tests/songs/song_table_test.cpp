// The compiled-in playlist keeps the rules of its rows.

#include "composer.h"
#include "playback/song_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>

namespace {

// Every byte after the text is zero, and the text fits.
bool ZeroPadded(const char* field, std::size_t size) {
    const std::size_t n = strnlen(field, size);
    if (n == size) return false;
    return std::all_of(field + n, field + size, [](char c) { return c == 0; });
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

TEST(SongTable, HoldsFortyRowsOfTheirOwnForm) {
    ASSERT_EQ(SongTable.count, 40);
    for (int i = 0; i < SongTable.count; ++i) {
        const SongEntry& e = SongTable.entries[i];
        SCOPED_TRACE(e.title);
        EXPECT_TRUE(ZeroPadded(e.title, sizeof e.title));
        EXPECT_TRUE(ZeroPadded(e.path, sizeof e.path));
        EXPECT_TRUE(ZeroPadded(e.author, sizeof e.author));

        const std::string title = e.title;
        EXPECT_GE(title.size(), 1u);
        EXPECT_LE(title.size(), 20u);
        for (char c : title)
            EXPECT_TRUE((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || std::strchr(" ()+-", c))
                << "'" << c << "'";

        const std::string author = e.author;
        EXPECT_LE(author.size(), 16u);
        EXPECT_EQ(e.authorLength, static_cast<int>(author.size()));
        for (char c : author)
            EXPECT_TRUE((c >= 'A' && c <= 'Z') || c == ' ' || c == ',') << c;
        EXPECT_EQ(author.find(",,"), std::string::npos);
        for (std::size_t at = author.find(','); at != std::string::npos;
             at = author.find(',', at + 1))
            EXPECT_EQ(author.substr(at, 2), ", ");
    }
}

TEST(SongTable, PathsNameMixedCaseModuleFilesInTheSongsFolder) {
    std::set<std::string> names;
    int mod = 0, xm = 0, it = 0;
    for (int i = 0; i < SongTable.count; ++i) {
        const std::string path = SongTable.entries[i].path;
        SCOPED_TRACE(path);
        EXPECT_LE(path.size(), 39u);
        ASSERT_EQ(path.rfind(".\\songs\\", 0), 0u);
        const std::string name = path.substr(8);
        EXPECT_EQ(name.find_first_of("\\/"), std::string::npos);
        EXPECT_TRUE(std::any_of(name.begin(), name.end(), ::isupper));
        EXPECT_TRUE(std::any_of(name.begin(), name.end(), ::islower));
        const std::string ext = Lower(name.substr(name.rfind('.') + 1));
        mod += ext == "mod", xm += ext == "xm", it += ext == "it";
        EXPECT_TRUE(ext == "mod" || ext == "xm" || ext == "it");
        // Windows folds case: names must differ in more than case.
        EXPECT_TRUE(names.insert(Lower(name)).second) << "twice: " << name;
    }
    EXPECT_GE(mod, 10);
    EXPECT_GE(xm, 10);
    EXPECT_GE(it, 10);
    EXPECT_EQ(mod + xm + it, 40);
}

TEST(SongTable, RowsRunInTheOrderOfTheirTitles) {
    for (int i = 1; i < SongTable.count; ++i)
        EXPECT_LT(std::strcmp(SongTable.entries[i - 1].title, SongTable.entries[i].title), 0)
            << SongTable.entries[i - 1].title << " before " << SongTable.entries[i].title;
}

TEST(SongTable, AuthorsAreTheComposersStyles) {
    const auto& styles = composer::StyleNames();
    std::set<std::string> used;
    for (int i = 0; i < SongTable.count; ++i) {
        std::string author = SongTable.entries[i].author;
        for (std::size_t from = 0;;) {
            const std::size_t comma = author.find(", ", from);
            const std::string name = author.substr(from, comma - from);
            EXPECT_NE(std::find(styles.begin(), styles.end(), name), styles.end()) << name;
            used.insert(name);
            if (comma == std::string::npos) break;
            from = comma + 2;
        }
    }
    EXPECT_EQ(used.size(), styles.size()) << "every style plays at least one song";
    EXPECT_GE(used.size(), 5u);
}

} // namespace
