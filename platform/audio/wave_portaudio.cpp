#include "platform/audio/wave_portaudio.h"

#include <portaudio.h>
#include <samplerate.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/audio/capture_convert.h"
#include "platform/loop/eventloop.h"

namespace platform {

namespace {

constexpr std::size_t kChunkFrames = 2048;

// While PortAudio starts, its host APIs probe every ALSA card definition and look for a JACK
// server, and the libraries behind them print each miss on stderr: dozens of lines on a machine
// that simply has no such device. What they write meanwhile is held in a scratch file and shown
// only when PortAudio itself cannot start.
class HeldStderr {
public:
    HeldStderr() {
        std::fflush(stderr);
        held_ = std::tmpfile();
        if (held_) saved_ = ::dup(STDERR_FILENO);
        if (saved_ >= 0 && ::dup2(::fileno(held_), STDERR_FILENO) < 0) {
            ::close(saved_);
            saved_ = -1;
        }
    }
    ~HeldStderr() {
        restore();
        if (held_) std::fclose(held_);
    }
    HeldStderr(const HeldStderr&) = delete;
    HeldStderr& operator=(const HeldStderr&) = delete;

    // Puts stderr back; returns what was written while it was held.
    std::string release() {
        restore();
        std::string text;
        if (!held_) return text;
        std::rewind(held_);
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, held_)) > 0;) text.append(buf, n);
        return text;
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }

    std::FILE* held_ = nullptr;
    int saved_ = -1;
};

// Every PortAudio call outside the stream callbacks holds this: PortAudio is started again
// (to read the devices afresh) from whichever thread finds the list stale.
std::recursive_mutex& paMutex() {
    static std::recursive_mutex m;
    return m;
}

struct PaSystem {
    bool started = false;      // Pa_Initialize succeeded and was not undone
    bool everTried = false;
    std::uint64_t generation = 0;  // one more each start: device indexes of another are stale
    int openStreams = 0;           // PortAudio may be restarted only with none open
    std::string startError;        // why the last start failed
};

PaSystem& pa() {
    static PaSystem s;
    return s;
}

// (Re)starts PortAudio, which reads the machine's devices at its start. The paMutex is held.
void startPortAudioLocked() {
    PaSystem& s = pa();
    if (s.started) {
        Pa_Terminate();
        s.started = false;
    }
    s.everTried = true;
    // A JACK server is used when one runs, never started for a look at the devices.
    ::setenv("JACK_NO_START_SERVER", "1", 0);
    HeldStderr quiet;
    const PaError e = Pa_Initialize();
    s.started = e == paNoError;
    ++s.generation;
    const std::string probed = quiet.release();
    s.startError = s.started ? std::string() : Pa_GetErrorText(e);
    if (!s.started) std::fprintf(stderr, "%sthe sound system cannot be used: %s\n", probed.c_str(), s.startError.c_str());
}


MMRESULT codeOf(PaError e) {
    switch (e) {
    case paNoError: return MMSYSERR_NOERROR;
    case paDeviceUnavailable: return MMSYSERR_ALLOCATED;
    case paInsufficientMemory: return MMSYSERR_NOMEM;
    case paInvalidSampleRate:
    case paInvalidChannelCount:
    case paSampleFormatNotSupported: return WAVERR_BADFORMAT;
    case paInvalidDevice: return MMSYSERR_BADDEVICEID;
    default: return MMSYSERR_ERROR;
    }
}

// The asked rate when the device takes it, else the first of its own it takes.
double chooseRate(const PaStreamParameters& p, bool input, std::uint32_t asked) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(p.device);
    const double candidates[] = {static_cast<double>(asked), info ? info->defaultSampleRate : 0.0, 48000, 44100,
                                 96000, 32000, 22050};
    for (double rate : candidates) {
        if (rate <= 0) continue;
        if (src_is_valid_ratio(asked / rate) == 0) continue;
        const PaError e = input ? Pa_IsFormatSupported(&p, nullptr, rate) : Pa_IsFormatSupported(nullptr, &p, rate);
        if (e == paFormatIsSupported) return rate;
    }
    return 0;
}

Clock* loopClock() {
    EventLoop* loop = EventLoop::currentOrNull();
    return loop ? &loop->clock() : nullptr;
}

// Whether a device interface is the capturing one (the other plays).
template <class Device>
constexpr bool kCapture = std::is_same_v<Device, WaveInDevice>;

int channelsOf(const PaDeviceInfo& info, bool capture) {
    return capture ? info.maxInputChannels : info.maxOutputChannels;
}

// The index of the device called name with channels in the direction, in the PortAudio
// started now; paNoDevice when there is none. The paMutex is held.
PaDeviceIndex findByNameLocked(const std::string& name, bool capture) {
    if (!pa().started) return paNoDevice;
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info && info->name && name == info->name && channelsOf(*info, capture) > 0) return i;
    }
    return paNoDevice;
}

// Where a machine device is in the PortAudio started now: its index is found again by its
// name after PortAudio was restarted.
struct PaPlace {
    PaDeviceIndex index;
    std::uint64_t generation;
    PaDeviceIndex resolveLocked(const std::string& name, bool capture) {
        if (generation != pa().generation) {
            index = findByNameLocked(name, capture);
            generation = pa().generation;
        }
        return pa().started ? index : paNoDevice;
    }
};

// The block the program analyses (1024 samples at 50000/s): the capture stream's period is
// about one of them, so that the device's thread wakes about fifty times a second.
constexpr double kPeriodSeconds = 1024.0 / 50000.0;

// The PortAudio stream of an open stream in either direction.
class PaStreamParts {
protected:
    PaStreamParts() = default;
    ~PaStreamParts() { closeStream(); }
    PaStreamParts(const PaStreamParts&) = delete;
    PaStreamParts& operator=(const PaStreamParts&) = delete;

    // Ends the stream; the owner calls it first in its destructor, while the buffers the
    // callback uses are still there.
    void closeStream() {
        std::lock_guard lock(paMutex());
        if (stream_) {
            Pa_AbortStream(stream_);
            Pa_CloseStream(stream_);
            stream_ = nullptr;
            --pa().openStreams;
        }
    }

    // Opens the stream; the paMutex is held.
    PaError openLocked(const PaStreamParameters* in, const PaStreamParameters* out, double rate, unsigned long frames,
                       PaStreamCallback* callback, void* self) {
        const PaError e = Pa_OpenStream(&stream_, in, out, rate, frames, paClipOff, callback, self);
        if (e == paNoError) {
            ++pa().openStreams;
        } else {
            stream_ = nullptr;
        }
        return e;
    }

    PaStream* stream_ = nullptr;
};

// A machine device of either direction.
template <class Device>
class PaDevice : public Device {
public:
    using Interface = Device;

    PaDevice(PaDeviceIndex index, std::string name, int maxChannels, bool systemDefault)
        : place_{index, pa().generation},
          name_(std::move(name)),
          maxChannels_(static_cast<std::uint16_t>(std::min(maxChannels, 2))),
          systemDefault_(systemDefault) {}

    std::string name() const override { return name_; }
    // A mono device feeds both channels of a stereo capture; stereo written to a mono device
    // is mixed.
    std::uint16_t maxChannels() const override { return 2; }
    bool systemDefault() const override { return systemDefault_; }

    // The stream parameters and the device's own rate for an open in the format; on failure
    // the code, with the reason in error. The paMutex is held.
    MMRESULT streamParametersLocked(const WAVEFORMATEX& format, PaStreamParameters& p, double& rate, std::string& error) {
        constexpr bool capture = kCapture<Device>;
        const PaDeviceIndex index = place_.resolveLocked(name_, capture);
        const PaDeviceInfo* info = index == paNoDevice ? nullptr : Pa_GetDeviceInfo(index);
        if (!info || channelsOf(*info, capture) < 1) {
            error = name_ + " is no longer present";
            return MMSYSERR_NODRIVER;
        }
        p = PaStreamParameters{};
        p.device = index;
        p.channelCount = std::min<int>(format.nChannels, maxChannels_);
        p.sampleFormat = paFloat32;
        // Capture: a period of about one block (the analysis works a few blocks behind the
        // newest, so nothing is gained by waking more often).
        p.suggestedLatency = capture ? std::max(info->defaultLowInputLatency, 2 * kPeriodSeconds) : info->defaultHighOutputLatency;
        rate = chooseRate(p, capture, format.nSamplesPerSec);
        if (rate <= 0) {
            error = name_ + " takes neither " + std::to_string(format.nSamplesPerSec) + " samples/s nor a rate to convert " +
                    (capture ? "from" : "to");
            return WAVERR_BADFORMAT;
        }
        return MMSYSERR_NOERROR;
    }

protected:
    // Opens a Stream (PaInStream, PaOutStream) in the format, fed by or feeding the endpoint.
    template <class Stream, class Endpoint, class Backend>
    MMRESULT openStream(const WAVEFORMATEX& format, Endpoint& endpoint, std::unique_ptr<Backend>& stream,
                        std::string& error) {
        std::lock_guard lock(paMutex());
        PaStreamParameters p;
        double rate = 0;
        if (const MMRESULT r = streamParametersLocked(format, p, rate, error); r != MMSYSERR_NOERROR) return r;
        auto s = std::make_unique<Stream>(*this, endpoint, format, p.channelCount);
        if (const MMRESULT r = s->open(p, rate, format.nSamplesPerSec, error); r != MMSYSERR_NOERROR) return r;
        stream = std::move(s);
        return MMSYSERR_NOERROR;
    }

private:
    PaPlace place_;
    const std::string name_;
    const std::uint16_t maxChannels_;
    const bool systemDefault_;
};

// ---- Capture -------------------------------------------------------------------------------

std::int64_t steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A capture stream that watches itself: a stream that stops delivering (its sound server went
// away, the card was removed) is closed and reopened, the same device with the same settings,
// as soon as it can be; the sink is told both.
class PaInStream final : public WaveInStream, PaStreamParts {
public:
    // A stream that delivered nothing for this long is dead; a sound server may take a second
    // or two before the first delivery of a new stream.
    static constexpr std::int64_t kSilentNs = 600'000'000;
    static constexpr std::int64_t kFirstDeliveryNs = 5'000'000'000;
    static constexpr auto kWatchPeriod = std::chrono::milliseconds(100);
    static constexpr std::int64_t kRetryNs = 500'000'000;
    // A sound server that restarts is back under the same device; only while the device stays
    // away is PortAudio restarted (the devices read afresh, for a card that comes back under
    // another number), at most this often.
    static constexpr std::int64_t kRescanNs = 5'000'000'000;

    PaInStream(PaDevice<WaveInDevice>& device, WaveInSink& sink, const WAVEFORMATEX& format, int deviceChannels)
        : device_(device), sink_(sink), format_(format), deviceChannels_(deviceChannels), clock_(loopClock()) {}

    ~PaInStream() override {
        {
            std::lock_guard lock(watchMutex_);
            ending_ = true;
        }
        watchWake_.notify_all();
        if (watch_.joinable()) watch_.join();
        closeStream();
    }

    // The paMutex is held.
    MMRESULT open(const PaStreamParameters& params, double deviceRate, std::uint32_t rate, std::string& error) {
        params_ = params;
        deviceRate_ = deviceRate;
        converter_ = std::make_unique<CaptureConverter>(format_.nChannels, deviceChannels_, rate, deviceRate);
        if (!converter_->ok()) {
            error = device_.name() + ": " + converter_->error();
            return MMSYSERR_NOMEM;
        }
        const PaError e = openLocked(&params_, nullptr, deviceRate_, framesPerPeriod(), &callback, this);
        if (e != paNoError) {
            error = device_.name() + ": " + Pa_GetErrorText(e);
            return codeOf(e);
        }
        watch_ = std::thread([this] { watch(); });
        return MMSYSERR_NOERROR;
    }

    MMRESULT start() override {
        std::lock_guard lock(paMutex());
        lastDelivery_ = steadyNs();
        delivered_ = false;
        running_ = true;
        if (!stream_) return MMSYSERR_NOERROR;  // lost: the watch reopens it
        const PaError e = Pa_StartStream(stream_);
        if (e == paNoError || e == paStreamIsNotStopped) return MMSYSERR_NOERROR;
        running_ = false;
        return codeOf(e);
    }

    void stop() override {
        std::lock_guard lock(paMutex());
        running_ = false;
        // Returns once the callback has run for the last time.
        if (stream_ && Pa_IsStreamStopped(stream_) == 0) Pa_StopStream(stream_);
    }

private:
    unsigned long framesPerPeriod() const {
        return static_cast<unsigned long>(std::max(64.0, std::round(deviceRate_ * kPeriodSeconds)));
    }

    static int callback(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
                        PaStreamCallbackFlags flags, void* self) {
        auto* me = static_cast<PaInStream*>(self);
        if (flags & paInputOverflow) me->sink_.overflowed();
        me->capture(static_cast<const float*>(input), frames);
        return paContinue;
    }

    void capture(const float* in, unsigned long frames) {
        lastDelivery_ = steadyNs();
        delivered_ = true;
        if (!started_) {
            started_ = true;
            device_.reportInputStart(clock_ ? clock_->nowNs() : 0);
        }
        converter_->convert(in, frames, [this](const std::int16_t* f, std::size_t n) { sink_.deliver(f, n); });
    }

    // The watch: checks the running stream every 100 ms; a lost one is reopened every half
    // second until it runs again.
    void watch() {
        std::int64_t lastTry = 0, lastRescan = steadyNs();
        std::unique_lock wait(watchMutex_);
        while (!watchWake_.wait_for(wait, kWatchPeriod, [this] { return ending_; })) {
            wait.unlock();
            const std::int64_t now = steadyNs();
            if (!lost_) {
                if (std::string why = deathOf(now); !why.empty()) {
                    lost_ = true;
                    closeStream();
                    sink_.lost(device_.name() + ": " + why);
                    lastTry = lastRescan = now;
                }
            } else if (now - lastTry >= kRetryNs) {
                lastTry = now;
                if (reopen(now - lastRescan >= kRescanNs, lastRescan)) {
                    lost_ = false;
                    sink_.restored(device_.name());
                }
            }
            wait.lock();
        }
    }

    // Why the running stream is dead, or nothing while it lives.
    std::string deathOf(std::int64_t now) {
        std::lock_guard lock(paMutex());
        if (!running_ || !stream_) return {};
        const PaError active = Pa_IsStreamActive(stream_);
        if (active < 0) return std::string("the stream failed (") + Pa_GetErrorText(active) + ")";
        if (active == 0) return "the sound server or the driver ended the stream";
        if (now - lastDelivery_ >= (delivered_ ? kSilentNs : kFirstDeliveryNs))
            return "no sound arrived for " + std::to_string((now - lastDelivery_) / 1'000'000) +
                   " ms (the sound server stopped, or the card was removed)";
        return {};
    }

    // Opens the same device again with the same settings (PortAudio restarted first when
    // rescan is set and nothing else of it is open); whether it runs again.
    bool reopen(bool rescan, std::int64_t& lastRescan) {
        std::lock_guard lock(paMutex());
        if (rescan && pa().openStreams == 0) {
            startPortAudioLocked();
            lastRescan = steadyNs();
        }
        PaStreamParameters p;
        double rate = 0;
        std::string error;
        if (device_.streamParametersLocked(format_, p, rate, error) != MMSYSERR_NOERROR || rate != deviceRate_) return false;
        p.channelCount = params_.channelCount;
        if (openLocked(&p, nullptr, deviceRate_, framesPerPeriod(), &callback, this) != paNoError) return false;
        lastDelivery_ = steadyNs();
        delivered_ = false;
        if (running_ && Pa_StartStream(stream_) != paNoError) {
            Pa_CloseStream(stream_);
            stream_ = nullptr;
            --pa().openStreams;
            return false;
        }
        params_ = p;
        return true;
    }

    PaDevice<WaveInDevice>& device_;
    WaveInSink& sink_;
    const WAVEFORMATEX format_;
    const int deviceChannels_;
    Clock* clock_;
    bool started_ = false;
    PaStreamParameters params_{};
    double deviceRate_ = 0;
    std::unique_ptr<CaptureConverter> converter_;
    std::atomic<std::int64_t> lastDelivery_{0};
    std::atomic<bool> delivered_{false};  // since the last start
    bool running_ = false;  // under the paMutex
    bool lost_ = false;     // the watch's own
    std::mutex watchMutex_;
    std::condition_variable watchWake_;
    bool ending_ = false;
    std::thread watch_;
};

class PortAudioWaveIn final : public PaDevice<WaveInDevice> {
public:
    using PaDevice::PaDevice;

    MMRESULT open(const WAVEFORMATEX& format, WaveInSink& sink, std::unique_ptr<WaveInStream>& stream,
                  std::string& error) override {
        return openStream<PaInStream>(format, sink, stream, error);
    }
};

// ---- Playback ------------------------------------------------------------------------------

class PaOutStream final : public WaveOutStream, PaStreamParts {
public:
    PaOutStream(PaDevice<WaveOutDevice>& device, WaveOutSource& source, const WAVEFORMATEX& format, int deviceChannels)
        : device_(device), source_(source), channels_(format.nChannels), deviceChannels_(deviceChannels) {}

    ~PaOutStream() override {
        closeStream();
        if (src_) src_delete(src_);
    }

    // The paMutex is held.
    MMRESULT open(const PaStreamParameters& params, double deviceRate, std::uint32_t rate, std::string& error) {
        if (deviceRate != rate) {
            ratio_ = deviceRate / rate;
            int err = 0;
            src_ = src_new(SRC_SINC_FASTEST, channels_, &err);
            if (!src_) {
                error = device_.name() + ": rate conversion unavailable (" + src_strerror(err) + ")";
                return MMSYSERR_NOMEM;
            }
        }
        const auto ch = static_cast<std::size_t>(channels_);
        taken_.resize(kChunkFrames * ch);
        in_.resize(kChunkFrames * ch);
        out_.resize(kChunkFrames * ch);
        PaError e = openLocked(nullptr, &params, deviceRate, paFramesPerBufferUnspecified, &callback, this);
        if (e == paNoError) e = Pa_StartStream(stream_);
        if (e != paNoError) {
            closeStream();
            error = device_.name() + ": " + Pa_GetErrorText(e);
            return codeOf(e);
        }
        return MMSYSERR_NOERROR;
    }

private:
    static int callback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                        PaStreamCallbackFlags, void* self) {
        static_cast<PaOutStream*>(self)->play(static_cast<float*>(output), frames);
        return paContinue;
    }

    // Produces up to n frames at the device's rate into out_; returns how many.
    std::size_t produce(std::size_t n) {
        const auto ch = static_cast<std::size_t>(channels_);
        std::size_t made = 0;
        while (made < n) {
            if (inAvail_ == 0) {
                const std::size_t got = source_.take(taken_.data(), kChunkFrames);
                if (got == 0) break;
                src_short_to_float_array(taken_.data(), in_.data(), static_cast<int>(got * ch));
                inPos_ = 0;
                inAvail_ = got;
            }
            if (!src_) {
                const std::size_t c = std::min(n - made, inAvail_);
                std::copy_n(in_.data() + inPos_ * ch, c * ch, out_.data() + made * ch);
                inPos_ += c;
                inAvail_ -= c;
                made += c;
                continue;
            }
            SRC_DATA d{};
            d.data_in = in_.data() + inPos_ * ch;
            d.input_frames = static_cast<long>(inAvail_);
            d.data_out = out_.data() + made * ch;
            d.output_frames = static_cast<long>(n - made);
            d.src_ratio = ratio_;
            if (src_process(src_, &d) != 0) break;
            inPos_ += static_cast<std::size_t>(d.input_frames_used);
            inAvail_ -= static_cast<std::size_t>(d.input_frames_used);
            made += static_cast<std::size_t>(d.output_frames_gen);
            if (d.input_frames_used == 0 && d.output_frames_gen == 0) break;
        }
        return made;
    }

    void play(float* out, unsigned long frames) {
        const auto ch = static_cast<std::size_t>(channels_);
        const auto dch = static_cast<std::size_t>(deviceChannels_);
        while (frames > 0) {
            const std::size_t n = std::min<std::size_t>(frames, kChunkFrames);
            const std::size_t made = produce(n);
            std::fill(out_.begin() + static_cast<std::ptrdiff_t>(made * ch), out_.begin() + static_cast<std::ptrdiff_t>(n * ch), 0.0f);
            for (std::size_t f = 0; f < n; ++f) {
                if (dch == ch) {
                    for (std::size_t c = 0; c < ch; ++c) out[f * dch + c] = out_[f * ch + c];
                } else {
                    // Stereo written to a mono device: the two sides mixed.
                    out[f] = 0.5f * (out_[f * ch] + out_[f * ch + 1]);
                }
            }
            out += n * dch;
            frames -= n;
        }
    }

    WaveOutDevice& device_;
    WaveOutSource& source_;
    const int channels_;
    const int deviceChannels_;
    SRC_STATE* src_ = nullptr;
    double ratio_ = 1.0;
    std::vector<std::int16_t> taken_;
    std::vector<float> in_, out_;
    std::size_t inPos_ = 0, inAvail_ = 0;
};

class PortAudioWaveOut final : public PaDevice<WaveOutDevice> {
public:
    using PaDevice::PaDevice;

    MMRESULT open(const WAVEFORMATEX& format, WaveOutSource& source, std::unique_ptr<WaveOutStream>& stream,
                  std::string& error) override {
        return openStream<PaOutStream>(format, source, stream, error);
    }
};

// The machine's devices that have channels in Made's direction: the system's default device
// first (the one the desktop's sound settings choose), then the others in PortAudio's order.
template <class Made, class Device = typename Made::Interface>
std::vector<std::shared_ptr<Device>> machineDevices() {
    std::vector<std::shared_ptr<Device>> devices;
    std::lock_guard lock(paMutex());
    if (!pa().everTried) startPortAudioLocked();
    if (!pa().started) return devices;
    constexpr bool capture = kCapture<Device>;
    const PaDeviceIndex preferred = capture ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        const int channels = info ? channelsOf(*info, capture) : 0;
        if (channels < 1) continue;
        auto made = std::make_shared<Made>(i, info->name ? info->name : "", channels, i == preferred);
        if (i == preferred)
            devices.insert(devices.begin(), std::move(made));
        else
            devices.push_back(std::move(made));
    }
    return devices;
}

// Whether something answers on a PulseAudio socket (PulseAudio itself or PipeWire's pulse part).
bool soundServerAnswers() {
    std::vector<std::string> paths;
    if (const char* server = std::getenv("PULSE_SERVER"); server && *server) {
        std::string s = server;
        if (s.rfind("unix:", 0) == 0) s = s.substr(5);
        if (!s.empty() && s[0] == '/') paths.push_back(s);
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        paths.push_back(std::string(runtime) + "/pulse/native");
        paths.push_back(std::string(runtime) + "/pipewire-0");
    }
    for (const std::string& path : paths) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (path.size() >= sizeof addr.sun_path) {
            ::close(fd);
            continue;
        }
        std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        if (ok) return true;
    }
    return false;
}

// The sound cards the kernel knows.
int soundCardCount() {
    std::FILE* f = std::fopen("/proc/asound/cards", "r");
    if (!f) return 0;
    int cards = 0;
    char line[512];
    while (std::fgets(line, sizeof line, f)) {
        int n = -1;
        if (std::sscanf(line, " %d [", &n) == 1 && n >= 0) ++cards;
    }
    std::fclose(f);
    return cards;
}

}  // namespace

std::vector<std::shared_ptr<WaveInDevice>> portAudioInputDevices() { return machineDevices<PortAudioWaveIn>(); }

std::vector<std::shared_ptr<WaveOutDevice>> portAudioOutputDevices() { return machineDevices<PortAudioWaveOut>(); }

bool portAudioRestart() {
    std::lock_guard lock(paMutex());
    if (pa().openStreams > 0) return false;
    startPortAudioLocked();
    return true;
}

std::string portAudioNoDeviceReason() {
    {
        std::lock_guard lock(paMutex());
        if (pa().everTried && !pa().started) return "the sound system cannot be used (" + pa().startError + ")";
    }
    const bool server = soundServerAnswers();
    const int cards = soundCardCount();
    if (!server && cards == 0) return "no sound server is running and no sound card was found";
    if (!server)
        return "no sound server is running, and the " + std::to_string(cards) + " sound card" + (cards == 1 ? "" : "s") +
               " offer no capture device that can be opened";
    return "a sound server runs, but it offers no capture device to ALSA (Debian: is libasound2-plugins installed?)";
}

}  // namespace platform
