// A vector movie playing: the display lists of its main timeline and of every sprite on it,
// stepped one frame per tick of the movie's frame rate, with the frame actions run as each
// frame is entered.
#pragma once
#include <map>
#include <memory>

#include "player/content.h"
#include "player/raster.h"
#include "player/swf.h"

namespace player {

class SwfPlayback final : public Content {
public:
    // Limits on what one movie may build up while it plays.
    static constexpr int kMaxSpriteInstances = 4000;
    static constexpr int kMaxNesting = 16;
    static constexpr int kMaxJumpsPerFrame = 16;
    static constexpr int kMaxShapesPerRender = 20000;

    SwfPlayback(std::shared_ptr<const SwfMovie> movie, std::int64_t startNs);
    ~SwfPlayback() override;

    ContentKind kind() const override { return ContentKind::Swf; }
    int totalFrames() const override;
    int currentFrame() const override;
    bool playing() const override;
    void advanceTo(std::int64_t nowNs) override;
    void play(std::int64_t nowNs) override;
    void stop(std::int64_t nowNs) override;
    StageRect stage() const override;
    std::optional<std::uint32_t> background() const override;
    void render(platform::Bitmap& target, const Affine& stageToDevice, std::vector<Span>* drawn = nullptr) override;
    bool record(platform::Bitmap& target, const Affine& stageToDevice, std::vector<Paint>& paints) override;

    const SwfMovie& movie() const { return *movie_; }
    // Time of the next frame tick.
    std::int64_t nextTickNs() const { return tickTime(ticks_ + 1); }

    struct Timeline;

private:
    std::int64_t tickTime(std::int64_t k) const;
    void tick();
    bool anyPlaying() const;

    std::shared_ptr<const SwfMovie> movie_;
    std::int64_t startNs_;
    std::int64_t ticks_ = 0;
    std::unique_ptr<Timeline> root_;
    int liveSprites_ = 0;
    ScanFiller filler_;
    std::vector<Pt> points_;  // a stroke's points in pixels, kept between renders
};

}  // namespace player
