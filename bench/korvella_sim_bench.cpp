// korvella-sim on a 60 s generated track (120 BPM kicks, bass line, hi-hats), Start at 0 ms.
// x_realtime: seconds of music per second of wall time (target: at least 150 at 50 kHz, 100 at
// 44.1 kHz); x_realtime_cpu: the same per second of CPU time. The 44.1 kHz track goes through the
// sound-file device's rate conversion to the program's 50 kHz, which is kept in the cache folder:
// BM_KorvellaSimFirstOpen empties the folder before each run, so it converts every time;
// BM_KorvellaSim opens the track again and reads the kept samples. The 50 kHz one is delivered
// sample for sample. BM_RateConversionAlone is the 44.1 kHz runs' baseline: the same track
// converted by libsamplerate alone in one call on one thread, the floor of a converting run (the
// converted samples must stay the same, and its converter cannot be split across threads). At
// the end the figures are printed as ratios to it.
#include <benchmark/benchmark.h>
#include <samplerate.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "korvella/sim/ScenarioRunner.h"
#include "korvella/track.h"
#include "platform/storage/settings.h"
#include "platform/audio/wave_file.h"

namespace {

constexpr double kSeconds = 60;

std::filesystem::path scratch() {
    static const std::filesystem::path dir = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "korvella-sim-bench-XXXXXX").string();
        const char* d = ::mkdtemp(tmpl.data());
        const std::filesystem::path p = d ? d : std::filesystem::temp_directory_path();
        ::setenv("KORVELLA_HOME", (p / "home").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (p / "cache").c_str(), 1);
        platform::setConfigDir((p / "config").string());
        return p;
    }();
    return dir;
}

std::string track(int rate) {
    const auto path = scratch() / ("track-" + std::to_string(rate) + ".wav");
    if (!std::filesystem::exists(path)) {
        korvella_test::TrackSpec spec;
        spec.seconds = kSeconds;
        spec.rate = rate;
        const auto t = korvella_test::makeTrack(spec);
        platform::writeSoundFile(path.string(), t.samples, 1, t.rate);
    }
    return path.string();
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct NullBuffer : std::streambuf {
    int overflow(int c) override { return c; }
};

void runSim(benchmark::State& state, bool firstOpen) {
    korvella::sim::Options o;
    o.input = track(static_cast<int>(state.range(0)));
    o.library = WAVORIX_LIBRARY;
    o.actions.push_back({0, korvella::sim::Action::Kind::Click, "frmBeats", "cmdStart", ""});
    o.seconds = kSeconds;
    NullBuffer nb;
    std::ostream out(&nb), err(&nb);
    const std::filesystem::path kept = scratch() / "cache" / "korvella";
    // The repeated open's entry is made before the timing.
    if (!firstOpen && korvella::sim::run(o, out, err) != 0) return state.SkipWithError("korvella-sim failed");
    double cpu = 0;
    for (auto _ : state) {
        if (firstOpen) {
            state.PauseTiming();
            std::error_code ec;
            std::filesystem::remove_all(kept, ec);
            state.ResumeTiming();
        }
        const double cpu0 = cpuSeconds();
        const int rc = korvella::sim::run(o, out, err);
        cpu += cpuSeconds() - cpu0;
        if (rc != 0) state.SkipWithError("korvella-sim failed");
    }
    state.counters["x_realtime"] = benchmark::Counter(kSeconds * static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
    // The same per second of CPU time: on a shared machine the wall time also counts the time
    // other programs had the core.
    if (cpu > 0) state.counters["x_realtime_cpu"] = kSeconds * static_cast<double>(state.iterations()) / cpu;
}
void BM_KorvellaSimFirstOpen(benchmark::State& state) { runSim(state, true); }
void BM_KorvellaSim(benchmark::State& state) { runSim(state, false); }
void BM_RateConversionAlone(benchmark::State& state) {
    SF_INFO info{};
    SNDFILE* f = sf_open(track(44100).c_str(), SFM_READ, &info);
    if (!f) return state.SkipWithError("track unreadable");
    std::vector<float> in(static_cast<std::size_t>(info.frames));
    sf_readf_float(f, in.data(), info.frames);
    sf_close(f);
    const double ratio = 50000.0 / info.samplerate;
    std::vector<float> out(static_cast<std::size_t>(static_cast<double>(in.size()) * ratio) + 64);
    for (auto _ : state) {
        SRC_DATA d{};
        d.data_in = in.data();
        d.input_frames = static_cast<long>(in.size());
        d.data_out = out.data();
        d.output_frames = static_cast<long>(out.size());
        d.src_ratio = ratio;
        d.end_of_input = 1;
        if (src_simple(&d, SRC_SINC_FASTEST, 1) != 0) state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["x_realtime"] = benchmark::Counter(kSeconds * static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RateConversionAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_KorvellaSimFirstOpen)->Arg(44100)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_KorvellaSim)->Arg(44100)->Arg(50000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// The console's table, and each run's x_realtime kept for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            const auto c = r.counters.find("x_realtime");
            if (!r.error_occurred && c != r.counters.end())
                speed[r.run_name.function_name + (r.run_name.args.empty() ? "" : "/" + r.run_name.args)] = c->second;
        }
    }
    std::map<std::string, double> speed;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto& s = reporter.speed;
    const auto alone = s.find("BM_RateConversionAlone");
    if (alone == s.end()) return 0;
    std::printf("\n44.1 kHz track, times real time (x_realtime), as a ratio to the converter alone in this run (%.1f):\n",
                alone->second);
    for (const auto& [name, label] : {std::pair{"BM_KorvellaSimFirstOpen/44100", "first open (converting)"},
                                      std::pair{"BM_KorvellaSim/44100", "repeated open (kept samples)"}}) {
        if (const auto it = s.find(name); it != s.end())
            std::printf("  %-30s %7.1f  = %.2f x the converter alone\n", label, it->second, it->second / alone->second);
    }
    if (const auto it = s.find("BM_KorvellaSim/50000"); it != s.end())
        std::printf("50 kHz track (no conversion): %.1f x real time\n", it->second);
    return 0;
}
