#include "wavorix/vorix.h"

#include <algorithm>
#include <cctype>

#include "forms/errors.h"
#include "forms/form.h"
#include "wavorix/fft.h"
#include "wavorix/modproc.h"
#include "wavorix/state.h"
#include "wavorix/trail.h"

namespace wavorix {

using forms::RGB;
using platform::raise;
using platform::com::DispId;
using platform::com::InvokeKind;
using platform::com::MemberInfo;
using platform::com::Variant;

platform::com::ModuleUsage& moduleUsage() {
    static platform::com::ModuleUsage usage;
    return usage;
}

namespace {

MemberInfo method(DispId id, const char* name, int required = 0, int optional = 0) {
    return {id, name, true, false, false, required, optional};
}
MemberInfo getter(DispId id, const char* name, int required = 0) { return {id, name, false, true, false, required, 0}; }
MemberInfo property(DispId id, const char* name) { return {id, name, false, true, true, 0, 0}; }

const std::vector<MemberInfo>& memberTable() {
    namespace d = dispid;
    static const std::vector<MemberInfo> table = {
        method(d::AddTrigger, "AddTrigger", 4),
        method(d::AnalysisTime, "AnalysisTime", 1, 1),
        method(d::ExportData, "ExportData"),
        method(d::DoFFT, "DoFFT", 2),
        method(d::SetConstants, "SetConstants"),
        method(d::SetOneShot, "SetOneShot", 1),
        property(d::SPS, "SPS"),
        property(d::Bips, "Bips"),
        property(d::Channels, "Channels"),
        property(d::Samples, "Samples"),
        method(d::Start, "Start"),
        method(d::Version, "Version"),
        method(d::Init, "Init", 0, 1),
        method(d::Pause, "Pause"),
        method(d::Reset, "Reset"),
        property(d::DataPointer, "DataPointer"),
        property(d::LoopMethod, "LoopMethod"),
        property(d::Threshold, "Threshold"),
        property(d::TimerInterval, "TimerInterval"),
        property(d::Analysis, "Analysis"),
        property(d::SamplingTime, "SamplingTime"),
        getter(d::WaveData, "WaveData", 2),
        getter(d::Spectrum, "Spectrum", 2),
        getter(d::RawData, "RawData", 2),
        getter(d::Status, "Status"),
        property(d::FileName, "FileName"),
        property(d::MaxRecordingTime, "MaxRecordingTime"),
        property(d::Recording, "Recording"),
        getter(d::Peaks, "Peaks", 2),
        getter(d::DeviceHandle, "DeviceHandle"),
        getter(d::DeviceName, "DeviceName", 1),
        property(d::Buffers, "Buffers"),
        property(d::Device, "Device"),
        property(d::FilePointer, "FilePointer"),
        property(d::Playing, "Playing"),
        property(d::BlockCount, "BlockCount"),
        property(d::MissedCount, "MissedCount"),
        getter(d::MaxAmplitudeL, "MaxAmplitudeL"),
        getter(d::MaxAmplitudeR, "MaxAmplitudeR"),
        getter(d::MaxFrequencyL, "MaxFrequencyL"),
        getter(d::MaxFrequencyR, "MaxFrequencyR"),
        property(d::Sequence, "Sequence"),
        property(d::Devices, "Devices"),
    };
    return table;
}

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

// ---- Life ----

Vorix::Vorix(const platform::com::CreateParams& params)
    : forms::HostedControl(params.hostForm, params.name, "ThunderRT6UserControlDC", params.container),
      lSub(params.hostForm, "lSub", this),
      txtMsg(params.hostForm, "txtMsg", this),
      txtSub(params.hostForm, "txtSub", this),
      txtTim(params.hostForm, "txtTim", this),
      Timer1(params.hostForm, "Timer1", 1, false, this),
      site_(params.site) {
    moduleUsage().objectCreated();
    txtMsg.setVisible(false);
    txtSub.setVisible(false);
    txtTim.setVisible(false);
    txtMsg.onChange = [this] { txtMsg_Change(); };
    txtMsg.onKeyUp = [this](int& keyCode, int shift) { txtMsg_KeyUp(keyCode, shift); };
    txtMsg.onDblClick = [] {};
    txtTim.onKeyUp = [](int&, int) {};
    Timer1.onTimer = [this] { Timer1_Timer(); };
    try {
        UserControl_Initialize();
    } catch (...) {
        moduleUsage().objectDestroyed();
        throw;
    }
}

Vorix::~Vorix() {
    try {
        UserControl_Terminate();
    } catch (...) {
        // The control is going whatever happens.
    }
    moduleUsage().objectDestroyed();
}

void Vorix::UserControl_Initialize() {
    withTrail("Sub UserControl_Initialize in Wavorix", [&] {
        EngineState& st = engine();
        st.hosted = true;
        devices_ = GetWavDevices(deviceNames_);
        st.pollingTimer = &Timer1;
    });
}

void Vorix::UserControl_Resize() { lSub.Move(0, 0, Width(), Height()); }

void Vorix::Move(double left, double top, double width, double height) {
    const bool sized = width != Width() || height != Height();
    forms::HostedControl::Move(left, top, width, height);
    if (sized) UserControl_Resize();
}

void Vorix::UserControl_Terminate() {
    pumpEvents();
    engine_.reset();  // the engine closes the device itself
    // Nothing of this control may stay behind in the thread's engine state.
    EngineState& st = engine();
    if (st.lamp == &lSub) st.lamp = nullptr;
    if (st.pollingTimer == &Timer1) st.pollingTimer = nullptr;
    if (st.waveWindow != 0 && st.waveWindow == txtSub.hWnd()) {
        st.oldWaveProc = nullptr;
        st.waveWindow = 0;
    }
    if (st.timerWindow != 0 && st.timerWindow == txtTim.hWnd()) {
        st.oldTimerProc = nullptr;
        st.timerWindow = 0;
    }
    if (st.msgWindow == txtMsg.hWnd()) st.msgWindow = 0;
}

clsVorix& Vorix::engineObject() {
    if (!engine_) engine_ = std::make_unique<clsVorix>();
    return *engine_;
}

// ---- Container services ----

bool Vorix::userMode() const { return site_ ? site_->userMode() : true; }

void Vorix::PropertyChanged(const std::string& name) {
    if (site_) site_->propertyChanged(name);
}

void Vorix::runTimeOnly() const {
    if (!userMode()) raise(387);
}

void Vorix::neverSet() const { raise(userMode() ? 382 : 387); }

void Vorix::RaiseEvent(DispId id, std::vector<Variant> args) {
    if (!sink_) return;
    // The host's handler runs to its end here; an error it does not handle ends at the
    // runtime's boundary, as in any other handler of the host.
    forms::runHandler([&] { sink_->event(id, args); });
}

// ---- Property bag ----

void Vorix::initProperties() {
    threshold_ = 5;
    analysis_ = 3;
    sps_ = 44100;
    bips_ = 16;
    channels_ = 1;
    samples_ = 1024;
    timerInterval_ = 1;
    buffers_ = 1;
    dataPointer_ = 0;
    loopMethod_ = 0;
    samplingTime_ = 0;
    fileName_.clear();
    maxRecordingTime_ = 0;
    recording_ = false;
    playing_ = false;
    device_ = 0;
    filePointer_ = 0;
    blockCount_ = 0;
    sequence_ = Variant(static_cast<std::int32_t>(0));
    peaksStored_ = Variant(static_cast<std::int32_t>(0));
    SetConstants();
    devices_ = 0;
}

void Vorix::readProperties(platform::com::PropertyBag& bag) {
    using V = Variant;
    sps_ = bag.ReadProperty("SpS", V(44100)).toInt32();
    bips_ = bag.ReadProperty("Bips", V(16)).toInt16();
    channels_ = bag.ReadProperty("Channels", V(1)).toInt16();
    samples_ = bag.ReadProperty("Samples", V(1024)).toInt32();
    dataPointer_ = bag.ReadProperty("DataPointer", V(0)).toInt32();
    loopMethod_ = bag.ReadProperty("LoopMethod", V(0)).toInt16();
    threshold_ = bag.ReadProperty("Threshold", V(5)).toFloat();
    timerInterval_ = bag.ReadProperty("TimerInterval", V(1)).toInt32();
    analysis_ = bag.ReadProperty("Analysis", V(3)).toInt32();
    samplingTime_ = bag.ReadProperty("SamplingTime", V(0)).toDouble();
    fileName_ = bag.ReadProperty("FileName", V("")).toString();
    maxRecordingTime_ = bag.ReadProperty("MaxRecordingTime", V(0)).toInt32();
    peaksStored_ = bag.ReadProperty("Peaks", V(0));
    buffers_ = bag.ReadProperty("Buffers", V(1)).toInt32();
    blockCount_ = 0;
    if (samples_ == 0) samples_ = 1024;
    Timer1.setInterval(timerInterval_);
    SetConstants();
}

void Vorix::writeProperties(platform::com::PropertyBag& bag) {
    using V = Variant;
    bag.WriteProperty("SpS", V(sps_), V(44100));
    bag.WriteProperty("Bips", V(bips_), V(16));
    bag.WriteProperty("Channels", V(channels_), V(1));
    bag.WriteProperty("Samples", V(samples_), V(1024));
    bag.WriteProperty("LoopMethod", V(loopMethod_), V(0));
    bag.WriteProperty("Threshold", V(threshold_), V(5));
    bag.WriteProperty("TimerInterval", V(timerInterval_), V(1));
    bag.WriteProperty("Analysis", V(analysis_), V(3));
    bag.WriteProperty("FileName", V(fileName_), V(""));
    bag.WriteProperty("MaxRecordingTime", V(maxRecordingTime_), V(0));
    bag.WriteProperty("Buffers", V(buffers_), V(1));
    bag.WriteProperty("Devices", V(devices_), V(0));
}

// ---- Methods ----

std::int32_t Vorix::Init(std::int32_t typ) {
    EngineState& st = engine();
    st.lamp = &lSub;
    pumpEvents();
    TransferProperties();
    st.lamp = &lSub;
    pumpEvents();
    const auto msg = txtMsg.hWnd(), sub = txtSub.hWnd(), tim = txtTim.hWnd();
    engineObject().InitX(msg, sub, tim, typ);  // -1001 (already open) stays unseen
    return 0;
}

void Vorix::TransferProperties() {
    clsVorix& e = engineObject();
    e.Bips = bips_;
    e.Channels = channels_;
    e.letSPS(sps_);
    e.letSamples(samples_);
    e.letAnalysis(analysis_);
    e.BlockCount = blockCount_;
    e.letFilePointer(filePointer_);
    e.Buffers = buffers_;
    e.Devices = devices_;
    e.Device = device_;
    e.FileName = fileName_;
    e.MaxRecordingTime = maxRecordingTime_;
    e.letSamplingTime(samplingTime_);
    e.letTimerInterval(timerInterval_);
    e.letThreshold(threshold_);
    e.letLoopMethod(loopMethod_);
    e.DataPointer = dataPointer_;
    e.letRecording(recording_);
}

std::int32_t Vorix::Start() { return engineObject().Start(); }

Variant Vorix::Pause() { return Variant(engineObject().Pause()); }

std::int32_t Vorix::Reset() {
    engineObject().Reset();
    return 0;
}

std::int32_t Vorix::AddTrigger(std::int32_t index, double f1, double f2, float threshold) {
    engineObject().AddTrigger(index, f1, f2, threshold);
    return 0;
}

float Vorix::AnalysisTime(std::int32_t nCycles, std::int32_t typ) {
    TransferProperties();
    return static_cast<float>(engineObject().AnalysisTime(nCycles, typ));
}

void Vorix::ExportData() {
    EngineState& st = engine();
    FFT::CopySpectrum(st.specL, st.exportData);
}

std::int32_t Vorix::DoFFT(std::vector<std::int16_t>& waveData, std::vector<float>& specData) {
    EngineState& st = engine();
    const auto n = static_cast<std::int32_t>(waveData.size());
    const std::int32_t s = FFT::CheckSamples(n, 2);
    if (s != samples_) {
        RefuseWhileOpen(s, 2, "Function DoFFT in Wavorix");
        const std::int32_t previous = samples_;
        samples_ = s;
        RaiseEvent(eventid::ChangedSamples, {Variant(previous)});
        st.samples = s;
        PropertyChanged("Samples");
    }
    if (st.bitRevN != s || st.bitRev.size() != static_cast<std::size_t>(s)) {
        FFT::InitBitReverse(st.bitRev, s, 0);
        st.bitRevN = s;
    }
    redim(specData, 2 * static_cast<std::int64_t>(s));
    FFT::CalcFFT(waveData, specData, st.bitRev, s);
    return FFT::GetMaxIndex(specData, 1, s / 2 - 1);
}

void Vorix::SetOneShot(std::int32_t t) { modProc::NextBuffer(t); }

// ---- Properties ----

void Vorix::letSPS(std::int32_t v) {
    sps_ = v;
    engine().sampleRate = v;
    PropertyChanged("SpS");
}

void Vorix::letBips(std::int16_t v) {
    bips_ = v;
    PropertyChanged("Bips");
}

void Vorix::letChannels(std::int16_t v) {
    channels_ = v;
    PropertyChanged("Channels");
}

void Vorix::letSamples(std::int32_t v) {
    const std::int32_t requested = v < 1 ? 1 : v;
    RefuseWhileOpen(FFT::CheckSamples(requested, analysis_), analysis_, "Property Let Samples in Wavorix");
    samples_ = FFT::CheckSamples(requested, analysis_);
    if (samples_ != requested) RaiseEvent(eventid::ChangedSamples, {Variant(requested)});
    engine().samples = samples_;
    PropertyChanged("Samples");
}

void Vorix::letDataPointer(std::int32_t v) {
    runTimeOnly();
    dataPointer_ = v;
    PropertyChanged("DataPointer");
}

void Vorix::letLoopMethod(std::int16_t v) {
    loopMethod_ = v;
    PropertyChanged("LoopMethod");
    engine().loopMode = v;
}

float Vorix::Threshold() {
    threshold_ = engineObject().Threshold();
    return threshold_;
}

void Vorix::letThreshold(float v) {
    threshold_ = v;
    engineObject().letThreshold(v);
    PropertyChanged("Threshold");
}

void Vorix::letTimerInterval(std::int32_t v) {
    timerInterval_ = v;
    PropertyChanged("TimerInterval");
    Timer1.setInterval(v);
}

void Vorix::letAnalysis(std::int32_t v) {
    const std::int32_t old = samples_;
    RefuseWhileOpen(FFT::CheckSamples(old, v), v, "Property Let Analysis in Wavorix");
    analysis_ = v;
    samples_ = FFT::CheckSamples(old, v);
    if (samples_ != old) RaiseEvent(eventid::ChangedSamples, {Variant(old)});
    engine().samples = samples_;
    engine().analysisFlags = v;
    PropertyChanged("Analysis");
}

double Vorix::SamplingTime() {
    if (sps_ == 0) raise(11);
    samplingTime_ = static_cast<double>(samples_) * 1000.0 / sps_;
    return samplingTime_;
}

void Vorix::letSamplingTime(double) { neverSet(); }

std::int32_t Vorix::WaveData(std::vector<std::int16_t>& data, std::int32_t channel) {
    return withTrail("Property Get WaveData in Wavorix", [&] { return CopyWaveData(data, channel, channels_); });
}

std::int32_t Vorix::Spectrum(std::vector<float>& specData, std::int32_t channel) {
    return withTrail("Property Get Spectrum in Wavorix", [&] { return CopySpectrumData(specData, channel, channels_); });
}

std::int32_t Vorix::RawData(std::vector<std::int16_t>& waveData, std::int32_t bufferIndex) {
    if (bufferIndex < 1 || bufferIndex > buffers_) return 0;
    EngineState& st = engine();
    const std::int32_t ub = st.capture.upperRow();
    redim(waveData, ub);
    const std::int16_t* col = st.capture.column(bufferIndex);
    std::copy(col, col + ub + 1, waveData.begin());
    return ub + 1;
}

std::int32_t Vorix::Status() const { return engine().stateFlags; }

void Vorix::letFileName(const std::string& v) {
    fileName_ = v;
    PropertyChanged("FileName");
}

void Vorix::letMaxRecordingTime(std::int32_t v) {
    maxRecordingTime_ = v;
    PropertyChanged("MaxRecordingTime");
}

void Vorix::letRecording(bool v) {
    runTimeOnly();
    recording_ = v;
    if (v && fileName_.empty()) fileName_ = LibraryFolder() + "\\Recording.wav";
    PropertyChanged("Recording");
}

std::int32_t Vorix::Peaks(std::vector<float>& peakData, std::int32_t channel) { return HandOverPeaks(peakData, channel); }

std::int32_t Vorix::DeviceHandle() const { return engine().deviceHandle; }

std::string Vorix::DeviceName(std::int32_t index) const {
    return withTrail("Property DeviceName in Wavorix", [&]() -> std::string {
        if (index <= ubound(deviceNames_)) return at(deviceNames_, index);
        return {};
    });
}

void Vorix::letBuffers(std::int32_t v) {
    buffers_ = v;
    PropertyChanged("Buffers");
}

void Vorix::letDevice(std::int32_t v) {
    runTimeOnly();
    device_ = v;
    PropertyChanged("Device");
}

std::int32_t Vorix::FilePointer() {
    filePointer_ = engine().filePosition;
    return filePointer_;
}

void Vorix::letFilePointer(std::int32_t) { neverSet(); }

void Vorix::letPlaying(bool) { neverSet(); }

void Vorix::letBlockCount(std::int32_t v) {
    runTimeOnly();
    blockCount_ = v;
    PropertyChanged("BlockCount");
}

std::int32_t Vorix::MissedCount() const { return engine().missedCount; }

void Vorix::letMissedCount(std::int32_t v) {
    runTimeOnly();
    engine().missedCount = v;
    PropertyChanged("MissedCount");
}

std::int32_t Vorix::MaxAmplitudeL() const { return engine().maxAmplitudeL; }
std::int32_t Vorix::MaxAmplitudeR() const { return engine().maxAmplitudeR; }
double Vorix::MaxFrequencyL() const { return engine().maxFrequencyL; }
double Vorix::MaxFrequencyR() const { return engine().maxFrequencyR; }

void Vorix::letSequence(const Variant& v) {
    runTimeOnly();
    sequence_ = v;
    PropertyChanged("Sequence");
}

void Vorix::letDevices(std::int32_t) { neverSet(); }

// ---- The message channel ----

void Vorix::txtMsg_Change() {
    const std::string text = txtMsg.Text();
    const auto blank = text.find(' ');
    const std::string command = lower(blank == std::string::npos ? text : text.substr(0, blank));
    EngineState& st = engine();
    auto triggersOff = [&] {
        if (lastTriggerCount_ > 0) {
            lastTriggerCount_ = 0;
            RaiseEvent(eventid::FrequencyTriggersOff);
        }
    };
    if (command == "donerecording") {
        RaiseEvent(eventid::DoneRecordig);
    } else if (command == "doneplay") {
        Reset();
    } else if (command == "start") {
        RaiseEvent(eventid::WaveDeviceOpened, {Variant(st.deviceHandle)});
    } else if (command == "closed") {
        RaiseEvent(eventid::WaveDeviceClosed, {Variant(st.deviceHandle)});
    } else if (command == "triggers") {
        std::vector<std::int32_t> list;
        const std::int32_t n = engineObject().GetTriggers(list);
        if (n > 0) {
            lastTriggerCount_ = n;
            RaiseEvent(eventid::FrequencyTrigger, {Variant(n), Variant(std::move(list))});
        } else {
            triggersOff();
        }
    } else if (command == "triggersoff") {
        triggersOff();
    }
    txtMsg.setText("");
}

void Vorix::txtMsg_KeyUp(int& keyCode, int& shift) {
    const std::int32_t kind = (keyCode & 0xFF00) / 256;
    const std::int32_t bufferIndex = keyCode & 0xFF;
    keyCode = 0;
    shift = 0;
    EngineState& st = engine();
    const double dt = st.arrivalTime;
    if (kind == 1)
        RaiseEvent(eventid::Complete, {Variant(st.lastCompletedBlock), Variant(bufferIndex), Variant(dt)});
    else if (kind == 2)
        RaiseEvent(eventid::MissedBuffer, {Variant(st.blockCounter), Variant(bufferIndex), Variant(dt)});
}

void Vorix::Timer1_Timer() {
    EngineState& st = engine();
    if ((st.stateFlags & (kFlagOpened | kFlagRunning)) != (kFlagOpened | kFlagRunning)) return;
    if (st.draining) return;  // Reset is taking the buffers back: none of them is a new block
    withTrail("Sub Timer1_Timer in Wavorix", [&] {
        if (!st.busy) {
            // Only a buffer the device has handed back: one still queued may be half filled.
            if (!modProc::QueuedAtDevice(st.headers(1))) FFT::CopyBufferData(0, 1);
            FFT::Analyze(0, 1);
        }
        pumpEvents();
        modProc::NextBuffer(0);
        maxFrequencyLCopy_ = st.maxFrequencyL;
        RaiseEvent(eventid::Complete, {Variant(0), Variant(0), Variant(0.0)});
        skip91([&] { blinkLamp(st, lampPhase_, RGB(0, 125, 0), 0xFF00); });
    });
}

// ---- Late binding ----

const std::vector<MemberInfo>& Vorix::members() const { return memberTable(); }

Variant Vorix::invoke(DispId id, InvokeKind kind, std::vector<Variant>& args) {
    platform::com::checkCall(memberTable(), id, kind, args);
    const bool put = kind == InvokeKind::PropertyPut;
    auto value = [&]() -> const Variant& { return args.back(); };
    auto i32 = [&](std::size_t i) { return args[i].toInt32(); };
    namespace d = dispid;
    switch (id) {
    case d::AddTrigger: return Variant(AddTrigger(i32(0), args[1].toDouble(), args[2].toDouble(), args[3].toFloat()));
    case d::AnalysisTime: return Variant(AnalysisTime(i32(0), args.size() > 1 ? i32(1) : 0));
    case d::ExportData: ExportData(); return {};
    case d::DoFFT: return Variant(DoFFT(args[0].int16Ref(), args[1].floatRef()));
    case d::SetConstants: SetConstants(); return {};
    case d::SetOneShot: SetOneShot(i32(0)); return {};
    case d::Start: return Variant(Start());
    case d::Version: return Variant(Version());
    case d::Init: return Variant(Init(args.empty() ? 1 : i32(0)));
    case d::Pause: return Pause();
    case d::Reset: return Variant(Reset());
    case d::SPS:
        if (put) return letSPS(value().toInt32()), Variant();
        return Variant(SPS());
    case d::Bips:
        if (put) return letBips(value().toInt16()), Variant();
        return Variant(Bips());
    case d::Channels:
        if (put) return letChannels(value().toInt16()), Variant();
        return Variant(Channels());
    case d::Samples:
        if (put) return letSamples(value().toInt32()), Variant();
        return Variant(Samples());
    case d::DataPointer:
        if (put) return letDataPointer(value().toInt32()), Variant();
        return Variant(DataPointer());
    case d::LoopMethod:
        if (put) return letLoopMethod(value().toInt16()), Variant();
        return Variant(LoopMethod());
    case d::Threshold:
        if (put) return letThreshold(value().toFloat()), Variant();
        return Variant(Threshold());
    case d::TimerInterval:
        if (put) return letTimerInterval(value().toInt32()), Variant();
        return Variant(TimerInterval());
    case d::Analysis:
        if (put) return letAnalysis(value().toInt32()), Variant();
        return Variant(Analysis());
    case d::SamplingTime:
        if (put) return letSamplingTime(value().toDouble()), Variant();
        return Variant(SamplingTime());
    case d::WaveData: return Variant(WaveData(args[0].int16Ref(), i32(1)));
    case d::Spectrum: return Variant(Spectrum(args[0].floatRef(), i32(1)));
    case d::RawData: return Variant(RawData(args[0].int16Ref(), i32(1)));
    case d::Status: return Variant(Status());
    case d::FileName:
        if (put) return letFileName(value().toString()), Variant();
        return Variant(FileName());
    case d::MaxRecordingTime:
        if (put) return letMaxRecordingTime(value().toInt32()), Variant();
        return Variant(MaxRecordingTime());
    case d::Recording:
        if (put) return letRecording(value().toBool()), Variant();
        return Variant(Recording());
    case d::Peaks: return Variant(Peaks(args[0].floatRef(), i32(1)));
    case d::DeviceHandle: return Variant(DeviceHandle());
    case d::DeviceName: return Variant(DeviceName(i32(0)));
    case d::Buffers:
        if (put) return letBuffers(value().toInt32()), Variant();
        return Variant(Buffers());
    case d::Device:
        if (put) return letDevice(value().toInt32()), Variant();
        return Variant(Device());
    case d::FilePointer:
        if (put) return letFilePointer(value().toInt32()), Variant();
        return Variant(FilePointer());
    case d::Playing:
        if (put) return letPlaying(value().toBool()), Variant();
        return Variant(Playing());
    case d::BlockCount:
        if (put) return letBlockCount(value().toInt32()), Variant();
        return Variant(BlockCount());
    case d::MissedCount:
        if (put) return letMissedCount(value().toInt32()), Variant();
        return Variant(MissedCount());
    case d::MaxAmplitudeL: return Variant(MaxAmplitudeL());
    case d::MaxAmplitudeR: return Variant(MaxAmplitudeR());
    case d::MaxFrequencyL: return Variant(MaxFrequencyL());
    case d::MaxFrequencyR: return Variant(MaxFrequencyR());
    case d::Sequence:
        if (put) return letSequence(value()), Variant();
        return Sequence();
    case d::Devices:
        if (put) return letDevices(value().toInt32()), Variant();
        return Variant(Devices());
    default: raise(438);
    }
}

}  // namespace wavorix
