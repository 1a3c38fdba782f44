// The engine object: its own copy of every setting of the control, the device life cycle
// (InitX, Start, Pause, Reset) and the frequency-trigger table. One per control; all of them on
// one thread share the engine state block.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/component.h"
#include "platform/windows/windows.h"

namespace forms {
class Label;
}

namespace wavorix {

struct TriggerRecord {
    double F1 = 0;
    double F2 = 0;
    std::int32_t firstBin = 0;
    std::int32_t lastBin = 0;
    double level = 0;
};

// The library's version: major, minor, revision.
inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 0;
inline constexpr int kVersionRevision = 52;
std::string VersionText();
// The folder of libwavorix.so.
std::string LibraryFolder();

// Complete's key code carries the buffer index in its low byte.
inline constexpr std::int32_t kMaxBuffers = 255;

// While the device is open, error 380 (with procedure as its trail line) for a sample count that
// differs from the one the buffers were sized for, or that is too short for the FFT of flags.
void RefuseWhileOpen(std::int32_t newSamples, std::int32_t flags, const char* procedure);

// Application and value names of the remembered device handle.
inline constexpr const char* kSettingsApp = "WavoricsOCX";
inline constexpr const char* kLastHandle = "LastHandle";

// Names of the wave input devices; returns their count (0: names left alone).
std::int32_t GetWavDevices(std::vector<std::string>& names);
// Snaps the bands to spectrum bins of SPS / Samples Hz.
void InitTriggers(std::vector<TriggerRecord>& table, std::int32_t sps, std::int32_t samples);

class clsVorix {
public:
    clsVorix();   // Class_Initialize
    ~clsVorix();  // Class_Terminate
    clsVorix(const clsVorix&) = delete;
    clsVorix& operator=(const clsVorix&) = delete;

    // ---- Methods ----
    // The engine alone cannot work: 424.
    void Init();
    // −1001 when already initialised, else Empty.
    platform::com::Variant InitX(platform::HWND msgWindow, platform::HWND waveWindow, platform::HWND timerWindow,
                                 std::int32_t typ);
    std::int32_t Start();
    std::int32_t Pause();
    std::int32_t Reset();
    void SetGlobalConstants();
    std::int32_t AddTrigger(std::int32_t index, double f1, double f2, float threshold);
    std::int32_t GetTriggers(std::vector<std::int32_t>& list);
    double AnalysisTime(std::int32_t nCycles, std::int32_t typ);
    std::string Version() const { return VersionText(); }

    // ---- Properties with effects ----
    std::int32_t Analysis() const { return analysis_; }
    void letAnalysis(std::int32_t v);
    std::int32_t Samples() const { return samples_; }
    void letSamples(std::int32_t v);
    std::int32_t SPS() const { return sps_; }
    void letSPS(std::int32_t v);
    std::int16_t LoopMethod() const { return loopMethod_; }
    void letLoopMethod(std::int16_t v);
    float Threshold();
    void letThreshold(float v);
    std::int32_t TimerInterval();
    void letTimerInterval(std::int32_t v);
    std::int32_t MissedCount() const;
    void letMissedCount(std::int32_t v);
    std::int32_t FilePointer();
    void letFilePointer(std::int32_t v) { filePointer_ = v; }
    std::int32_t Status();
    void letStatus(std::int32_t v) { status_ = v; }
    double MaxFrequencyL();
    void letMaxFrequencyL(double v) { maxFrequencyL_ = v; }
    double MaxFrequencyR();
    void letMaxFrequencyR(double v) { maxFrequencyR_ = v; }
    double SamplingTime() const;
    void letSamplingTime(double v) { samplingTime_ = v; }
    bool Recording() const { return recording_; }
    void letRecording(bool v);
    std::vector<std::int32_t> Sequence() const;
    std::int32_t WaveData(std::vector<std::int16_t>& data, std::int32_t channel);
    std::int32_t Spectrum(std::vector<float>& specData, std::int32_t channel);
    std::int32_t Peaks(std::vector<float>& peakData, std::int32_t channel);
    // The name of a wave input device from the system's list ("" past its end).
    std::string DeviceName(std::int32_t index) const;

    // ---- Plain stored properties ----
    std::int32_t BlockCount = 0;
    std::int32_t Buffers = 0;
    std::int32_t DataPointer = 0;
    std::int32_t Device = 0;
    std::int32_t DeviceHandle = 0;
    std::int32_t Devices = 0;
    std::int32_t MaxRecordingTime = 0;
    std::int32_t MaxAmplitudeL = 0;
    std::int32_t MaxAmplitudeR = 0;
    std::int16_t Bips = 0;
    std::int16_t Channels = 0;
    std::string FileName;
    bool Playing = false;
    forms::Label* FlashControl = nullptr;  // the lamp of a use without the control

    // The class's event ChangedSamples (no handler while the control owns the object).
    std::function<void(std::int32_t nOldSamples)> onChangedSamples;

    const std::vector<TriggerRecord>& triggers() const { return triggers_; }
    bool triggersDimensioned() const { return triggersDimensioned_; }

private:
    std::int32_t triggerUpperBound() const;
    // Settings that cannot work: error 380 before anything is opened.
    void checkSettings() const;
    // The passes of InitX (steps 1 to 14).
    platform::com::Variant openEngine(platform::HWND msgWindow, platform::HWND waveWindow,
                                      platform::HWND timerWindow, std::int32_t typ);
    // After a failed InitX: the device closed, the window procedures back, the file closed.
    void abandonInit();
    void prepareHeaders();
    void startOutput();

    std::int32_t analysis_ = 0;
    std::int32_t samples_ = 0;
    std::int32_t sps_ = 0;
    std::int16_t loopMethod_ = 0;
    float threshold_ = 0;
    std::int32_t timerInterval_ = 0;
    std::int32_t filePointer_ = 0;
    std::int32_t status_ = 0;
    double maxFrequencyL_ = 0;
    double maxFrequencyR_ = 0;
    double samplingTime_ = 0;
    bool recording_ = false;
    std::vector<TriggerRecord> triggers_;
    bool triggersDimensioned_ = false;
};

// Shared by the control and the engine object (each with its own trail line).
std::int32_t CopyWaveData(std::vector<std::int16_t>& data, std::int32_t channel, std::int32_t channels);
std::int32_t CopySpectrumData(std::vector<float>& specData, std::int32_t channel, std::int32_t channels);
std::int32_t HandOverPeaks(std::vector<float>& peakData, std::int32_t channel);

}  // namespace wavorix
