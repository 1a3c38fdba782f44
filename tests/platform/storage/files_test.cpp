#include "platform/error.h"
#include "platform/storage/files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

template <typename F>
int errorOf(F&& f) {
    try {
        f();
    } catch (const platform::VbError& e) {
        return e.number();
    }
    return 0;
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void put(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/korvella-files-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    // A path as the program writes it, with "\" between folders.
    std::string winPath(const std::string& rel) const {
        std::string p = dir_.string() + "\\" + rel;
        for (char& c : p)
            if (c == '/') c = '\\';
        return p;
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path dir_;
};

TEST_F(FilesTest, AppPathComesFromKorvellaHomeAndIsCreated) {
    std::string home = (dir_ / "prog").string();
    ::setenv("KORVELLA_HOME", (home + "/").c_str(), 1);
    EXPECT_EQ(platform::appPath(), home);
    EXPECT_TRUE(fs::is_directory(home));

    ::unsetenv("KORVELLA_HOME");
    const char* oldHome = std::getenv("HOME");
    std::string savedHome = oldHome ? oldHome : "";
    ::setenv("HOME", dir_.c_str(), 1);
    std::string fromHome = platform::appPath();
    if (oldHome) ::setenv("HOME", savedHome.c_str(), 1);
    EXPECT_EQ(fromHome, dir_.string() + "/.local/share/korvella");
    EXPECT_TRUE(fs::is_directory(dir_ / ".local/share/korvella"));

    put(dir_ / "file", "x");
    ::setenv("KORVELLA_HOME", (dir_ / "file/prog").c_str(), 1);
    EXPECT_EQ(errorOf([] { platform::appPath(); }), 76);
    ::unsetenv("KORVELLA_HOME");
}

TEST_F(FilesTest, DiskPathMapsBackslashesOnlyAtTheDisk) {
    EXPECT_EQ(platform::diskPath("C:\\x\\y.txt"), "C:/x/y.txt");
    EXPECT_EQ(platform::diskPath("/a/b"), "/a/b");
    put(dir_ / "list.txt", "1\r\n");
    EXPECT_TRUE(platform::fileExists(winPath("list.txt")));
    EXPECT_FALSE(platform::dirExists(winPath("list.txt")));
    EXPECT_TRUE(platform::dirExists(dir_.string() + "\\"));
    EXPECT_FALSE(platform::fileExists(dir_.string()));
    EXPECT_FALSE(platform::fileExists(winPath("none.txt")));
    EXPECT_FALSE(platform::fileExists(""));
    EXPECT_FALSE(platform::dirExists(""));
}

TEST_F(FilesTest, MkDirErrors) {
    platform::mkDir(winPath("Rec"));
    EXPECT_TRUE(fs::is_directory(dir_ / "Rec"));
    EXPECT_EQ(errorOf([&] { platform::mkDir(winPath("Rec")); }), 75);
    put(dir_ / "plain", "");
    EXPECT_EQ(errorOf([&] { platform::mkDir(winPath("plain")); }), 75);
    EXPECT_EQ(errorOf([&] { platform::mkDir(winPath("no\\such")); }), 76);
    EXPECT_EQ(errorOf([&] { platform::mkDir(winPath("plain\\sub")); }), 76);
    EXPECT_EQ(errorOf([] { platform::mkDir(""); }), 75);
}

TEST_F(FilesTest, TextLinesRoundTripInWindows1252WithCrLf) {
    std::vector<std::string> lines = {"Bässe & Höhen", "", "€ 5", "last"};
    platform::writeTextLines(winPath("a.txt"), lines);
    EXPECT_EQ(slurp(dir_ / "a.txt"), "B\xE4sse & H\xF6hen\r\n\r\n\x80 5\r\nlast\r\n");
    EXPECT_EQ(platform::readTextLines(winPath("a.txt")), lines);

    platform::writeTextLines(winPath("a.txt"), {"ā"});
    EXPECT_EQ(slurp(dir_ / "a.txt"), "?\r\n");
    platform::writeTextLines(winPath("empty.txt"), {});
    EXPECT_EQ(slurp(dir_ / "empty.txt"), "");
    EXPECT_TRUE(platform::readTextLines(winPath("empty.txt")).empty());
}

TEST_F(FilesTest, LineEnds) {
    using L = std::vector<std::string>;
    put(dir_ / "f", "a\r\nb\rc\nd");  // CR LF, lone CR and lone LF all end a line
    EXPECT_EQ(platform::readTextLines((dir_ / "f").string()), (L{"a", "b", "c", "d"}));
    put(dir_ / "f", "a\n\nb\n");
    EXPECT_EQ(platform::readTextLines((dir_ / "f").string()), (L{"a", "", "b"}));
    put(dir_ / "f", "a\r\r\n");  // CR then CR LF: two lines
    EXPECT_EQ(platform::readTextLines((dir_ / "f").string()), (L{"a", ""}));
    put(dir_ / "f", "a\n\r");  // LF then CR: two ends, not one
    EXPECT_EQ(platform::readTextLines((dir_ / "f").string()), (L{"a", ""}));
    put(dir_ / "f", "\r\n");
    EXPECT_EQ(platform::readTextLines((dir_ / "f").string()), (L{""}));
    put(dir_ / "f", std::string("x\0y", 3));
    EXPECT_EQ(platform::readTextLines((dir_ / "f").string()), (L{std::string("x\0y", 3)}));
}

TEST_F(FilesTest, ReadErrors) {
    EXPECT_EQ(errorOf([&] { platform::readTextLines(winPath("missing.txt")); }), 53);
    EXPECT_EQ(errorOf([&] { platform::readFileBytes(winPath("missing.bin")); }), 53);
    EXPECT_EQ(errorOf([&] { platform::readTextLines(winPath("nodir\\x.txt")); }), 76);
    EXPECT_EQ(errorOf([&] { platform::readTextLines(dir_.string()); }), 75);
    EXPECT_EQ(errorOf([] { platform::readTextLines(""); }), 75);
    put(dir_ / "plain", "");
    EXPECT_EQ(errorOf([&] { platform::readTextLines(winPath("plain\\x.txt")); }), 76);
}

TEST_F(FilesTest, BytesRoundTrip) {
    std::vector<std::uint8_t> bytes = {0, 1, 0xFF, '\r', '\n', 0x80};
    platform::writeFileBytes(winPath("b.bin"), bytes);
    EXPECT_EQ(platform::readFileBytes(winPath("b.bin")), bytes);
    platform::writeFileBytes(winPath("b.bin"), {});
    EXPECT_TRUE(platform::readFileBytes(winPath("b.bin")).empty());
}

TEST_F(FilesTest, ReplacingKeepsModeAndLinksAndLeavesNoTemporaryFile) {
    put(dir_ / "keep.txt", "old\r\n");
    fs::permissions(dir_ / "keep.txt", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("keep.txt", dir_ / "link.txt");
    platform::writeTextLines(winPath("link.txt"), {"new"});
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.txt"));
    EXPECT_EQ(slurp(dir_ / "keep.txt"), "new\r\n");
    EXPECT_EQ(fs::status(dir_ / "keep.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(entries(), (std::vector<std::string>{"keep.txt", "link.txt"}));
}

TEST_F(FilesTest, WriteErrorsKeepTheOldFile) {
    put(dir_ / "plain", "good\r\n");
    EXPECT_EQ(errorOf([&] { platform::writeTextLines(winPath("plain\\x.txt"), {"a"}); }), 76);
    EXPECT_EQ(errorOf([&] { platform::writeTextLines(winPath("nodir\\x.txt"), {"a"}); }), 76);
    EXPECT_EQ(errorOf([&] { platform::writeFileBytes(winPath("nodir\\x.bin"), {1}); }), 76);
    EXPECT_EQ(errorOf([&] { platform::appendTextLine(winPath("nodir\\x.txt"), "a"); }), 76);
    EXPECT_EQ(errorOf([&] { platform::writeTextLines(dir_.string(), {"a"}); }), 75);
    EXPECT_EQ(errorOf([&] { platform::appendTextLine(dir_.string(), "a"); }), 75);
    EXPECT_EQ(errorOf([] { platform::writeTextLines("", {"a"}); }), 75);
    int procError = errorOf([] { platform::writeTextLines("/proc/korvella-test.txt", {"a"}); });
    EXPECT_TRUE(procError == 70 || procError == 75 || procError == 76) << procError;
    EXPECT_EQ(slurp(dir_ / "plain"), "good\r\n");
    EXPECT_EQ(entries(), (std::vector<std::string>{"plain"}));
}

// The error number fn raises, run without the right to override permission bits: as root,
// in a child process that has become "nobody". -1 when that is not possible here.
template <typename F>
int errorAsUnprivileged(F&& fn) {
    if (::geteuid() != 0) return errorOf(fn);
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(255);
        ::_exit(errorOf(fn));
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) == 255) return -1;
    return WEXITSTATUS(status);
}

TEST_F(FilesTest, UnwritableFolderIsPermissionDenied) {
    fs::create_directory(dir_ / "ro");
    put(dir_ / "ro" / "old.txt", "good\r\n");
    fs::permissions(dir_, fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
    fs::permissions(dir_ / "ro", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    int replaceError = errorAsUnprivileged([&] { platform::writeTextLines(winPath("ro\\old.txt"), {"bad"}); });
    if (replaceError == -1) GTEST_SKIP() << "cannot drop root rights here";
    EXPECT_EQ(replaceError, 70);
    EXPECT_EQ(errorAsUnprivileged([&] { platform::writeTextLines(winPath("ro\\new.txt"), {"bad"}); }), 70);
    EXPECT_EQ(errorAsUnprivileged([&] { platform::appendTextLine(winPath("ro\\old.txt"), "bad"); }), 70);
    EXPECT_EQ(errorAsUnprivileged([&] { platform::mkDir(winPath("ro\\sub")); }), 75);
    fs::permissions(dir_ / "ro", fs::perms::owner_all);
    EXPECT_EQ(slurp(dir_ / "ro" / "old.txt"), "good\r\n");
    EXPECT_EQ(fs::directory_iterator(dir_ / "ro")->path().filename(), "old.txt");
}

// A full disk, made with a file size limit (works for root too): the write fails with 61 and
// the old file stays whole, with no temporary file left beside it. The signal a size limit
// raises is left as the program has it (ignored by the library, not by this test).
TEST_F(FilesTest, FullDiskIsDiskFullAndNeverHalfWritten) {
    put(dir_ / "list.txt", "one\r\ntwo\r\n");
    put(dir_ / "log.txt", "first\r\n");
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);

    std::vector<std::string> many(50, "a line that does not fit");
    int textError = errorOf([&] { platform::writeTextLines(winPath("list.txt"), many); });
    int bytesError = errorOf([&] { platform::writeFileBytes(winPath("new.bin"), std::vector<std::uint8_t>(1000, 7)); });
    int appendError = errorOf([&] { platform::appendTextLine(winPath("log.txt"), std::string(200, 'x')); });

    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(textError, 61);
    EXPECT_EQ(bytesError, 61);
    EXPECT_EQ(appendError, 61);
    EXPECT_EQ(slurp(dir_ / "list.txt"), "one\r\ntwo\r\n");
    EXPECT_EQ(slurp(dir_ / "log.txt"), "first\r\n");
    EXPECT_EQ(entries(), (std::vector<std::string>{"list.txt", "log.txt"}));
}

TEST_F(FilesTest, TheSizeLimitSignalIsIgnoredByTheLibrary) {
    struct sigaction current {};
    ASSERT_EQ(::sigaction(SIGXFSZ, nullptr, &current), 0);
    EXPECT_EQ(current.sa_handler, SIG_IGN);
}

// A file larger than the caller allows is refused before anything is read.
TEST_F(FilesTest, AFileOverTheCapIsRefusedWhole) {
    put(dir_ / "small.txt", "one\r\ntwo\r\n");
    EXPECT_EQ(platform::readTextLines(winPath("small.txt"), 10), (std::vector<std::string>{"one", "two"}));
    const platform::VbError e = [&] {
        try {
            platform::readTextLines(winPath("small.txt"), 9);
        } catch (const platform::VbError& err) {
            return err;
        }
        return platform::VbError(0);
    }();
    EXPECT_EQ(e.number(), 7);
    EXPECT_EQ(e.description(), "File too large: more than 0 MB");
    // A sparse file of 3 GB is measured, not read.
    {
        std::ofstream(dir_ / "huge.bpl");
    }
    fs::resize_file(dir_ / "huge.bpl", 3ull << 30);
    EXPECT_EQ(errorOf([&] { platform::readTextLines(winPath("huge.bpl"), 16u << 20); }), 7);
    EXPECT_EQ(errorOf([&] { platform::readFileBytes(winPath("huge.bpl"), 1u << 20); }), 7);
}

// A pipe or a device named as a file is refused at once; reading it would wait for a writer.
TEST_F(FilesTest, PipesAndDevicesAreNotReadAsFiles) {
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(errorOf([&] { platform::readTextLines(winPath("fifo")); }), 75);
    EXPECT_EQ(platform::lastSystemReason(), "is a pipe (FIFO), not a file");
    EXPECT_EQ(errorOf([] { platform::readTextLines("/dev/zero", 1u << 20); }), 75);
    EXPECT_EQ(platform::lastSystemReason(), "is a device or special file, not a file");
    EXPECT_EQ(errorOf([&] { platform::readTextLines(dir_.string()); }), 75);
    EXPECT_EQ(platform::lastSystemReason(), "is a folder");
}

// Nor is one written: replacing a pipe with a file (or /dev/null, as root) breaks what uses it,
// and opening a pipe to append would wait for a reader.
TEST_F(FilesTest, PipesAreNotReplacedNorWrittenAsFiles) {
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(errorOf([&] { platform::writeTextLines(winPath("fifo"), {"a"}); }), 75);
    EXPECT_EQ(platform::lastSystemReason(), "is a pipe (FIFO), not a file");
    EXPECT_EQ(errorOf([&] { platform::writeFileBytes(winPath("fifo"), {1}); }), 75);
    EXPECT_EQ(errorOf([&] { platform::appendTextLine(winPath("fifo"), "a"); }), 75);
    EXPECT_EQ(platform::lastSystemReason(), "is a pipe (FIFO), not a file");
    EXPECT_EQ(errorOf([&] { platform::appendTextLine(dir_.string(), "a"); }), 75);
    EXPECT_EQ(platform::lastSystemReason(), "is a folder");
    EXPECT_TRUE(fs::is_fifo(dir_ / "fifo"));
    EXPECT_EQ(entries(), (std::vector<std::string>{"fifo"}));
}

TEST_F(FilesTest, AppendAddsLinesAndCreatesTheFile) {
    platform::appendTextLine(winPath("log.txt"), "Größe");
    platform::appendTextLine(winPath("log.txt"), "");
    platform::appendTextLine(winPath("log.txt"), "end");
    EXPECT_EQ(slurp(dir_ / "log.txt"), "Gr\xF6\xDF" "e\r\n\r\nend\r\n");
    EXPECT_EQ(platform::readTextLines(winPath("log.txt")), (std::vector<std::string>{"Größe", "", "end"}));
}

TEST_F(FilesTest, ListFilesFollowsTheFileListRules) {
    for (const char* name : {"b.swf", "A.SWF", "c.swfx", "d.jpg", "e.txt", ".hidden.swf", "noext", "Zeta.swf",
                             "ä.swf", "x.swf.bak"})
        put(dir_ / name, "");
    fs::create_directory(dir_ / "folder.swf");
    using L = std::vector<std::string>;
    EXPECT_EQ(platform::listFiles(dir_.string(), "*.swf"), (L{"A.SWF", "b.swf", "Zeta.swf", "ä.swf"}));
    EXPECT_EQ(platform::listFiles(dir_.string(), "*.swf*"), (L{"A.SWF", "b.swf", "c.swfx", "x.swf.bak", "Zeta.swf", "ä.swf"}));
    EXPECT_EQ(platform::listFiles(winPath(""), "*.SWF; *.jpg"), (L{"A.SWF", "b.swf", "d.jpg", "Zeta.swf", "ä.swf"}));
    EXPECT_EQ(platform::listFiles(dir_.string(), "?.swf"), (L{"A.SWF", "b.swf", "ä.swf"}));
    EXPECT_EQ(platform::listFiles(dir_.string(), "*.*"),
              (L{"A.SWF", "b.swf", "c.swfx", "d.jpg", "e.txt", "noext", "x.swf.bak", "Zeta.swf", "ä.swf"}));
    EXPECT_EQ(platform::listFiles(dir_.string(), ""), platform::listFiles(dir_.string(), "*.*"));
    EXPECT_EQ(platform::listFiles(dir_.string(), "noext.*"), (L{"noext"}));
    EXPECT_EQ(platform::listFiles(dir_.string(), "*."), (L{"noext"}));
    EXPECT_EQ(platform::listFiles(dir_.string(), "*.mp3"), (L{}));
    EXPECT_EQ(errorOf([&] { platform::listFiles(winPath("missing"), "*.*"); }), 76);
    EXPECT_EQ(errorOf([&] { platform::listFiles(winPath("b.swf"), "*.*"); }), 76);
}

TEST_F(FilesTest, ListDirsShowsVisibleFoldersSorted) {
    for (const char* name : {"beta", "Alpha", ".git", "gamma"}) fs::create_directory(dir_ / name);
    put(dir_ / "file", "");
    EXPECT_EQ(platform::listDirs(dir_.string()), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
    EXPECT_TRUE(platform::listDirs((dir_ / "beta").string()).empty());
    EXPECT_EQ(errorOf([&] { platform::listDirs(winPath("missing")); }), 76);
}

TEST(Patterns, MatchesPattern) {
    EXPECT_TRUE(platform::matchesPattern("Song.SWF", "*.swf"));
    EXPECT_TRUE(platform::matchesPattern("ÄRGER.swf", "ärger.*"));
    EXPECT_TRUE(platform::matchesPattern("a", "*"));
    EXPECT_TRUE(platform::matchesPattern("abc", "a*c"));
    EXPECT_TRUE(platform::matchesPattern("ac", "a*c"));
    EXPECT_FALSE(platform::matchesPattern("ab", "a?c"));
    EXPECT_FALSE(platform::matchesPattern("abc", "a?"));  // "?" is exactly one character
    EXPECT_TRUE(platform::matchesPattern("[x].swf", "[x].swf"));  // brackets are plain characters
    EXPECT_FALSE(platform::matchesPattern("x.swf", "[x].swf"));
}

} // namespace
