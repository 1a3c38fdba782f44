// korvella-sim: its arguments, its lines, and end to end on generated tracks.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fixture.h"
#include "korvella/sim/ScenarioRunner.h"
#include "platform/storage/files.h"
#include "platform/storage/settings.h"
#include "platform/audio/wave_file.h"
#include "track.h"

namespace korvella_test {
namespace {

namespace sim = korvella::sim;

struct Line {
    double ms;
    std::string kind;
    std::string details;
};

std::vector<Line> parse(const std::string& out) {
    std::vector<Line> lines;
    std::istringstream in(out);
    std::string s;
    while (std::getline(in, s)) {
        std::istringstream l(s);
        Line line;
        l >> line.ms >> line.kind;
        std::getline(l >> std::ws, line.details);
        lines.push_back(line);
    }
    return lines;
}

class SimTest : public KorvellaTest {
protected:
    std::string writeTrack(const Track& t, const std::string& name) {
        const auto path = tempPath(name).string();
        std::string error;
        EXPECT_TRUE(platform::writeSoundFile(path, t.samples, 1, t.rate, &error)) << error;
        return path;
    }
    int run(std::vector<std::string> args, std::string& out, std::string& err) {
        std::string why;
        auto o = sim::parseArguments(args, why);
        EXPECT_TRUE(o) << why;
        if (!o) return -1;
        o->library = WAVORIX_LIBRARY;
        std::ostringstream os, es;
        const int rc = sim::run(*o, os, es);
        out = os.str();
        err = es.str();
        return rc;
    }
};

TEST(SimArguments, WhatCannotBeUsedIsSaidClearly) {
    std::string error;
    auto expectError = [&](std::vector<std::string> args, const std::string& part) {
        EXPECT_FALSE(sim::parseArguments(args, error));
        EXPECT_NE(error.find(part), std::string::npos) << error;
    };
    expectError({}, "--input FILE is required");
    expectError({"--input"}, "--input needs a value");
    expectError({"--input", "a.wav", "--seconds", "-2"}, "positive number");
    expectError({"--input", "a.wav", "--seconds", "ten"}, "positive number");
    expectError({"--input", "a.wav", "--at", "100", "click"}, "--at needs MS ACTION (2 of its 3 values given)");
    expectError({"--input", "a.wav", "--at", "x", "click", "frmBeats.cmdStart"}, "time in ms");
    expectError({"--input", "a.wav", "--at", "0", "press", "frmBeats.cmdStart"}, "unknown action");
    expectError({"--input", "a.wav", "--at", "0", "click", "cmdStart"}, "not FORM.CONTROL");
    expectError({"--input", "a.wav", "--at", "0", "click", "Form9.X"}, "no window \"Form9\"");
    expectError({"--input", "a.wav", "--at", "0", "set", "frmBeats.VScroll4"}, "--at 0 set frmBeats.VScroll4 needs a VALUE");
    expectError({"--input", "a.wav", "--verbose"}, "unknown argument");
    // Times past any run: refused, never wrapped round to 0 ms.
    expectError({"--input", "a.wav", "--at", "1e13", "click", "frmBeats.cmdStart"}, "from 0 to 86400000");
    expectError({"--input", "a.wav", "--at", "1e300", "click", "frmBeats.cmdStart"}, "time in ms");
    expectError({"--input", "a.wav", "--seconds", "1e13"}, "positive number up to 86400");
    expectError({"--input", "a.wav", "--at", "5000", "click", "frmBeats.cmdStart", "--seconds", "2"},
                "--at 5000 click frmBeats.cmdStart is after the end of the run (--seconds 2)");
    expectError({"--input", "a.wav", "--at", "0", "key", "F13", "100"}, "not a key (F1 to F12)");
    expectError({"--input", "a.wav", "--at", "0", "key", "F3", "lang"}, "time it is held");
    expectError({"--input", "a.wav", "--at", "0", "clickrow", "Form2.List1"}, "--at 0 clickrow Form2.List1 needs a ROW");
    expectError({"--input", "a.wav", "--at", "0", "key", "F1"},
                "--at 0 key F1 needs the time it is held in ms (key F1..F12 HOLD_MS)");
    // Nothing runs after the main window's close box: what comes later is refused, whatever its place.
    expectError({"--input", "a.wav", "--at", "900", "click", "Form2.Command3", "--at", "500", "close", "frmBeats"},
                "--at 900 click Form2.Command3 is after the end of the program (--at 500 close frmBeats)");
    expectError({"--input", "a.wav", "--at", "500", "close", "frmBeats", "--at", "500", "close", "Form5"},
                "--at 500 close Form5 is after the end of the program (--at 500 close frmBeats)");
    expectError({"--input", "a.wav", "--at", "0", "close", "Form9"}, "no window \"Form9\"");

    auto o = sim::parseArguments({"--input", "a.wav", "--seconds", "2.5", "--at", "0", "click", "frmBeats.cmdStart", "--at",
                                  "1500", "text", "frmBeats.txtFrom", "90 Hz", "--loop"},
                                 error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->input, "a.wav");
    EXPECT_EQ(o->seconds, 2.5);
    EXPECT_TRUE(o->loopInput);
    ASSERT_EQ(o->actions.size(), 2u);
    EXPECT_EQ(o->actions[1].describe(), "text frmBeats.txtFrom 90 Hz");
    EXPECT_EQ(o->actions[1].ms, 1500);
}

TEST_F(SimTest, AFileThatCannotBePlayedStopsBeforeTheProgramStarts) {
    std::ofstream(tempPath("notes.wav")) << "no sound here";
    std::string out, err;
    EXPECT_EQ(run({"--input", tempPath("notes.wav").string()}, out, err), 1);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("cannot play"), std::string::npos) << err;
    EXPECT_EQ(run({"--input", tempPath("missing.wav").string()}, out, err), 1);
}

TEST_F(SimTest, ActionsAtTheirTimesAndTheirFailuresAsLines) {
    TrackSpec spec;
    spec.seconds = 2;
    const std::string file = writeTrack(makeTrack(spec), "short.wav");
    std::string out, err;
    const int rc = run({"--input", file, "--seconds", "1.5", "--at", "0", "click", "frmBeats.Command5", "--at", "100", "text",
                        "frmBeats.Text1", "7", "--at", "200", "set", "frmBeats.VScroll4", "500", "--at", "300", "click",
                        "frmBeats.Nothing", "--at", "400", "click", "frmBeats.Command7", "--at", "500", "set", "frmBeats.Text1",
                        "3"},
                       out, err);
    EXPECT_EQ(rc, 3);
    const auto lines = parse(out);
    std::vector<std::string> got;
    for (const auto& l : lines) got.push_back(std::to_string(static_cast<int>(l.ms)) + " " + l.kind + " " + l.details);
    ASSERT_EQ(got.size(), 9u) << out;
    EXPECT_EQ(got[0], "0 player Visible 0");
    EXPECT_EQ(got[1], "35 player Visible 1");
    EXPECT_EQ(got[2], "100 beat 7");  // before "Start" the beat plays nothing
    // The counter's change loads the live desk hidden; its first tick loads dimmer 0.
    EXPECT_EQ(got[3].rfind("101 player LoadMovie 999 ", 0), 0u) << got[3];
    EXPECT_NE(got[3].find("Dimmer/0.swf"), std::string::npos) << got[3];
    EXPECT_EQ(got[4], "200 error set frmBeats.VScroll4 500: run-time error 380: Invalid property value");
    EXPECT_EQ(got[5], "300 error click frmBeats.Nothing: no control Nothing on frmBeats");
    EXPECT_EQ(got[6].rfind("400 msgbox Pegel-Anpassung | Die Pegelanpassung", 0), 0u) << got[6];
    EXPECT_EQ(got[7], "500 error set frmBeats.Text1 3: Text1 has no value to set (text boxes take 'text')");
    EXPECT_EQ(got[8], "1500 end Text1=7 MissedCount=0 Blocks=0 Analysed=0");
}

// "Einstellungen Speichern" under a file size limit (ulimit -f): the program goes on to its end
// and the saved settings stay as they were; registering the library again as it stands needs
// no room. Run in a child process, which has the signal disposition of the program: nothing in
// this test ignores SIGXFSZ.
TEST_F(SimTest, ASaveUnderAFileSizeLimitNeitherKillsTheProgramNorLosesSettings) {
    TrackSpec spec;
    spec.seconds = 1;
    const std::string file = writeTrack(makeTrack(spec), "one.wav");
    const std::string key = "HKEY_LOCAL_MACHINE\\Software\\Korvella\\Save\\";
    platform::RegWrite(key + "Save1", "F5");
    platform::RegWrite(key + "Save7", std::string(300, 'p'));
    auto child = [&] {
        const auto before = std::filesystem::file_size(platform::registryFilePath());
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit limit = old;
        limit.rlim_cur = before / 2;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        // Registered before the limit (by the fixture), as an installation is, and again by the run.
        std::string why;
        auto o = sim::parseArguments({"--input", file, "--seconds", "0.5", "--at", "100", "click", "Form5.Command18"}, why);
        if (o) o->library = WAVORIX_LIBRARY;
        std::ostringstream os, es;
        const int rc = o ? sim::run(*o, os, es) : -1;
        const std::string out = os.str();
        const bool kept = std::filesystem::file_size(platform::registryFilePath()) == before &&
                          platform::RegRead(key + "Save1") == "F5" && platform::RegRead(key + "Save7") == std::string(300, 'p');
        ::setrlimit(RLIMIT_FSIZE, &old);  // so that this line reaches the test
        std::fprintf(stderr, "rc %d kept %d end %d\n", rc, kept, out.find(" end Text1=") != std::string::npos);
        std::exit(rc == 0 && kept ? 0 : 1);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "rc 0 kept 1 end 1");
}

// A pipe named as an effect in a desk slot and as the saved mask: "Laden" and "Gespeichertes
// Maskenbild übernehmen" refuse it at once with the reason, and the program goes on. In a child
// process with an alarm, so that a hang fails the test instead of holding the suite.
TEST_F(SimTest, APipeNamedAsAMovieIsRefusedWithItsReasonAndNothingHangs) {
    TrackSpec spec;
    spec.seconds = 1;
    const std::string file = writeTrack(makeTrack(spec), "one.wav");
    const std::string home = platform::appPath();
    std::filesystem::create_directories(home + "/Effekts");
    ASSERT_EQ(::mkfifo((home + "/Effekts/pipe.swf").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((home + "/maske.swf").c_str(), 0600), 0);
    auto child = [&] {
        ::alarm(60);
        std::string why;
        auto o = sim::parseArguments({"--input", file, "--seconds", "0.5", "--at", "100", "text", "Form5.Text2",
                                      "\\Effekts\\pipe.swf", "--at", "200", "click", "Form5.Command14", "--at", "300",
                                      "click", "frmCustom.Command9"},
                                     why);
        std::ostringstream os, es;
        const int rc = o ? sim::run(*o, os, es) : -1;
        const std::string out = os.str();
        std::fprintf(stderr, "rc %d loaded %d end %d\n", rc,
                     out.find("player LoadMovie 0 " + home + "\\Effekts\\pipe.swf") != std::string::npos &&
                         out.find("player LoadMovie 9999 " + home + "/maske.swf") != std::string::npos,
                     out.find(" end Text1=") != std::string::npos);
        std::exit(rc == 0 ? 0 : 1);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0),
                "layer 0: cannot read .*pipe.swf.*is a pipe.*layer 9999: cannot read .*maske.swf.*is a pipe.*"
                "rc 0 loaded 1 end 1");
}

TEST_F(SimTest, TheOperatorsListClicksPicksKeysAndCloseBox) {
    TrackSpec spec;
    spec.seconds = 3;
    const std::string file = writeTrack(makeTrack(spec), "ops.wav");
    std::string out, err;
    const int rc = run({"--input", file, "--seconds", "3", "--dmxc", "3",
                        // KommandoBox effects by a click on their names (the finder has run at 500 ms)
                        "--at", "600", "clickrow", "Form4.List2", "1", "--at", "700", "clickrow", "Form4.List2", "1",
                        // a double click in the editor's effect list fires once and inserts; the new row exists
                        "--at", "900", "dblclickrow", "Form2.List3", "2", "--at", "1100", "clickrow", "Form2.List1", "0",
                        // the right button removes the marked row: row 0 is gone after it
                        "--at", "1200", "rightclickrow", "Form2.List1", "0", "--at", "1250", "clickrow", "Form2.List1", "0",
                        // slot 1's hot key F3, held for 20 ms
                        "--at", "1300", "pick", "Form5.Combo1", "F3", "--at", "1400", "key", "F3", "20",
                        "--at", "1500", "pick", "Form5.Combo1", "F99", "--at", "1600", "clickrow", "Form4.List2", "7",
                        // hidden windows (the desk loaded by the pick) and one never loaded
                        "--at", "1700", "close", "Form2", "--at", "1750", "close", "Form5", "--at", "1800", "close",
                        "frmCustom", "--at", "2000", "close", "frmBeats"},
                       out, err);
    EXPECT_EQ(rc, 3) << err;
    std::vector<std::string> fired, errors, loads, ends;
    for (const auto& l : parse(out)) {
        const std::string line = std::to_string(static_cast<int>(l.ms)) + " " + l.details;
        if (l.kind == "dmxc" && l.details.rfind("fired", 0) == 0) fired.push_back(line.substr(0, line.rfind(' ')));
        if (l.kind == "error") errors.push_back(line);
        if (l.kind == "player" && l.details.rfind("LoadMovie 0 ", 0) == 0) loads.push_back(std::to_string(static_cast<int>(l.ms)));
        if (l.kind == "end") ends.push_back(std::to_string(static_cast<int>(l.ms)));
    }
    // The stand-in counts its buttons from 1 and reports a press at the button's release (70 ms).
    EXPECT_EQ(fired, (std::vector<std::string>{"670 fired 2", "770 fired 2", "960 fired 3"}))
        << "the same name clicked again fires again; a double click fires once";
    EXPECT_EQ(errors, (std::vector<std::string>{"1250 clickrow Form2.List1 0: no row 0 in List1 (the list is empty)",
                                                "1500 pick Form5.Combo1 F99: no item \"F99\" in Combo1",
                                                "1600 clickrow Form4.List2 7: no row 7 in List2 (rows 0 to 2)",
                                                "1700 close Form2: Form2 is hidden (its close box is not on the screen)",
                                                "1750 close Form5: Form5 is hidden (its close box is not on the screen)",
                                                "1800 close frmCustom: frmCustom is not open"}));
    // The hot key loads slot 1 at every look of its 5 ms timer while it is held.
    ASSERT_FALSE(loads.empty()) << out;
    EXPECT_EQ(loads.front(), "1400");
    EXPECT_LE(std::stoi(loads.back()), 1420);
    EXPECT_EQ(ends, (std::vector<std::string>{"2500"})) << "closing the main window shuts the program down (its wait: 500 ms)";
}

// "Lade Playlist" answered with "Abbrechen" (the runner cancels every file box): the show built
// before it is still there and plays.
TEST_F(SimTest, ACancelledPlaylistLoadKeepsTheShow) {
    TrackSpec spec;
    spec.seconds = 2;
    const std::string file = writeTrack(makeTrack(spec), "cancel.wav");
    std::string out, err;
    const int rc = run({"--input", file, "--seconds", "1.5", "--at", "0", "dblclickrow", "Form2.File1", "0", "--at", "10",
                        "click", "Form2.Command6", "--at", "20", "clickrow", "Form2.List1", "0", "--at", "30", "click",
                        "frmBeats.cmdStart"},
                       out, err);
    EXPECT_EQ(rc, 0) << out;
    std::vector<Line> effects;
    for (const auto& l : parse(out)) {
        EXPECT_NE(l.kind, "error") << l.details;
        if (l.kind == "player" && l.details.rfind("LoadMovie 0 ", 0) == 0) effects.push_back(l);
    }
    // The one entry plays once "Start" has waited its 900 ms (and again on every tick: it is the
    // whole playlist).
    ASSERT_FALSE(effects.empty()) << out;
    EXPECT_EQ(effects.front().ms, 931);
    const std::string& first = effects.front().details;
    EXPECT_EQ(first.rfind("LoadMovie 0 " + platform::appPath() + "\\Effekts\\", 0), 0u) << first;
    EXPECT_EQ(first.substr(first.size() - 4), ".swf") << first;
}

TEST_F(SimTest, PressesOnAnotherProgramsButtonsAreSendLines) {
    TrackSpec spec;
    spec.seconds = 3;
    const std::string file = writeTrack(makeTrack(spec), "three.wav");
    std::string why;
    auto o = sim::parseArguments({"--input", file, "--seconds", "2.5", "--at", "0", "click", "frmBeats.cmdStart"}, why);
    ASSERT_TRUE(o) << why;
    o->library = WAVORIX_LIBRARY;
    platform::HWND button = 0;
    o->prepare = [&] {
        button = platform::WindowRegistry::current().create("ThunderRT6UserControlDC", "Effekt 1");
        Form2->HandleDMXC.AddItem(std::to_string(button));
    };
    std::ostringstream out, err;
    ASSERT_EQ(sim::run(*o, out, err), 0) << err.str();
    const auto lines = parse(out.str());
    std::vector<double> beatsAt, downsAt, upsAt;
    for (const auto& l : lines) {
        if (l.kind == "beat") beatsAt.push_back(l.ms);
        if (l.kind == "send" && l.details == std::to_string(button) + " 0x201 0 0") downsAt.push_back(l.ms);
        if (l.kind == "send" && l.details == std::to_string(button) + " 0x202 0 0") upsAt.push_back(l.ms);
    }
    ASSERT_FALSE(beatsAt.empty()) << out.str();
    EXPECT_EQ(downsAt, beatsAt);
    ASSERT_EQ(upsAt.size(), beatsAt.size());
    for (std::size_t i = 0; i < upsAt.size(); ++i) EXPECT_EQ(upsAt[i] - downsAt[i], 60);
    // The program's own messages (the control's channel, its wave window) are not listed.
    for (const auto& l : lines) {
        if (l.kind == "send") {
            EXPECT_EQ(l.details.rfind(std::to_string(button) + " ", 0), 0u) << l.details;
        }
    }
}

struct Counted {
    double inputStart = -1;
    std::vector<double> beats;  // times of counted beats (Text1 above 0)
    std::vector<double> plays;
    std::string end;
};

Counted collect(const std::string& out) {
    Counted c;
    for (const auto& l : parse(out)) {
        if (l.kind == "input" && l.details == "start") c.inputStart = l.ms;
        if (l.kind == "beat" && l.details != "0") c.beats.push_back(l.ms);
        if (l.kind == "player" && l.details == "Play") c.plays.push_back(l.ms);
        if (l.kind == "end") c.end = l.details;
    }
    return c;
}

class EndToEndTest : public SimTest, public ::testing::WithParamInterface<double> {};

TEST_P(EndToEndTest, EveryKickIsCountedOnceAndPlaysTheMovie) {
    TrackSpec spec;
    spec.bpm = GetParam();
    spec.seconds = 20;
    const Track track = makeTrack(spec);
    const std::string file = writeTrack(track, "track.wav");
    std::string out, err;
    ASSERT_EQ(run({"--input", file, "--at", "0", "click", "frmBeats.cmdStart"}, out, err), 0) << err;
    const Counted c = collect(out);
    ASSERT_GE(c.inputStart, 0);
    ASSERT_FALSE(c.beats.empty());

    // Every counted beat belongs to a kick: it comes 0 to 200 ms after the kick's onset.
    auto kickOf = [&](double beatMs) {
        for (std::size_t k = 0; k < track.kickMs.size(); ++k) {
            const double d = beatMs - (c.inputStart + track.kickMs[k]);
            if (d >= 0 && d <= 200) return static_cast<int>(k);
        }
        return -1;
    };
    std::vector<int> kicksCounted(track.kickMs.size(), 0);
    for (double b : c.beats) {
        const int k = kickOf(b);
        EXPECT_GE(k, 0) << "a beat at " << b << " ms with no kick before it";
        if (k >= 0) ++kicksCounted[static_cast<std::size_t>(k)];
    }
    // Once the level has settled (after 4 s of input), each kick is counted exactly once.
    const double endMs = c.inputStart + spec.seconds * 1000;
    for (std::size_t k = 0; k < track.kickMs.size(); ++k) {
        if (track.kickMs[k] >= 4000 && c.inputStart + track.kickMs[k] + 200 < endMs) {
            EXPECT_EQ(kicksCounted[k], 1) << "kick " << k << " at " << track.kickMs[k] << " ms";
        }
    }
    // Never twice within the lock.
    for (std::size_t i = 1; i < c.beats.size(); ++i) EXPECT_GT(c.beats[i] - c.beats[i - 1], 100);
    // The movie plays with each counted beat.
    EXPECT_EQ(c.plays, c.beats);
    EXPECT_EQ(c.end.rfind("Text1=" + std::to_string(c.beats.size()) + " ", 0), 0u) << c.end;
}

INSTANTIATE_TEST_SUITE_P(Tempos, EndToEndTest, ::testing::Values(120.0, 174.0),
                         [](const auto& info) { return std::to_string(static_cast<int>(info.param)) + "bpm"; });

#ifdef KORVELLA_ASSETS_DIR
// The demo track the run command plays where there is no sound card: "Start" counts its kicks.
TEST_F(SimTest, TheDeliveredDemoTrackIsAMinuteOfCountedKicks) {
    std::string out, err;
    ASSERT_EQ(run({"--input", KORVELLA_ASSETS_DIR "/Demo.flac", "--at", "0", "click", "frmBeats.cmdStart"}, out, err), 0)
        << err;
    const Counted c = collect(out);
    ASSERT_GE(c.inputStart, 0);
    // 120 a minute from 0.5 s on; Start listens from about 1 s.
    EXPECT_GE(c.beats.size(), 115u);
    EXPECT_LE(c.beats.size(), 119u);
    for (std::size_t i = 1; i < c.beats.size(); ++i) EXPECT_NEAR(c.beats[i] - c.beats[i - 1], 500, 60) << i;
}
#endif

}  // namespace
}  // namespace korvella_test
