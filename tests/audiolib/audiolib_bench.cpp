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
//   SeekEvery10s       a seek to every 10 s of every song and of the made
//                      modules (three subsongs; notes under arpeggios and
//                      slides; channel-volume commands): its cost, in wall
//                      and in CPU time, and the RMS of the next 0.5 s against
//                      continuous playback there.
//   Levels             the listener's level 50 and 0 on every song, the made
//                      module that sets its own channel volumes and the one
//                      of three subsongs: the RMS against continuous playback
//                      in 0.25 s steps, and the peak at 0.
//   PositionRun        every song mixed faster than real time, two blocks a
//                      mix and now and then late, the position read inside
//                      and between mixes: reads, and steps back.

#include "audiolib/bass.h"
#include "audiolib/mixer.h"
#include "test_modules.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include <time.h>

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

struct Song {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

Bytes AsBytes(const std::vector<std::uint8_t>& v) {
    Bytes bytes(v.size());
    std::memcpy(bytes.data(), v.data(), v.size());
    return bytes;
}

// Every song, then the made modules.
std::vector<Song> AllSongs() {
    std::vector<Song> all;
    for (const auto& path : SongFiles()) {
        std::ifstream in(path, std::ios::binary);
        all.push_back({path.filename().string(),
                       std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), {})});
    }
    all.push_back({"three-subsongs.it", audiotest::ThreeSubsongIt()});
    all.push_back({"held-effects.xm", audiotest::HeldEffectsXm()});
    all.push_back({"channel-volumes.it", audiotest::ChannelVolumeIt()});
    return all;
}

double ThreadCpuMicros() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) * 1e-3;
}

void SeekEvery10s(benchmark::State& state) {
    const auto songs = AllSongs();
    for (auto _ : state) {
        double total_us = 0, max_us = 0, cpu_total_us = 0, cpu_max_us = 0, worst_db = 0;
        int seeks = 0, over = 0;
        std::vector<std::int16_t> out(22050 * 2);
        for (const Song& song : songs) {
            const auto reference = audiotest::RenderContinuously(song.bytes);
            auto source = OpenModule(AsBytes(song.bytes), BASS_MUSIC_RAMP);
            for (std::uint64_t at = 0; source && at + 22050 <= source->LengthFrames();
                 at += 10 * kRate) {
                const auto start = Clock::now();
                const double cpu_start = ThreadCpuMicros();
                source->Seek(at);
                const double cpu_us = ThreadCpuMicros() - cpu_start;
                const double us =
                    std::chrono::duration<double, std::micro>(Clock::now() - start).count();
                source->Render(out.data(), 22050);
                const double db = audiotest::RmsDb(out, 0, 22050) -
                                  audiotest::RmsDb(reference, static_cast<std::size_t>(at), 22050);
                total_us += us;
                max_us = std::max(max_us, us);
                cpu_total_us += cpu_us;
                cpu_max_us = std::max(cpu_max_us, cpu_us);
                worst_db = std::max(worst_db, std::abs(db));
                over += std::abs(db) > 0.5;
                ++seeks;
            }
        }
        state.counters["seeks"] = seeks;
        state.counters["seek_mean_us"] = total_us / std::max(seeks, 1);
        state.counters["seek_max_us"] = max_us;
        state.counters["seek_cpu_mean_us"] = cpu_total_us / std::max(seeks, 1);
        state.counters["seek_cpu_max_us"] = cpu_max_us;
        state.counters["worst_db"] = worst_db;
        state.counters["over_0.5db"] = over;
    }
}

void Levels(benchmark::State& state) {
    const auto songs = AllSongs();
    for (auto _ : state) {
        double worst_error_db = 0, peak_at_0 = 0;
        int windows = 0;
        for (const Song& song : songs) {
            const auto reference = audiotest::RenderContinuously(song.bytes);
            const std::size_t length = reference.size() / 2;
            for (const int level : {50, 0}) {
                Mixer mixer(0, false);
                const auto h = mixer.Add(OpenModule(AsBytes(song.bytes), BASS_MUSIC_RAMP));
                for (int n = 0; mixer.SetChannelVolume(h, n, 1); ++n)
                    mixer.SetChannelVolume(h, n, level);
                mixer.Play(h, true);
                std::vector<std::int16_t> out(length * 2);
                for (std::size_t done = 0; done < length; done += Mixer::kBlock)
                    mixer.Mix(out.data() + done * 2, std::min(Mixer::kBlock, length - done));
                for (std::size_t at = 2048; level == 50 && at + 11025 <= length; at += 11025) {
                    if (audiotest::RmsDb(reference, at, 11025) < -60) continue; // near silence
                    const double db =
                        audiotest::RmsDb(out, at, 11025) - audiotest::RmsDb(reference, at, 11025);
                    worst_error_db = std::max(worst_error_db, std::abs(db + 6.0206));
                    ++windows;
                }
                for (std::size_t i = 0; level == 0 && i < out.size(); ++i)
                    peak_at_0 = std::max(peak_at_0, double(std::abs(int(out[i]))));
            }
        }
        state.counters["windows_at_50"] = windows;
        state.counters["worst_error_db_at_50"] = worst_error_db;
        state.counters["peak_at_0"] = peak_at_0;
    }
}

void PositionRun(benchmark::State& state) {
    const auto songs = AllSongs();
    for (auto _ : state) {
        std::int64_t reads = 0, back = 0, early = 0;
        double song_seconds = 0;
        for (const Song& song : songs) {
            constexpr std::size_t kDeviceFrames = 2 * Mixer::kBlock;
            Mixer mixer(kDeviceFrames, true);
            const auto h = mixer.Add(OpenModule(AsBytes(song.bytes), BASS_MUSIC_RAMP));
            const std::uint64_t length = *mixer.Length(h);
            mixer.Play(h, true);
            std::atomic<bool> done{false};
            std::thread reader([&] {
                std::uint64_t last = 0;
                while (!done) {
                    const bool over = mixer.State(h) == Activity::kStopped;
                    const std::uint64_t position = *mixer.Position(h);
                    back += position < last;
                    early += over && position != length;
                    last = std::max(last, position);
                    ++reads;
                }
            });
            std::vector<std::int16_t> out(kDeviceFrames * 2);
            for (int n = 1; mixer.State(h) == Activity::kPlaying; ++n) {
                if (n % 256 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(30));
                mixer.Mix(out.data(), kDeviceFrames);
            }
            done = true;
            reader.join();
            song_seconds += double(length) / kRate;
        }
        state.counters["song_s"] = song_seconds;
        state.counters["reads"] = double(reads);
        state.counters["steps_back"] = double(back);
        state.counters["over_early"] = double(early);
    }
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
    benchmark::RegisterBenchmark("SeekEvery10s", SeekEvery10s)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Levels", Levels)->Iterations(1)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("PositionRun", PositionRun)
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
