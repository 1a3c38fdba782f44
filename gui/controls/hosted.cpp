#include "gui/controls/hosted.h"

#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <limits>

#include "forms/application.h"
#include "platform/loop/cpu_meter.h"

namespace gui::detail {

using forms::Kind;
using forms::Prop;

namespace {

class HostedWidget final : public QWidget, public Bound {
public:
    explicit HostedWidget(QWidget* parent, bool paints) : QWidget(parent) {
        // A painting control covers all of itself: Qt need not draw what lies below it first.
        setAttribute(Qt::WA_OpaquePaintEvent, paints);
    }
    platform::Bitmap frame;

protected:
    void paintEvent(QPaintEvent* e) override {
        if (!binding || !binding->paintsFrames()) return;
        platform::cpumeter::Scope meter(platform::cpumeter::Part::ProjectorDisplay);
        QPainter p(this);
        const QColor back = toQColor(binding->control().BackColor());
        const QImage image = imageOf(frame);
        QPoint at;
        QImage* screen = sameFormatTarget(p, image, at);
        for (const QRect& r : e->region()) {
            if (const QRect part = r & image.rect(); !part.isEmpty()) {
                if (screen) {
                    copyRows(image, part, *screen, part.translated(at));
                } else {
                    p.setClipRect(r);
                    p.drawImage(part.topLeft(), image, part);
                }
            }
            // No frame yet, or grown since the last one: the back colour until the next.
            if (image.rect().contains(r)) continue;
            p.setClipRect(r);
            for (const QRect& room : QRegion(r).subtracted(image.rect())) p.fillRect(room, back);
        }
    }
};

class HostedBinding final : public Binding {
public:
    HostedBinding(forms::HostedControl& hosted, QWidget* parent)
        : Binding(hosted, new HostedWidget(parent, hosted.paints())), hosted_(hosted) {}

    bool paintsFrames() const override { return hosted_.paints(); }

    void renderFrame(std::int64_t nowNs) override {
        auto* w = static_cast<HostedWidget*>(widget());
        if (!w) return;
        const int width = w->width(), height = w->height();
        if (width <= 0 || height <= 0) return;
        // A new size or a first frame is always drawn; otherwise only a picture that can differ.
        const bool fresh = w->frame.empty() || w->frame.width() != width || w->frame.height() != height;
        const bool failedBefore = failed_;
        try {
            if (!fresh && !failed_ && !hosted_.needsRepaint(nowNs)) return;
            w->frame.resize(width, height, platform::PixelFormat::Bgra32);
            hosted_.paint(w->frame, width, height);
            failed_ = false;
        } catch (const std::exception& e) {
            // A control that cannot draw a frame shows its last one; say so once.
            if (!reported_) std::fprintf(stderr, "%s: %s cannot paint: %s\n", forms::Application::title().c_str(),
                                         hosted_.name().c_str(), e.what());
            failed_ = reported_ = true;
        }
        // Only what can have changed is copied to the screen, where the control knows it.
        spans_.clear();
        if (fresh || failed_ || failedBefore || !hosted_.changedSpans(spans_))
            w->update();
        else if (!spans_.empty())
            w->update(regionOf(spans_, width, height));
    }

private:
    void applyColors() override {
        // The frame covers the widget; the colour shows only until the first one.
        if (!hosted_.paints()) return Binding::applyColors();
        widget()->update();
    }
    void syncKind(Prop) override {}

    // Spans as a region of bands of rows, each holding the spans' x ranges merged where they
    // overlap or lie close: a few rectangles a band, each copied on its own. One pass: a span
    // mostly falls inside a run its band has already (the frame before drew nearly the same).
    QRegion regionOf(const std::vector<forms::HostedControl::Span>& spans, int width, int height) {
        constexpr int kBand = 16, kGap = 32, kRuns = 8;
        const std::size_t bands = static_cast<std::size_t>((height + kBand - 1) / kBand);
        runCount_.assign(bands, 0);
        runs_.resize(bands * kRuns);
        const auto near = [](const Run& r, int x0, int x1) { return x0 <= r.x1 + kGap && r.x0 <= x1 + kGap; };
        // Spans come shape by shape and row by row: most lie inside the run the last one went to.
        const Run* last = nullptr;
        std::size_t lastBand = 0;
        for (const auto& s : spans) {
            const int x0 = std::max(s.x0, 0), x1 = std::min(s.x1, width);
            if (s.y < 0 || s.y >= height || x0 >= x1) continue;
            const std::size_t band = static_cast<std::size_t>(s.y / kBand);
            if (last && band == lastBand && x0 >= last->x0 && x1 <= last->x1) continue;
            Run* r = &runs_[band * kRuns];
            int& n = runCount_[band];
            int i = 0;
            while (i < n && !near(r[i], x0, x1)) ++i;
            if (i == n) {
                if (n < kRuns) {
                    r[n] = {x0, x1};
                    last = &r[n++];
                    lastBand = band;
                    continue;
                }
                // Too many runs: into the closest one (a little more is copied, nothing less).
                int best = 0, bestGap = std::numeric_limits<int>::max();
                for (int j = 0; j < n; ++j) {
                    const int gap = std::max(r[j].x0 - x1, x0 - r[j].x1);
                    if (gap < bestGap) bestGap = gap, best = j;
                }
                i = best;
            }
            lastBand = band;
            last = &r[i];
            if (x0 >= r[i].x0 && x1 <= r[i].x1) continue;
            r[i].x0 = std::min(r[i].x0, x0);
            r[i].x1 = std::max(r[i].x1, x1);
            // The wider run may now reach others: they join it.
            for (int j = 0; j < n;) {
                if (j == i || !near(r[j], r[i].x0, r[i].x1)) {
                    ++j;
                    continue;
                }
                r[i].x0 = std::min(r[i].x0, r[j].x0);
                r[i].x1 = std::max(r[i].x1, r[j].x1);
                r[j] = r[--n];
                if (i == n) i = j;
                j = 0;
            }
            last = &r[i];
        }
        // Rectangles ordered by band, then by x, as a region is built from.
        rects_.clear();
        for (std::size_t band = 0; band < bands; ++band) {
            Run* r = &runs_[band * kRuns];
            const int n = runCount_[band];
            for (int k = 1; k < n; ++k)
                for (int j = k; j > 0 && r[j].x0 < r[j - 1].x0; --j) std::swap(r[j], r[j - 1]);
            const int top = static_cast<int>(band) * kBand, bottom = std::min(height, top + kBand);
            for (int k = 0; k < n; ++k) rects_.emplace_back(r[k].x0, top, r[k].x1 - r[k].x0, bottom - top);
        }
        QRegion region;
        region.setRects(rects_.data(), static_cast<int>(rects_.size()));
        return region;
    }

    struct Run {
        int x0, x1;
    };
    forms::HostedControl& hosted_;
    std::vector<forms::HostedControl::Span> spans_;
    std::vector<Run> runs_;
    std::vector<int> runCount_;
    std::vector<QRect> rects_;
    bool failed_ = false;    // the last paint failed: asked again at every frame
    bool reported_ = false;  // said once
};

}  // namespace

std::unique_ptr<Binding> bindHostedControl(forms::HostedControl& control, QWidget* parent) { return std::make_unique<HostedBinding>(control, parent); }

}  // namespace gui::detail
