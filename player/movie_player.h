// The movie player control of the projector window and the editor's preview: layers of vector
// movies and pictures, composited in layer order over a background colour and scaled to show
// the whole stage in the control. Frames advance on the given clock at each movie's own rate,
// lazily: whenever the player is asked about its frames or drawn, it first runs every due frame
// in order, so frame actions take effect exactly as if it had run all along.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/loop/clock.h"
#include "platform/graphics/graphics.h"
#include "player/raster.h"

namespace player {

class Content;

class MoviePlayer {
public:
    explicit MoviePlayer(platform::Clock& clock);
    ~MoviePlayer();
    MoviePlayer(const MoviePlayer&) = delete;
    MoviePlayer& operator=(const MoviePlayer&) = delete;

    // Shows the file in the layer at once (0 the base, higher layers above lower ones), replacing
    // what the layer held; "0" or "" empties it. Content is recognised by its bytes. A file that
    // cannot be read or shown leaves the layer empty; the reason goes to the log, not the caller.
    // "\" in the path is taken as a folder separator.
    void LoadMovie(int layer, const std::string& path);
    // The base layer's movie runs on from its frame / halts on it.
    void Play();
    void Stop();
    // 0 shows the whole stage again; f > 0 scales the visible area by f/100 about its centre
    // (f < 100 zooms in), never beyond the whole stage. Negative factors change nothing.
    void Zoom(int factor);
    // The base layer's path as given to LoadMovie ("" when empty).
    std::string Movie() const;
    // Frames of the base layer's movie (0 when the layer is empty).
    int TotalFrames();
    // The 0-based frame the base layer shows; raises when the base layer is empty.
    int CurrentFrame();
    // The colour behind all layers (&HBBGGRR). Until it is set (or after a negative value) the
    // base movie's own background shows, or black.
    std::int32_t BackgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(std::int32_t colour);

    // Hosting properties. A hidden player draws nothing, so the window's background shows.
    bool Visible() const { return visible_; }
    void setVisible(bool visible);
    double Width() const { return widthTwips_; }  // twips
    double Height() const { return heightTwips_; }
    void setWidth(double twips) { widthTwips_ = twips; }
    void setHeight(double twips) { heightTwips_ = twips; }

    // Draws the layers into the target, (re)sized to width x height pixels (a target without
    // pixels becomes 32-bit). Returns false, leaving the target untouched, while hidden.
    bool render(platform::Bitmap& target, int width, int height);

    // For a host that keeps its target between renders and writes nothing into it (the
    // projector's frame): a render into the same target then paints the background only where
    // the last one drew, not over the whole target. The pixels come out the same.
    void setKeepsTarget(bool keeps);
    // After a render into a kept target: adds the spans whose pixels can differ from what the
    // target held before it, and returns true; false when any pixel can (a first render, a new
    // target, size or background, or a render that did not finish).
    bool changedSpans(std::vector<Span>& out) const { return changedSpansAs(out); }
    // The same into spans of the host's own type, built from {y, x0, x1} (no copy between).
    template <typename HostSpan>
    bool changedSpansAs(std::vector<HostSpan>& out) const {
        if (byRuns_) {
            if (!runs_.partial) return false;
            out.reserve(out.size() + runs_.changed.size());
            for (const Span& s : runs_.changed) out.push_back(HostSpan{s.y, s.x0, s.x1});
            return true;
        }
        if (!partial()) return false;
        // What the render before drew (now painted over) and what this one drew.
        out.reserve(out.size() + drawing_.size() + kept_.drawn.size());
        for (const Span& s : drawing_) out.push_back(HostSpan{s.y, s.x0, s.x1});
        for (const Span& s : kept_.drawn) out.push_back(HostSpan{s.y, s.x0, s.x1});
        return true;
    }

    // A number that changes whenever what render draws can have changed by nowNs: a layer
    // loaded or emptied, the zoom, the background colour, the visibility, or a layer's frame
    // moving on (running the due frames, as every query does). The same number means the same
    // picture at the same size, so a host redraws only when it changes.
    std::uint64_t pictureSerial(std::int64_t nowNs);
    std::uint64_t pictureSerial() { return pictureSerial(clock_.nowNs()); }

    // Called with a short line for each call of the program ("LoadMovie 0 path", "Play", "Stop",
    // "Zoom 98", "BackgroundColor 255", "Visible 0").
    void setObserver(std::function<void(const std::string&)> observer) { observer_ = std::move(observer); }

    // For tests and diagnostics.
    double zoomScale() const { return zoom_; }
    bool hasLayer(int layer) const { return layers_.count(layer) != 0; }
    Content* layer(int layer);
    int layerCount() const { return static_cast<int>(layers_.size()); }

    static constexpr std::int64_t kMaxFileBytes = 64 << 20;
    static constexpr double kMinZoom = 0.001;

private:
    void note(const std::string& line);

    platform::Clock& clock_;
    std::map<int, std::unique_ptr<Content>> layers_;
    std::string movie_;
    double zoom_ = 1.0;  // visible part of the stage, per side
    std::int32_t backgroundColor_ = -1;
    bool visible_ = true;
    double widthTwips_ = 4800;
    double heightTwips_ = 3600;
    std::function<void(const std::string&)> observer_;

    // What each layer showed when the serial was last taken.
    struct LayerState {
        int number = 0;
        const Content* content = nullptr;
        bool moves = false;  // a movie with a timeline of more than one frame
        int frame = 0;
        std::int64_t tick = 0;
        bool operator==(const LayerState&) const = default;
    };
    // What the last render left in a kept target: the background everywhere but in the spans.
    // A pixel outside them must still hold the background, or the target is a new one.
    struct Kept {
        const platform::Bitmap* target = nullptr;
        const std::uint8_t* pixels = nullptr;
        int width = 0, height = 0;
        std::uint32_t background = 0;
        int probeX = -1, probeY = -1;
        std::vector<Span> drawn;
        std::int64_t drawnPixels = 0;  // overlaps counted each time
    };
    bool keepsTarget_ = false;
    bool reused_ = false;  // the last render painted over only what the one before drew
    Kept kept_;
    std::vector<Span> drawing_;
    bool clearKept(platform::Bitmap& target, std::uint32_t background);
    bool wholeFrame() const {
        return kept_.drawnPixels * 2 >= static_cast<std::int64_t>(kept_.width) * kept_.height;
    }
    void keep(const platform::Bitmap& target, std::uint32_t background);
    bool partial() const { return reused_ && kept_.target && !wholeFrame(); }

    // A kept target whose layers are all vector movies is drawn from the picture's rows as runs
    // of one colour: only the pixels whose colour differs from the last render's are written.
    struct Runs {
        const platform::Bitmap* target = nullptr;  // what `rows` describe; null when nothing
        const std::uint8_t* pixels = nullptr;
        int width = 0, height = 0;
        std::vector<Run> rows, next, row, scratch;
        std::vector<std::size_t> start, nextStart;  // each row's first run, and the end
        std::vector<Paint> paints, byRow;
        std::vector<std::size_t> rowPaints;
        std::vector<Span> changed;
        bool partial = false;  // `changed` holds every pixel written
    };
    Runs runs_;
    bool byRuns_ = false;  // the last render was drawn from runs
    bool renderRuns(platform::Bitmap& target, std::uint32_t background, std::int64_t now);
    bool runsMatch(const platform::Bitmap& target) const;

    void changed() { ++serial_; }
    std::uint64_t serial_ = 0;
    std::vector<LayerState> seen_, scratch_;
};

}  // namespace player
