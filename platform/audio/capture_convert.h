// What a capture device's callback does with the float frames it gets: the channels the program
// asked for (a mono device feeds both sides of a stereo capture; stereo into a mono capture is
// mixed), the program's rate (libsamplerate, when the device runs at another one), and 16-bit
// samples handed on in chunks. No PortAudio here, so that it is tested on its own.
#pragma once
#include <samplerate.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

class CaptureConverter {
public:
    // Frames out are handed to deliver, at most a chunk's worth at a time.
    using Deliver = std::function<void(const std::int16_t* frames, std::size_t count)>;

    // channels: what the program asked; deviceChannels: what the device delivers; the rates of
    // the program and of the device. On failure (no converter) error says why.
    CaptureConverter(int channels, int deviceChannels, double rate, double deviceRate);
    ~CaptureConverter();
    CaptureConverter(const CaptureConverter&) = delete;
    CaptureConverter& operator=(const CaptureConverter&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    bool converts() const { return src_ != nullptr; }

    // Interleaved device frames in; none lost, the converter keeps its state between calls.
    void convert(const float* in, std::size_t frames, const Deliver& deliver);

private:
    const std::size_t ch_, dch_;
    double ratio_ = 1.0;
    SRC_STATE* src_ = nullptr;
    std::string error_;
    std::vector<float> mix_, converted_;
    std::vector<std::int16_t> samples_;
};

}  // namespace platform
