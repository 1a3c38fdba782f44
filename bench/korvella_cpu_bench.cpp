// The CPU share of the windowed program playing a show: korvella with the offscreen Qt view, the
// real clock and a generated track as the sound-file input, "Start" pressed at once, the
// projector at its design size of 1280 x 720, closed after SECONDS (default 20). Prints the CPU
// time of the program (user + system, all its threads) as a share of the wall time
// (target: under 10 % of one core).
//
//   korvella_cpu_bench [SECONDS]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "korvella/track.h"
#include "platform/wave_file.h"

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
    spec.seconds = seconds + 5;  // the program waits before it captures
    const auto t = korvella_test::makeTrack(spec);
    const std::string file = (dir / "track.wav").string();
    std::string error;
    if (!platform::writeSoundFile(file, t.samples, 1, t.rate, &error)) {
        std::fprintf(stderr, "korvella_cpu_bench: %s\n", error.c_str());
        return 1;
    }

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("KORVELLA_NO_SYSTEM_AUDIO", "1", 1);
        ::setenv("KORVELLA_INPUT_FILE", file.c_str(), 1);
        ::setenv("KORVELLA_HOME", (dir / "home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        const std::string after = std::to_string(seconds);
        ::execl(KORVELLA_PROGRAM, "korvella", "--start", "--quit-after", after.c_str(), static_cast<char*>(nullptr));
        std::perror("korvella_cpu_bench: " KORVELLA_PROGRAM);
        ::_exit(127);
    }
    int status = 0;
    struct rusage use {};
    if (pid < 0 || ::wait4(pid, &status, 0, &use) < 0) return 1;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
                       static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "korvella_cpu_bench: korvella ended with status %d\n", status);
        return 1;
    }
    std::printf("korvella, offscreen view, real clock, sound-file input, projector 1280 x 720: %.2f s wall, %.2f s CPU: "
                "%.1f %% of one core (target: under 10 %%)\n",
                wall, cpu, 100.0 * cpu / wall);
    return 0;
}
