// The control Vorix as a host places it: its stored properties and property bag, the members of
// its dispatch interface _Vorix (by their dispatch identifiers), the events of __Vorix raised to
// the host's sink, and its constituents: the lamp label lSub, the hidden text boxes txtMsg
// (message channel), txtSub (wave notifications) and txtTim (timer ticks), and the polling
// timer Timer1. Every method goes to one engine object clsVorix, made on first use.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "forms/controls/hosted.h"
#include "forms/controls/label.h"
#include "forms/controls/textbox.h"
#include "forms/controls/timer.h"
#include "platform/component.h"
#include "wavorix/clsvorix.h"

namespace wavorix {

inline constexpr const char* kProgId = "prjVorix.Vorix";

// Dispatch identifiers of _Vorix.
namespace dispid {
inline constexpr platform::com::DispId AddTrigger = 0x60030020;
inline constexpr platform::com::DispId AnalysisTime = 0x60030021;
inline constexpr platform::com::DispId ExportData = 0x60030022;
inline constexpr platform::com::DispId DoFFT = 0x60030023;
inline constexpr platform::com::DispId SetConstants = 0x60030024;
inline constexpr platform::com::DispId SetOneShot = 0x60030025;
inline constexpr platform::com::DispId SPS = 0x6803001F;
inline constexpr platform::com::DispId Bips = 0x6803001E;
inline constexpr platform::com::DispId Channels = 0x6803001D;
inline constexpr platform::com::DispId Samples = 0x6803001C;
inline constexpr platform::com::DispId Start = 0x60030026;
inline constexpr platform::com::DispId Version = 0x60030028;
inline constexpr platform::com::DispId Init = 0x60030037;
inline constexpr platform::com::DispId Pause = 0x60030038;
inline constexpr platform::com::DispId Reset = 0x60030039;
inline constexpr platform::com::DispId DataPointer = 0x6803001B;
inline constexpr platform::com::DispId LoopMethod = 0x6803001A;
inline constexpr platform::com::DispId Threshold = 0x68030019;
inline constexpr platform::com::DispId TimerInterval = 0x68030018;
inline constexpr platform::com::DispId Analysis = 0x68030017;
inline constexpr platform::com::DispId SamplingTime = 0x68030016;
inline constexpr platform::com::DispId WaveData = 0x68030015;
inline constexpr platform::com::DispId Spectrum = 0x68030014;
inline constexpr platform::com::DispId RawData = 0x68030013;
inline constexpr platform::com::DispId Status = 0x68030012;
inline constexpr platform::com::DispId FileName = 0x68030011;
inline constexpr platform::com::DispId MaxRecordingTime = 0x68030010;
inline constexpr platform::com::DispId Recording = 0x6803000F;
inline constexpr platform::com::DispId Peaks = 0x6803000E;
inline constexpr platform::com::DispId DeviceHandle = 0x6803000D;
inline constexpr platform::com::DispId DeviceName = 0x6803000C;
inline constexpr platform::com::DispId Buffers = 0x6803000B;
inline constexpr platform::com::DispId Device = 0x6803000A;
inline constexpr platform::com::DispId FilePointer = 0x68030009;
inline constexpr platform::com::DispId Playing = 0x68030008;
inline constexpr platform::com::DispId BlockCount = 0x68030007;
inline constexpr platform::com::DispId MissedCount = 0x68030006;
inline constexpr platform::com::DispId MaxAmplitudeL = 0x68030005;
inline constexpr platform::com::DispId MaxAmplitudeR = 0x68030004;
inline constexpr platform::com::DispId MaxFrequencyL = 0x68030003;
inline constexpr platform::com::DispId MaxFrequencyR = 0x68030002;
inline constexpr platform::com::DispId Sequence = 0x68030001;
inline constexpr platform::com::DispId Devices = 0x68030000;
}  // namespace dispid

// Event identifiers of __Vorix.
namespace eventid {
inline constexpr platform::com::DispId DoneRecordig = 1;
inline constexpr platform::com::DispId ChangedSamples = 2;
inline constexpr platform::com::DispId Complete = 3;
inline constexpr platform::com::DispId MissedBuffer = 4;
inline constexpr platform::com::DispId WaveDeviceOpened = 5;
inline constexpr platform::com::DispId WaveDeviceClosed = 6;
inline constexpr platform::com::DispId FrequencyTrigger = 7;
inline constexpr platform::com::DispId FrequencyTriggersOff = 8;
}  // namespace eventid

// AnalysisType
enum AnalysisType : std::int32_t {
    None = 0,
    MaxAmplitude = 1,
    FFT_ = 3,
    MaxFrequency = 7,
    FirstFrequency = 11,
    ReducedSpectrum = 19,
    ZeroCrossings = 33,
};

class Vorix final : public forms::HostedControl, public platform::com::ControlObject {
public:
    explicit Vorix(const platform::com::CreateParams& params);
    ~Vorix() override;

    // ---- ControlObject ----
    platform::com::Variant invoke(platform::com::DispId id, platform::com::InvokeKind kind,
                                  std::vector<platform::com::Variant>& args) override;
    const std::vector<platform::com::MemberInfo>& members() const override;
    void advise(platform::com::EventSink* sink) override { sink_ = sink; }
    void initProperties() override;
    void readProperties(platform::com::PropertyBag& bag) override;
    void writeProperties(platform::com::PropertyBag& bag) override;
    forms::Control& extender() override { return *this; }

    void Move(double left, double top, double width, double height) override;

    // ---- Members of _Vorix ----
    std::int32_t AddTrigger(std::int32_t index, double f1, double f2, float threshold);
    float AnalysisTime(std::int32_t nCycles, std::int32_t typ = 0);
    void ExportData();
    std::int32_t DoFFT(std::vector<std::int16_t>& waveData, std::vector<float>& specData);
    void SetConstants() {}
    void SetOneShot(std::int32_t t);
    std::int32_t Start();
    std::string Version() const { return VersionText(); }
    std::int32_t Init(std::int32_t typ = 1);
    platform::com::Variant Pause();
    std::int32_t Reset();

    std::int32_t SPS() const { return sps_; }
    void letSPS(std::int32_t v);
    std::int16_t Bips() const { return bips_; }
    void letBips(std::int16_t v);
    std::int16_t Channels() const { return channels_; }
    void letChannels(std::int16_t v);
    std::int32_t Samples() const { return samples_; }
    void letSamples(std::int32_t v);
    std::int32_t DataPointer() const { return dataPointer_; }
    void letDataPointer(std::int32_t v);
    std::int16_t LoopMethod() const { return loopMethod_; }
    void letLoopMethod(std::int16_t v);
    float Threshold();
    void letThreshold(float v);
    std::int32_t TimerInterval() const { return timerInterval_; }
    void letTimerInterval(std::int32_t v);
    std::int32_t Analysis() const { return analysis_; }
    void letAnalysis(std::int32_t v);
    double SamplingTime();
    void letSamplingTime(double v);
    std::int32_t WaveData(std::vector<std::int16_t>& data, std::int32_t channel);
    std::int32_t Spectrum(std::vector<float>& specData, std::int32_t channel);
    std::int32_t RawData(std::vector<std::int16_t>& waveData, std::int32_t bufferIndex);
    std::int32_t Status() const;
    const std::string& FileName() const { return fileName_; }
    void letFileName(const std::string& v);
    std::int32_t MaxRecordingTime() const { return maxRecordingTime_; }
    void letMaxRecordingTime(std::int32_t v);
    bool Recording() const { return recording_; }
    void letRecording(bool v);
    std::int32_t Peaks(std::vector<float>& peakData, std::int32_t channel);
    std::int32_t DeviceHandle() const;
    std::string DeviceName(std::int32_t index) const;
    std::int32_t Buffers() const { return buffers_; }
    void letBuffers(std::int32_t v);
    std::int32_t Device() const { return device_; }
    void letDevice(std::int32_t v);
    std::int32_t FilePointer();
    void letFilePointer(std::int32_t v);
    bool Playing() const { return playing_; }
    void letPlaying(bool v);
    std::int32_t BlockCount() const { return blockCount_; }
    void letBlockCount(std::int32_t v);
    std::int32_t MissedCount() const;
    void letMissedCount(std::int32_t v);
    std::int32_t MaxAmplitudeL() const;
    std::int32_t MaxAmplitudeR() const;
    double MaxFrequencyL() const;
    double MaxFrequencyR() const;
    platform::com::Variant Sequence() const { return sequence_; }
    void letSequence(const platform::com::Variant& v);
    std::int32_t Devices() const { return devices_; }
    void letDevices(std::int32_t v);

    // The engine object (made by the first member that needs it).
    clsVorix& engineObject();
    bool hasEngineObject() const { return engine_ != nullptr; }

    // Constituents.
    forms::Label lSub;
    forms::TextBox txtMsg;
    forms::TextBox txtSub;
    forms::TextBox txtTim;
    forms::Timer Timer1;

private:
    void UserControl_Initialize();
    void UserControl_Resize();
    void UserControl_Terminate();
    void TransferProperties();
    void txtMsg_Change();
    void txtMsg_KeyUp(int& keyCode, int& shift);
    void Timer1_Timer();

    void RaiseEvent(platform::com::DispId id, std::vector<platform::com::Variant> args = {});
    void PropertyChanged(const std::string& name);
    bool userMode() const;
    // 387 in design mode (a Let allowed at run time only).
    void runTimeOnly() const;
    // 387 in design mode, 382 at run time (a Let never allowed).
    [[noreturn]] void neverSet() const;

    platform::com::Site* site_;
    platform::com::EventSink* sink_ = nullptr;
    std::unique_ptr<clsVorix> engine_;

    std::int32_t sps_ = 44100;
    std::int16_t bips_ = 16;
    std::int16_t channels_ = 1;
    std::int32_t samples_ = 1024;
    std::int32_t dataPointer_ = 0;
    std::int16_t loopMethod_ = 0;
    float threshold_ = 5;
    std::int32_t timerInterval_ = 1;
    std::int32_t analysis_ = 3;
    double samplingTime_ = 0;
    std::string fileName_;
    std::int32_t maxRecordingTime_ = 0;
    bool recording_ = false;
    bool playing_ = false;
    std::int32_t buffers_ = 1;
    std::int32_t device_ = 0;
    std::int32_t filePointer_ = 0;
    std::int32_t blockCount_ = 0;
    platform::com::Variant sequence_{static_cast<std::int32_t>(0)};
    platform::com::Variant peaksStored_{static_cast<std::int32_t>(0)};
    std::int32_t devices_ = 0;
    std::vector<std::string> deviceNames_;

    std::int32_t lastTriggerCount_ = 0;
    std::int32_t lampPhase_ = 0;
    double maxFrequencyLCopy_ = 0;
};

// The library's usage count (objects alive and locks) for DllCanUnloadNow.
platform::com::ModuleUsage& moduleUsage();

}  // namespace wavorix
