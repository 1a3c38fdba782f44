// One analysis step of a 1024-sample block with the FFT (the program's settings), the road of a
// block from MM_WIM_DATA to Complete raised in the host, and FFTW's 1024-point real transform of
// the same block; prints the ratios at the end.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

#include "forms/form.h"
#include "forms/runtime.h"
#include "platform/component.h"
#include "platform/storage/settings.h"
#include "platform/audio/wave.h"
#include "platform/audio/wave_scripted.h"
#include "wavorix/fft.h"
#include "wavorix/state.h"
#include "wavorix/vorix.h"

namespace {

constexpr int kN = 1024;

std::vector<std::int16_t> musicBlock() {
    std::vector<std::int16_t> w(kN);
    for (int i = 0; i < kN; ++i)
        w[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(
            std::lround(8000 * std::sin(2 * M_PI * 3 * i / kN) + 3000 * std::sin(2 * M_PI * 57.3 * i / kN)));
    return w;
}

// The engine state as Init leaves it with the program's settings: 50000/s, 1024 samples,
// 7 buffers, FFT, level 960; the block in buffer 1.
void prepareEngine() {
    wavorix::resetEngineState();
    auto& st = wavorix::engine();
    st.samples = kN;
    st.sampleRate = 50000;
    st.channels = 1;
    st.buffers = 7;
    st.analysisFlags = wavorix::FFT_;
    st.level = 960;
    st.loopMode = 1;
    wavorix::FFT::InitAnalysis();
    const auto w = musicBlock();
    std::copy(w.begin(), w.end(), st.capture.column(1));
    wavorix::FFT::CopyBufferData(1, 1);
}

void BM_AnalysisStep(benchmark::State& state) {
    forms::Runtime rt(forms::Runtime::ClockKind::Virtual);
    prepareEngine();
    auto& st = wavorix::engine();
    for (auto _ : state) {
        st.records(1).done = false;
        wavorix::FFT::Analyze(1, 1);
        benchmark::DoNotOptimize(st.specL.data());
    }
    wavorix::resetEngineState();
}
BENCHMARK(BM_AnalysisStep);

void BM_CalcFFT(benchmark::State& state) {
    const auto w = musicBlock();
    std::vector<std::int32_t> table;
    wavorix::FFT::InitBitReverse(table, kN, 0);
    std::vector<float> spec;
    for (auto _ : state) {
        spec.assign(2 * kN + 1, 0.0f);
        wavorix::FFT::CalcFFT(w, spec, table, kN);
        benchmark::DoNotOptimize(spec.data());
    }
}
BENCHMARK(BM_CalcFFT);

void BM_FftwReal1024(benchmark::State& state) {
    const auto w = musicBlock();
    float* in = fftwf_alloc_real(kN);
    fftwf_complex* out = fftwf_alloc_complex(kN / 2 + 1);
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(kN, in, out, FFTW_MEASURE);
    std::vector<float> mag(kN / 2);
    for (auto _ : state) {
        for (int i = 0; i < kN; ++i) in[i] = w[static_cast<std::size_t>(i)];
        fftwf_execute(plan);
        for (int i = 0; i < kN / 2; ++i)
            mag[static_cast<std::size_t>(i)] = std::sqrt(out[i][0] * out[i][0] + out[i][1] * out[i][1]) / kN;
        benchmark::DoNotOptimize(mag.data());
    }
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
}
BENCHMARK(BM_FftwReal1024);

// The control created by its class identity on a host form; a block handed over by the device
// (which fills the queued buffer, marks it done and posts MM_WIM_DATA to the wave window), the
// notice dispatched, the block analysed at once (one buffer: no timer), Complete raised.
void BM_WimDataToComplete(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() / ("wavorix-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    platform::setConfigDir(dir.string());
    platform::setSystemWaveDevices(false);
    platform::resetWaveDevices();
    wavorix::resetEngineState();
    {
        forms::Runtime rt(forms::Runtime::ClockKind::Virtual);
        auto dev = std::make_shared<platform::ScriptedWaveIn>("bench", 1);
        dev->setManual(true);
        platform::addWaveInDevice(dev);
        platform::com::callRegistrationEntry(WAVORIX_LIBRARY, false);
        forms::Form host("frmBeats", "Beats");
        auto vorix = platform::com::createControl(wavorix::kProgId, &host, "Vorix1");
        long completes = 0;
        platform::com::EventHandlers sink;
        sink.on(wavorix::eventid::Complete, [&](std::vector<platform::com::Variant>&) { ++completes; });
        vorix->advise(&sink);
        namespace d = wavorix::dispid;
        vorix->put(d::Threshold, 3.0f);
        vorix->put(d::SPS, 50000);
        vorix->put(d::Samples, kN);
        vorix->put(d::Buffers, 1);
        vorix->put(d::LoopMethod, static_cast<std::int16_t>(1));
        vorix->put(d::Analysis, static_cast<std::int32_t>(wavorix::FFT_));
        vorix->call(d::Init);
        vorix->call(d::Start);
        const auto w = musicBlock();
        for (auto _ : state) {
            dev->push(w);
            rt.loop().doEvents();
        }
        if (completes != static_cast<long>(state.iterations())) state.SkipWithError("Complete was not raised per block");
        vorix->call(d::Reset);
        vorix.reset();
    }
    wavorix::resetEngineState();
    platform::resetWaveDevices();
    platform::setConfigDir("");
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_WimDataToComplete);

// Keeps each benchmark's time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& r : runs) {
            if (r.run_type != Run::RT_Iteration && r.aggregate_name != "median") continue;
            const std::string name = r.run_name.function_name;
            if (r.run_type == Run::RT_Iteration && medians.count(name)) continue;
            // CPU time, in the run's unit (ns): on a shared machine the wall time also counts
            // the time other programs had the core.
            medians[name] = r.GetAdjustedCPUTime();
        }
    }
    std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& m = reporter.medians;
    if (m.count("BM_AnalysisStep") && m.count("BM_FftwReal1024") && m.count("BM_CalcFFT")) {
        std::printf("\nanalysis step: %.2f us CPU\n", m["BM_AnalysisStep"] / 1000.0);
        std::printf("analysis step / FFTW 1024-point real transform: %.1f (target: at most 3)\n",
                    m["BM_AnalysisStep"] / m["BM_FftwReal1024"]);
        std::printf("CalcFFT alone / FFTW 1024-point real transform: %.1f\n", m["BM_CalcFFT"] / m["BM_FftwReal1024"]);
    }
    if (m.count("BM_WimDataToComplete"))
        std::printf("MM_WIM_DATA to Complete: %.2f us\n", m["BM_WimDataToComplete"] / 1000.0);
    benchmark::Shutdown();
    return 0;
}
