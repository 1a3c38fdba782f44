// The main window as a whole: start-up, "Start", "Stop", "Reset", menus, help boxes, shutdown.
#include <gtest/gtest.h>

#include "fixture.h"
#include "forms/errors.h"
#include "platform/storage/settings.h"

#include <sys/resource.h>

#include <filesystem>

namespace korvella_test {
namespace {

using platform::com::Variant;
namespace vx = korvella::vorix;

struct FormLog : forms::FormsObserver {
    FormLog() { forms::Application::addObserver(this); }
    ~FormLog() override { forms::Application::removeObserver(this); }
    void formLoaded(forms::Form& f) override { loaded.push_back(f.name()); }
    void formUnloaded(forms::Form& f) override {
        unloaded.push_back(f.name());
        if (onUnload) onUnload(f);
    }
    std::vector<std::string> loaded, unloaded;
    std::function<void(forms::Form&)> onUnload;
};

class StartUpTest : public KorvellaTest {};

TEST_F(StartUpTest, LoadsTheFourWindowsHiddenInOrderAndCapturesNothing) {
    addDevice(sine(97.65625, 8000));
    FormLog log;
    frmBeats.Show();
    EXPECT_EQ(log.loaded, (std::vector<std::string>{"frmBeats", "Form1", "Form2", "Form3", "Form4"}));
    EXPECT_TRUE(beats().Visible());
    for (forms::FormSlotBase* slot : {static_cast<forms::FormSlotBase*>(&Form1), static_cast<forms::FormSlotBase*>(&Form2),
                                      static_cast<forms::FormSlotBase*>(&Form3), static_cast<forms::FormSlotBase*>(&Form4)})
        EXPECT_FALSE(slot->peek()->Visible()) << slot->name();
    EXPECT_FALSE(Form5.isLoaded());
    EXPECT_EQ(beats().Caption(), "Korvella 0.62 Beta");
    EXPECT_DOUBLE_EQ(beats().HzPerBin, 43.06640625);
    EXPECT_EQ(beats().BandHistoryRows(), 150);

    advance(1000);
    EXPECT_EQ(platform::openWaveHandleCount(), 0u);
    EXPECT_EQ(beats().Text1.Text(), "0");
    EXPECT_EQ(beats().Label1.Caption(), "");
    EXPECT_EQ(beats().angeschaltet.Text(), "0");
    EXPECT_EQ(beats().Vorix1.get(vx::Status).toInt32(), 0);
}

TEST_F(StartUpTest, StartSetsTheControlUpWaits900MsStartsAndResetsThePlaylist) {
    auto dev = addDevice(sine(97.65625, 8000));
    frmBeats.Show();
    Form2->Text3 = "4";
    Form2->Text4 = "9";
    std::vector<double> completes;
    auto handler = beats().Vorix1.onComplete;
    beats().Vorix1.onComplete = [&](std::int32_t b, std::int32_t buf, double dt) {
        completes.push_back(now());
        handler(b, buf, dt);
    };
    // Half-way through the wait the device is open but not yet started.
    int statusDuringWait = -1;
    std::string text3DuringWait;
    platform::LoopTimer probe([&] {
        statusDuringWait = beats().Vorix1.get(vx::Status).toInt32();
        text3DuringWait = Form2->Text3.Text();
    });
    probe.setInterval(450);
    probe.setEnabled(true);

    beats().cmdStart.setValue(true);
    probe.setEnabled(false);
    EXPECT_EQ(now(), 900);
    EXPECT_EQ(beats().Vorix1.site.changed, (std::vector<std::string>{"Threshold", "SpS", "Samples", "Buffers", "LoopMethod",
                                                                    "Device", "Analysis", "Recording"}));
    EXPECT_EQ(dev->openCount(), 1);
    EXPECT_EQ(dev->lastFormat().nSamplesPerSec, 50000u);
    EXPECT_EQ(statusDuringWait & 4, 0);
    EXPECT_EQ(text3DuringWait, "4");
    EXPECT_EQ(beats().Vorix1.get(vx::Status).toInt32() & 4, 4);
    EXPECT_DOUBLE_EQ(beats().HzPerBin, 48.828125);
    EXPECT_EQ(Form2->Text3.Text(), "0");
    EXPECT_EQ(Form2->Text4.Text(), "0");
    EXPECT_TRUE(Form2->Timer1A.Enabled());
    EXPECT_EQ(beats().angeschaltet.Text(), "1");
    EXPECT_TRUE(Form1->Visible());

    advance(200);
    ASSERT_FALSE(completes.empty());
    EXPECT_EQ(completes.front(), 1020);

    // Pressed again: set up and waited for again, the playlist restarts; the open device stays.
    Form2->Text3 = "3";
    beats().cmdStart.setValue(true);
    EXPECT_EQ(now(), 2000);
    EXPECT_EQ(Form2->Text3.Text(), "0");
    EXPECT_EQ(dev->openCount(), 1);
    const std::size_t before = completes.size();
    advance(100);
    EXPECT_GT(completes.size(), before);
}

TEST_F(StartUpTest, ADeviceThatCannotBeOpenedGivesTheMessageAndNoCapture) {
    auto dev = addDevice();
    dev->failOpen(4, "Scripted input is in use");
    frmBeats.Show();
    beats().cmdStart.setValue(true);
    EXPECT_EQ(now(), 0);  // no wait
    const auto boxes = dialogs.messages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Korvella");
    EXPECT_EQ(boxes[0].text.rfind("Wavedevice cannot be opened!", 0), 0u) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("Function InitX in clsVorix"), std::string::npos);
    EXPECT_EQ(boxes[0].style, platform::MB_ICONEXCLAMATION);
    EXPECT_EQ(platform::openWaveHandleCount(), 0u);
    EXPECT_EQ(beats().Vorix1.get(vx::Status).toInt32(), 0);
    EXPECT_EQ(beats().angeschaltet.Text(), "0");
    EXPECT_FALSE(Form2->Timer1A.Enabled());
    advance(500);
    EXPECT_EQ(beats().Text1.Text(), "0");

    // No input device at all: the same.
    platform::resetWaveDevices();
    beats().cmdStart.setValue(true);
    ASSERT_EQ(dialogs.messages().size(), 2u);
    EXPECT_EQ(dialogs.messages()[1].text.rfind("Wavedevice cannot be opened!", 0), 0u);
    EXPECT_EQ(platform::openWaveHandleCount(), 0u);
}

TEST_F(StartUpTest, WithoutTheRegisteredControlTheWindowLoadsAndStartSaysWhy) {
    ASSERT_EQ(platform::com::callRegistrationEntry(WAVORIX_LIBRARY, true), platform::com::S_OK);
    addDevice();
    frmBeats.Show();
    EXPECT_FALSE(beats().Vorix1.created());
    EXPECT_TRUE(Form4.isLoaded());
    beats().cmdStart.setValue(true);
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].text, "ActiveX component can't create object\r\nclass prjVorix.Vorix is not registered");
    EXPECT_EQ(platform::openWaveHandleCount(), 0u);
    // Closing still ends the program.
    frmBeats.Unload(0);
    EXPECT_TRUE(forms::Application::ended());
}

// The registration on a full disk: its error names the store, the file and the system's reason,
// and "Start" shows that reason, not only that the control cannot be made.
TEST_F(StartUpTest, AFailedRegistrationSaysWhyAndStartShowsIt) {
    ASSERT_EQ(platform::com::callRegistrationEntry(WAVORIX_LIBRARY, true), platform::com::S_OK);
    const std::string store = platform::registryFilePath();
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit full = old;
    full.rlim_cur = std::filesystem::file_size(store);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
    const auto hr = platform::com::callRegistrationEntry(WAVORIX_LIBRARY, false);
    const std::string why = platform::com::lastCreateError();
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_NE(hr, platform::com::S_OK);
    EXPECT_EQ(why, "cannot write the registry store " + store + ": File too large");

    addDevice();
    frmBeats.Show();
    beats().cmdStart.setValue(true);
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].text, "ActiveX component can't create object\r\nclass prjVorix.Vorix is not registered "
                                          "(registering " + std::string(WAVORIX_LIBRARY) + " failed: " + why + ")");
}

TEST_F(StartUpTest, StopAndResetTouchOnlyTheirFlags) {
    frmBeats.Show();
    beats().Command3.setValue(true);  // before any start
    EXPECT_EQ(beats().angeschaltet.Text(), "0");
    EXPECT_FALSE(Form2->Timer1A.Enabled());

    addDevice(sine(97.65625, 8000));
    beats().cmdStart.setValue(true);
    beats().Command3.setValue(true);
    EXPECT_FALSE(Form2->Timer1A.Enabled());
    EXPECT_EQ(beats().angeschaltet.Text(), "0");
    EXPECT_EQ(beats().Vorix1.get(vx::Status).toInt32() & 4, 4);  // capture goes on

    beats().Text1 = "5";
    beats().Command2.setValue(true);
    EXPECT_EQ(beats().Text1.Text(), "0");
}

TEST_F(StartUpTest, MenusShowTheirWindowsAndSaveDoesNothing) {
    frmBeats.Show();
    beats().Save.userClick();
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_FALSE(Form2->Visible());
    beats().Lighteditor.userClick();
    EXPECT_TRUE(Form2->Visible());
    beats().Livesteuerng.userClick();
    EXPECT_TRUE(Form5->Visible());
    beats().Maskeerstelln.userClick();
    EXPECT_TRUE(korvella::frmCustom->Visible());
    beats().dmxceffektsteuerung.userClick();
    EXPECT_TRUE(Form4->Visible());
    beats().dmxcbeat.userClick();
    EXPECT_TRUE(Form3->Visible());
    EXPECT_EQ(beats().File.Caption(), "Datei");
    EXPECT_EQ(beats().dmxc.Caption(), "DMX-Control");
    EXPECT_EQ(beats().dmxcbeat.parentMenu(), &beats().dmxc);
}

TEST_F(StartUpTest, TheFiveHelpBoxesWordForWord) {
    frmBeats.Show();
    for (auto* b : {&beats().Command7, &beats().Command6, &beats().Command1, &beats().Command8, &beats().Command16})
        b->setValue(true);
    const auto boxes = dialogs.messages();
    ASSERT_EQ(boxes.size(), 5u);
    const std::pair<const char*, const char*> expected[] = {
        {"Pegel-Anpassung",
         "Die Pegelanpassung sollte so eingestelt werden, dass die Peak Säulen zwischen der roten und der grünen Linie "
         "verlaufen, da die Lautstärke je nach Lied Abschnitt und Lied varriert, sollte diese Einstellung auf Auto gesetzt "
         "werden."},
        {"Erkennungs-Frequenz",
         "Die Frequenz sollte so eingestellt werden, das möglichst dünne und hohe Peak Säulen in gleichen Abständen "
         "entstehen bzw zum Takt des Kickbasses ohne das andere falsche Säulen Anstiege entstehen die in den "
         "Erkennungsbereich gelangen. Dies kann allerdings je nach Lied varrieren"},
        {"Kickbasslänge",
         "Wenn das Lied einen langen Kickbass hat und die Kickbasserkennung diesen als 2 Kickbässe erkennt muss dieser "
         "Regler höher geschoben werden.\r\n\r\nWenn das Lied allerdings sehr schnelle kurze Kickbässe hat und die "
         "Kickbass Erkennung zulangsam ist, dann muss dieser Regler niedriger eingestellt werden."},
        {"Erkennungs-Bereich",
         "Wenn ein Lied stark varrierende Lautstärken in den Kickbässen hat und Kickbässe nicht erkannt werden, dann muss "
         "der Erkennungsbereich vergrößert werden. Hat das Lied allerdings immer gleichlaute Kickbässe, dann kann das "
         "Erkennungsfeld verkleinert werden um die Erkennungsgenauigkeit zu verbessern."},
        {"Pegel Anpassung Reaktion",
         "Wenn ein Lied eine stark varrierende Lautstärke der Kickbässe hat, dann kann dieser Regler auf minimum geschoben "
         "werden, um eine sofortige Pegelanpassung einzuleiten.\r\nDie Pegel Lautstärke wird erhöht wenn der Kickbass "
         "einmal die komplette Grafik durchfahren hat, danach wird der Pegel angepasst, falls die Pegelanpassung auf auto "
         "steht."},
    };
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(boxes[i].title, expected[i].first);
        EXPECT_EQ(boxes[i].text, expected[i].second) << boxes[i].title;
        EXPECT_EQ(boxes[i].style, platform::MB_OK | platform::MB_ICONINFORMATION);
    }
}

TEST_F(StartUpTest, ClosingRunsTheShutdownStepsInOrderAndEndsTheProgram) {
    addDevice(sine(97.65625, 8000));
    loadAndStart();
    Form2.Show();
    Form4.Show();
    Form5.Load();
    int ends = 0;
    forms::Application::setEndHook([&] { ++ends; });
    FormLog log;
    std::string beendenAtFirstUnload = "?", text2AtFirstUnload = "?";
    log.onUnload = [&](forms::Form& f) {
        if (f.name() != "Form1") return;
        beendenAtFirstUnload = Form4.peekAs()->beenden.Text();
        text2AtFirstUnload = beats().Text2.Text();
    };
    const double t0 = now();
    EXPECT_TRUE(frmBeats.Unload(0));
    forms::Application::setEndHook(nullptr);
    EXPECT_EQ(now() - t0, 500);
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(forms::Application::ended());
    // Form5 is not unloaded one by one, and after the end nothing more is unloaded: the program
    // ends with frmBeats as it was.
    EXPECT_EQ(log.unloaded, (std::vector<std::string>{"Form1", "Form2", "Form3", "Form4"}));
    EXPECT_EQ(beendenAtFirstUnload, "");
    EXPECT_EQ(text2AtFirstUnload, "");
    EXPECT_EQ(platform::openWaveHandleCount(), 0u);
    EXPECT_TRUE(Form5.isLoaded());
}

// Closing the main window while a handler of it waits: the shutdown runs inside the wait, ends
// the program there, and not one more statement of the waiting handler runs (no box, no window
// loaded again, no capture started). The handler is entered from the test (depth 0) or from the
// program's loop.
class EndTest : public StartUpTest {
protected:
    void at(double ms, std::function<void()> fn) {
        rt.virtualClock()->schedule(static_cast<std::int64_t>(ms * 1e6), [this, fn] { loop().post(fn); });
    }
    void press(forms::CommandButton& b, bool fromTheLoop) {
        if (!fromTheLoop) {
            b.setValue(true);
            return;
        }
        loop().post([&b] { b.setValue(true); });
        loop().run();
    }
    // What must hold once the program has ended inside a handler.
    void expectNothingAfterTheEnd(const FormLog& log, int ends) {
        EXPECT_TRUE(forms::Application::ended());
        EXPECT_EQ(ends, 1);
        EXPECT_TRUE(dialogs.shown().empty());
        EXPECT_TRUE(log.loaded.empty()) << "loaded again: " << log.loaded.front();
        EXPECT_FALSE(Form1.isLoaded());
        EXPECT_FALSE(Form2.isLoaded());
        EXPECT_EQ(platform::openWaveHandleCount(), 0u);
        // End unloads nothing more: the main window stays as it was when the program ended.
        EXPECT_EQ(log.unloaded, (std::vector<std::string>{"Form1", "Form2", "Form3", "Form4"}));
        advance(1000);
        EXPECT_TRUE(log.loaded.empty());
        EXPECT_TRUE(dialogs.shown().empty());
    }
    void closeDuringStartsWait(bool fromTheLoop) {
        addDevice(sine(97.65625, 8000));
        frmBeats.Show();
        FormLog log;
        int ends = 0;
        forms::Application::setEndHook([&] { ++ends; });
        const double t0 = now();
        at(t0 + 400, [] { frmBeats.Unload(0); });
        press(beats().cmdStart, fromTheLoop);
        forms::Application::setEndHook(nullptr);
        EXPECT_EQ(now() - t0, 400 + 500) << "the shutdown's own wait, then nothing";
        EXPECT_EQ(beats().angeschaltet.Text(), "0");
        expectNothingAfterTheEnd(log, ends);
    }
    void closeDuringAStrobe(bool fromTheLoop) {
        frmBeats.Show();
        beats().Option3.setValue(true);
        FormLog log;
        int ends = 0;
        forms::Application::setEndHook([&] { ++ends; });
        const double t0 = now();
        at(t0 + 10, [] { frmBeats.Unload(0); });
        press(beats().Command5, fromTheLoop);
        forms::Application::setEndHook(nullptr);
        EXPECT_EQ(now() - t0, 10 + 500);
        expectNothingAfterTheEnd(log, ends);
    }
};

TEST_F(EndTest, ClosingDuringStartsWaitEndsTheProgramThere) { closeDuringStartsWait(false); }
TEST_F(EndTest, ClosingDuringStartsWaitEndsTheProgramThereFromTheLoop) { closeDuringStartsWait(true); }
TEST_F(EndTest, ClosingDuringAStrobeEndsTheProgramThere) { closeDuringAStrobe(false); }
TEST_F(EndTest, ClosingDuringAStrobeEndsTheProgramThereFromTheLoop) { closeDuringAStrobe(true); }

}  // namespace
}  // namespace korvella_test
