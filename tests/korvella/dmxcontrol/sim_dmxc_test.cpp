// korvella-sim --dmxc: DMXControl's stand-in beside the headless program, and its lines.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "../fixture.h"
#include "korvella/sim/ScenarioRunner.h"
#include "platform/audio/wave_file.h"

namespace korvella_test {
namespace {

namespace sim = korvella::sim;

TEST(SimDmxcArguments, TheNumberOfButtonsIsChecked) {
    std::string error;
    for (const char* bad : {"-1", "2.5", "501", "drei", ""}) {
        EXPECT_FALSE(sim::parseArguments({"--input", "a.wav", "--dmxc", bad}, error)) << bad;
        EXPECT_EQ(error, std::string("--dmxc takes a number of buttons from 0 to 500, not \"") + bad + "\"");
    }
    auto o = sim::parseArguments({"--input", "a.wav", "--dmxc", "12"}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->dmxcButtons, 12);
}

TEST_F(KorvellaTest, SimDmxcPrintsTheStandInsWindowsAndWhatItDid) {
    const std::string file = tempPath("quiet.wav").string();
    std::string why;
    ASSERT_TRUE(platform::writeSoundFile(file, std::vector<std::int16_t>(44100, 0), 1, 44100, &why)) << why;
    auto o = sim::parseArguments({"--input", file, "--seconds", "1.5", "--dmxc", "3", "--at", "600", "click", "Form4.Command2"}, why);
    ASSERT_TRUE(o) << why;
    o->library = WAVORIX_LIBRARY;
    std::ostringstream out, err;
    ASSERT_EQ(sim::run(*o, out, err), 0) << err.str();

    std::map<std::string, std::string> handleOf;  // role -> handle
    std::vector<std::string> did, sends;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) {
        std::istringstream l(line);
        std::string ms, kind, rest, h, role;
        l >> ms >> kind >> std::ws;
        std::getline(l, rest);
        if (kind == "dmxc" && rest.rfind("window ", 0) == 0) {
            std::istringstream(rest.substr(7)) >> h >> std::ws >> role;
            handleOf[rest.substr(8 + h.size())] = h;
        } else if (kind == "dmxc") {
            did.push_back(ms + " " + rest);
        } else if (kind == "send") {
            sends.push_back(ms + " " + rest);
        }
    }
    ASSERT_EQ(handleOf.size(), 13u) << out.str();
    EXPECT_EQ(did, (std::vector<std::string>{"602 edit on", "602 editing 1 Blitz", "602 editing 1 Blitz", "603 name Blitz",
                                             "607 editing 2 Lauflicht", "607 editing 2 Lauflicht", "608 name Lauflicht",
                                             "612 editing 3 Nebel", "612 editing 3 Nebel", "613 name Nebel", "618 name Nebel",
                                             "620 edit off"}));
    ASSERT_GE(sends.size(), 13u);
    EXPECT_EQ(sends[0], "602 " + handleOf["checkbox"] + " 0xF0 0 0");
    EXPECT_EQ(sends[3], "602 " + handleOf["button 1"] + " 0x201 0 0");
    EXPECT_EQ(sends[11], "602 " + handleOf["name"] + " 0xD 32767 buffer");
    EXPECT_EQ(sends[12], "603 " + handleOf["settings"] + " 0x100 33 0");
    EXPECT_NE(out.str().find("\n1500 end "), std::string::npos);
}

}  // namespace
}  // namespace korvella_test
