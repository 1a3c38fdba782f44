// The projector picture at 1920 x 1080 with the three layers of a show: a vector effect on the
// base layer, dimmer 12 on layer 999 and a GIF mask on layer 9999. Prints frames per second and
// the CPU time per frame. The ...Kept cases draw into a frame kept between renders, as the
// projector does (only what the last frame drew is painted over again). Uses the delivered data
// in bin/assets beside this program.
//
// Before the benchmarks it prints, for every delivered effect at 1280 x 720 and 1920 x 1080, the
// CPU time of one projector frame (a kept target, rendered whenever the picture changes) as a
// ratio to a plain fill of the whole frame at the same size, measured in the same run.
// `--frames-only [N [NAME]]` prints only that table, with N frames per case and only the files
// whose path contains NAME (for callgrind).
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "player/assets.h"
#include "player/movie_player.h"

namespace {

namespace fs = std::filesystem;

// A mask as the mask painter saves it: 1024 x 768, white (transparent) with a dark frame and a
// few painted discs.
std::string writeMask() {
    const int w = 1024, h = 768;
    std::vector<GifPixelType> index(static_cast<std::size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool frame = x < 60 || y < 60 || x >= w - 60 || y >= h - 60;
            const double dx = (x % 256) - 128.0, dy = (y % 256) - 128.0;
            const bool disc = dx * dx + dy * dy < 40 * 40;
            index[static_cast<std::size_t>(y) * w + x] = frame ? 1 : disc ? 2 : 0;
        }
    const fs::path path = fs::temp_directory_path() / "korvella-bench-maske.swf";
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    int err = 0;
    GifFileType* gif = EGifOpen(f, [](GifFileType* g, const GifByteType* d, int n) {
        return static_cast<int>(std::fwrite(d, 1, static_cast<std::size_t>(n), static_cast<std::FILE*>(g->UserData)));
    }, &err);
    GifColorType colours[4] = {{255, 255, 255}, {0, 0, 0}, {20, 20, 90}, {0, 0, 0}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, w, h, 2, 0, map);
    GraphicsControlBlock gcb{DISPOSE_DO_NOT, false, 0, 0};
    GifByteType ext[4];
    EGifGCBToExtension(&gcb, ext);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
    EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr);
    for (int y = 0; y < h; ++y) EGifPutLine(gif, index.data() + static_cast<std::size_t>(y) * w, w);
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
    std::fclose(f);
    return path.string();
}

void renderShow(benchmark::State& state, const std::vector<std::pair<int, std::string>>& layers, bool kept = false) {
    const std::string assets = player::defaultAssetsFolder();
    platform::VirtualClock clock;
    player::MoviePlayer player(clock);
    player.setKeepsTarget(kept);
    for (const auto& [layer, file] : layers) {
        player.LoadMovie(layer, file.front() == '/' ? file : assets + "/" + file);
        if (!player.hasLayer(layer)) {
            state.SkipWithError(("cannot load " + file).c_str());
            return;
        }
    }
    platform::Bitmap frame;
    for (auto _ : state) {
        clock.advanceNs(16'666'667);  // one display refresh
        player.render(frame, 1920, 1080);
        benchmark::DoNotOptimize(frame.row(540));
    }
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Projector(benchmark::State& state) {
    static const std::string mask = writeMask();
    renderShow(state, {{0, "Effekts/Balken.swf"}, {999, "Dimmer/12.swf"}, {9999, mask}});
}

void BM_ProjectorKept(benchmark::State& state) {
    static const std::string mask = writeMask();
    renderShow(state, {{0, "Effekts/Balken.swf"}, {999, "Dimmer/12.swf"}, {9999, mask}}, true);
}

void BM_EffectOnly(benchmark::State& state) { renderShow(state, {{0, "Effekts/Balken.swf"}}); }
void BM_EffectOnlyKept(benchmark::State& state) { renderShow(state, {{0, "Effekts/Balken.swf"}}, true); }
void BM_DimmerOnly(benchmark::State& state) { renderShow(state, {{999, "Dimmer/12.swf"}}); }
void BM_MaskOnly(benchmark::State& state) {
    static const std::string mask = writeMask();
    renderShow(state, {{9999, mask}});
}
void BM_PictureEffect(benchmark::State& state) { renderShow(state, {{0, "Effekts/Ringe.jpg"}, {999, "Dimmer/12.swf"}}); }

BENCHMARK(BM_Projector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProjectorKept)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EffectOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EffectOnlyKept)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DimmerOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MaskOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PictureEffect)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// CPU seconds per frame of a plain whole-frame fill of the size.
double fillPerFrame(int width, int height, int frames) {
    platform::Bitmap frame(width, height);
    const double t0 = cpuSeconds();
    for (int i = 0; i < frames; ++i) {
        // std::fill_n rather than the player's own fill, so the baseline does not move with it.
        std::fill_n(frame.row32(0), width * height, 0xFF000000u | static_cast<std::uint32_t>(i));
        benchmark::DoNotOptimize(frame.row(height / 2));
    }
    return (cpuSeconds() - t0) / frames;
}

// CPU seconds per rendered frame of the file playing for `frames` changes of its picture, as the
// projector renders it at 60 Hz: only when the picture serial moves, into a kept frame.
double effectPerFrame(const std::string& file, int width, int height, int frames, int* rendered) {
    platform::VirtualClock clock;
    player::MoviePlayer player(clock);
    player.setKeepsTarget(true);
    player.LoadMovie(0, file);
    if (!player.hasLayer(0)) return -1;
    platform::Bitmap frame;
    player.render(frame, width, height);
    std::uint64_t serial = player.pictureSerial();
    double spent = 0;
    int n = 0;
    for (int tick = 0; n < frames && tick < frames * 50; ++tick) {
        clock.advanceNs(16'666'667);
        const std::uint64_t now = player.pictureSerial();
        if (now == serial && n > 0) continue;
        serial = now;
        const double t0 = cpuSeconds();
        player.render(frame, width, height);
        spent += cpuSeconds() - t0;
        benchmark::DoNotOptimize(frame.row(height / 2));
        ++n;
    }
    *rendered = n;
    return n ? spent / n : -1;
}

void printEffectTable(int frames, const char* only = nullptr) {
    const std::string effects = player::defaultAssetsFolder() + "/Effekts";
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(effects, ec)) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    const int sizes[][2] = {{1280, 720}, {1920, 1080}};
    std::printf("%-32s %10s %12s %12s %8s\n", "projector frame", "frames", "ms/frame", "fill ms", "ratio");
    for (const auto& size : sizes) {
        const double fill = fillPerFrame(size[0], size[1], frames);
        for (const std::string& file : files) {
            if (only && file.find(only) == std::string::npos) continue;
            int rendered = 0;
            const double t = effectPerFrame(file, size[0], size[1], frames, &rendered);
            const std::string name = fs::path(file).filename().string() + " " + std::to_string(size[0]) + "x" +
                                     std::to_string(size[1]);
            if (t < 0) {
                std::printf("%-32s cannot load\n", name.c_str());
                continue;
            }
            std::printf("%-32s %10d %12.4f %12.4f %8.2f\n", name.c_str(), rendered, t * 1e3, fill * 1e3, t / fill);
        }
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--frames-only") == 0) {
        printEffectTable(argc >= 3 ? std::max(1, std::atoi(argv[2])) : 100, argc >= 4 ? argv[3] : nullptr);
        return 0;
    }
    printEffectTable(200);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
