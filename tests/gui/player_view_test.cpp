// The movie player on the projector: the view draws it again only when its picture can have
// changed (a frame moved on, or a layer, zoom, colour or visibility call), on virtual time; and a
// frame kept by its player reaches the screen in part (only the spans the player says changed are
// copied), showing the same pixels as a whole copy.
#include <unistd.h>

#include <QGuiApplication>
#include <QScreen>

#include <filesystem>
#include <fstream>

#include "player/movie_player.h"
#include "player/swf_writer.h"
#include "support.h"

using namespace forms;

namespace {

// Hosts the player as the program's player control does: paints on request, and asks again only
// when the player's picture serial moved.
class PlayerHost : public HostedControl {
public:
    explicit PlayerHost(Form* f)
        : HostedControl(f, "Player", "ShockwaveFlash"), player(platform::EventLoop::current().clock()) {}
    bool paints() const override { return true; }
    void paint(platform::Bitmap& target, int w, int h) override {
        const std::uint64_t serial = player.pictureSerial();
        player.render(target, w, h);
        paintedSerial = serial;
        painted = true;
        ++drawn;
    }
    bool needsRepaint(std::int64_t nowNs) override { return !painted || player.pictureSerial(nowNs) != paintedSerial; }

    player::MoviePlayer player;
    int drawn = 0;
    bool painted = false;
    std::uint64_t paintedSerial = 0;
};

class Stage : public Form {
public:
    Stage() : Form("Stage", "Projektor") {
        setBorderStyle(0);
        Move(0, 0, 4800, 3600);
        Player.Move(0, 0, 4800, 3600);
    }
    PlayerHost Player{this};
};
FormSlot<Stage> stage("Stage");

constexpr int kW = 320, kH = 240;

// A full-stage rectangle of the colour on each of `frames` frames.
std::vector<std::uint8_t> movie(int frames, double rate, player::Rgba colour) {
    player::SwfWriter w(kW, kH, rate);
    const int id = w.defineRect(0, 0, kW * 20, kH * 20, colour);
    w.place(1, id);
    for (int f = 0; f < frames; ++f) w.showFrame();
    return w.finish();
}

// One main frame holding a sprite that loops through two frames.
std::vector<std::uint8_t> spriteMovie(double rate) {
    player::SwfWriter w(kW, kH, rate);
    const int red = w.defineRect(0, 0, kW * 20, kH * 20, {255, 0, 0, 255});
    const int blue = w.defineRect(0, 0, kW * 20, kH * 20, {0, 0, 255, 255});
    player::TimelineBuilder blink;
    blink.place(1, red);
    blink.showFrame();
    blink.remove(1);
    blink.place(1, blue);
    blink.showFrame();
    const int sprite = w.defineSprite(blink);
    w.place(1, sprite);
    w.showFrame();
    return w.finish();
}

class PlayerViewTest : public guitest::ViewTest {
protected:
    PlayerViewTest() {
        char tmpl[] = "/tmp/korvella-gui-XXXXXX";
        if (::mkdtemp(tmpl)) dir_ = tmpl;
    }
    ~PlayerViewTest() override {
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
    }
    std::string file(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const auto p = dir_ / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }
    // Paints over the next `ms` of the loop's clock.
    int paintsOver(int ms) {
        const int before = stage->Player.drawn;
        advance(ms);
        return stage->Player.drawn - before;
    }
    std::uint32_t shown(int x, int y) { return guitest::shownPixel(view->widget(stage->Player), x, y); }

    std::filesystem::path dir_;
};

TEST_F(PlayerViewTest, AStillPictureIsDrawnOnceAndEachCallThatChangesItOnceMore) {
    Stage& s = stage();
    s.Show();
    EXPECT_EQ(paintsOver(100), 1) << "an empty player: its background, once";

    // A single-frame movie (the dimmer) ticks at its rate without ever changing.
    s.Player.player.LoadMovie(999, file("dimmer.swf", movie(1, 12, {0, 0, 0, 128})));
    EXPECT_EQ(paintsOver(1000), 1);
    s.Player.player.LoadMovie(0, file("red.swf", movie(1, 25, {255, 0, 0, 255})));
    EXPECT_EQ(paintsOver(1000), 1);
    EXPECT_EQ(shown(10, 10), RGB(127, 0, 0)) << "red under the half veil";

    s.Player.player.Zoom(98);
    EXPECT_EQ(paintsOver(100), 1);
    s.Player.player.setBackgroundColor(0xFF);
    EXPECT_EQ(paintsOver(100), 1);
    s.Player.player.LoadMovie(999, "0");
    EXPECT_EQ(paintsOver(100), 1);
    EXPECT_EQ(shown(10, 10), RGB(255, 0, 0));

    // Calls that leave the picture as it is.
    s.Player.player.Zoom(-5);
    s.Player.player.setBackgroundColor(0xFF);
    s.Player.player.setVisible(true);
    s.Player.player.Play();
    for (int i = 0; i < 50; ++i) s.Player.player.LoadMovie(7, "");  // as the playlist's timer does
    EXPECT_EQ(s.Player.player.CurrentFrame(), 0);
    EXPECT_EQ(paintsOver(200), 0);

    s.Player.player.setVisible(false);
    s.Player.player.setVisible(true);
    EXPECT_EQ(paintsOver(100), 1);
}

TEST_F(PlayerViewTest, AMovieThatMovesIsDrawnAtItsOwnFrameRate) {
    Stage& s = stage();
    s.Show();
    advance(50);
    s.Player.player.LoadMovie(0, file("ten.swf", movie(5, 10, {0, 255, 0, 255})));
    advance(50);
    // Ten frames a second, each drawn once, though the display asks sixty times.
    EXPECT_EQ(paintsOver(1000), 10);

    // Only a sprite moves: the picture still changes at every frame.
    s.Player.player.LoadMovie(0, file("blink.swf", spriteMovie(20)));
    advance(30);
    EXPECT_EQ(paintsOver(1000), 20);
    EXPECT_EQ(s.Player.player.TotalFrames(), 1);
}

TEST_F(PlayerViewTest, AFileThatCannotBeShownEmptiesItsLayerOnTheScreen) {
    Stage& s = stage();
    s.Show();
    s.Player.player.LoadMovie(3, file("green.swf", movie(1, 10, {0, 255, 0, 255})));
    advance(50);
    EXPECT_EQ(shown(10, 10), RGB(0, 255, 0));
    testing::internal::CaptureStderr();
    s.Player.player.LoadMovie(3, file("kaputt.swf", {'F', 'W', 'S', 8, 1, 2}));
    s.Player.player.LoadMovie(0, (dir_ / "fehlt.swf").string());
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(paintsOver(500), 1);
    EXPECT_EQ(s.Player.player.layerCount(), 0);
    EXPECT_EQ(shown(10, 10), 0u);
    EXPECT_NE(log.find("kaputt.swf"), std::string::npos);
}

// As the program's player control: keeps its frame and reports what changed.
class KeptPlayer : public PlayerHost {
public:
    explicit KeptPlayer(Form* f) : PlayerHost(f) { player.setKeepsTarget(true); }
    bool changedSpans(std::vector<Span>& out) const override {
        std::vector<player::Span> spans;
        if (!player.changedSpans(spans)) return false;
        for (const auto& s : spans) out.push_back({s.y, s.x0, s.x1});
        ++partial;
        return true;
    }

    mutable int partial = 0;
};

class Beamer : public Form {
public:
    Beamer() : Form("Beamer", "Projektor") {
        setBorderStyle(0);
        Move(0, 0, 4800, 3600);
        Player.Move(0, 0, 4800, 3600);
        // A box lying over the player, as the projector's window buttons do.
        Box.Move(0, 0, 255, 255);
        Box.setBackColor(0x800000);
        Box.Cls();
    }
    KeptPlayer Player{this};
    PictureBox Box{this, "Box"};
};
FormSlot<Beamer> beamer("Beamer");

// The shape moved by (dx, dy) twips a frame over 24 looping frames.
std::vector<std::uint8_t> moving(player::SwfWriter& w, int shape, double dx, double dy) {
    for (int f = 0; f < 24; ++f) {
        const player::Affine m{1, 0, 0, 1, f * dx, f * dy};
        if (f == 0)
            w.place(1, shape, m);
        else
            w.modify(1, m);
        w.showFrame();
    }
    return w.finish(true);
}

// Two bars, one translucent, crossing the stage in 24 frames.
std::vector<std::uint8_t> bars() {
    player::SwfWriter w(320, 240, 24);
    w.setBackground(0x200810);
    player::ShapeBuilder s;
    s.polygon({{0, 0}, {1600, 0}, {1600, 700}, {0, 700}}, s.addFill({255, 200, 0, 255}));
    s.polygon({{0, 2400}, {3000, 2400}, {3000, 2900}, {0, 2900}}, s.addFill({0, 90, 255, 150}));
    return moving(w, w.defineShape(s), 200, 110);
}

// The window as the screen holds it, against the whole frame drawn afresh by the widget (the
// box over the player aside).
bool screenShowsTheFrame(gui::View& view, double nowMs) {
    QWidget* widget = view.widget(beamer->Player);
    QWidget* window = view.window(beamer());
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(window->winId()).toImage();
    const QImage frame = widget->grab().toImage();
    const QPoint at = widget->mapTo(window, QPoint(0, 0));
    const QRect box = view.widget(beamer->Box)->geometry();
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            if (box.contains(x, y)) continue;
            if (screen.pixel(at.x() + x, at.y() + y) != frame.pixel(x, y)) {
                ADD_FAILURE() << "pixel " << x << "," << y << " at " << nowMs << " ms";
                return false;
            }
        }
    return true;
}

TEST_F(PlayerViewTest, TheScreenShowsEachProjectorFrameWholeThoughOnlyWhatChangedIsCopied) {
    Beamer& b = beamer();
    b.Show();
    b.Player.player.LoadMovie(0, file("bars.swf", bars()));
    advance(50);
    for (int i = 0; i < 40; ++i) {
        advance(i % 3 == 0 ? 16 : 42);
        ASSERT_TRUE(screenShowsTheFrame(*view, loop().nowMs()));
    }
    EXPECT_GT(b.Player.partial, 20) << "frames copied in part";
    // A veil over everything, a zoom and a background colour: whole frames again, then in part.
    b.Player.player.LoadMovie(999, file("veil.swf", [] {
        player::SwfWriter w(320, 240, 12);
        w.place(1, w.defineRect(0, 0, 6400, 4800, {0, 0, 0, 120}));
        w.showFrame();
        return w.finish();
    }()));
    advance(100);
    ASSERT_TRUE(screenShowsTheFrame(*view, loop().nowMs()));
    b.Player.player.Zoom(90);
    advance(50);
    ASSERT_TRUE(screenShowsTheFrame(*view, loop().nowMs()));
    b.Player.player.LoadMovie(999, "0");
    b.Player.player.setBackgroundColor(0x00FF00);
    for (int i = 0; i < 10; ++i) {
        advance(33);
        ASSERT_TRUE(screenShowsTheFrame(*view, loop().nowMs()));
    }
    // The window's box still shows over the player.
    EXPECT_EQ(QGuiApplication::primaryScreen()->grabWindow(view->window(b)->winId()).toImage().pixelColor(3, 3),
              QColor(0, 0, 0x80));
}

// Eleven small squares in the same rows, each far from the next, moving right and down: more
// separate pieces a band of rows than the copy keeps apart, so some are copied together.
std::vector<std::uint8_t> dots() {
    player::SwfWriter w(720, 240, 24);
    w.setBackground(0x101010);
    player::ShapeBuilder s;
    for (int i = 0; i < 11; ++i) {
        const double x = i * 64 * 20;
        const auto c = static_cast<std::uint8_t>(i * 20);
        s.polygon({{x, 0}, {x + 200, 0}, {x + 200, 300 + i * 40.0}, {x, 300 + i * 40.0}}, s.addFill({c, 200, 40, 255}));
    }
    return moving(w, w.defineShape(s), 70, 130);
}

TEST_F(PlayerViewTest, ManyPiecesSideBySideReachTheScreenWhole) {
    Beamer& b = beamer();
    b.Move(0, 0, 720 * 15, 3600);
    b.Player.Move(0, 0, 720 * 15, 3600);
    b.Show();
    b.Player.player.LoadMovie(0, file("dots.swf", dots()));
    advance(50);
    for (int i = 0; i < 30; ++i) {
        advance(i % 2 ? 42 : 21);
        ASSERT_TRUE(screenShowsTheFrame(*view, loop().nowMs()));
    }
    EXPECT_GT(b.Player.partial, 15) << "frames copied in part";
}

}  // namespace
