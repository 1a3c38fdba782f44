// The editor window: what its load prepares, the proportional layout on resize (also the shared
// helper on its own), and hiding instead of unloading while the program runs.
#include "korvella/playlist/ControlGeometry.h"
#include "playlist_fixture.h"

namespace playlist_test {
namespace {

using korvella::ControlGeometry;
struct Box {
    double left, top, width, height;
    bool operator==(const Box&) const = default;
};
std::vector<Box> layoutOf(const forms::Form& f) {
    std::vector<Box> out;
    for (const auto* c : f.Controls()) out.push_back({c->Left(), c->Top(), c->Width(), c->Height()});
    return out;
}

using EditorWindowTest = PlaylistTest;

TEST_F(EditorWindowTest, LoadPreparesTheEffectsFolderExplorerAndLayoutRecords) {
    auto& e = ed();
    EXPECT_EQ(e.Caption(), "Rorido Zovivedid Creation Window 0.62 Beta");
    EXPECT_FALSE(e.Visible());
    EXPECT_EQ(e.Top(), 105);  // 100 twips, on whole pixels
    EXPECT_TRUE(std::filesystem::is_directory(home / "Effekts"));
    EXPECT_EQ(e.File1.Path(), home.string() + "\\Effekts");
    EXPECT_EQ(e.File1.Pattern(), "*.swf;*.jpg");
    ASSERT_EQ(e.Geometry.size(), e.Controls().size());
    const ControlGeometry list1 = e.Geometry[1];
    EXPECT_EQ(list1, (ControlGeometry{240, 120, 4560, 4110, 9720, 14400, 8, 0}));
    const ControlGeometry timer = e.Geometry.back();  // no width, height or font
    EXPECT_EQ(timer.unread, ControlGeometry::kWidth | ControlGeometry::kHeight | ControlGeometry::kFontSize);
}

TEST_F(EditorWindowTest, ResizeScalesEveryControlFromTheLoadRecords) {
    auto& e = ed();
    e.Show();
    const auto atLoad = layoutOf(e);
    e.setClientSize(14400, 2 * 9720);
    auto doubled = atLoad;
    for (auto& b : doubled) b.top *= 2, b.height *= 2;
    EXPECT_EQ(layoutOf(e), doubled);
    e.setClientSize(14400 / 2, 9720);
    EXPECT_EQ(e.List1.Width(), 4560 / 2);
    e.setClientSize(14400, 9720);
    EXPECT_EQ(layoutOf(e), atLoad);

    e.setWindowState(1);
    for (const auto& b : layoutOf(e)) EXPECT_EQ(b, (Box{0, 0, 0, 0}));
    e.setWindowState(0);
    EXPECT_EQ(layoutOf(e), atLoad);
}

TEST_F(EditorWindowTest, ClosingHidesWhileTheProgramRunsAndThePlayerGoesOn) {
    auto& e = ed();
    beats();
    setRows({{"Zoom in", ""}});
    e.Show();
    e.Timer1A.setEnabled(true);
    e.Check5.setValue(1);
    EXPECT_FALSE(Form2.Unload(0));
    EXPECT_TRUE(Form2.isLoaded());
    EXPECT_FALSE(e.Visible());
    advance(3);
    EXPECT_EQ(e.Text3.Text(), "1");  // "Wiederholen": the one entry runs on every tick
    EXPECT_TRUE(e.zoomin.Enabled());
    e.Show();
    EXPECT_EQ(ed().List1.ListCount(), 1);
    EXPECT_EQ(ed().Check5.Value(), 1);

    beats().Text2 = "";  // shutdown
    EXPECT_TRUE(Form2.Unload(0));
    EXPECT_FALSE(Form2.isLoaded());
}

// The helper on a window of its own: properties a control lacks and values beyond 16 bits.
class SampleWindow : public forms::Form {
public:
    SampleWindow() : forms::Form("Sample", "Sample") {
        setClientSize(6000, 3000);
        box.Move(600, 300, 1200, 600);
        wide.Move(300, 150, 40000, 600);
        tick.Move(900, 1200, 0, 0);
        shape.Move(1500, 1500, 300, 300);
    }
    forms::TextBox box{this, "box"};
    forms::TextBox wide{this, "wide"};
    forms::Timer tick{this, "tick", 10, false};
    forms::Shape shape{this, "shape"};
    forms::LineControl line{this, "line", 0, 0, 100, 100};
    forms::ScrollBar bar{this, "bar", true, 0, 10, 0};
};

TEST(ControlGeometryTest, RecordsWhatEachControlHasAndLaysOutOnlyThat) {
    forms::Runtime rt{forms::Runtime::ClockKind::Virtual};
    SampleWindow f;
    f.bar.Move(0, 2700, 6000, 300);
    const auto rec = korvella::recordControlGeometry(f);
    ASSERT_EQ(rec.size(), 6u);
    using G = ControlGeometry;
    EXPECT_EQ(rec[0], (G{300, 600, 1200, 600, 3000, 6000, 8, 0}));
    EXPECT_EQ(rec[1], (G{150, 300, 0, 600, 3000, 6000, 8, G::kWidth}));
    EXPECT_EQ(rec[2], (G{1200, 900, 0, 0, 3000, 6000, 0, G::kWidth | G::kHeight | G::kFontSize}));
    EXPECT_EQ(rec[3].unread, G::kFontSize);
    EXPECT_EQ(rec[4].unread, G::kTop | G::kLeft | G::kWidth | G::kHeight | G::kFontSize);
    EXPECT_EQ(rec[5].unread, G::kFontSize);

    f.setClientSize(9000, 6000);
    korvella::applyProportionalLayout(f, rec);
    EXPECT_EQ((Box{f.box.Left(), f.box.Top(), f.box.Width(), f.box.Height()}), (Box{900, 600, 1800, 1200}));
    EXPECT_EQ((Box{f.wide.Left(), f.wide.Top(), f.wide.Width(), f.wide.Height()}), (Box{450, 300, 40000, 1200}));
    EXPECT_EQ(f.tick.Top(), 2400);
    EXPECT_EQ(f.bar.Top(), 5400);
    EXPECT_EQ(f.box.FontSize(), 8.25);

    // Records of a window with no inner area, or too few records, leave the controls as they are.
    auto empty = rec;
    for (auto& r : empty) r.ScaleHeight = 0, r.ScaleWidth = 0;
    korvella::applyProportionalLayout(f, empty);
    korvella::applyProportionalLayout(f, {});
    EXPECT_EQ((Box{f.box.Left(), f.box.Top(), f.box.Width(), f.box.Height()}), (Box{900, 600, 1800, 1200}));
}

}  // namespace
}  // namespace playlist_test
