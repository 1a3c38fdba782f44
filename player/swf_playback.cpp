#include "player/swf_playback.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace player {

namespace detail {
struct Placed {
    int character = 0;
    Affine matrix;
    ColorTransform color;
    int clipDepth = 0;
    std::unique_ptr<SwfPlayback::Timeline> sprite;  // the instance's own timeline, for sprites
};
}  // namespace detail

struct SwfPlayback::Timeline {
    Timeline(const SwfTimeline* t, int* live, int nesting) : timeline(t), live(live), nesting(nesting) { ++*live; }
    ~Timeline() { --*live; }
    Timeline(const Timeline&) = delete;
    Timeline& operator=(const Timeline&) = delete;

    int frameCount() const { return static_cast<int>(timeline->frames.size()); }

    const SwfTimeline* timeline;
    int* live;
    int nesting;
    int frame = 0;
    bool playing = true;
    std::map<int, detail::Placed> list;  // by depth, drawn lowest first
};

namespace {

using Timeline = SwfPlayback::Timeline;
constexpr std::int64_t kTickScale = 256'000'000'000;  // ns per tick times the 8.8 frame rate

struct Ctx {
    const SwfMovie& movie;
    int& live;
};

void enterFrame(Ctx& ctx, Timeline& t, int frame);

std::unique_ptr<Timeline> newSprite(Ctx& ctx, int character, int nesting) {
    auto it = ctx.movie.sprites.find(character);
    if (it == ctx.movie.sprites.end()) return nullptr;
    // Sprites that place themselves, or too many of them, stop here rather than grow without end.
    if (nesting > SwfPlayback::kMaxNesting || ctx.live >= SwfPlayback::kMaxSpriteInstances) return nullptr;
    auto t = std::make_unique<Timeline>(it->second.get(), &ctx.live, nesting);
    enterFrame(ctx, *t, 0);
    return t;
}

void applyPlaces(Ctx& ctx, Timeline& t, const SwfFrame& frame) {
    for (const SwfPlace& op : frame.places) {
        if (op.remove) {
            t.list.erase(op.depth);
            continue;
        }
        auto it = t.list.find(op.depth);
        if (!op.move || it == t.list.end()) {
            if (!op.hasCharacter) continue;
            detail::Placed p;
            p.character = op.character;
            if (op.hasMatrix) p.matrix = op.matrix;
            if (op.hasColor) p.color = op.color;
            p.clipDepth = op.clipDepth;
            p.sprite = newSprite(ctx, op.character, t.nesting + 1);
            t.list[op.depth] = std::move(p);
            continue;
        }
        detail::Placed& p = it->second;
        if (op.hasCharacter && op.character != p.character) {
            p.character = op.character;
            p.sprite = newSprite(ctx, op.character, t.nesting + 1);
        }
        if (op.hasMatrix) p.matrix = op.matrix;
        if (op.hasColor) p.color = op.color;
        if (op.clipDepth) p.clipDepth = op.clipDepth;
    }
}

// Moves the playhead; the display list becomes what playing up to the target frame builds.
void gotoFrame(Ctx& ctx, Timeline& t, int target) {
    const auto& frames = t.timeline->frames;
    target = std::clamp(target, 0, t.frameCount() - 1);
    if (target == t.frame) return;
    if (target > t.frame) {
        for (int f = t.frame + 1; f <= target; ++f) applyPlaces(ctx, t, frames[f]);
    } else {
        // Rebuild from the first frame; objects still there with the same character keep running.
        auto old = std::move(t.list);
        t.list.clear();
        for (int f = 0; f <= target; ++f) applyPlaces(ctx, t, frames[f]);
        for (auto& [depth, p] : t.list) {
            auto o = old.find(depth);
            if (o != old.end() && o->second.character == p.character && o->second.sprite) p.sprite = std::move(o->second.sprite);
        }
    }
    t.frame = target;
}

void runActions(Ctx& ctx, Timeline& t, int frame) {
    std::deque<int> pending{frame};
    int jumps = 0;
    while (!pending.empty()) {
        const int f = pending.front();
        pending.pop_front();
        if (f < 0 || f >= t.frameCount()) continue;
        // Go-to actions stop the playhead (a following play starts it again) and run the actions
        // of the frame they reach, a bounded number of times so that two frames that jump to
        // each other cannot hang the player.
        auto jump = [&](int target) {
            t.playing = false;
            const int before = t.frame;
            gotoFrame(ctx, t, target);
            if (t.frame != before && jumps++ < SwfPlayback::kMaxJumpsPerFrame) pending.push_back(t.frame);
        };
        for (const SwfAction& a : t.timeline->frames[f].actions) {
            switch (a.kind) {
            case SwfAction::Stop: t.playing = false; break;
            case SwfAction::Play: t.playing = true; break;
            case SwfAction::GotoFrame: jump(a.frame); break;
            case SwfAction::GotoLabel:
                if (auto it = t.timeline->labels.find(a.label); it != t.timeline->labels.end()) jump(it->second);
                break;
            case SwfAction::NextFrame: jump(t.frame + 1); break;
            case SwfAction::PrevFrame: jump(t.frame - 1); break;
            }
        }
    }
}

void enterFrame(Ctx& ctx, Timeline& t, int frame) {
    if (t.frameCount() == 0) return;
    applyPlaces(ctx, t, t.timeline->frames[frame]);
    t.frame = frame;
    runActions(ctx, t, frame);
}

void step(Ctx& ctx, Timeline& t) {
    // A one-frame timeline stays where it is.
    if (!t.playing || t.frameCount() <= 1) return;
    const int next = t.frame + 1;
    if (next >= t.frameCount())
        gotoFrame(ctx, t, 0);
    else {
        applyPlaces(ctx, t, t.timeline->frames[next]);
        t.frame = next;
    }
    runActions(ctx, t, t.frame);
}

// Sprites run on while their parent stands still; children step before their parent, so a
// sprite placed during this tick shows its first frame until the next one.
void stepSprites(Ctx& ctx, Timeline& t) {
    for (auto& [depth, p] : t.list) {
        if (!p.sprite) continue;
        stepSprites(ctx, *p.sprite);
        step(ctx, *p.sprite);
    }
}

bool anyPlayingIn(const Timeline& t) {
    if (t.playing && t.frameCount() > 1) return true;
    for (const auto& [depth, p] : t.list)
        if (p.sprite && anyPlayingIn(*p.sprite)) return true;
    return false;
}

struct RenderCtx {
    const SwfMovie& movie;
    platform::Bitmap& target;
    ScanFiller& filler;
    int budget;
    std::vector<Pt>& points;
    std::vector<Span>* drawn;
};

void drawShape(RenderCtx& rc, const SwfShape& shape, const Affine& m, const ColorTransform& cx) {
    if (shape.edges.empty() || --rc.budget < 0) return;
    const double scale = m.scale();
    if (!(scale > 1e-9) || !std::isfinite(scale)) return;
    // Skip shapes that lie wholly outside the target.
    const double margin = shape.widestLine / 2;
    const Pt corners[4] = {{shape.extentMin.x - margin, shape.extentMin.y - margin},
                           {shape.extentMax.x + margin, shape.extentMin.y - margin},
                           {shape.extentMin.x - margin, shape.extentMax.y + margin},
                           {shape.extentMax.x + margin, shape.extentMax.y + margin}};
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (const Pt& c : corners) {
        const Pt d = m.apply(c);
        x0 = std::min(x0, d.x);
        y0 = std::min(y0, d.y);
        x1 = std::max(x1, d.x);
        y1 = std::max(y1, d.y);
    }
    if (x1 < -1 || y1 < -1 || x0 > rc.target.width() + 1 || y0 > rc.target.height() + 1) return;

    // Curves flattened to within a third of a pixel.
    const SwfShape::Flat& flat = shape.flat(0.3 / scale);
    for (std::size_t s = 0; s < flat.fillSegments.size(); ++s) {
        const auto& segs = flat.fillSegments[s];
        if (segs.empty()) continue;
        const Rgba colour = cx.apply(shape.fills[s]);
        if (colour.a == 0) continue;
        for (std::size_t i = 0; i + 1 < segs.size(); i += 2) rc.filler.addEdge(m.apply(segs[i]), m.apply(segs[i + 1]));
        rc.filler.fill(rc.target, colour, rc.drawn);
    }
    for (std::size_t l = 0; l < flat.lineRuns.size(); ++l) {
        if (flat.lineRuns[l].empty()) continue;
        const Rgba colour = cx.apply(shape.lines[l].colour);
        if (colour.a == 0) continue;
        const double width = shape.lines[l].width * scale;
        for (const auto& run : flat.lineRuns[l]) {
            rc.points.clear();
            for (const Pt& p : run) rc.points.push_back(m.apply(p));
            addStroke(rc.filler, rc.points, width);
        }
        rc.filler.fill(rc.target, colour, rc.drawn);
    }
}

void renderList(RenderCtx& rc, const Timeline& t, const Affine& m, const ColorTransform& cx) {
    for (const auto& [depth, p] : t.list) {
        if (p.clipDepth > 0) continue;  // mask layers are not drawn
        const Affine pm = m.after(p.matrix);
        const ColorTransform pc = p.color.identity() ? cx : cx.after(p.color);
        if (p.sprite) {
            renderList(rc, *p.sprite, pm, pc);
        } else if (auto it = rc.movie.shapes.find(p.character); it != rc.movie.shapes.end()) {
            drawShape(rc, *it->second, pm, pc);
        }
    }
}

}  // namespace

SwfPlayback::SwfPlayback(std::shared_ptr<const SwfMovie> movie, std::int64_t startNs)
    : movie_(std::move(movie)), startNs_(startNs) {
    root_ = std::make_unique<Timeline>(&movie_->timeline, &liveSprites_, 0);
    Ctx ctx{*movie_, liveSprites_};
    enterFrame(ctx, *root_, 0);
}

SwfPlayback::~SwfPlayback() = default;

int SwfPlayback::totalFrames() const { return root_->frameCount(); }
int SwfPlayback::currentFrame() const { return root_->frame; }
bool SwfPlayback::playing() const { return root_->playing; }

std::int64_t SwfPlayback::tickTime(std::int64_t k) const {
    const std::int64_t rate = movie_->frameRate;
    return startNs_ + k * (kTickScale / rate) + (k * (kTickScale % rate)) / rate;
}

bool SwfPlayback::anyPlaying() const { return anyPlayingIn(*root_); }

void SwfPlayback::tick() {
    Ctx ctx{*movie_, liveSprites_};
    stepSprites(ctx, *root_);
    step(ctx, *root_);
}

void SwfPlayback::advanceTo(std::int64_t nowNs) {
    while (tickTime(ticks_ + 1) <= nowNs) {
        if (!anyPlaying()) {
            // Nothing moves: jump to the last tick at or before now.
            const long double estimate =
                static_cast<long double>(nowNs - startNs_) * movie_->frameRate / static_cast<long double>(kTickScale);
            std::int64_t k = std::max<std::int64_t>(ticks_, static_cast<std::int64_t>(estimate) - 1);
            while (tickTime(k + 1) <= nowNs) ++k;
            while (k > ticks_ && tickTime(k) > nowNs) --k;
            ticks_ = k;
            break;
        }
        ++ticks_;
        tick();
    }
}

void SwfPlayback::play(std::int64_t nowNs) {
    advanceTo(nowNs);
    root_->playing = true;
}

void SwfPlayback::stop(std::int64_t nowNs) {
    advanceTo(nowNs);
    root_->playing = false;
}

StageRect SwfPlayback::stage() const {
    const SwfRect& s = movie_->stage;
    return {static_cast<double>(s.xmin), static_cast<double>(s.ymin), static_cast<double>(s.width()),
            static_cast<double>(s.height())};
}

std::optional<std::uint32_t> SwfPlayback::background() const {
    if (!movie_->hasBackground) return std::nullopt;
    return movie_->background;
}

void SwfPlayback::render(platform::Bitmap& target, const Affine& stageToDevice, std::vector<Span>* drawn) {
    RenderCtx rc{*movie_, target, filler_, kMaxShapesPerRender, points_, drawn};
    renderList(rc, *root_, stageToDevice, ColorTransform{});
}

bool SwfPlayback::record(platform::Bitmap& target, const Affine& stageToDevice, std::vector<Paint>& paints) {
    struct Draws {
        ScanFiller& filler;
        ~Draws() { filler.recordInto(nullptr); }
    } after{filler_};
    filler_.recordInto(&paints);
    render(target, stageToDevice, nullptr);
    return true;
}

}  // namespace player
