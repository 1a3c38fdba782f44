// korvella-sim --input FILE [--seconds S] [--loop] [--library PATH] [--dmxc N] [--at MS ACTION]...
// Registers the audio control library beside this program (unless --library names another) and
// runs the scenario; with --dmxc N a stand-in for DMXControl (N effect buttons) runs beside it.
// The line format is in korvella/sim/ScenarioRunner.h and the README.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "korvella/sim/ScenarioRunner.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const auto& a : args)
        if (a == "--help" || a == "-h") {
            std::cout << korvella::sim::usage();
            return 0;
        }
    std::string error;
    auto options = korvella::sim::parseArguments(args, error);
    if (!options) {
        std::cerr << "korvella-sim: " << error << '\n' << korvella::sim::usage();
        return 2;
    }
    if (options->library.empty()) {
        std::error_code ec;
        const auto beside = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "libwavorix.so";
        if (!ec && std::filesystem::exists(beside)) options->library = beside.string();
    }
    std::ios::sync_with_stdio(false);
    return korvella::sim::run(*options, std::cout, std::cerr);
}
