// Figures for the audio layer, not run as tests:
//   DecodeSong/<file>  decode cost of every song, as x_realtime (seconds of
//                      song per second of CPU); the songs of $TONEBOX_SONGS
//                      or the build's song folder, else a generated tone.
//   LockHold           how long the mixer's locks are held while the audio
//                      thread mixes flat out and another thread makes the
//                      tick's calls, and how long those calls take.
//   AudibleLag         wall clock minus reported position, under SDL's
//                      real-time dummy driver.
//   SeekSongs          the cost of a seek (made on the caller's thread) to
//                      10%, 20%, ... 90% of every song.

#include "audiolib/bass.h"
#include "audiolib/mixer.h"
#include "test_modules.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace tonebox::audio;
using Clock = std::chrono::steady_clock;

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chars((std::istreambuf_iterator<char>(in)), {});
    Bytes bytes(chars.size());
    std::memcpy(bytes.data(), chars.data(), chars.size());
    return bytes;
}

Bytes ToneBytes(int rows, int speed) {
    const auto v = audiotest::ToneMod(rows, speed);
    Bytes bytes(v.size());
    std::memcpy(bytes.data(), v.data(), v.size());
    return bytes;
}

std::vector<fs::path> SongFiles() {
    const char* env = std::getenv("TONEBOX_SONGS");
    const fs::path dir = env != nullptr ? fs::path(env) : fs::path(TONEBOX_SONG_DIR);
    std::vector<fs::path> songs;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error)) {
        auto ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (ext == ".mod" || ext == ".xm" || ext == ".it") songs.push_back(entry.path());
    }
    std::sort(songs.begin(), songs.end());
    return songs;
}

void DecodeSong(benchmark::State& state, const Bytes& bytes) {
    std::vector<std::int16_t> block(Mixer::kBlock * 2);
    double song_seconds = 0;
    for (auto _ : state) {
        auto source = OpenModule(bytes, BASS_MUSIC_RAMP | BASS_MUSIC_PRESCAN);
        if (!source) {
            state.SkipWithError("not a module");
            return;
        }
        std::uint64_t frames = 0;
        while (const std::size_t n = source->Render(block.data(), Mixer::kBlock))
            frames += n;
        song_seconds = double(frames) / kRate;
        benchmark::DoNotOptimize(block.data());
    }
    state.counters["song_s"] = song_seconds;
    state.counters["x_realtime"] =
        benchmark::Counter(song_seconds * double(state.iterations()), benchmark::Counter::kIsRate);
}

void LockHold(benchmark::State& state) {
    const auto songs = SongFiles();
    const Bytes song = songs.empty() ? ToneBytes(64, 31) : ReadAll(songs.front());
    for (auto _ : state) {
        Mixer mixer(1024, true);
        const auto a = mixer.Add(OpenModule(song, BASS_MUSIC_RAMP));
        const auto b = mixer.Add(OpenModule(song, BASS_MUSIC_RAMP));
        mixer.Play(a, true);
        mixer.Play(b, true);
        mixer.SetLockProbe(true);
        std::atomic<bool> stop{false};
        std::thread audio([&] {
            std::vector<std::int16_t> out(1024 * 2);
            while (!stop) {
                mixer.Mix(out.data(), 1024);
                std::this_thread::yield();
            }
        });
        std::int64_t slowest_call = 0, calls = 0;
        std::array<float, kFftBins> fft{};
        std::array<std::int16_t, 1024> pcm{};
        const auto end = Clock::now() + std::chrono::seconds(2);
        for (int n = 0; Clock::now() < end; ++n) {
            const auto start = Clock::now();
            mixer.State(a);
            mixer.Position(a);
            mixer.Length(a);
            mixer.Spectrum(a, fft.data());
            mixer.Samples(a, pcm.data(), 512);
            if (n % 50 == 0) mixer.SetPosition(a, std::uint64_t(n % 20) * kRate);
            if (n % 20 == 0) mixer.SetChannelVolume(a, 0, n % 100);
            const auto took =
                std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start);
            slowest_call = std::max<std::int64_t>(slowest_call, took.count());
            ++calls;
        }
        stop = true;
        audio.join();
        const LockFigures s = mixer.StateLockFigures();
        const LockFigures r = mixer.RenderLockFigures();
        state.counters["state_locks"] = double(s.count);
        state.counters["state_mean_us"] =
            double(s.total_ns) / double(std::max<std::int64_t>(s.count, 1)) / 1000;
        state.counters["state_max_us"] = double(s.max_ns) / 1000;
        state.counters["state_p99_us"] = double(s.Percentile(0.99)) / 1000;
        state.counters["state_p99.9_us"] = double(s.Percentile(0.999)) / 1000;
        state.counters["mixes"] = double(r.count);
        state.counters["mix_mean_us"] =
            double(r.total_ns) / double(std::max<std::int64_t>(r.count, 1)) / 1000;
        state.counters["mix_max_us"] = double(r.max_ns) / 1000;
        state.counters["mix_p99_us"] = double(r.Percentile(0.99)) / 1000;
        state.counters["tick_calls"] = double(calls);
        state.counters["tick_calls_max_us"] = double(slowest_call) / 1000;
    }
}

void SeekSongs(benchmark::State& state, const std::vector<Bytes>* songs) {
    double total_us = 0, max_us = 0;
    int seeks = 0;
    for (auto _ : state) {
        for (const Bytes& bytes : *songs) {
            auto source = OpenModule(bytes, BASS_MUSIC_RAMP);
            if (!source) continue;
            for (int tenth = 1; tenth < 10; ++tenth) {
                const auto start = Clock::now();
                source->Seek(source->LengthFrames() * std::uint64_t(tenth) / 10);
                const double us =
                    std::chrono::duration<double, std::micro>(Clock::now() - start).count();
                total_us += us;
                max_us = std::max(max_us, us);
                ++seeks;
            }
        }
    }
    state.counters["seeks"] = seeks;
    state.counters["seek_mean_us"] = total_us / std::max(seeks, 1);
    state.counters["seek_max_us"] = max_us;
}

void AudibleLag(benchmark::State& state) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const auto dir = audiotest::ScratchDir("lag");
    audiotest::WriteBytes(dir / "long.mod", audiotest::ToneMod(64, 31));
    for (auto _ : state) {
        if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) {
            state.SkipWithError("no audio device");
            return;
        }
        const HMUSIC h = BASS_MusicLoad(FALSE, (dir / "long.mod").c_str(), 0, 0, 0x20204, 0);
        BASS_ChannelPlay(h, TRUE);
        const auto start = Clock::now();
        double low = 1e9, high = -1e9, sum = 0;
        int samples = 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // settle
        for (; samples < 80; ++samples) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            const double wall = std::chrono::duration<double>(Clock::now() - start).count();
            const double heard = BASS_ChannelBytes2Seconds(h, BASS_ChannelGetPosition(h));
            const double lag = (wall - heard) * 1000;
            low = std::min(low, lag);
            high = std::max(high, lag);
            sum += lag;
        }
        BASS_Free();
        state.counters["lag_min_ms"] = low;
        state.counters["lag_mean_ms"] = sum / samples;
        state.counters["lag_max_ms"] = high;
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const auto songs = SongFiles();
    static std::vector<Bytes> song_bytes;
    for (const auto& path : songs)
        song_bytes.push_back(ReadAll(path));
    if (songs.empty()) song_bytes.push_back(ToneBytes(64, 31));
    for (std::size_t i = 0; i < song_bytes.size(); ++i) {
        const std::string name = songs.empty() ? "tone" : songs[i].filename().string();
        benchmark::RegisterBenchmark(("DecodeSong/" + name).c_str(), DecodeSong, song_bytes[i])
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("SeekSongs", SeekSongs, &song_bytes)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("LockHold", LockHold)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("AudibleLag", AudibleLag)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
