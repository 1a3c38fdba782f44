#include "platform/audio/wave_scripted.h"

#include <algorithm>

#include "platform/loop/eventloop.h"
#include "platform/audio/wave_clocked.h"

namespace platform {

namespace {
constexpr std::size_t kChunkFrames = 4096;
}

// ---- Scripted input ------------------------------------------------------------------------

struct ScriptedWaveIn::Stream final : WaveInStream, ClockedDriver::Client {
    Stream(std::shared_ptr<ScriptedWaveIn> owner, WaveInSink& sink, const WAVEFORMATEX& format)
        : owner_(std::move(owner)), sink_(sink), channels_(format.nChannels) {}

    ~Stream() override {
        driver_.reset();
        std::lock_guard lock(owner_->mutex_);
        if (owner_->stream_ == this) owner_->stream_ = nullptr;
    }

    MMRESULT start() override {
        if (!driver_) return MMSYSERR_NOERROR;
        const std::int64_t t0 = driver_->start();
        if (!reported_) {
            reported_ = true;
            owner_->reportInputStart(t0);
        }
        return MMSYSERR_NOERROR;
    }
    void stop() override {
        if (driver_) driver_->stop();
    }
    void beforeQueue() override {
        if (driver_) driver_->catchUp();
    }
    void afterQueue() override {
        if (driver_) driver_->reschedule();
    }

    std::optional<std::uint64_t> framesToEvent() override {
        {
            std::lock_guard lock(owner_->mutex_);
            if (owner_->unplugged_) return std::nullopt;
        }
        return sink_.framesToFill();
    }

    void run(std::uint64_t frames) override {
        ScriptedWaveIn::Generator gen;
        std::shared_ptr<const std::vector<std::int16_t>> samples;
        {
            std::lock_guard lock(owner_->mutex_);
            if (owner_->unplugged_) return;
            gen = owner_->generator_;
            samples = owner_->samples_;
        }
        std::vector<std::int16_t> buf;
        while (frames > 0) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(frames, kChunkFrames));
            buf.assign(n * channels_, 0);
            for (std::size_t f = 0; f < n; ++f) {
                for (std::size_t c = 0; c < channels_; ++c) {
                    const std::uint64_t index = (frame_ + f) * channels_ + c;
                    if (samples) {
                        if (index < samples->size()) buf[f * channels_ + c] = (*samples)[index];
                    } else if (gen) {
                        buf[f * channels_ + c] = gen(frame_ + f, static_cast<int>(c));
                    }
                }
            }
            frame_ += n;
            frames -= n;
            sink_.deliver(buf.data(), n);
        }
    }

    std::shared_ptr<ScriptedWaveIn> owner_;
    WaveInSink& sink_;
    std::size_t channels_;
    std::uint64_t frame_ = 0;
    bool reported_ = false;
    std::unique_ptr<ClockedDriver> driver_;  // last: goes first
};

ScriptedWaveIn::ScriptedWaveIn(std::string name, std::uint16_t maxChannels)
    : ScriptedDevice(std::move(name), maxChannels) {}

ScriptedWaveIn::~ScriptedWaveIn() = default;

MMRESULT ScriptedWaveIn::open(const WAVEFORMATEX& format, WaveInSink& sink, std::unique_ptr<WaveInStream>& stream,
                              std::string& error) {
    bool manual = false;
    {
        std::lock_guard lock(mutex_);
        if (const MMRESULT failure = scriptedFailureLocked(error); failure != MMSYSERR_NOERROR) return failure;
        if (unplugged_) {
            error = name_ + " is no longer present";
            return MMSYSERR_NODRIVER;
        }
        if (stream_) {
            error = name_ + " is already open";
            return MMSYSERR_ALLOCATED;
        }
        ++opens_;
        lastFormat_ = format;
        manual = manual_;
    }
    auto s = std::make_unique<Stream>(shared_from_this(), sink, format);
    if (!manual) s->driver_ = std::make_unique<ClockedDriver>(*s, format.nSamplesPerSec);
    {
        std::lock_guard lock(mutex_);
        stream_ = s.get();
    }
    stream = std::move(s);
    return MMSYSERR_NOERROR;
}

void ScriptedWaveIn::setGenerator(Generator generator) {
    std::lock_guard lock(mutex_);
    generator_ = std::move(generator);
    samples_.reset();
}

void ScriptedWaveIn::setSamples(std::vector<std::int16_t> interleaved) {
    auto shared = std::make_shared<const std::vector<std::int16_t>>(std::move(interleaved));
    std::lock_guard lock(mutex_);
    generator_ = nullptr;
    samples_ = std::move(shared);
}

void ScriptedWaveIn::setManual(bool manual) {
    std::lock_guard lock(mutex_);
    manual_ = manual;
}

void ScriptedWaveIn::push(const std::vector<std::int16_t>& interleaved) {
    std::lock_guard lock(mutex_);
    if (!stream_ || unplugged_ || stream_->channels_ == 0) return;
    stream_->sink_.deliver(interleaved.data(), interleaved.size() / stream_->channels_);
}

void ScriptedWaveIn::overflow() {
    std::lock_guard lock(mutex_);
    if (stream_) stream_->sink_.overflowed();
}

void ScriptedWaveIn::unplug() {
    {
        std::lock_guard lock(mutex_);
        unplugged_ = true;
    }
    removeWaveInDevice(shared_from_this());
}

int ScriptedWaveIn::openCount() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

bool ScriptedWaveIn::isOpen() const {
    std::lock_guard lock(mutex_);
    return stream_ != nullptr;
}

WAVEFORMATEX ScriptedWaveIn::lastFormat() const {
    std::lock_guard lock(mutex_);
    return lastFormat_;
}

// ---- Virtual output ------------------------------------------------------------------------

struct VirtualWaveOut::Stream final : WaveOutStream, ClockedDriver::Client {
    Stream(std::shared_ptr<VirtualWaveOut> owner, WaveOutSource& source, const WAVEFORMATEX& format)
        : owner_(std::move(owner)), source_(source), channels_(format.nChannels), rate_(format.nSamplesPerSec) {
        EventLoop* loop = EventLoop::currentOrNull();
        clock_ = loop ? &loop->clock() : nullptr;
    }

    ~Stream() override {
        driver_.reset();
        std::lock_guard lock(owner_->mutex_);
        owner_->open_ = false;
    }

    void beforeQueue() override { driver_->catchUpOrRestart(); }
    void afterQueue() override { driver_->reschedule(); }

    std::optional<std::uint64_t> framesToEvent() override { return source_.framesToFinish(); }

    void run(std::uint64_t frames) override {
        for (;;) {
            const auto left = source_.framesToFinish();
            if (!left || (*left > 0 && frames == 0)) return;
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>({frames, *left, kChunkFrames}));
            buf_.resize(n * channels_);
            const std::size_t got = source_.take(buf_.data(), n);
            frames -= got;
            headFrames_ += got;
            std::lock_guard lock(owner_->mutex_);
            owner_->played_.insert(owner_->played_.end(), buf_.begin(),
                                   buf_.begin() + static_cast<std::ptrdiff_t>(got * channels_));
            if (got == *left) {
                if (headFrames_ > 0) {
                    const std::int64_t end = clock_ ? clock_->nowNs() : 0;
                    const auto length = static_cast<std::int64_t>(headFrames_ * 1'000'000'000ull / rate_);
                    owner_->buffers_.push_back({end - length, end, headFrames_});
                }
                headFrames_ = 0;
            }
            if (got == 0 && *left > 0) return;
        }
    }

    std::shared_ptr<VirtualWaveOut> owner_;
    WaveOutSource& source_;
    std::size_t channels_;
    std::uint32_t rate_;
    Clock* clock_;
    std::uint64_t headFrames_ = 0;
    std::vector<std::int16_t> buf_;
    std::unique_ptr<ClockedDriver> driver_;  // last: goes first
};

VirtualWaveOut::VirtualWaveOut(std::string name, std::uint16_t maxChannels)
    : ScriptedDevice(std::move(name), maxChannels) {}

VirtualWaveOut::~VirtualWaveOut() = default;

MMRESULT VirtualWaveOut::open(const WAVEFORMATEX& format, WaveOutSource& source, std::unique_ptr<WaveOutStream>& stream,
                              std::string& error) {
    {
        std::lock_guard lock(mutex_);
        if (const MMRESULT failure = scriptedFailureLocked(error); failure != MMSYSERR_NOERROR) return failure;
        if (open_) {
            error = name_ + " is already open";
            return MMSYSERR_ALLOCATED;
        }
        open_ = true;
    }
    auto s = std::make_unique<Stream>(shared_from_this(), source, format);
    s->driver_ = std::make_unique<ClockedDriver>(*s, format.nSamplesPerSec);
    s->driver_->start();
    stream = std::move(s);
    return MMSYSERR_NOERROR;
}

std::vector<std::int16_t> VirtualWaveOut::playedSamples() const {
    std::lock_guard lock(mutex_);
    return played_;
}

std::vector<VirtualWaveOut::Played> VirtualWaveOut::playedBuffers() const {
    std::lock_guard lock(mutex_);
    return buffers_;
}

void VirtualWaveOut::clearPlayed() {
    std::lock_guard lock(mutex_);
    played_.clear();
    buffers_.clear();
}

bool VirtualWaveOut::isOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

}  // namespace platform
