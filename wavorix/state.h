// The engine state block: one per host thread, shared by every Vorix control and clsVorix object
// on that thread and by the window procedures: one device, one buffer set, one trigger count,
// one polling timer and one status lamp.
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/wave.h"
#include "platform/windows/windows.h"
#include "wavorix/arrays.h"

namespace forms {
class Label;
class Timer;
}  // namespace forms

namespace wavorix {

class clsXTimer;

// One per device buffer.
struct BufferRecord {
    std::int32_t blockNumber = 0;
    double arrivalTime = 0;    // seconds since Start
    double arrivalTime2 = 0;   // written only in loop mode 1
    bool done = false;         // True once the analysis step used it
    std::vector<std::int16_t> left;
    std::vector<std::int16_t> right;  // only with two channels
};

// Internal state of the analysis step.
struct StatusRecord {
    double lastFrequency = 0;
    std::int32_t lastBlock = 0;
    std::int32_t lampPhase = 0;
    std::int32_t writtenBlocks = 0;
};

// The capture buffer: one column of channels x samples values per device buffer (columns 1 to
// Buffers); Reset shrinks it to a single dimension of two values.
struct CaptureBuffer {
    std::vector<std::int16_t> data;
    std::int32_t rows = 0;  // values per column
    std::int32_t cols = 0;  // 0 after Reset (one dimension)
    void redim(std::int32_t r, std::int32_t c);
    void shrink();
    // Start of column i (1-based); 9 outside.
    std::int16_t* column(std::int64_t i);
    // The column's values as an array (for CopyBufferData and RawData).
    std::int32_t upperRow() const;
};

inline constexpr std::int32_t kFlagOpenNotified = 1;
inline constexpr std::int32_t kFlagOpened = 2;
inline constexpr std::int32_t kFlagRunning = 4;
inline constexpr std::int32_t kStopAnalysis = 999;
inline constexpr std::int32_t kProcRemoved = -9999;

struct EngineState {
    EngineState();
    ~EngineState();
    EngineState(const EngineState&) = delete;
    EngineState& operator=(const EngineState&) = delete;

    // Device
    std::int32_t deviceHandle = 0;
    std::int32_t deviceKind = 0;  // 0 none, 1 wave input, 2 wave output
    std::int32_t stateFlags = 0;
    std::int32_t samples = 0;
    std::int32_t sampleRate = 0;
    std::int16_t channels = 0;
    std::int32_t buffers = 0;
    std::int32_t devicesAtOpen = 0;
    std::int32_t level = 0;
    std::int32_t loopMode = 0;
    std::int32_t analysisFlags = 0;
    std::int32_t triggerCount = 0;
    std::int32_t currentBuffer = 0;
    std::int32_t arrivedBuffer = 0;
    std::int32_t blockCounter = 0;
    std::int32_t missedCount = 0;
    double arrivalTime = 0;
    std::unique_ptr<clsXTimer> stopwatch;
    std::int32_t timerId = 0;
    std::int32_t timerDelay = 0;

    // Analysis step
    std::int32_t analysisSeq = 0;
    std::int32_t analysisLag = 0;
    std::int32_t minimumGap = 0;
    std::int32_t lastCompletedBlock = 0;
    std::atomic<bool> busy{false};  // read by the multimedia timer's thread
    StatusRecord status;
    bool peaksBusy = false;

    // Recording and playback
    bool writerBusy = false;
    std::int32_t fileNumber = 0;
    std::FILE* file = nullptr;
    std::int32_t byteLimit = 0;
    std::int32_t filePosition = 0;
    std::int32_t nextPlayIndex = 0;

    // Windows
    platform::HWND msgWindow = 0;
    platform::HWND waveWindow = 0;
    std::atomic<platform::HWND> timerWindow{0};  // read by the multimedia timer's thread
    platform::WndProc oldWaveProc;
    platform::WndProc oldTimerProc;
    std::int32_t procError = 0;
    std::int32_t nestingDepth = 0;
    bool draining = false;  // Reset is taking back the buffers the device still held

    // Objects of the control
    forms::Timer* pollingTimer = nullptr;
    forms::Label* lamp = nullptr;
    bool insideInitX = false;
    std::string lastError;
    bool hosted = false;

    // Arrays
    alignas(8) platform::WAVEFORMATEX format{};  // packed record: keep its fields aligned
    CaptureBuffer capture;
    OneBased<platform::WAVEHDR> headers;
    OneBased<BufferRecord> records;
    std::vector<std::int16_t> waveL, waveR;
    std::vector<float> specL, specR;
    std::vector<float> peaksL, peaksR;
    std::vector<float> exportData;
    OneBased<std::int32_t> sequence;  // 1 to 100
    std::vector<std::int32_t> bitRev;
    std::int32_t bitRevN = 0;
    std::vector<std::int16_t> recBlock;
    std::int32_t maxAmplitudeL = 0, maxAmplitudeR = 0;
    double maxFrequencyL = 0, maxFrequencyR = 0;
};

// The block of the calling thread (made on first use).
EngineState& engine();
// Drops the calling thread's block; the next engine() makes a fresh one. For tests, with no
// device open.
void resetEngineState();

// The status lamp: 91 when the engine has none.
forms::Label& lamp(EngineState& st);
// BackColor := colour and Refresh; 91 when there is no lamp.
void setLamp(EngineState& st, std::uint32_t colour);
// One blink of the lamp: from phase 1 to 0 showing dim, otherwise to 1 showing bright. The phase
// moves on even when there is no lamp, which is then all it does (it runs for every block, so
// no error is raised and caught there).
void blinkLamp(EngineState& st, std::int32_t& phase, std::uint32_t dim, std::uint32_t bright);

// Block counters go from &H7FFFFFFE back to 1.
inline std::int32_t nextCount(std::int32_t n) { return n >= 0x7FFFFFFE ? 1 : n + 1; }

// Pumps pending window events once.
void pumpEvents();

}  // namespace wavorix
