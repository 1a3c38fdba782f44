// Pictures shown by the player: PNG, JPEG, BMP and GIF (an animated GIF keeps every frame with
// its delay), decoded into 0xAARRGGBB words with straight alpha.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace player {

struct PictureLimits {
    static constexpr int kMaxSide = 8192;
    static constexpr std::size_t kMaxPixels = 32u << 20;        // one frame
    static constexpr std::size_t kMaxDecodedBytes = 256u << 20;  // all frames of an animation
    static constexpr int kMaxFrames = 2000;
};

struct PictureFrame {
    std::vector<std::uint32_t> pixels;  // width * height, rows top to bottom
    int delayMs = 0;                    // how long the frame shows, animations only
    bool opaque = true;                 // every alpha is 255
};

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<PictureFrame> frames;  // at least one
};

// Decodes a picture; nothing (with the reason in `problem`) when the data is none of the
// formats, broken before a first frame, or beyond the limits.
std::optional<Picture> decodePicture(const std::uint8_t* data, std::size_t size, std::string* problem = nullptr);

}  // namespace player
