#include "player/movie_player.h"

#include <algorithm>
#include <iostream>
#include <vector>

#include "platform/error.h"
#include "platform/storage/files.h"
#include "player/content.h"
#include "player/swf_playback.h"

namespace player {

namespace {

// E_UNEXPECTED, as the host sees a failed member call of the control.
constexpr int kFailedCall = -2147418113;

// The file's bytes, or false with the reason: a pipe, a device or a folder named as a movie is
// refused at once (reading it would hold the user-interface thread until something writes).
bool readFile(const std::string& path, std::vector<std::uint8_t>& out, std::string& why) {
    try {
        out = platform::readFileBytes(path, static_cast<std::size_t>(MoviePlayer::kMaxFileBytes));
        return true;
    } catch (const platform::VbError& e) {
        why = e.description();
        if (const std::string reason = platform::lastSystemReason(); !reason.empty()) why += " (" + reason + ")";
        return false;
    }
}

}  // namespace

MoviePlayer::MoviePlayer(platform::Clock& clock) : clock_(clock) {}
MoviePlayer::~MoviePlayer() = default;

void MoviePlayer::note(const std::string& line) {
    if (observer_) observer_(line);
}

Content* MoviePlayer::layer(int layer) {
    auto it = layers_.find(layer);
    return it == layers_.end() ? nullptr : it->second.get();
}

void MoviePlayer::LoadMovie(int layer, const std::string& path) {
    note("LoadMovie " + std::to_string(layer) + " " + path);
    if (layer < 0) {
        std::cerr << "player: no layer " << layer << " for \"" << path << "\"\n";
        return;
    }
    // Emptying a layer that shows nothing changes no picture (the program does it on every tick
    // of its playlist timer).
    if (layers_.erase(layer)) changed();
    const bool empty = path.empty() || path == "0";
    if (layer == 0) movie_ = empty ? std::string() : path;
    if (empty) return;

    std::string file = path;
    std::replace(file.begin(), file.end(), '\\', '/');
    std::vector<std::uint8_t> bytes;
    std::string why;
    if (!readFile(file, bytes, why)) {
        std::cerr << "player: layer " << layer << ": cannot read \"" << file << "\": " << why << "\n";
        return;
    }
    auto content = makeContent(bytes.data(), bytes.size(), clock_.nowNs(), &why);
    if (!content) {
        std::cerr << "player: layer " << layer << ": cannot show \"" << file << "\": " << why << "\n";
        return;
    }
    layers_[layer] = std::move(content);
    // New content may sit where the old one did: the picture counts as changed whatever it shows.
    changed();
    seen_.clear();
}

void MoviePlayer::Play() {
    note("Play");
    if (Content* c = layer(0)) c->play(clock_.nowNs());
}

void MoviePlayer::Stop() {
    note("Stop");
    if (Content* c = layer(0)) c->stop(clock_.nowNs());
}

void MoviePlayer::Zoom(int factor) {
    note("Zoom " + std::to_string(factor));
    const double before = zoom_;
    if (factor == 0)
        zoom_ = 1.0;
    else if (factor > 0)
        zoom_ = std::clamp(zoom_ * factor / 100.0, kMinZoom, 1.0);
    if (zoom_ != before) changed();
}

std::string MoviePlayer::Movie() const { return movie_; }

int MoviePlayer::TotalFrames() {
    Content* c = layer(0);
    return c ? c->totalFrames() : 0;
}

int MoviePlayer::CurrentFrame() {
    Content* c = layer(0);
    if (!c) platform::raise(kFailedCall, "Method 'CurrentFrame' of object 'IShockwaveFlash' failed", "ShockwaveFlash");
    c->advanceTo(clock_.nowNs());
    return c->currentFrame();
}

void MoviePlayer::setBackgroundColor(std::int32_t colour) {
    note("BackgroundColor " + std::to_string(colour));
    const std::int32_t before = backgroundColor_;
    backgroundColor_ = colour < 0 ? -1 : (colour & 0xFFFFFF);
    if (backgroundColor_ != before) changed();
}

void MoviePlayer::setVisible(bool visible) {
    note(std::string("Visible ") + (visible ? "1" : "0"));
    if (visible_ != visible) changed();
    visible_ = visible;
}

namespace {
// A movie all of whose timelines have a single frame shows the same picture at every tick.
bool canMove(const SwfMovie& movie) {
    if (movie.timeline.frames.size() > 1) return true;
    for (const auto& [id, sprite] : movie.sprites)
        if (sprite && sprite->frames.size() > 1) return true;
    return false;
}
}  // namespace

std::uint64_t MoviePlayer::pictureSerial(std::int64_t nowNs) {
    scratch_.clear();
    for (auto& [number, content] : layers_) {
        content->advanceTo(nowNs);
        LayerState s;
        s.number = number;
        s.content = content.get();
        const std::size_t i = scratch_.size();
        if (i < seen_.size() && seen_[i].number == number && seen_[i].content == s.content) {
            s.moves = seen_[i].moves;
        } else if (const auto* swf = dynamic_cast<const SwfPlayback*>(s.content)) {
            s.moves = canMove(swf->movie());
        } else {
            s.moves = content->totalFrames() > 1;
        }
        s.frame = content->currentFrame();
        // Any tick of a movie that can move may have changed a sprite's frame; pictures change
        // only with their frame number.
        if (s.moves)
            if (const auto* swf = dynamic_cast<const SwfPlayback*>(s.content)) s.tick = swf->nextTickNs();
        scratch_.push_back(s);
    }
    if (scratch_ != seen_) {
        changed();
        seen_.swap(scratch_);
    }
    return serial_;
}

void MoviePlayer::setKeepsTarget(bool keeps) {
    keepsTarget_ = keeps;
    reused_ = false;
    kept_ = Kept{};
    byRuns_ = false;
    runs_.target = nullptr;
}

bool MoviePlayer::clearKept(platform::Bitmap& target, std::uint32_t background) {
    if (!keepsTarget_ || kept_.target != &target || kept_.pixels != target.row(0) || kept_.width != target.width() ||
        kept_.height != target.height() || kept_.background != background ||
        target.format() != platform::PixelFormat::Bgra32)
        return false;
    const std::uint32_t word = platform::Bitmap::word(background);
    if (target.row32(kept_.probeY)[kept_.probeX] != word) return false;
    // Spans covering much of the picture (a veil, a mask) are painted over faster all at once.
    if (wholeFrame()) {
        target.clear(background);
        return true;
    }
    for (const Span& s : kept_.drawn) fillWords(target.row32(s.y) + s.x0, s.x1 - s.x0, word);
    return true;
}

void MoviePlayer::keep(const platform::Bitmap& target, std::uint32_t background) {
    kept_.target = nullptr;
    if (target.format() != platform::PixelFormat::Bgra32) return;
    // A pixel the layers left at the background: a corner or the middle, else none is known.
    const std::uint32_t word = platform::Bitmap::word(background);
    const int w = target.width(), h = target.height();
    const int probes[][2] = {{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}, {w / 2, h / 2}};
    for (const auto& p : probes) {
        if (target.row32(p[1])[p[0]] != word) continue;
        kept_.target = &target;
        kept_.pixels = target.row(0);
        kept_.width = w;
        kept_.height = h;
        kept_.background = background;
        kept_.probeX = p[0];
        kept_.probeY = p[1];
        kept_.drawn.swap(drawing_);
        kept_.drawnPixels = 0;
        for (const Span& s : kept_.drawn) kept_.drawnPixels += s.x1 - s.x0;
        return;
    }
}

namespace {
// Show all: the whole stage fits, centred; the zoom narrows the view about the centre.
bool placement(const Content& content, int width, int height, double zoom, Affine& m) {
    const StageRect s = content.stage();
    if (!(s.width > 0) || !(s.height > 0)) return false;
    const double scale = std::min(width / s.width, height / s.height) / zoom;
    m = Affine::scaling(scale, scale);
    m.tx = width / 2.0 - (s.x + s.width / 2) * scale;
    m.ty = height / 2.0 - (s.y + s.height / 2) * scale;
    return true;
}

// Beyond these a picture is drawn the ordinary way.
constexpr std::size_t kMaxPaintsPerRow = 64;
constexpr std::size_t kMaxRunsPerRow = 512;
}  // namespace

bool MoviePlayer::runsMatch(const platform::Bitmap& target) const {
    const Runs& r = runs_;
    if (!r.target || r.target != &target || r.pixels != target.row(0) || r.width != target.width() ||
        r.height != target.height())
        return false;
    // Nobody else painted into it: a few pixels still hold what the runs say.
    const int w = r.width, h = r.height;
    const int probes[][2] = {{0, 0},         {w - 1, 0},         {0, h - 1},           {w - 1, h - 1},
                             {w / 2, h / 2}, {w / 3, h / 4},     {2 * w / 3, 3 * h / 4}};
    for (const auto& p : probes) {
        const Run* run = r.rows.data() + r.start[static_cast<std::size_t>(p[1])];
        while (run->x1 <= p[0]) ++run;
        if (target.row32(p[1])[p[0]] != run->word) return false;
    }
    return true;
}

bool MoviePlayer::renderRuns(platform::Bitmap& target, std::uint32_t background, std::int64_t now) {
    const int w = target.width(), h = target.height();
    const auto rows = static_cast<std::size_t>(h);
    Runs& r = runs_;
    r.paints.clear();
    for (auto& [number, content] : layers_) {
        content->advanceTo(now);
        Affine m;
        if (!placement(*content, w, h, zoom_, m)) continue;
        if (!content->record(target, m, r.paints) || r.paints.size() > kMaxPaintsPerRow * rows) return false;
    }
    // The paints by row, each row's in drawing order.
    r.rowPaints.assign(rows + 1, 0);
    for (const Paint& p : r.paints) ++r.rowPaints[static_cast<std::size_t>(p.y) + 1];
    for (std::size_t y = 0; y < rows; ++y) r.rowPaints[y + 1] += r.rowPaints[y];
    r.byRow.resize(r.paints.size());
    r.nextStart.assign(r.rowPaints.begin(), r.rowPaints.end() - 1);
    for (const Paint& p : r.paints) r.byRow[r.nextStart[static_cast<std::size_t>(p.y)]++] = p;
    // Each row as runs, from the background up.
    const std::uint32_t back = platform::Bitmap::word(background);
    r.next.clear();
    r.nextStart.resize(rows + 1);
    for (std::size_t y = 0; y < rows; ++y) {
        r.nextStart[y] = r.next.size();
        r.row.assign(1, Run{w, back});
        const std::size_t first = r.rowPaints[y];
        if (!paintRuns(r.row, r.byRow.data() + first, r.rowPaints[y + 1] - first, r.scratch, kMaxRunsPerRow))
            return false;
        r.next.insert(r.next.end(), r.row.begin(), r.row.end());
    }
    r.nextStart[rows] = r.next.size();

    // Into the target: where the last render's runs are known to be there, only what differs.
    const bool diff = runsMatch(target);
    r.target = nullptr;
    r.changed.clear();
    for (int y = 0; y < h; ++y) {
        std::uint32_t* px = target.row32(y);
        const Run* b = r.next.data() + r.nextStart[static_cast<std::size_t>(y)];
        if (!diff) {
            for (int x = 0; x < w; ++b) {
                fillWords(px + x, b->x1 - x, b->word);
                x = b->x1;
            }
            continue;
        }
        const Run* a = r.rows.data() + r.start[static_cast<std::size_t>(y)];
        for (int x = 0; x < w;) {
            const int end = std::min(a->x1, b->x1);
            if (a->word != b->word) {
                fillWords(px + x, end - x, b->word);
                if (!r.changed.empty() && r.changed.back().y == y && r.changed.back().x1 == x)
                    r.changed.back().x1 = end;
                else
                    r.changed.push_back({y, x, end});
            }
            x = end;
            if (a->x1 == end) ++a;
            if (b->x1 == end) ++b;
        }
    }
    r.rows.swap(r.next);
    r.start.swap(r.nextStart);
    r.target = &target;
    r.pixels = target.row(0);
    r.width = w;
    r.height = h;
    r.partial = diff;
    return true;
}

bool MoviePlayer::render(platform::Bitmap& target, int width, int height) {
    if (!visible_ || width <= 0 || height <= 0) return false;
    target.resize(width, height, target.empty() ? platform::PixelFormat::Bgra32 : target.format());
    const std::int64_t now = clock_.nowNs();

    std::uint32_t background = 0;
    if (backgroundColor_ >= 0) {
        background = static_cast<std::uint32_t>(backgroundColor_);
    } else if (Content* base = layer(0)) {
        background = base->background().value_or(0);
    }
    reused_ = false;
    if (keepsTarget_ && target.format() == platform::PixelFormat::Bgra32 && renderRuns(target, background, now)) {
        byRuns_ = true;
        kept_.target = nullptr;  // drawn otherwise next time: from a cleared target
        return true;
    }
    byRuns_ = false;
    runs_.target = nullptr;
    const bool reused = clearKept(target, background);
    if (!reused) target.clear(background);
    // A render that does not finish leaves nothing known about the target.
    kept_.target = nullptr;
    drawing_.clear();
    std::vector<Span>* drawn = keepsTarget_ ? &drawing_ : nullptr;

    for (auto& [number, content] : layers_) {
        content->advanceTo(now);
        Affine m;
        if (!placement(*content, width, height, zoom_, m)) continue;
        content->render(target, m, drawn);
    }
    if (keepsTarget_) {
        keep(target, background);
        reused_ = reused;
    }
    return true;
}

}  // namespace player
