// Every input kept from fuzzing (the corpora, and the inputs that once
// crashed, hung or ate memory) through the same harness the fuzzer drives:
// a fault that comes back fails here.

#include "deadline.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The inputs kept for one target: the fuzzer's corpus, cut down to the
// inputs that each reach something the others do not, and the inputs of
// faults mended since.
std::vector<fs::path> Kept(const std::string& target) {
    std::vector<fs::path> files;
    for (const char* kind : {"corpus", "regressions"}) {
        const fs::path dir = fs::path(TONEBOX_FUZZ_DIR) / kind / target;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::uint8_t> Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Replay(const std::string& target, void (*entry)(const std::uint8_t*, std::size_t)) {
    const auto files = Kept(target);
    ASSERT_FALSE(files.empty()) << "no inputs kept for " << target;
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

TEST(FuzzReplay, Modules) {
    Replay("module", fuzz::Module);
}

TEST(FuzzReplay, SoundFiles) {
    Replay("soundfile", fuzz::SoundFile);
}

} // namespace
