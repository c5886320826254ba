// Every input kept from fuzzing (the ones that once crashed, hung or ate
// memory) and every song the program ships, through the same harness the
// fuzzer drives: a fault that comes back fails here.

#include "deadline.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<fs::path> FilesIn(const fs::path& dir) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::uint8_t> Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Replay(const fs::path& dir, void (*entry)(const std::uint8_t*, std::size_t),
            std::size_t at_least) {
    const auto files = FilesIn(dir);
    ASSERT_GE(files.size(), at_least) << dir;
    for (const auto& file : files) {
        // Each input on its own clock; the last name printed is the one
        // that hung.
        std::printf("%s\n", file.c_str());
        std::fflush(stdout);
        testsupport::Deadline deadline(20s);
        const auto bytes = Read(file);
        entry(bytes.data(), bytes.size());
    }
}

const fs::path kKept = TONEBOX_FUZZ_DIR;

TEST(FuzzReplay, KeptModules) {
    Replay(kKept / "regressions" / "module", fuzz::Module, 1);
}

TEST(FuzzReplay, KeptSoundFiles) {
    Replay(kKept / "regressions" / "sound", fuzz::SoundFile, 1);
}

TEST(FuzzReplay, ShippedSongs) {
    Replay(TONEBOX_SONG_DIR, fuzz::Module, 40);
}

} // namespace
