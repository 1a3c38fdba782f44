// The projector picture at 1920 x 1080 with the three layers of a show: a vector effect on the
// base layer, dimmer 12 on layer 999 and a GIF mask on layer 9999. Prints frames per second and
// the CPU time per frame. The ...Kept cases draw into a frame kept between renders, as the
// projector does (only what the last frame drew is painted over again). Uses the delivered data
// in bin/assets beside this program.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cmath>
#include <cstdio>
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

BENCHMARK_MAIN();
