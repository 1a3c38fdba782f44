// The projector window and the main window's projector buttons.
#include <gtest/gtest.h>

#include "fixture.h"

namespace korvella_test {
namespace {

class ProjectorTest : public KorvellaTest {
protected:
    ProjectorTest() { frmBeats.Show(); }
    korvella::Form1Window& projector() { return Form1(); }
};

TEST_F(ProjectorTest, DesignIsABlackBorderlessWindowFilledByThePlayer) {
    auto& p = projector();
    EXPECT_EQ(p.BorderStyle(), 0);
    EXPECT_EQ(p.BackColor(), 0u);
    EXPECT_EQ(p.Picture1.Width(), 255);
    EXPECT_EQ(p.Picture3.Left(), 255);
    EXPECT_EQ(p.ShockwaveFlash1.WMode, "Window");
    EXPECT_EQ(p.ShockwaveFlash1.Quality, "AutoHigh");
    EXPECT_EQ(p.ShockwaveFlash1.Scale, "ShowAll");
    EXPECT_EQ(p.ShockwaveFlash1.Width(), p.Width());
    EXPECT_EQ(p.ShockwaveFlash1.Height(), p.Height());
}

TEST_F(ProjectorTest, StrobeFlashesTheChosenColourFor35MsAndEndsBlackWithThePicture) {
    auto& b = beats();
    b.Option8.setValue(true);
    std::vector<std::uint32_t> during;
    platform::LoopTimer probe([&] { during.push_back(projector().BackColor()); });
    probe.setInterval(10);
    probe.setEnabled(true);
    const double t0 = now();
    b.Command5.setValue(true);
    probe.setEnabled(false);
    EXPECT_EQ(now() - t0, 35);
    EXPECT_EQ(during, (std::vector<std::uint32_t>{0xFFFFFF, 0xFFFFFF, 0xFFFFFF}));
    EXPECT_EQ(callsSince(t0), (std::vector<std::string>{"Visible 0", "Visible 1"}));
    EXPECT_EQ(calls[0].t, t0);
    EXPECT_EQ(calls[1].t, t0 + 35);
    EXPECT_EQ(projector().BackColor(), 0u);
    EXPECT_TRUE(projector().ShockwaveFlash1.Visible());
}

TEST_F(ProjectorTest, NestedStrobesEndTogetherBlackAndShown) {
    auto& b = beats();
    b.Option6.setValue(true);
    platform::LoopTimer second([&] {
        second.setEnabled(false);
        b.Command5.setValue(true);
    });
    second.setInterval(10);
    second.setEnabled(true);
    const double t0 = now();
    b.Command5.setValue(true);
    EXPECT_EQ(now() - t0, 45);
    std::vector<Call> expected{{t0, "Visible 0"}, {t0 + 10, "Visible 0"}, {t0 + 45, "Visible 1"}, {t0 + 45, "Visible 1"}};
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(projector().BackColor(), 0u);
}

TEST_F(ProjectorTest, BeamerOffThenStrobeEndsWithThePictureShown) {
    auto& b = beats();
    b.Command14.setValue(true);
    EXPECT_FALSE(projector().ShockwaveFlash1.Visible());
    EXPECT_FALSE(projector().ShockwaveFlash1.player().Visible());
    b.Command5.setValue(true);
    EXPECT_TRUE(projector().ShockwaveFlash1.Visible());
    b.Command14.setValue(true);
    b.Command15.setValue(true);
    EXPECT_TRUE(projector().ShockwaveFlash1.Visible());
    EXPECT_EQ(callsSince(0), (std::vector<std::string>{"Visible 0", "Visible 0", "Visible 1", "Visible 0", "Visible 1"}));
}

TEST_F(ProjectorTest, MaximiseAndRestoreByEitherWayKeepThePlayerAsLargeAsTheWindow) {
    auto& p = projector();
    forms::Application::setScreenSize(1280, 720);
    p.Show();
    const double w = p.Width();
    p.Picture1_Click();
    EXPECT_EQ(p.WindowState(), 2);
    EXPECT_FALSE(p.Picture2.Visible());
    EXPECT_EQ(p.Width(), 1280 * 15);
    EXPECT_EQ(p.ShockwaveFlash1.Width(), p.Width());
    EXPECT_EQ(p.ShockwaveFlash1.player().Height(), p.Height());
    beats().Command9.setValue(true);
    EXPECT_EQ(p.WindowState(), 0);
    EXPECT_TRUE(p.Picture2.Visible());
    EXPECT_EQ(p.ShockwaveFlash1.Width(), w);
    beats().Command10.setValue(true);
    EXPECT_EQ(p.WindowState(), 2);
    EXPECT_FALSE(p.Picture2.Visible());
    p.Picture1_Click();
    EXPECT_EQ(p.WindowState(), 0);
    EXPECT_TRUE(p.Picture2.Visible());
}

TEST_F(ProjectorTest, TheDragBarAsksForTheSystemMove) {
    struct Sent : platform::WindowRegistry::Observer {
        std::vector<std::pair<platform::HWND, platform::UINT>> got;
        platform::WPARAM w = 0;
        void messageSent(platform::HWND h, platform::UINT m, platform::WPARAM wp, platform::LPARAM) override {
            got.push_back({h, m});
            w = wp;
        }
    } s;
    windows().addObserver(&s);
    projector().Picture2.onMouseDown(1, 0, 5, 5);
    windows().removeObserver(&s);
    ASSERT_EQ(s.got.size(), 1u);
    EXPECT_EQ(s.got[0].first, projector().hWnd());
    EXPECT_EQ(s.got[0].second, platform::WM_NCLBUTTONDOWN);
    EXPECT_EQ(s.w, static_cast<platform::WPARAM>(platform::HTCAPTION));
}

TEST_F(ProjectorTest, ClosedWithItsCloseBoxItComesBackHiddenWithTheNextBeat) {
    projector().Show();
    projector().Picture3_Click();
    EXPECT_FALSE(Form1.isLoaded());
    beats().angeschaltet = "1";
    beats().Text1 = "1";
    ASSERT_TRUE(Form1.isLoaded());
    EXPECT_FALSE(projector().Visible());
    EXPECT_EQ(callsSince(0), std::vector<std::string>{"Play"});
    // "Start" shows it again.
    addDevice();
    beats().cmdStart.setValue(true);
    EXPECT_TRUE(projector().Visible());
}

}  // namespace
}  // namespace korvella_test
