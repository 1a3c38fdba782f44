#include "platform/audio/capture_convert.h"

#include <algorithm>

namespace platform {

namespace {
constexpr std::size_t kChunkFrames = 2048;
}

CaptureConverter::CaptureConverter(int channels, int deviceChannels, double rate, double deviceRate)
    : ch_(static_cast<std::size_t>(std::max(1, channels))), dch_(static_cast<std::size_t>(std::max(1, deviceChannels))) {
    if (deviceRate != rate && deviceRate > 0) {
        ratio_ = rate / deviceRate;
        int err = 0;
        src_ = src_new(SRC_SINC_FASTEST, static_cast<int>(ch_), &err);
        if (!src_) error_ = std::string("rate conversion unavailable (") + src_strerror(err) + ")";
    }
    mix_.resize(kChunkFrames * ch_);
    converted_.resize((static_cast<std::size_t>(kChunkFrames * std::max(1.0, ratio_)) + 64) * ch_);
    samples_.resize(std::max(converted_.size(), mix_.size()));
}

CaptureConverter::~CaptureConverter() {
    if (src_) src_delete(src_);
}

void CaptureConverter::convert(const float* in, std::size_t frames, const Deliver& deliver) {
    if (!in || !ok()) return;
    while (frames > 0) {
        const std::size_t n = std::min(frames, kChunkFrames);
        for (std::size_t f = 0; f < n; ++f) {
            const float* frame = in + f * dch_;
            if (ch_ == 1 && dch_ >= 2) {
                mix_[f] = 0.5f * (frame[0] + frame[1]);
            } else {
                for (std::size_t c = 0; c < ch_; ++c) mix_[f * ch_ + c] = frame[std::min(c, dch_ - 1)];
            }
        }
        in += n * dch_;
        frames -= n;
        if (!src_) {
            src_float_to_short_array(mix_.data(), samples_.data(), static_cast<int>(n * ch_));
            deliver(samples_.data(), n);
            continue;
        }
        SRC_DATA d{};
        d.data_in = mix_.data();
        d.input_frames = static_cast<long>(n);
        d.data_out = converted_.data();
        d.output_frames = static_cast<long>(converted_.size() / ch_);
        d.src_ratio = ratio_;
        while (d.input_frames > 0) {
            if (src_process(src_, &d) != 0) return;
            src_float_to_short_array(converted_.data(), samples_.data(), static_cast<int>(d.output_frames_gen) * static_cast<int>(ch_));
            if (d.output_frames_gen > 0) deliver(samples_.data(), static_cast<std::size_t>(d.output_frames_gen));
            if (d.input_frames_used == 0 && d.output_frames_gen == 0) break;
            d.data_in += d.input_frames_used * static_cast<long>(ch_);
            d.input_frames -= d.input_frames_used;
        }
    }
}

}  // namespace platform
