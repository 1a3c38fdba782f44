// Devices for tests and the headless runner: a capture device whose samples, timing, failures
// and disappearance are scripted, and an output device that plays on the loop's clock and keeps
// what it played.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/wave.h"

namespace platform {

// What the scripted devices of both directions share: a name, a channel limit, and opens that
// can be made to fail.
template <class Device>
class ScriptedDevice : public Device {
public:
    ScriptedDevice(std::string name, std::uint16_t maxChannels) : name_(std::move(name)), maxChannels_(maxChannels) {}

    std::string name() const override { return name_; }
    std::uint16_t maxChannels() const override { return maxChannels_; }

    // The next opens fail with this code and text (MMSYSERR_NOERROR: they succeed again).
    void failOpen(MMRESULT code, std::string text = {}) {
        std::lock_guard lock(mutex_);
        failCode_ = code;
        failText_ = std::move(text);
    }

protected:
    // The failure set by failOpen, its text in error (the standard one when none was given);
    // MMSYSERR_NOERROR when opens succeed. Called with mutex_ held.
    MMRESULT scriptedFailureLocked(std::string& error) const {
        if (failCode_ != MMSYSERR_NOERROR) error = failText_.empty() ? name_ + ": " + waveErrorText(failCode_) : failText_;
        return failCode_;
    }

    const std::string name_;
    const std::uint16_t maxChannels_;
    mutable std::mutex mutex_;

private:
    MMRESULT failCode_ = MMSYSERR_NOERROR;
    std::string failText_;
};

class ScriptedWaveIn : public ScriptedDevice<WaveInDevice>, public std::enable_shared_from_this<ScriptedWaveIn> {
public:
    // Sample of a frame (counted from the first start after the open) and a channel.
    using Generator = std::function<std::int16_t(std::uint64_t frame, int channel)>;

    explicit ScriptedWaveIn(std::string name = "Scripted input", std::uint16_t maxChannels = 2);
    ~ScriptedWaveIn() override;

    MMRESULT open(const WAVEFORMATEX& format, WaveInSink& sink, std::unique_ptr<WaveInStream>& stream,
                  std::string& error) override;

    // Clocked (the default): after waveInStart the device captures at the open rate on the loop's
    // clock, each frame's samples taken from the generator (silence when none).
    void setGenerator(Generator generator);
    // Convenience: these interleaved samples (in the open channel count), then silence.
    void setSamples(std::vector<std::int16_t> interleaved);
    // Manual: nothing arrives by itself; push() hands frames over as the device's thread would.
    void setManual(bool manual);
    // Delivers interleaved frames now (manual or not); dropped unless open and started.
    void push(const std::vector<std::int16_t>& interleaved);

    // The device vanishes: taken out of the device list; an open handle gets nothing more.
    void unplug();
    // The device reports input it lost because nothing took it in time (an overflow).
    void overflow();

    int openCount() const;
    bool isOpen() const;
    WAVEFORMATEX lastFormat() const;

    struct Stream;

private:
    friend struct Stream;
    Generator generator_;
    std::shared_ptr<const std::vector<std::int16_t>> samples_;
    bool manual_ = false;
    bool unplugged_ = false;
    int opens_ = 0;
    WAVEFORMATEX lastFormat_{};
    Stream* stream_ = nullptr;
};

class VirtualWaveOut : public ScriptedDevice<WaveOutDevice>, public std::enable_shared_from_this<VirtualWaveOut> {
public:
    // One buffer as it was played: the clock times it started and ended, and its frame count.
    struct Played {
        std::int64_t startNs;
        std::int64_t endNs;
        std::uint64_t frames;
    };

    explicit VirtualWaveOut(std::string name = "Virtual output", std::uint16_t maxChannels = 2);
    ~VirtualWaveOut() override;

    MMRESULT open(const WAVEFORMATEX& format, WaveOutSource& source, std::unique_ptr<WaveOutStream>& stream,
                  std::string& error) override;

    // Every sample played since the last clear, interleaved as written.
    std::vector<std::int16_t> playedSamples() const;
    // The played buffers in order, with their times.
    std::vector<Played> playedBuffers() const;
    void clearPlayed();
    bool isOpen() const;

    struct Stream;

private:
    friend struct Stream;
    bool open_ = false;
    std::vector<std::int16_t> played_;
    std::vector<Played> buffers_;
};

}  // namespace platform
