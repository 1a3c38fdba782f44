#include "platform/audio/wave_portaudio.h"

#include <portaudio.h>
#include <samplerate.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

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

bool portAudioReady() {
    static std::once_flag once;
    static bool ok = false;
    // Initialised once for the life of the program: PortAudio keeps its device list from here.
    std::call_once(once, [] {
        // A JACK server is used when one runs, never started for a look at the devices.
        ::setenv("JACK_NO_START_SERVER", "1", 0);
        HeldStderr quiet;
        const PaError e = Pa_Initialize();
        ok = e == paNoError;
        const std::string probed = quiet.release();
        if (!ok) std::fprintf(stderr, "%sthe sound system cannot be used: %s\n", probed.c_str(), Pa_GetErrorText(e));
    });
    return ok;
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

// The PortAudio stream and rate converter of an open stream in either direction.
class PaStreamParts {
protected:
    PaStreamParts() = default;
    ~PaStreamParts() { closeStream(); }
    PaStreamParts(const PaStreamParts&) = delete;
    PaStreamParts& operator=(const PaStreamParts&) = delete;

    // Ends the stream; the owner calls it first in its destructor, while the buffers the
    // callback uses are still there.
    void closeStream() {
        if (stream_) {
            Pa_AbortStream(stream_);
            Pa_CloseStream(stream_);
            stream_ = nullptr;
        }
        if (src_) {
            src_delete(src_);
            src_ = nullptr;
        }
    }

    // A converter for the channels at ratio (output rate / input rate); NOMEM with the reason
    // in error when there is none.
    MMRESULT makeConverter(double ratio, int channels, const std::string& name, std::string& error) {
        ratio_ = ratio;
        int err = 0;
        src_ = src_new(SRC_SINC_FASTEST, channels, &err);
        if (!src_) {
            error = name + ": rate conversion unavailable (" + src_strerror(err) + ")";
            return MMSYSERR_NOMEM;
        }
        return MMSYSERR_NOERROR;
    }

    PaStream* stream_ = nullptr;
    SRC_STATE* src_ = nullptr;
    double ratio_ = 1.0;
};

// A machine device of either direction.
template <class Device>
class PaDevice : public Device {
public:
    using Interface = Device;

    PaDevice(PaDeviceIndex index, std::string name, int maxChannels)
        : index_(index), name_(std::move(name)), maxChannels_(static_cast<std::uint16_t>(std::min(maxChannels, 2))) {}

    std::string name() const override { return name_; }
    // A mono device feeds both channels of a stereo capture; stereo written to a mono device
    // is mixed.
    std::uint16_t maxChannels() const override { return 2; }

protected:
    // Opens a Stream (PaInStream, PaOutStream) in the format, fed by or feeding the endpoint.
    template <class Stream, class Endpoint, class Backend>
    MMRESULT openStream(const WAVEFORMATEX& format, Endpoint& endpoint, std::unique_ptr<Backend>& stream,
                        std::string& error) {
        PaStreamParameters p;
        double rate = 0;
        if (const MMRESULT r = streamParameters(format, p, rate, error); r != MMSYSERR_NOERROR) return r;
        auto s = std::make_unique<Stream>(*this, endpoint, format.nChannels, p.channelCount);
        if (const MMRESULT r = s->open(p, rate, format.nSamplesPerSec, error); r != MMSYSERR_NOERROR) return r;
        stream = std::move(s);
        return MMSYSERR_NOERROR;
    }

private:
    // The stream parameters and the device's own rate for an open in the format; on failure
    // the code, with the reason in error.
    MMRESULT streamParameters(const WAVEFORMATEX& format, PaStreamParameters& p, double& rate, std::string& error) const {
        constexpr bool capture = kCapture<Device>;
        const PaDeviceInfo* info = Pa_GetDeviceInfo(index_);
        if (!info || channelsOf(*info, capture) < 1) {
            error = name_ + " is no longer present";
            return MMSYSERR_NODRIVER;
        }
        p = PaStreamParameters{};
        p.device = index_;
        p.channelCount = std::min<int>(format.nChannels, maxChannels_);
        p.sampleFormat = paFloat32;
        p.suggestedLatency = capture ? info->defaultLowInputLatency : info->defaultHighOutputLatency;
        rate = chooseRate(p, capture, format.nSamplesPerSec);
        if (rate <= 0) {
            error = name_ + " takes neither " + std::to_string(format.nSamplesPerSec) + " samples/s nor a rate to convert " +
                    (capture ? "from" : "to");
            return WAVERR_BADFORMAT;
        }
        return MMSYSERR_NOERROR;
    }

    const PaDeviceIndex index_;
    const std::string name_;
    const std::uint16_t maxChannels_;
};

// ---- Capture -------------------------------------------------------------------------------

class PaInStream final : public WaveInStream, PaStreamParts {
public:
    PaInStream(WaveInDevice& device, WaveInSink& sink, int channels, int deviceChannels)
        : device_(device), sink_(sink), channels_(channels), deviceChannels_(deviceChannels), clock_(loopClock()) {}

    ~PaInStream() override { closeStream(); }

    MMRESULT open(const PaStreamParameters& params, double deviceRate, std::uint32_t rate, std::string& error) {
        if (deviceRate != rate) {
            if (const MMRESULT r = makeConverter(rate / deviceRate, channels_, device_.name(), error); r != MMSYSERR_NOERROR)
                return r;
        }
        mix_.resize(kChunkFrames * static_cast<std::size_t>(channels_));
        converted_.resize((static_cast<std::size_t>(kChunkFrames * std::max(1.0, ratio_)) + 64) *
                          static_cast<std::size_t>(channels_));
        samples_.resize(converted_.size());
        const PaError e =
            Pa_OpenStream(&stream_, &params, nullptr, deviceRate, paFramesPerBufferUnspecified, paClipOff, &callback, this);
        if (e != paNoError) {
            stream_ = nullptr;
            error = device_.name() + ": " + Pa_GetErrorText(e);
            return codeOf(e);
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT start() override {
        const PaError e = Pa_StartStream(stream_);
        return e == paNoError || e == paStreamIsNotStopped ? MMSYSERR_NOERROR : codeOf(e);
    }

    void stop() override {
        // Returns once the callback has run for the last time.
        if (stream_ && Pa_IsStreamStopped(stream_) == 0) Pa_StopStream(stream_);
    }

private:
    static int callback(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
                        PaStreamCallbackFlags, void* self) {
        static_cast<PaInStream*>(self)->capture(static_cast<const float*>(input), frames);
        return paContinue;
    }

    void capture(const float* in, unsigned long frames) {
        if (!started_) {
            started_ = true;
            device_.reportInputStart(clock_ ? clock_->nowNs() : 0);
        }
        if (!in) return;
        const auto ch = static_cast<std::size_t>(channels_);
        const auto dch = static_cast<std::size_t>(deviceChannels_);
        while (frames > 0) {
            const std::size_t n = std::min<std::size_t>(frames, kChunkFrames);
            for (std::size_t f = 0; f < n; ++f) {
                for (std::size_t c = 0; c < ch; ++c) mix_[f * ch + c] = in[f * dch + std::min(c, dch - 1)];
            }
            in += n * dch;
            frames -= n;
            if (!src_) {
                src_float_to_short_array(mix_.data(), samples_.data(), static_cast<int>(n * ch));
                sink_.deliver(samples_.data(), n);
                continue;
            }
            SRC_DATA d{};
            d.data_in = mix_.data();
            d.input_frames = static_cast<long>(n);
            d.data_out = converted_.data();
            d.output_frames = static_cast<long>(converted_.size() / ch);
            d.src_ratio = ratio_;
            while (d.input_frames > 0) {
                if (src_process(src_, &d) != 0) return;
                src_float_to_short_array(converted_.data(), samples_.data(), static_cast<int>(d.output_frames_gen * ch));
                sink_.deliver(samples_.data(), static_cast<std::size_t>(d.output_frames_gen));
                if (d.input_frames_used == 0 && d.output_frames_gen == 0) break;
                d.data_in += d.input_frames_used * static_cast<long>(ch);
                d.input_frames -= d.input_frames_used;
            }
        }
    }

    WaveInDevice& device_;
    WaveInSink& sink_;
    const int channels_;
    const int deviceChannels_;
    Clock* clock_;
    bool started_ = false;
    std::vector<float> mix_, converted_;
    std::vector<std::int16_t> samples_;
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
    PaOutStream(WaveOutDevice& device, WaveOutSource& source, int channels, int deviceChannels)
        : device_(device), source_(source), channels_(channels), deviceChannels_(deviceChannels) {}

    ~PaOutStream() override { closeStream(); }

    MMRESULT open(const PaStreamParameters& params, double deviceRate, std::uint32_t rate, std::string& error) {
        if (deviceRate != rate) {
            if (const MMRESULT r = makeConverter(deviceRate / rate, channels_, device_.name(), error); r != MMSYSERR_NOERROR)
                return r;
        }
        const auto ch = static_cast<std::size_t>(channels_);
        taken_.resize(kChunkFrames * ch);
        in_.resize(kChunkFrames * ch);
        out_.resize(kChunkFrames * ch);
        PaError e =
            Pa_OpenStream(&stream_, nullptr, &params, deviceRate, paFramesPerBufferUnspecified, paClipOff, &callback, this);
        if (e == paNoError) e = Pa_StartStream(stream_);
        if (e != paNoError) {
            if (stream_) Pa_CloseStream(stream_);
            stream_ = nullptr;
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

// The machine's devices that have channels in Made's direction, in PortAudio's order.
template <class Made, class Device = typename Made::Interface>
std::vector<std::shared_ptr<Device>> machineDevices() {
    std::vector<std::shared_ptr<Device>> devices;
    if (!portAudioReady()) return devices;
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        const int channels = info ? channelsOf(*info, kCapture<Device>) : 0;
        if (channels > 0) devices.push_back(std::make_shared<Made>(i, info->name ? info->name : "", channels));
    }
    return devices;
}

}  // namespace

std::vector<std::shared_ptr<WaveInDevice>> portAudioInputDevices() { return machineDevices<PortAudioWaveIn>(); }

std::vector<std::shared_ptr<WaveOutDevice>> portAudioOutputDevices() { return machineDevices<PortAudioWaveOut>(); }

}  // namespace platform
