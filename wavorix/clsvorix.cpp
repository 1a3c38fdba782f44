#include "wavorix/clsvorix.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "forms/controls/timer.h"
#include "forms/conv.h"
#include "platform/loop/eventloop.h"
#include "platform/storage/settings.h"
#include "platform/audio/wave.h"
#include "wavorix/fft.h"
#include "wavorix/modproc.h"
#include "wavorix/recording.h"
#include "wavorix/state.h"
#include "wavorix/trail.h"
#include "wavorix/xtimer.h"

namespace wavorix {

using forms::RGB;
using platform::com::Variant;
using namespace platform;

namespace {

std::int32_t parseHandle(const std::string& text) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    return end == text.c_str() ? 0 : static_cast<std::int32_t>(v);
}

const char* sectionOf(std::int32_t kind) {
    return kind == 1 ? "WaveInDevices" : kind == 2 ? "WaveOutDevices" : "x";
}

// The runtime's Timer: seconds since midnight on the loop's clock.
double timerSeconds() {
    if (auto* loop = EventLoop::currentOrNull()) return std::fmod(loop->nowMs() / 1000.0, 86400.0);
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::fmod(std::chrono::duration<double>(now).count(), 86400.0);
}

// Remembering the open handle only helps the next run close what this one left open: a
// settings store that cannot be read or written does not stop the device from opening or closing.
std::string readLastHandle(const char* section, const std::string& def) {
    try {
        return GetSetting(kSettingsApp, section, kLastHandle, def);
    } catch (const VbError&) {
        return def;
    }
}

void saveLastHandle(const char* section, std::int32_t handle) {
    try {
        SaveSetting(kSettingsApp, section, kLastHandle, std::to_string(handle));
    } catch (const VbError&) {
    }
}

// Stops the open device, takes back its buffers and closes it. A buffer index past the headers
// (9) or a missing header array (91) goes on with the close.
void closeDevice(EngineState& st) {
    const std::int32_t h = st.deviceHandle;
    if (h == 0) return;
    auto unprepareAll = [&](auto unprepare) {
        try {
            for (std::int32_t i = 1; i <= st.headers.ubound(); ++i) unprepare(h, &st.headers(i), WAVEHDR_SIZE32);
        } catch (const VbError& e) {
            if (e.number() != 9 && e.number() != 91) throw;
        }
    };
    if (st.deviceKind == 1) {
        waveInReset(h);
        unprepareAll(waveInUnprepareHeader);
        waveInClose(h);
    } else if (st.deviceKind == 2) {
        waveOutReset(h);
        unprepareAll(waveOutUnprepareHeader);
        waveOutClose(h);
    }
}

[[noreturn]] void invalidSetting(const std::string& why) {
    raise(380, std::string("Invalid property value") + kLineBreak + why, kSource);
}

void checkFftSamples(std::int32_t samples, std::int32_t flags) {
    if ((flags & 2) == 2 && samples < 2)
        invalidSetting("Samples must be 2 or more for the FFT (is " + std::to_string(samples) + ")");
}

std::int32_t blockMs(std::int32_t samples, std::int32_t sps) {
    if (sps == 0) raise(11);
    return static_cast<std::int32_t>(std::floor(static_cast<double>(samples) * 1000.0 / sps));
}

}  // namespace

std::string VersionText() {
    return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision);
}

std::string LibraryFolder() {
    const std::string path = com::modulePathOf(reinterpret_cast<const void*>(&VersionText));
    return std::filesystem::path(path).parent_path().string();
}

std::int32_t GetWavDevices(std::vector<std::string>& names) {
    const auto n = static_cast<std::int32_t>(waveInGetNumDevs());
    if (n < 1) return 0;
    redim(names, static_cast<std::int64_t>(n) - 1);
    for (std::int32_t i = 0; i < n; ++i) {
        WAVEINCAPSA caps;
        waveInGetDevCapsA(static_cast<UINT>(i), &caps, sizeof caps);
        names[static_cast<std::size_t>(i)] = std::string(caps.szPname, ::strnlen(caps.szPname, MAXPNAMELEN));
    }
    return n;
}

void InitTriggers(std::vector<TriggerRecord>& table, std::int32_t sps, std::int32_t samples) {
    withTrail("Function InitTriggers in Wavorix", [&] {
        if (samples == 0) raise(11);
        const double w = static_cast<double>(sps) / samples;
        for (std::int32_t i = 1; i <= ubound(table); ++i) {
            TriggerRecord& r = table[static_cast<std::size_t>(i)];
            const double first = std::floor(r.F1 / w);
            const double last = std::floor(r.F2 / w);
            if (!(first >= -2147483648.0 && first <= 2147483647.0 && last >= -2147483648.0 && last <= 2147483647.0))
                raise(6);
            r.firstBin = static_cast<std::int32_t>(first);
            r.F1 = r.firstBin * w;
            r.lastBin = static_cast<std::int32_t>(last);
            r.F2 = (r.lastBin + 1) * w - 1E-10;
        }
    });
}

// ---- Life of the object ----

clsVorix::clsVorix() {
    // The hosted set-up: the trigger table holds the unused record 0.
    if (engine().hosted) {
        triggers_.assign(1, TriggerRecord{});
        triggersDimensioned_ = true;
    }
}

clsVorix::~clsVorix() {
    try {
        Reset();
    } catch (...) {
        // Nothing can report an error from here.
    }
    engine().pollingTimer = nullptr;
}

std::int32_t clsVorix::triggerUpperBound() const {
    if (!triggersDimensioned_) raise(9);
    return static_cast<std::int32_t>(triggers_.size()) - 1;
}

void clsVorix::Init() {
    withTrail("Function Init in clsVorix", [] { raise(424); });
}

void clsVorix::SetGlobalConstants() {
    EngineState& st = engine();
    st.level = static_cast<std::int32_t>(std::nearbyint(threshold_ * 320.0f));
    st.loopMode = loopMethod_;
    st.sampleRate = sps_;
    st.samples = samples_;
    st.analysisFlags = analysis_;
    st.buffers = Buffers;
    st.channels = Channels;
    st.byteLimit = 0;
}

void clsVorix::prepareHeaders() {
    EngineState& st = engine();
    for (std::int32_t i = 1; i <= st.buffers; ++i) {
        WAVEHDR& h = st.headers(i);
        h = WAVEHDR{};
        if (st.deviceKind == 1) {
            h.lpData = reinterpret_cast<char*>(st.capture.column(i));
            h.dwBufferLength = static_cast<std::uint32_t>(st.samples) * 2 * static_cast<std::uint32_t>(st.channels);
            waveInPrepareHeader(st.deviceHandle, &h, WAVEHDR_SIZE32);
        } else {
            // Output works in blocks of samples x 2 bytes, numbered by their offset.
            h.lpData = reinterpret_cast<char*>(span(st.capture.data, static_cast<std::int64_t>(i - 1) * st.samples, st.samples));
            h.dwBufferLength = static_cast<std::uint32_t>(st.samples) * 2;
            waveOutPrepareHeader(st.deviceHandle, &h, WAVEHDR_SIZE32);
        }
    }
}

Variant clsVorix::InitX(HWND msgWindow, HWND waveWindow, HWND timerWindow, std::int32_t typ) {
    EngineState& st = engine();
    return withTrail("Function InitX in clsVorix", [&]() -> Variant {
        // A device that was lost (its sound server went away) is opened afresh, not kept.
        if (st.stateFlags != 0 && st.deviceKind == 1 && st.deviceHandle != 0 && waveInDeviceLost(st.deviceHandle)) Reset();
        if (st.stateFlags != 0) return Variant(static_cast<std::int32_t>(-1001));
        checkSettings();
        try {
            return openEngine(msgWindow, waveWindow, timerWindow, typ);
        } catch (...) {
            // Nothing of a failed Init stays behind: the next Init starts from a closed engine.
            abandonInit();
            throw;
        }
    });
}

void clsVorix::checkSettings() const {
    if (Channels != 1 && Channels != 2) invalidSetting("Channels must be 1 or 2 (is " + std::to_string(Channels) + ")");
    if (Buffers < 1 || Buffers > kMaxBuffers)
        invalidSetting("Buffers must be 1 to " + std::to_string(kMaxBuffers) + " (is " + std::to_string(Buffers) + ")");
    checkFftSamples(samples_, analysis_);
}

void RefuseWhileOpen(std::int32_t newSamples, std::int32_t flags, const char* procedure) {
    const EngineState& st = engine();
    if ((st.stateFlags & kFlagOpened) == 0) return;
    withTrail(procedure, [&] {
        if (newSamples != st.samples)
            invalidSetting("Samples cannot change while the device is open (" + std::to_string(st.samples) + " to " +
                           std::to_string(newSamples) + ")");
        checkFftSamples(newSamples, flags);
    });
}

void clsVorix::abandonInit() {
    EngineState& st = engine();
    st.insideInitX = false;
    try {
        if (st.deviceHandle != 0) {
            closeDevice(st);
            pumpEvents();  // its notices still find the wave procedure
        }
    } catch (...) {
        // What follows has to happen whatever the device said.
    }
    st.deviceHandle = 0;
    DeviceHandle = 0;
    try {
        modProc::SubClassWaveIn(0);
        modProc::SubClassTimer(0);
    } catch (...) {
    }
    CloseFile();
    st.stateFlags = 0;
}

Variant clsVorix::openEngine(HWND msgWindow, HWND waveWindow, HWND timerWindow, std::int32_t typ) {
    EngineState& st = engine();
    bool retryGranted = true;
    for (int pass = 1;; ++pass) {
        // 1. The device kind; 2 (and so 3) means output.
        st.deviceKind = 0;
        const std::int32_t asked = typ;
        if (asked & 1) {
            typ = 1;
            st.deviceKind = 1;
        }
        if ((asked & 2) == 2) {
            typ = 2;
            st.deviceKind = 2;
            loopMethod_ = 1;
            Playing = true;
        }
        // 2.
        st.samples = samples_;
        st.buffers = 0;
        st.devicesAtOpen = static_cast<std::int32_t>(waveInGetNumDevs());
        st.triggerCount = triggerUpperBound();
        if (st.triggerCount > 0) InitTriggers(triggers_, sps_, samples_);
        // 3.
        st.insideInitX = true;
        try {
            Reset();
        } catch (...) {
            st.insideInitX = false;
            throw;
        }
        st.insideInitX = false;
        st.blockCounter = 0;
        st.missedCount = 0;
        // 4., 5.
        SetGlobalConstants();
        st.msgWindow = msgWindow;
        st.waveWindow = waveWindow;
        st.timerWindow = timerWindow;
        // 6.
        if (st.loopMode == 0) {
            setLamp(st, RGB(0, 175, 0));
        } else if (st.loopMode == 1 || st.loopMode == 3) {
            modProc::SubClassWaveIn(1);
            modProc::SubClassTimer(1);
        }
        // 7.
        FFT::InitAnalysis();
        // 8. Open, with one retry after closing a handle an earlier run left open.
        const char* section = sectionOf(st.deviceKind);
        std::string reason;
        for (;;) {
            st.deviceHandle = 0;
            DeviceHandle = 0;
            st.nestingDepth = 0;
            if (st.deviceKind == 1)
                waveInOpen(&st.deviceHandle, static_cast<UINT>(Device), &st.format,
                           static_cast<DWORD_PTR>(waveWindow), 0, CALLBACK_WINDOW);
            else if (st.deviceKind == 2)
                waveOutOpen(&st.deviceHandle, static_cast<UINT>(Device), &st.format,
                            static_cast<DWORD_PTR>(waveWindow), 0, CALLBACK_WINDOW);
            if (st.deviceHandle == 0 && st.deviceKind != 0) reason = waveLastErrorText();
            for (int i = 0; i < 100; ++i) pumpEvents();
            if (st.deviceHandle != 0) {
                st.stateFlags |= kFlagOpened;
                saveLastHandle(section, st.deviceHandle);
                break;
            }
            const std::int32_t last = parseHandle(readLastHandle(section, "0"));
            if (!retryGranted) break;
            retryGranted = false;
            if (st.deviceKind == 1)
                waveInClose(last);
            else if (st.deviceKind == 2)
                waveOutClose(last);
        }
        // 9., 10.
        DeviceHandle = st.deviceHandle;
        st.headers.redim(st.buffers);
        if (st.deviceHandle == 0) {
            std::string text = "Wavedevice cannot be opened!";
            if (!reason.empty()) text += kLineBreak + reason;
            raise(1051, text, kSource);
        }
        // 11., 12. Buffers are queued only by Start.
        prepareHeaders();
        if (st.deviceKind == 1) {
            waveInStart(st.deviceHandle);
        } else if (st.deviceKind == 2) {
            recording_ = false;
        }
        // 13.
        CloseFile();
        FileSettings fs;
        fs.fileName = FileName;
        fs.recording = recording_;
        fs.playing = Playing;
        fs.maxRecordingTime = MaxRecordingTime;
        fs.sps = sps_;
        fs.bips = Bips;
        fs.channels = Channels;
        PrepareFile(fs);
        recording_ = fs.recording;
        // 14. A device that has not reported "open" gets one more full pass.
        if ((loopMethod_ & 1) == 1 && (st.stateFlags & kFlagOpenNotified) == 0 && pass == 1) {
            pumpEvents();
            Reset();
            continue;
        }
        return Variant();
    }
}

std::int32_t clsVorix::Start() {
    EngineState& st = engine();
    return withTrail("Function Start in clsVorix", [&]() -> std::int32_t {
        st.currentBuffer = 1;
        st.arrivedBuffer = 1;
        st.stateFlags |= kFlagRunning;
        switch (loopMethod_) {
        case 0: {
            if (timerInterval_ == 0) timerInterval_ = blockMs(samples_, sps_);
            if (!st.pollingTimer) raise(91);
            st.pollingTimer->setInterval(timerInterval_);
            st.pollingTimer->setEnabled(true);
            break;
        }
        case 1:
        case 3:
            if (st.deviceKind == 1) {
                st.analysisSeq = 0;
                if (static_cast<std::int32_t>(waveInGetNumDevs()) != st.devicesAtOpen) return 0;
                for (std::int32_t i = 1; i <= st.buffers; ++i) {
                    WAVEHDR& h = st.headers(i);
                    if (modProc::QueuedAtDevice(h)) continue;  // still queued since before Pause
                    h.dwBytesRecorded = 0;
                    h.dwUser = static_cast<DWORD_PTR>(i);
                    waveInAddBuffer(st.deviceHandle, &h, WAVEHDR_SIZE32);
                }
                st.analysisLag = Buffers / 2 + 1;
                st.minimumGap = Buffers < 3 ? 1 : 2;
                if (st.buffers > 1) {
                    st.timerDelay = blockMs(samples_, sps_);
                    if (st.buffers == 2) st.timerDelay = static_cast<std::int32_t>(std::nearbyint(st.timerDelay / 2.0));
                    if (st.timerId > 0) modProc::KillTimer(st.timerId);
                    if ((analysis_ & 2) == 2) st.timerId = modProc::StartTimer(st.timerDelay, st.currentBuffer);
                }
            } else if (st.deviceKind == 2) {
                startOutput();
            }
            break;
        default: break;
        }
        if (!st.stopwatch) st.stopwatch = std::make_unique<clsXTimer>();
        st.stopwatch->Calibrate();
        st.stopwatch->Start();
        return 0;
    });
}

// Output: every header marked "not yet played" and handed to the device with what it holds
// (one block of silence from the fresh buffer); the refill cycle of MM_WOM_DONE takes over.
void clsVorix::startOutput() {
    EngineState& st = engine();
    for (std::int32_t i = 1; i <= st.buffers; ++i) {
        st.headers(i).dwFlags = WHDR_PREPARED;
        st.headers(i).dwUser = 0;
    }
    st.nextPlayIndex = 1;
    for (std::int32_t i = 1; i <= st.buffers; ++i) {
        st.headers(i).dwBytesRecorded = 0;
        st.headers(i).dwUser = 999;
    }
    for (std::int32_t i = 1; i <= st.buffers; ++i) waveOutWrite(st.deviceHandle, &st.headers(i), WAVEHDR_SIZE32);
}

std::int32_t clsVorix::Pause() {
    EngineState& st = engine();
    return withTrail("Function Pause in clsVorix", [&]() -> std::int32_t {
        st.stateFlags &= ~kFlagRunning;
        if (st.timerId > 0) {
            modProc::KillTimer(st.timerId);
            st.timerId = 0;
        }
        if (!st.pollingTimer) raise(91);
        if (st.pollingTimer->Enabled()) st.pollingTimer->setEnabled(false);
        setLamp(st, loopMethod_ != 0 ? RGB(127, 0, 0) : RGB(0, 175, 0));
        return 0;
    });
}

std::int32_t clsVorix::Reset() {
    EngineState& st = engine();
    const std::string section = sectionOf(st.deviceKind);
    try {
        // 1. A handle left open by an earlier run is closed too.
        if (st.deviceHandle != 0) {
            if (readLastHandle(section.c_str(), "") != std::to_string(st.deviceHandle))
                saveLastHandle(section.c_str(), st.deviceHandle);
        } else {
            st.deviceHandle = parseHandle(readLastHandle(section.c_str(), "0"));
        }
        // 2.
        if (st.timerId > 0) {
            modProc::KillTimer(st.timerId);
            st.timerId = 0;
        }
        // 3., 4. The device hands back every buffer it still held, and they arrive here with the
        // window procedure still in place; while draining, it keeps only the samples they hold
        // (they are no new blocks: neither counted nor analysed).
        {
            struct Draining {
                EngineState& st;
                bool before;
                explicit Draining(EngineState& s) : st(s), before(s.draining) { st.draining = true; }
                ~Draining() { st.draining = before; }
            } draining(st);
            closeDevice(st);
            pumpEvents();
        }
        redim(st.specL, 1);
        st.capture.shrink();
        // 5.
        skip91([&] {
            if (!st.pollingTimer) raise(91);
            st.pollingTimer->setEnabled(false);
        });
        st.stateFlags = 0;
        st.busy = false;
        // 6.
        if (!st.insideInitX) {
            if (st.loopMode == 1 || st.loopMode == 3) {
                skip91([] { modProc::SubClassWaveIn(0); });
                skip91([] { modProc::SubClassTimer(0); });
            }
            FinishFile(st.deviceKind, FileName);
            skip91([&] { setLamp(st, RGB(127, 127, 127)); });
            st.lamp = nullptr;
        }
    } catch (...) {
        const VbError e = currentError();
        st.lastError = e.description();
        const int n = e.number();
        if (n == 5 || n == 9 || n == 52 || n == 53) return 0;
        throw VbError(n, e.description() + kLineBreak + "Error in Function Reset of clsVorix:", kSource);
    }
    return 0;
}

std::int32_t clsVorix::AddTrigger(std::int32_t index, double f1, double f2, float threshold) {
    return withTrail("Function AddTrigger in clsVorix", [&]() -> std::int32_t {
        if (index > triggerUpperBound()) triggers_.resize(static_cast<std::size_t>(index) + 1);
        TriggerRecord& r = at(triggers_, index);
        r.F1 = f1;
        r.F2 = f2;
        r.level = static_cast<double>(threshold) * 320.0;
        return 0;
    });
}

std::int32_t clsVorix::GetTriggers(std::vector<std::int32_t>& list) {
    EngineState& st = engine();
    return withTrail("Function GetTriggers in clsVorix", [&]() -> std::int32_t {
        redim(list, 0);
        std::int32_t k = -1;
        for (std::int32_t i = 1; i <= triggerUpperBound(); ++i) {
            const TriggerRecord& r = triggers_[static_cast<std::size_t>(i)];
            for (std::int32_t b = r.firstBin; b <= r.lastBin; ++b) {
                if (static_cast<float>(r.level) <= at(st.specL, b)) {
                    ++k;
                    redimPreserve(list, k);
                    list[static_cast<std::size_t>(k)] = i;
                }
            }
        }
        return k + 1;
    });
}

double clsVorix::AnalysisTime(std::int32_t nCycles, std::int32_t /*typ*/) {
    EngineState& st = engine();
    return withTrail("Function AnalysisTime in clsVorix", [&]() -> double {
        redim(st.waveL, samples_);
        redim(st.specL, samples_);
        const double t0 = timerSeconds();
        if (st.samples != samples_) SetGlobalConstants();
        FFT::InitBitReverse(st.bitRev, st.samples, 0);
        st.bitRevN = st.samples;
        for (std::int32_t c = 1; c <= nCycles; ++c) {
            redim(st.specL, samples_);
            FFT::CalcFFT(st.waveL, st.specL, st.bitRev, samples_);
        }
        return timerSeconds() - t0;
    });
}

// ---- Properties ----

void clsVorix::letAnalysis(std::int32_t v) {
    const std::int32_t old = samples_;
    RefuseWhileOpen(FFT::CheckSamples(old, v), v, "Property Let Analysis in clsVorix");
    analysis_ = v;
    samples_ = FFT::CheckSamples(old, v);
    if (samples_ != old && onChangedSamples) onChangedSamples(old);
    engine().samples = samples_;
    engine().analysisFlags = v;
}

void clsVorix::letSamples(std::int32_t v) {
    const std::int32_t requested = v < 1 ? 1 : v;
    RefuseWhileOpen(FFT::CheckSamples(requested, analysis_), analysis_, "Property Let Samples in clsVorix");
    samples_ = FFT::CheckSamples(requested, analysis_);
    if (samples_ != requested && onChangedSamples) onChangedSamples(requested);
    engine().samples = samples_;
}

void clsVorix::letSPS(std::int32_t v) {
    sps_ = v;
    engine().sampleRate = v;
}

void clsVorix::letLoopMethod(std::int16_t v) {
    loopMethod_ = v;
    engine().loopMode = v;
}

float clsVorix::Threshold() {
    threshold_ = static_cast<float>(engine().level) / 320.0f;
    return threshold_;
}

void clsVorix::letThreshold(float v) {
    threshold_ = v;
    const double level = std::nearbyint(v * 320.0f);
    if (!(level >= -2147483648.0 && level <= 2147483647.0)) raise(6);
    engine().level = static_cast<std::int32_t>(level);
}

std::int32_t clsVorix::TimerInterval() {
    if (auto* t = engine().pollingTimer) timerInterval_ = t->Interval();
    return timerInterval_;
}

void clsVorix::letTimerInterval(std::int32_t v) {
    timerInterval_ = v;
    if (auto* t = engine().pollingTimer) t->setInterval(v);
}

std::int32_t clsVorix::MissedCount() const { return engine().missedCount; }

void clsVorix::letMissedCount(std::int32_t v) { engine().missedCount = v; }

std::int32_t clsVorix::FilePointer() {
    filePointer_ = engine().filePosition;
    return filePointer_;
}

std::int32_t clsVorix::Status() {
    status_ = engine().stateFlags;
    return status_;
}

double clsVorix::MaxFrequencyL() {
    maxFrequencyL_ = engine().maxFrequencyL;
    return maxFrequencyL_;
}

double clsVorix::MaxFrequencyR() {
    maxFrequencyR_ = engine().maxFrequencyR;
    return maxFrequencyR_;
}

double clsVorix::SamplingTime() const {
    if (sps_ > 0) return static_cast<double>(samples_) * 1000.0 / sps_;
    return samplingTime_;
}

void clsVorix::letRecording(bool v) {
    recording_ = v;
    if (v && FileName.empty()) FileName = LibraryFolder() + "\\Recording.wav";
}

std::vector<std::int32_t> clsVorix::Sequence() const {
    const EngineState& st = engine();
    return st.sequence.items();
}

std::int32_t clsVorix::WaveData(std::vector<std::int16_t>& data, std::int32_t channel) {
    return withTrail("Property Get WaveData in clsVorix", [&] { return CopyWaveData(data, channel, Channels); });
}

std::int32_t clsVorix::Spectrum(std::vector<float>& specData, std::int32_t channel) {
    return withTrail("Property Get Spectrum in clsVorix", [&] { return CopySpectrumData(specData, channel, Channels); });
}

std::int32_t clsVorix::Peaks(std::vector<float>& peakData, std::int32_t channel) {
    if (engine().peaksBusy) return 0;
    return HandOverPeaks(peakData, channel);
}

std::string clsVorix::DeviceName(std::int32_t index) const {
    std::vector<std::string> names;
    const std::int32_t n = GetWavDevices(names);
    return index >= 0 && index < n ? names[static_cast<std::size_t>(index)] : std::string();
}

// ---- Shared members ----

std::int32_t CopyWaveData(std::vector<std::int16_t>& data, std::int32_t channel, std::int32_t channels) {
    EngineState& st = engine();
    if (channel == 1)
        data = st.waveL;
    else if (channels == 2)
        data = st.waveR;
    return ubound(data) + 1;
}

std::int32_t CopySpectrumData(std::vector<float>& specData, std::int32_t channel, std::int32_t channels) {
    EngineState& st = engine();
    if (channel == 1) {
        specData = st.specL;
        return static_cast<std::int32_t>(specData.size());
    }
    if (channels >= 2) {
        specData = st.specR;
        return static_cast<std::int32_t>(specData.size());
    }
    return 0;
}

std::int32_t HandOverPeaks(std::vector<float>& peakData, std::int32_t channel) {
    EngineState& st = engine();
    std::vector<float>& list = channel == 1 ? st.peaksL : st.peaksR;
    peakData = list;
    redim(list, 1);
    return 0;
}

}  // namespace wavorix
