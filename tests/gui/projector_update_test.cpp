// The projector's frames reach the screen in part: the player tells the view which spans of a
// kept frame changed, and the view copies only those. What the window shows must be the frame,
// pixel for pixel, as a whole copy shows it.
#include <QGuiApplication>
#include <QScreen>

#include <filesystem>
#include <fstream>

#include "player/movie_player.h"
#include "player/swf_writer.h"
#include "support.h"

using namespace forms;

namespace {

// As the program's player control: keeps its frame and reports what changed.
class KeptPlayer : public HostedControl {
public:
    explicit KeptPlayer(Form* f)
        : HostedControl(f, "Player", "ShockwaveFlash"), player(platform::EventLoop::current().clock()) {
        player.setKeepsTarget(true);
    }
    bool paints() const override { return true; }
    void paint(platform::Bitmap& target, int w, int h) override {
        const std::uint64_t serial = player.pictureSerial();
        player.render(target, w, h);
        paintedSerial = serial;
        painted = true;
    }
    bool needsRepaint(std::int64_t nowNs) override { return !painted || player.pictureSerial(nowNs) != paintedSerial; }
    bool changedSpans(std::vector<Span>& out) const override {
        std::vector<player::Span> spans;
        if (!player.changedSpans(spans)) return false;
        for (const auto& s : spans) out.push_back({s.y, s.x0, s.x1});
        ++partial;
        return true;
    }

    player::MoviePlayer player;
    bool painted = false;
    std::uint64_t paintedSerial = 0;
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

// Two bars, one translucent, crossing the stage in 24 frames.
std::vector<std::uint8_t> bars() {
    player::SwfWriter w(320, 240, 24);
    w.setBackground(0x200810);
    player::ShapeBuilder s;
    s.polygon({{0, 0}, {1600, 0}, {1600, 700}, {0, 700}}, s.addFill({255, 200, 0, 255}));
    s.polygon({{0, 2400}, {3000, 2400}, {3000, 2900}, {0, 2900}}, s.addFill({0, 90, 255, 150}));
    const int id = w.defineShape(s);
    for (int f = 0; f < 24; ++f) {
        const player::Affine m{1, 0, 0, 1, f * 200.0, f * 110.0};
        if (f == 0)
            w.place(1, id, m);
        else
            w.modify(1, m);
        w.showFrame();
    }
    return w.finish(true);
}

class ProjectorUpdateTest : public guitest::ViewTest {
protected:
    ProjectorUpdateTest() {
        char tmpl[] = "/tmp/korvella-gui-XXXXXX";
        if (::mkdtemp(tmpl)) dir_ = tmpl;
    }
    ~ProjectorUpdateTest() override {
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
    }
    std::string file(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const auto p = dir_ / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }
    // The window as the screen holds it, against the whole frame drawn afresh by the widget.
    bool screenShowsTheFrame() {
        QWidget* widget = view->widget(beamer->Player);
        QWidget* window = view->window(beamer());
        const QImage screen = QGuiApplication::primaryScreen()->grabWindow(window->winId()).toImage();
        const QImage frame = widget->grab().toImage();
        const QPoint at = widget->mapTo(window, QPoint(0, 0));
        const QRect box = view->widget(beamer->Box)->geometry();
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x) {
                if (box.contains(x, y)) continue;
                if (screen.pixel(at.x() + x, at.y() + y) != frame.pixel(x, y)) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " at " << loop().nowMs() << " ms";
                    return false;
                }
            }
        return true;
    }

    std::filesystem::path dir_;
};

TEST_F(ProjectorUpdateTest, TheScreenShowsEachFrameWholeThoughOnlyWhatChangedIsCopied) {
    Beamer& b = beamer();
    b.Show();
    b.Player.player.LoadMovie(0, file("bars.swf", bars()));
    advance(50);
    for (int i = 0; i < 40; ++i) {
        advance(i % 3 == 0 ? 16 : 42);
        ASSERT_TRUE(screenShowsTheFrame());
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
    ASSERT_TRUE(screenShowsTheFrame());
    b.Player.player.Zoom(90);
    advance(50);
    ASSERT_TRUE(screenShowsTheFrame());
    b.Player.player.LoadMovie(999, "0");
    b.Player.player.setBackgroundColor(0x00FF00);
    for (int i = 0; i < 10; ++i) {
        advance(33);
        ASSERT_TRUE(screenShowsTheFrame());
    }
    // The window's box still shows over the player.
    EXPECT_EQ(QGuiApplication::primaryScreen()->grabWindow(view->window(b)->winId()).toImage().pixelColor(3, 3),
              QColor(0, 0, 0x80));
}

}  // namespace
