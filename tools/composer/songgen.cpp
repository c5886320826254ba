// songgen <output-dir>: composes every song of the playlist and writes it
// under its own file name. The same sources always give the same bytes.

#include "composer.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

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
    for (int i = 0; i < SongTable.count; ++i) {
        composer::Composition song;
        std::string error;
        if (!composer::Compose(SongTable.entries[i], &song, &error)) {
            std::fprintf(stderr, "songgen: song %d: %s\n", i, error.c_str());
            return 1;
        }
        const std::string path = dir + "/" + song.fileName;
        if (auto err = modwriter::WriteFile(song.song, song.format, path); !err.empty()) {
            std::fprintf(stderr, "songgen: %s: %s\n", path.c_str(), err.c_str());
            return 1;
        }
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("songgen: %d songs in %s (%.0f ms)\n", static_cast<int>(SongTable.count),
                dir.c_str(), ms);
    return 0;
}
