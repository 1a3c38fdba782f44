// What one layer of the player shows: a vector movie, an animated picture or a still picture,
// each with its own timeline on the player's clock.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/graphics.h"
#include "player/geometry.h"
#include "player/raster.h"

namespace player {

enum class ContentKind { Unknown, Swf, Gif, Png, Jpeg, Bmp };

// Recognises a file by its first bytes, whatever its name says.
ContentKind detectContent(const std::uint8_t* data, std::size_t size);
const char* contentKindName(ContentKind kind);

struct StageRect {
    double x = 0, y = 0, width = 0, height = 0;  // in the content's own units
};

class Content {
public:
    virtual ~Content() = default;
    virtual ContentKind kind() const = 0;
    virtual int totalFrames() const = 0;
    // 0-based.
    virtual int currentFrame() const = 0;
    virtual bool playing() const = 0;
    // Runs the timeline up to the given time, frame by frame.
    virtual void advanceTo(std::int64_t nowNs) = 0;
    virtual void play(std::int64_t nowNs) = 0;
    virtual void stop(std::int64_t nowNs) = 0;
    virtual StageRect stage() const = 0;
    // The movie's own background colour (&HBBGGRR), if it names one.
    virtual std::optional<std::uint32_t> background() const { return std::nullopt; }
    // Draws the current frame over the target; stageToDevice maps stage units to pixels. Every
    // pixel written lies in a span added to `drawn`, when given.
    virtual void render(platform::Bitmap& target, const Affine& stageToDevice, std::vector<Span>* drawn = nullptr) = 0;
    // Adds to `paints` what render would blend into the target, in order, without drawing it.
    // False for content drawn otherwise (pictures).
    virtual bool record(platform::Bitmap& /*target*/, const Affine& /*stageToDevice*/, std::vector<Paint>& /*paints*/) {
        return false;
    }
};

// Builds the content for a file's bytes, starting its timeline at nowNs. Null, with the reason
// in `problem`, when the bytes are no movie or picture this player can show.
std::unique_ptr<Content> makeContent(const std::uint8_t* data, std::size_t size, std::int64_t nowNs,
                                     std::string* problem = nullptr);

}  // namespace player
