// Message boxes and file boxes: the button sets and default answers of the styles, the stderr
// service used when none is installed, and the scripted service tests drive the program with.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "platform/loop/clock.h"
#include "platform/windows/dialogs.h"
#include "platform/loop/eventloop.h"

using namespace platform;

namespace {

TEST(MsgBoxStyle, ButtonsDefaultsAndEscapeOfEachStyle) {
    EXPECT_EQ(msgBoxButtons(0), (std::vector<int>{IDOK}));
    EXPECT_EQ(msgBoxButtons(MB_OKCANCEL), (std::vector<int>{IDOK, IDCANCEL}));
    EXPECT_EQ(msgBoxButtons(MB_ABORTRETRYIGNORE), (std::vector<int>{IDABORT, IDRETRY, IDIGNORE}));
    EXPECT_EQ(msgBoxButtons(MB_YESNOCANCEL), (std::vector<int>{IDYES, IDNO, IDCANCEL}));
    EXPECT_EQ(msgBoxButtons(MB_YESNO), (std::vector<int>{IDYES, IDNO}));
    EXPECT_EQ(msgBoxButtons(MB_RETRYCANCEL), (std::vector<int>{IDRETRY, IDCANCEL}));
    // Icons, default-button and modality bits do not change the buttons.
    EXPECT_EQ(msgBoxButtons(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_SYSTEMMODAL),
              (std::vector<int>{IDYES, IDNO}));

    // The styles the program uses: 0, 4, 16, 64.
    EXPECT_EQ(msgBoxDefaultAnswer(0), IDOK);
    EXPECT_EQ(msgBoxDefaultAnswer(MB_YESNO), IDYES);
    EXPECT_EQ(msgBoxDefaultAnswer(MB_ICONCRITICAL), IDOK);
    EXPECT_EQ(msgBoxDefaultAnswer(MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(msgBoxDefaultAnswer(MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(msgBoxDefaultAnswer(MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
    // A default naming a button the box lacks falls back to the first.
    EXPECT_EQ(msgBoxDefaultAnswer(MB_YESNO | MB_DEFBUTTON3), IDYES);
    EXPECT_EQ(msgBoxDefaultAnswer(MB_OK | MB_DEFBUTTON4), IDOK);

    EXPECT_EQ(msgBoxEscapeAnswer(0), IDOK);
    EXPECT_EQ(msgBoxEscapeAnswer(MB_YESNO), std::nullopt);
    EXPECT_EQ(msgBoxEscapeAnswer(MB_ABORTRETRYIGNORE), std::nullopt);
    EXPECT_EQ(msgBoxEscapeAnswer(MB_YESNOCANCEL), IDCANCEL);
    EXPECT_EQ(msgBoxEscapeAnswer(MB_OKCANCEL), IDCANCEL);
}

TEST(MsgBoxStyle, NonsenseStylesAreOkBoxes) {
    for (int style : {-1, 6, 15, 0x7FFFFFFF, -4096}) {
        EXPECT_EQ(msgBoxButtons(style), (std::vector<int>{IDOK})) << style;
        EXPECT_EQ(msgBoxDefaultAnswer(style), IDOK) << style;
    }
}

TEST(FileFilter, ParsesTextPatternPairs) {
    const auto f = parseFileFilter("Playlists (*.kpl)|*.kpl|Bilder|*.png; *.jpg;*.gif|Alle Dateien|*.*|");
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].text, "Playlists (*.kpl)");
    EXPECT_EQ(f[0].patterns, (std::vector<std::string>{"*.kpl"}));
    EXPECT_EQ(f[1].patterns, (std::vector<std::string>{"*.png", "*.jpg", "*.gif"}));
    EXPECT_EQ(f[2].text, "Alle Dateien");
    // Without the closing bar, and with broken pieces.
    EXPECT_EQ(parseFileFilter("Wave|*.wav").size(), 1u);
    EXPECT_TRUE(parseFileFilter("").empty());
    EXPECT_TRUE(parseFileFilter("|||").empty());
    const auto odd = parseFileFilter("Wave|*.wav|Orphan text");
    ASSERT_EQ(odd.size(), 1u);
    EXPECT_EQ(odd[0].text, "Wave");
    EXPECT_TRUE(parseFileFilter("No pattern| ; |").empty());
}

TEST(DialogService, WithoutAnInstalledServiceBoxesGoToStderrAndAnswerTheDefault) {
    setDialogs(nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(dialogs().msgBox("Zieladresse ist 0 ", 64, "BMOVE"), IDOK);
    EXPECT_EQ(dialogs().msgBox("Wirklich beenden?", MB_YESNO, "Korvella"), IDYES);
    EXPECT_EQ(dialogs().fileOpen("Wave|*.wav|", "Öffnen", "/tmp"), std::nullopt);
    EXPECT_EQ(dialogs().fileSave("Wave|*.wav|", "Speichern", "/tmp"), std::nullopt);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("BMOVE: Zieladresse ist 0 "), std::string::npos) << err;
    EXPECT_NE(err.find("Wirklich beenden?"), std::string::npos) << err;
    EXPECT_NE(err.find("Speichern"), std::string::npos) << err;
}

TEST(DialogService, InstallingAndRemovingAService) {
    ScriptedDialogs scripted;
    setDialogs(&scripted);
    EXPECT_EQ(&dialogs(), &scripted);
    setDialogs(nullptr);
    EXPECT_NE(&dialogs(), &scripted);
    EXPECT_NE(dynamic_cast<StderrDialogs*>(&dialogs()), nullptr);
}

TEST(ScriptedDialogs, RecordsEveryBoxInOrderAndAnswersFromTheQueues) {
    ScriptedDialogs d;
    d.pushAnswer(IDNO);
    d.pushFile("/home/op/show.kpl");
    d.pushFile(std::nullopt);
    EXPECT_EQ(d.msgBox("Speichern?", MB_YESNO, "Korvella"), IDNO);
    EXPECT_EQ(d.fileOpen("Playlist|*.kpl|", "Laden", "/home/op"), "/home/op/show.kpl");
    EXPECT_EQ(d.fileSave("Playlist|*.kpl|", "Sichern", "/home/op"), std::nullopt);
    // Queues empty: default button, no file.
    EXPECT_EQ(d.msgBox("Fertig", MB_ICONINFORMATION, "T"), IDOK);
    EXPECT_EQ(d.msgBox("Nochmal?", MB_YESNO | MB_DEFBUTTON2, "T"), IDNO);
    EXPECT_EQ(d.fileOpen("", "", ""), std::nullopt);

    const auto& s = d.shown();
    ASSERT_EQ(s.size(), 6u);
    EXPECT_EQ(s[0].kind, ScriptedDialogs::Kind::Message);
    EXPECT_EQ(s[0].style, MB_YESNO);
    EXPECT_EQ(s[0].title, "Korvella");
    EXPECT_EQ(s[0].text, "Speichern?");
    EXPECT_EQ(s[0].answer, IDNO);
    EXPECT_EQ(s[1].kind, ScriptedDialogs::Kind::Open);
    EXPECT_EQ(s[1].filter, "Playlist|*.kpl|");
    EXPECT_EQ(s[1].title, "Laden");
    EXPECT_EQ(s[1].initialDir, "/home/op");
    EXPECT_EQ(s[1].file, "/home/op/show.kpl");
    EXPECT_EQ(s[2].kind, ScriptedDialogs::Kind::Save);
    EXPECT_EQ(s[2].file, std::nullopt);
    EXPECT_EQ(s[4].answer, IDNO);
    EXPECT_EQ(d.messages().size(), 3u);

    d.clear();
    EXPECT_TRUE(d.shown().empty());
}

TEST(ScriptedDialogs, AnAnswerTheBoxCannotGiveIsAScriptingError) {
    ScriptedDialogs d;
    d.pushAnswer(IDCANCEL);
    EXPECT_THROW(d.msgBox("Ja oder nein?", MB_YESNO, "T"), std::invalid_argument);
    EXPECT_EQ(d.openCount(), 0);
    EXPECT_EQ(d.pendingAnswers(), 0u);
    d.pushAnswer(IDOK);
    EXPECT_EQ(d.msgBox("OK box", 0, "T"), IDOK);
}

// A box is modal but the loop keeps running inside it: timers tick while it is open.
TEST(ScriptedDialogs, TimePassesInsideAnOpenBox) {
    EventLoop loop(std::make_unique<VirtualClock>());
    EventLoop* previous = EventLoop::currentOrNull();
    EventLoop::setCurrent(&loop);
    ScriptedDialogs d;
    std::vector<double> ticks;
    LoopTimer timer([&] { ticks.push_back(loop.nowMs()); }, &loop);
    timer.setInterval(100);
    timer.setEnabled(true);
    int openDuringHook = -1;
    d.setWhileOpen([&] {
        openDuringHook = d.openCount();
        loop.advance(350);
    });
    EXPECT_EQ(d.msgBox("Warte", 0, "T"), IDOK);
    EXPECT_EQ(openDuringHook, 1);
    EXPECT_EQ(d.openCount(), 0);
    EXPECT_EQ(loop.nowMs(), 350.0);
    EXPECT_EQ(ticks, (std::vector<double>{100.0, 200.0, 300.0}));
    EventLoop::setCurrent(previous);
}

// A handler running inside a box opens another box: the inner one is recorded after the outer,
// answers first, and does not run the hook again.
TEST(ScriptedDialogs, BoxInsideABox) {
    ScriptedDialogs d;
    d.pushAnswer(IDOK);   // taken by the inner box, which closes first
    d.pushAnswer(IDNO);   // taken by the outer box
    int hookRuns = 0;
    int innerAnswer = 0;
    d.setWhileOpen([&] {
        ++hookRuns;
        EXPECT_EQ(d.openCount(), 1);
        innerAnswer = d.msgBox("Innen", 0, "T");
    });
    EXPECT_EQ(d.msgBox("Außen", MB_YESNO, "T"), IDNO);
    EXPECT_EQ(innerAnswer, IDOK);
    EXPECT_EQ(hookRuns, 1);
    ASSERT_EQ(d.shown().size(), 2u);
    EXPECT_EQ(d.shown()[0].text, "Außen");
    EXPECT_EQ(d.shown()[0].answer, IDNO);
    EXPECT_EQ(d.shown()[1].text, "Innen");
    EXPECT_EQ(d.shown()[1].answer, IDOK);
    // The hook runs again for the next top-level box.
    d.setWhileOpen([&] { ++hookRuns; });
    d.fileOpen("", "", "");
    EXPECT_EQ(hookRuns, 2);
}

TEST(ScriptedDialogs, AHookThatThrowsClosesTheBoxAndLeavesTheHookUsable) {
    ScriptedDialogs d;
    int runs = 0;
    d.setWhileOpen([&] {
        if (++runs == 1)
            throw std::runtime_error("handler failed");
    });
    EXPECT_THROW(d.msgBox("a", 0, "T"), std::runtime_error);
    EXPECT_EQ(d.openCount(), 0);
    EXPECT_EQ(d.msgBox("b", 0, "T"), IDOK);
    EXPECT_EQ(runs, 2);
}

TEST(ScriptedDialogs, ClearingWhileABoxIsOpenDoesNotCorruptTheRecord) {
    ScriptedDialogs d;
    d.setWhileOpen([&] { d.clear(); });
    EXPECT_EQ(d.msgBox("a", 0, "T"), IDOK);
    EXPECT_TRUE(d.shown().empty());
}

} // namespace
