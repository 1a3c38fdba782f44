// What a fuzz run does with one input, shared with the test that replays the corpus: read it,
// play it for a while on a virtual timeline and draw it small.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/graphics/graphics.h"
#include "player/content.h"
#include "player/picture.h"
#include "player/swf.h"
#include "player/swf_playback.h"

namespace player::fuzz {

inline void exerciseContent(Content& c) {
    platform::Bitmap bmp(48, 36, platform::PixelFormat::Bgra32);
    platform::Bitmap small(17, 5, platform::PixelFormat::Bgr24);
    const StageRect s = c.stage();
    const double scale = (s.width > 0 && s.height > 0) ? std::min(48 / s.width, 36 / s.height) : 1;
    Affine m = Affine::scaling(scale, scale);
    m.tx = -s.x * scale;
    m.ty = -s.y * scale;
    for (int i = 0; i < 6; ++i) {
        c.advanceTo(static_cast<std::int64_t>(i) * 150'000'000);
        if (i == 2) c.stop(300'000'000);
        if (i == 3) c.play(450'000'000);
        c.render(bmp, m);
        c.render(small, Affine::scaling(scale * 4, scale * 4));
    }
}

inline void exerciseSwf(const std::uint8_t* data, std::size_t size) {
    std::shared_ptr<SwfMovie> movie = readSwf(data, size);
    if (!movie) return;
    SwfPlayback playback(std::move(movie), 0);
    exerciseContent(playback);
}

inline void exercisePicture(const std::uint8_t* data, std::size_t size) {
    if (auto c = makeContent(data, size, 0)) exerciseContent(*c);
}

}  // namespace player::fuzz
