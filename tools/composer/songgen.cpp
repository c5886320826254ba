// songgen <output-dir>: composes every song of the playlist, each against
// the ones before it, and writes it under its own file name. The same
// sources always give the same bytes.

#include "composer.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: songgen <output-dir>\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "songgen: cannot make %s: %s\n", dir.c_str(), ec.message().c_str());
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<composer::Composition> songs;
    std::string error;
    if (!composer::ComposePlaylist(&songs, &error)) {
        std::fprintf(stderr, "songgen: %s\n", error.c_str());
        return 1;
    }
    int refused = 0;
    for (const composer::Composition& song : songs) {
        refused += song.refused;
        const std::string path = dir + "/" + song.fileName;
        if (auto err = modwriter::WriteFile(song.song, song.format, path); !err.empty()) {
            std::fprintf(stderr, "songgen: %s: %s\n", path.c_str(), err.c_str());
            return 1;
        }
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("songgen: %d songs in %s (%.0f ms; %d seeds passed over for near twins)\n",
                static_cast<int>(songs.size()), dir.c_str(), ms, refused);
    return 0;
}
