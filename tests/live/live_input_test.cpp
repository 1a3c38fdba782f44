// Live input on the real clock through a private PulseAudio: the default device is device 0, a
// server that is killed mid-show is told once and capture resumes when a new one is up, a
// program started before the server finds the device on the next "Start", and the real capture
// path counts the kicks of a generated track like korvella-sim does on the same file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "korvella/track.h"
#include "korvella/windows.h"
#include "platform/audio/wave.h"
#include "platform/audio/wave_file.h"
#include "support/audio_fixture.h"
#include "wavorix/state.h"

extern char** environ;

// ALSA's plugins load codec libraries (libavcodec for its lavrate plugin, and behind it x264)
// whose start-up allocations become unreachable when PortAudio is restarted and ALSA lets them
// go: not ours to report. Matching them needs the whole allocation stack.
extern "C" const char* __lsan_default_suppressions() { return "leak:snd_dlopen\n"; }
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace {

namespace fs = std::filesystem;

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string rest = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= rest.size();) {
        const std::size_t end = std::min(rest.find(':', start), rest.size());
        if (::access((rest.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// Runs argv with the test's environment; its pid, or -1.
pid_t spawn(const std::vector<std::string>& argv, const std::string& output = "/dev/null") {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    if (pid <= 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A PulseAudio of the test's own: its runtime folder in a temporary folder (the test process
// points XDG_RUNTIME_DIR and PULSE_SERVER there, so nothing reaches a desktop's server), a null
// sink "show" at 48 kHz whose monitor is the default source, no D-Bus, no cookie.
class SoundServer {
public:
    explicit SoundServer(const fs::path& folder) : folder_(folder), runtime_(folder / "run") {
        fs::create_directories(runtime_);
        ::chmod(runtime_.c_str(), 0700);
        std::ofstream(folder_ / "server.pa") << "load-module module-native-protocol-unix auth-anonymous=1\n"
                                                "load-module module-null-sink sink_name=show rate=48000 channels=2\n"
                                                "set-default-sink show\n"
                                                "set-default-source show.monitor\n";
        ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        ::setenv("PULSE_SERVER", ("unix:" + socket()).c_str(), 1);
        ::setenv("PULSE_COOKIE", (folder_ / "cookie").c_str(), 1);
        ::unsetenv("PULSE_SOURCE");
    }
    ~SoundServer() { kill(); }

    static bool available() { return onPath("pulseaudio") && onPath("paplay"); }

    // Starts it; false when it does not answer within 10 s (why() says what it printed).
    bool start() {
        kill();
        const std::string home = "HOME=" + folder_.string();
        pid_ = spawn({"env", home, "pulseaudio", "-n", "-F", (folder_ / "server.pa").string(), "--daemonize=no",
                      "--exit-idle-time=-1", "--use-pid-file=no", "--disable-shm=yes", "--log-target=stderr"},
                     (folder_ / "server.log").string());
        for (int i = 0; i < 200 && pid_ > 0; ++i) {
            if (answers()) return true;
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    std::string why() const { return readFile(folder_ / "server.log"); }

    // Ends it at once, as a crash or a kill by the operator would.
    void kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        waitFor(pid_);
        pid_ = -1;
    }

    // paplay of a file into the null sink, in the background.
    pid_t play(const fs::path& file) const { return spawn({"paplay", "--device=show", file.string()}); }

    std::string socket() const { return (runtime_ / "pulse" / "native").string(); }

private:
    bool answers() const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, socket().c_str(), sizeof addr.sun_path - 1);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        return ok;
    }

    fs::path folder_, runtime_;
    pid_t pid_ = -1;
};

// The program's windows on the real clock with the machine's devices (only those of the test's
// own server) and scripted message boxes.
class LiveInput : public testsupport::AudioTest {
protected:
    LiveInput() : AudioTest("korvella-live-", forms::Runtime::ClockKind::Real), server_(tempPath("pulse")) {
        ::unsetenv("KORVELLA_NO_SYSTEM_AUDIO");
        platform::setSystemWaveDevices(true);
    }
    ~LiveInput() override { forms::Application::reset(); }

    void SetUp() override {
        if (!SoundServer::available()) GTEST_SKIP() << "pulseaudio or paplay is not installed (Debian: pulseaudio pulseaudio-utils)";
    }

    bool startServer() { return server_.start(); }

    // Runs the loop for ms real milliseconds, or until done() holds.
    void runFor(int ms, const std::function<bool()>& done = {}) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end && !(done && done())) loop().advance(5);
    }

    korvella::FrmBeatsWindow& beats() { return korvella::frmBeats(); }
    void pressStart() { beats().cmdStart.setValue(true); }
    std::int32_t blocks() { return wavorix::engine().blockCounter; }
    std::int32_t handle() { return beats().Vorix1.get(korvella::vorix::DeviceHandle).toInt32(); }

    std::vector<std::string> boxes() const {
        std::vector<std::string> texts;
        for (const auto& b : dialogs.shown())
            if (b.kind == platform::ScriptedDialogs::Kind::Message) texts.push_back(b.text);
        return texts;
    }

    SoundServer server_;
};

// The first server of a test: where none can be started here the test is skipped, and says why.
#define START_SERVER_OR_SKIP() \
    if (!startServer()) GTEST_SKIP() << "the private sound server does not start here:\n" << server_.why()

TEST_F(LiveInput, ListInputsNamesTheSystemsDefaultInputAsDeviceZero) {
    START_SERVER_OR_SKIP();
    const fs::path out = tempPath("list.txt");
    ::unsetenv("KORVELLA_INPUT_FILE");
    ASSERT_EQ(waitFor(spawn({KORVELLA_BIN_DIR "/korvella", "--list-inputs"}, out.string())), 0);
    const std::string text = readFile(out);
    EXPECT_EQ(text.rfind("0 (used by Start) default (the system's default input)\n", 0), 0u) << text;
    EXPECT_NE(text.find("pactl set-default-source"), std::string::npos) << text;
    EXPECT_NE(text.find("PULSE_SOURCE="), std::string::npos) << text;
}

TEST_F(LiveInput, AProgramStartedBeforeTheServerFindsTheDeviceOnTheNextStart) {
    // A card of the machine's own would be found without any server.
    if (const std::string cards = readFile("/proc/asound/cards"); cards.find(" [") != std::string::npos)
        GTEST_SKIP() << "this machine has a sound card of its own: " << cards;
    korvella::frmBeats.Show();
    pressStart();
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_NE(boxes()[0].find("Wavedevice cannot be opened!"), std::string::npos) << boxes()[0];
    EXPECT_NE(boxes()[0].find("no sound server is running"), std::string::npos) << boxes()[0];
    EXPECT_EQ(handle(), 0);

    START_SERVER_OR_SKIP();
    runFor(1100);  // the device list is read again at most once a second
    pressStart();
    EXPECT_EQ(boxes().size(), 1u) << boxes().back();
    EXPECT_NE(handle(), 0);
    runFor(3000, [&] { return blocks() > 20; });
    EXPECT_GT(blocks(), 20) << "blocks arrive from the default device";
}

TEST_F(LiveInput, AKilledServerIsToldOnceAndCaptureResumesWithTheNextServer) {
    START_SERVER_OR_SKIP();
    korvella::frmBeats.Show();
    pressStart();
    ASSERT_NE(handle(), 0) << (boxes().empty() ? "" : boxes()[0]);
    runFor(3000, [&] { return blocks() > 20; });
    ASSERT_GT(blocks(), 20);

    server_.kill();
    const auto killed = std::chrono::steady_clock::now();
    runFor(3000, [&] { return !boxes().empty(); });
    const double toldMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - killed).count();
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_LT(toldMs, 1200) << "noticed within about a second";
    EXPECT_EQ(boxes()[0].rfind("Wavedevice lost!\r\ndefault: ", 0), 0u) << boxes()[0];
    std::printf("told after %.0f ms: %s\n", toldMs, boxes()[0].c_str());
    const std::int32_t frozen = blocks();
    runFor(1500);
    EXPECT_LE(blocks(), frozen + 1);

    ASSERT_TRUE(startServer()) << server_.why();
    runFor(6000, [&] { return blocks() > frozen + 20; });
    EXPECT_GT(blocks(), frozen + 20) << "capture resumes by itself, same handle";
    EXPECT_EQ(boxes().size(), 1u) << "told once";

    // "Start" after a stream that died opens the device afresh: while no server runs it says why
    // it cannot, and with the next server it captures at once.
    server_.kill();
    runFor(3000, [&] { return boxes().size() > 1; });
    ASSERT_EQ(boxes().size(), 2u) << "a new loss is told again";
    runFor(1100);
    pressStart();
    ASSERT_EQ(boxes().size(), 3u);
    EXPECT_NE(boxes()[2].find("Wavedevice cannot be opened!"), std::string::npos) << boxes()[2];
    ASSERT_TRUE(startServer()) << server_.why();
    runFor(1100);
    pressStart();
    EXPECT_EQ(boxes().size(), 3u) << boxes().back();
    EXPECT_NE(handle(), 0);
    runFor(4000, [&] { return blocks() > 20; });
    EXPECT_GT(blocks(), 20);
}

// korvella-sim's count of the file: its "end Text1=N" line.
int simBeats(const fs::path& file, const fs::path& out) {
    ::setenv("KORVELLA_NO_SYSTEM_AUDIO", "1", 1);
    const int rc = waitFor(spawn({KORVELLA_BIN_DIR "/korvella-sim", "--input", file.string(), "--at", "0", "click",
                                  "frmBeats.cmdStart"},
                                 out.string()));
    ::unsetenv("KORVELLA_NO_SYSTEM_AUDIO");
    if (rc != 0) return -1;
    const std::string text = readFile(out);
    const auto at = text.rfind("end Text1=");
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + 10);
}

TEST_F(LiveInput, TheDefaultDeviceCountsTheKicksOfATrackLikeTheSimulator) {
    korvella_test::TrackSpec spec;
    spec.rate = 48000;
    spec.seconds = 20;
    const auto track = korvella_test::makeTrack(spec);
    const fs::path file = tempPath("track.wav");
    std::string error;
    ASSERT_TRUE(platform::writeSoundFile(file.string(), track.samples, 1, track.rate, &error)) << error;
    const int sim = simBeats(file, tempPath("sim.txt"));
    ASSERT_GE(sim, 0) << readFile(tempPath("sim.txt"));
    const std::string simText = readFile(tempPath("sim.txt"));
    std::printf("korvella-sim: %s", simText.substr(simText.rfind("end ")).c_str());

    START_SERVER_OR_SKIP();
    korvella::frmBeats.Show();
    pressStart();
    ASSERT_NE(handle(), 0) << (boxes().empty() ? "" : boxes()[0]);
    const std::string before = beats().Text1.Text();
    const pid_t player = server_.play(file);
    ASSERT_GT(player, 0);
    runFor(static_cast<int>(spec.seconds * 1000) + 10000, [&] { return ::waitpid(player, nullptr, WNOHANG) == player; });
    runFor(1000);
    const int live = std::atoi(beats().Text1.Text().c_str()) - std::atoi(before.c_str());
    std::printf("kicks: ground truth %zu, korvella-sim %d, live %d, missed %d\n", track.kickMs.size(), sim, live,
                beats().Vorix1.get(korvella::vorix::MissedCount).toInt32());
    EXPECT_NEAR(live, sim, 2);
    EXPECT_TRUE(boxes().empty()) << boxes()[0];
}

}  // namespace
