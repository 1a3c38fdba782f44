// The CPU share of the windowed program playing a show: korvella with the offscreen Qt view on a
// 1920 x 1080 screen (the offscreen platform's screen set by its configuration file), the real
// clock and a generated track as the sound-file input, "Start" pressed at once. Three runs:
//
//   baseline   the projector window at its design size of 1280 x 720, black (no effect loaded)
//   1280x720   the same with a sample effect (Effekts/Balken.swf) playing on the projector
//   1920x1080  the same with the projector maximised ("Beamer Maximieren"), filling the screen
//
// Each run measures SECONDS (default 20) after a warm-up of 5 s, so that start-up and the
// "Start" wait are not counted, through the program's own CPU meter (KORVELLA_CPU_METER): the
// CPU time of all its threads over the wall time, and where the user-interface thread's part went
// (the loop itself with the program's timers, capture and plot, view updates, projector
// rendering, projector display); the other threads (sound-file input, capture timer) count as
// capture. The DMXControl bridge is off (KORVELLA_WINE=0, and a WINEPREFIX of its own in the
// temporary folder should it start anyway), so the figures are the program's own.
// Targets: 1280x720 at most 6 % of one core, 1920x1080 at most 10 %.
//
//   korvella_cpu_bench [SECONDS]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "korvella/track.h"
#include "platform/audio/wave_file.h"

namespace {

constexpr double kWarmUpSeconds = 5;

struct Figures {
    bool ok = false;
    double wall = 0, process = 0, main = 0, capture = 0, view = 0, render = 0, display = 0;
    double loop() const { return main - capture - view - render - display; }
    double threads() const { return process - main; }
};

// "korvella: cpu-meter wall=... process=... ..." from the program's error output.
Figures parse(const std::string& log) {
    Figures f;
    const auto at = log.find("cpu-meter ");
    if (at == std::string::npos) return f;
    std::istringstream in(log.substr(at + 10, log.find('\n', at) - at - 10));
    std::map<std::string, double> v;
    for (std::string item; in >> item;)
        if (const auto eq = item.find('='); eq != std::string::npos) v[item.substr(0, eq)] = std::atof(item.c_str() + eq + 1);
    f.wall = v["wall"];
    f.process = v["process"];
    f.main = v["main"];
    f.capture = v["capture"];
    f.view = v["view"];
    f.render = v["render"];
    f.display = v["display"];
    f.ok = f.wall > 0;
    return f;
}

Figures run(const std::filesystem::path& dir, const std::string& track, const std::string& screen, double seconds,
            const std::vector<std::string>& extra) {
    std::error_code ec;
    std::filesystem::remove_all(dir / "home", ec);
    std::filesystem::remove_all(dir / "config", ec);
    const std::string log = (dir / "log.txt").string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) ::dup2(fd, 2);
        const std::string platform = "offscreen:configfile=" + screen;
        ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
        ::setenv("KORVELLA_NO_SYSTEM_AUDIO", "1", 1);
        ::setenv("KORVELLA_INPUT_FILE", track.c_str(), 1);
        ::setenv("KORVELLA_INPUT_LOOP", "1", 1);
        ::setenv("KORVELLA_HOME", (dir / "home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        ::setenv("KORVELLA_WINE", "0", 1);
        ::setenv("WINEPREFIX", (dir / "wine").c_str(), 1);
        ::setenv("KORVELLA_CPU_METER", std::to_string(kWarmUpSeconds).c_str(), 1);
        const std::string after = std::to_string(kWarmUpSeconds + seconds);
        std::vector<std::string> args = {"korvella", "--start"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {"--quit-after", after});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(KORVELLA_PROGRAM, argv.data());
        std::perror("korvella_cpu_bench: " KORVELLA_PROGRAM);
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) < 0) return {};
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "korvella_cpu_bench: korvella ended with status %d:\n%s", status, text.str().c_str());
        return {};
    }
    const Figures f = parse(text.str());
    if (!f.ok) std::fprintf(stderr, "korvella_cpu_bench: no CPU meter report from korvella:\n%s", text.str().c_str());
    return f;
}

double pct(double cpu, double wall) { return 100.0 * cpu / wall; }

void print(const char* name, const Figures& f, const Figures& base, double target) {
    const double total = pct(f.process, f.wall);
    std::printf("%-10s %5.1f %% of one core (%4.2f times the baseline)", name, total, f.process / f.wall / (base.process / base.wall));
    if (target > 0) std::printf(", target at most %.0f %%: %s", target, total <= target ? "met" : "NOT met");
    std::printf("\n");
    auto part = [&](const char* what, double cpu, double baseCpu) {
        std::printf("    %-44s %5.2f %% of one core  %5.1f %% of the total  %5.2f times the baseline's\n", what, pct(cpu, f.wall),
                    100.0 * cpu / f.process, baseCpu > 0 ? (cpu / f.wall) / (baseCpu / base.wall) : 0.0);
    };
    part("loop itself (timers and their handlers)", f.loop(), base.loop());
    part("capture and plot (user-interface thread)", f.capture, base.capture);
    part("capture (sound input and timer threads)", f.threads(), base.threads());
    part("view updates (widgets, Qt events, painting)", f.view, base.view);
    part("projector rendering", f.render, base.render);
    part("projector display", f.display, base.display);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: korvella_cpu_bench [SECONDS]\n");
        return 2;
    }
    std::string tmpl = (std::filesystem::temp_directory_path() / "korvella-cpu-bench-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) return 1;
    const std::filesystem::path dir = tmpl;
    korvella_test::TrackSpec spec;
    spec.seconds = 30;  // played again at its end
    // At the rate the program asks of the card (frmBeats sets 50,000), as the sound server delivers
    // it: live, the server converts the card's 48 kHz itself, in its own process.
    spec.rate = 50000;
    const auto t = korvella_test::makeTrack(spec);
    const std::string track = (dir / "track.wav").string();
    std::string error;
    if (!platform::writeSoundFile(track, t.samples, 1, t.rate, &error)) {
        std::fprintf(stderr, "korvella_cpu_bench: %s\n", error.c_str());
        return 1;
    }
    const std::string screen = (dir / "screen.json").string();
    std::ofstream(screen) << R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": 1920, "height": 1080, )"
                             R"("logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})"
                          << "\n";
    const std::string effect = (dir / "home" / "Effekts" / "Balken.swf").string();

    const Figures base = run(dir, track, screen, seconds, {});
    const Figures windowed = run(dir, track, screen, seconds, {"--effect", effect});
    const Figures maximised = run(dir, track, screen, seconds, {"--effect", effect, "--maximise-projector"});
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    if (!base.ok || !windowed.ok || !maximised.ok) return 1;

    std::printf("korvella, offscreen view on a 1920 x 1080 screen, real clock, 50 kHz sound-file input, %.0f s after a %.0f s "
                "warm-up; CPU time of all threads over wall time\n",
                seconds, kWarmUpSeconds);
    print("baseline", base, base, 0);
    std::printf("           (projector 1280 x 720, black)\n");
    print("1280x720", windowed, base, 6);
    std::printf("           (projector 1280 x 720 playing Effekts/Balken.swf)\n");
    print("1920x1080", maximised, base, 10);
    std::printf("           (projector maximised to the 1920 x 1080 screen playing Effekts/Balken.swf)\n");
    return 0;
}
