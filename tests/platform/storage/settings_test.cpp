// The registry and settings stores: round trips through the INI files, lookups that ignore case,
// names with the characters QSettings takes as separators, and failures that raise instead of
// crashing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/storage/settings.h"

namespace fs = std::filesystem;
using platform::VbError;

namespace {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "korvella-settings-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        root_ = tmpl;
        dir_ = root_ / "korvella";
        platform::setConfigDir(dir_.string());
    }
    void TearDown() override {
        platform::setConfigDir("");
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    // Puts a plain file where the store's folder should be: no write can succeed, even as root.
    void blockFolder() {
        std::ofstream(dir_.string()) << "not a folder";
    }

    fs::path root_;
    fs::path dir_;
};

template <typename F>
VbError errorOf(F&& f) {
    try {
        f();
    } catch (const VbError& e) {
        return e;
    }
    ADD_FAILURE() << "no error raised";
    return VbError(0, "none");
}

const std::vector<std::string> kAwkwardValues = {
    "",         "plain",       "a, b, c",      " lead and trail ", "@Variant(x)", "\"quoted\"",
    "semi;colon", "line1\r\nline2", "Grüße € ✓", "=",           "#hash",       "back\\slash/slash",
    "50%",      "[Section]",   "true",         std::string(3000, 'x')};

// ---- registry ------------------------------------------------------------------------------

using RegistryTest = StoreTest;

TEST_F(RegistryTest, StringValuesRoundTripUnchanged) {
    for (std::size_t i = 0; i < kAwkwardValues.size(); ++i) {
        const std::string path = "HKEY_LOCAL_MACHINE\\Software\\Korvella\\Save\\Save" + std::to_string(i);
        platform::RegWrite(path, kAwkwardValues[i]);
    }
    for (std::size_t i = 0; i < kAwkwardValues.size(); ++i) {
        const std::string path = "HKEY_LOCAL_MACHINE\\Software\\Korvella\\Save\\Save" + std::to_string(i);
        EXPECT_EQ(platform::RegRead(path), kAwkwardValues[i]) << path;
    }
    EXPECT_TRUE(fs::is_regular_file(platform::registryFilePath()));
    EXPECT_EQ(fs::path(platform::registryFilePath()).parent_path(), dir_);
}

TEST_F(RegistryTest, OverwriteReplacesTheValue) {
    platform::RegWrite("HKLM\\Software\\Korvella\\Save\\Save1", "first");
    platform::RegWrite("HKLM\\Software\\Korvella\\Save\\Save1", "second");
    EXPECT_EQ(platform::RegRead("HKLM\\Software\\Korvella\\Save\\Save1"), "second");
}

TEST_F(RegistryTest, ShortAndLongRootsAndAnyCaseNameOneValue) {
    platform::RegWrite("HKLM\\Software\\Korvella\\Save\\Save1", "a");
    EXPECT_EQ(platform::RegRead("HKEY_LOCAL_MACHINE\\Software\\Korvella\\Save\\Save1"), "a");
    EXPECT_EQ(platform::RegRead("hkey_local_machine\\SOFTWARE\\korvella\\save\\SAVE1"), "a");
    platform::RegWrite("HKEY_CURRENT_USER\\Software\\X\\V", "cu");
    EXPECT_EQ(platform::RegRead("HKCU\\software\\x\\v"), "cu");
    platform::RegWrite("HKCR\\CLSID\\{ABC}\\InprocServer32\\", "/opt/lib/libwavorix.so");
    EXPECT_EQ(platform::RegRead("HKEY_CLASSES_ROOT\\clsid\\{abc}\\InprocServer32\\"), "/opt/lib/libwavorix.so");
    // The roots are separate.
    platform::RegWrite("HKCU\\Software\\Korvella\\Save\\Save1", "user");
    EXPECT_EQ(platform::RegRead("HKLM\\Software\\Korvella\\Save\\Save1"), "a");
    EXPECT_THROW(platform::RegRead("HKCR\\Software\\Korvella\\Save\\Save1"), VbError);
}

TEST_F(RegistryTest, TrailingBackslashIsTheKeysDefaultValue) {
    platform::RegWrite("HKLM\\Software\\K\\", "default");
    platform::RegWrite("HKLM\\Software\\K\\@", "at sign");
    platform::RegWrite("HKLM\\Software\\K\\V", "named");
    EXPECT_EQ(platform::RegRead("HKLM\\Software\\K\\"), "default");
    EXPECT_EQ(platform::RegRead("HKLM\\Software\\K\\@"), "at sign");
    EXPECT_EQ(platform::RegRead("HKLM\\Software\\K\\V"), "named");
    // The default value of a key is not a value of its parent key.
    EXPECT_THROW(platform::RegRead("HKLM\\Software\\K"), VbError);
    platform::RegWrite("HKLM\\", "root default");
    EXPECT_EQ(platform::RegRead("HKEY_LOCAL_MACHINE\\"), "root default");
}

TEST_F(RegistryTest, SeparatorLikeCharactersInNamesStayDistinct) {
    const std::vector<std::string> paths = {
        "HKLM\\A\\B\\C",     "HKLM\\A/B\\C",      "HKLM\\A\\B/C",   "HKLM\\A%5CB\\C", "HKLM\\A%2FB\\C",
        "HKLM\\A\\B\\C%",    "HKLM\\A\\B\\%25",   "HKLM\\A\\\\B\\C", "HKLM\\A B\\C=D", "HKLM\\A;B\\[C]",
        "HKLM\\Ä\\ß €",      "HKLM\\A\\B\\C\\D",  "HKLM\\A\\B",      "HKLM\\A"};
    for (std::size_t i = 0; i < paths.size(); ++i)
        platform::RegWrite(paths[i], "v" + std::to_string(i));
    for (std::size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(platform::RegRead(paths[i]), "v" + std::to_string(i)) << paths[i];
}

TEST_F(RegistryTest, MissingValueRaisesTheOpenKeyError) {
    // No store file at all yet.
    const std::string path = "HKEY_LOCAL_MACHINE\\Software\\Korvella\\Save\\Save1";
    VbError e = errorOf([&] { platform::RegRead(path); });
    EXPECT_EQ(e.number(), -2147024894);
    EXPECT_EQ(e.number(), platform::kRegReadFailed);
    EXPECT_EQ(e.description(), "Unable to open registry key \"" + path + "\" for reading.");
    EXPECT_EQ(e.source(), "WshShell.RegRead");

    // The file exists, the key exists, the value does not.
    platform::RegWrite("HKLM\\Software\\Korvella\\Save\\Save2", "x");
    e = errorOf([&] { platform::RegRead(path); });
    EXPECT_EQ(e.number(), platform::kRegReadFailed);
    EXPECT_EQ(e.description(), "Unable to open registry key \"" + path + "\" for reading.");
}

TEST_F(RegistryTest, MalformedPathsRaiseInsteadOfCrashing) {
    platform::RegWrite("HKLM\\Software\\K\\V", "x");
    for (const std::string path : {"", "\\", "HKLM", "Software\\K\\V", "HKEY_NOWHERE\\Software\\K\\V",
                                   "\\Software\\K\\V", "HKLMX\\Software\\K\\V"}) {
        const VbError e = errorOf([&] { platform::RegRead(path); });
        EXPECT_EQ(e.number(), platform::kRegReadFailed) << path;
        EXPECT_EQ(e.description(), "Unable to open registry key \"" + path + "\" for reading.");
        const VbError w = errorOf([&] { platform::RegWrite(path, "y"); });
        EXPECT_EQ(w.number(), platform::kRegWriteFailed) << path;
        EXPECT_EQ(w.description(), "Unable to save registry key \"" + path + "\".");
    }
}

TEST_F(RegistryTest, WriteIntoAFileWhereTheFolderShouldBeRaises) {
    blockFolder();
    const std::string path = "HKEY_LOCAL_MACHINE\\Software\\Korvella\\Save\\Save1";
    const VbError e = errorOf([&] { platform::RegWrite(path, "lost"); });
    EXPECT_EQ(e.number(), -2147024891);
    EXPECT_EQ(e.number(), platform::kRegWriteFailed);
    EXPECT_EQ(e.description(), "Unable to save registry key \"" + path + "\".");
    EXPECT_EQ(e.source(), "WshShell.RegWrite");
    EXPECT_TRUE(fs::is_regular_file(dir_));
    EXPECT_THROW(platform::RegRead(path), VbError);
}

TEST_F(RegistryTest, FailedSyncLeavesNoGhostValue) {
    // The store file itself is a folder: the folder check passes, QSettings cannot save.
    platform::RegWrite("HKLM\\K\\Kept", "kept");
    fs::remove(platform::registryFilePath());
    fs::create_directory(platform::registryFilePath());
    EXPECT_THROW(platform::RegWrite("HKLM\\K\\Lost", "lost"), VbError);
    EXPECT_THROW(platform::RegRead("HKLM\\K\\Lost"), VbError);
    fs::remove(platform::registryFilePath());
    platform::RegWrite("HKLM\\K\\Later", "later");
    EXPECT_EQ(platform::RegRead("HKLM\\K\\Later"), "later");
    EXPECT_THROW(platform::RegRead("HKLM\\K\\Lost"), VbError);
}

// The scenario of the test below, run in a child process as an unprivileged user (root writes
// into read-only folders). Returns what went wrong, or nothing.
std::string refusedSaveScenario(const fs::path& dir) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
        return "cannot drop root";
    platform::RegWrite("HKLM\\K\\Kept", "kept");
    platform::RegWrite("HKLM\\K\\Changed", "old");
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    bool refused = false;
    try {
        platform::RegWrite("HKLM\\K\\Lost", "lost");
    } catch (const VbError& e) {
        refused = e.number() == platform::kRegWriteFailed;
    }
    try {
        platform::RegWrite("HKLM\\K\\Changed", "new");
        refused = false;
    } catch (const VbError&) {
    }
    if (!refused)
        return "write into a read-only folder not refused";
    if (platform::RegRead("HKLM\\K\\Changed") != "old")
        return "refused change visible";
    fs::permissions(dir, fs::perms::owner_all);
    platform::RegWrite("HKLM\\K\\Later", "later");
    try {
        platform::RegRead("HKLM\\K\\Lost");
        return "refused value came back";
    } catch (const VbError&) {
    }
    if (platform::RegRead("HKLM\\K\\Changed") != "old" || platform::RegRead("HKLM\\K\\Kept") != "kept")
        return "later write changed other values";
    std::ifstream in(platform::registryFilePath());
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.find("lost") != std::string::npos || text.find("new") != std::string::npos)
        return "refused values reached the disk: " + text;
    return {};
}

TEST_F(RegistryTest, RefusedSaveIsNotWrittenLater) {
    // QSettings keeps unsaved changes for the next instance on the same file; a value refused
    // now must neither be read back nor reach the disk with a later write.
    if (geteuid() == 0) {
        ASSERT_EQ(chown(root_.c_str(), 65534, 65534), 0);
    }
    fs::create_directories(dir_);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(dir_.c_str(), 65534, 65534), 0);
    }
    EXPECT_EXIT(
        {
            const std::string failure = refusedSaveScenario(dir_);
            std::fputs(failure.c_str(), stderr);
            std::exit(failure.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(RegistryTest, FolderIsCreatedOnFirstWriteAndCanBeMoved) {
    platform::setConfigDir((dir_ / "deeper" / "still").string());
    EXPECT_FALSE(fs::exists(dir_));
    platform::RegWrite("HKLM\\K\\V", "here");
    EXPECT_TRUE(fs::is_regular_file(dir_ / "deeper" / "still" / "registry.ini"));
    platform::setConfigDir((root_ / "other").string());
    EXPECT_THROW(platform::RegRead("HKLM\\K\\V"), VbError);
    platform::setConfigDir((dir_ / "deeper" / "still").string());
    EXPECT_EQ(platform::RegRead("HKLM\\K\\V"), "here");
}

TEST_F(RegistryTest, DefaultFolderFollowsXdgConfigHome) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
    platform::setConfigDir("");
    EXPECT_EQ(fs::path(platform::configDir()), root_ / "korvella");
    EXPECT_EQ(fs::path(platform::settingsFilePath()), root_ / "korvella" / "settings.ini");
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const std::string kSaveKey = "HKEY_LOCAL_MACHINE\\Software\\Korvella\\Save\\";

TEST_F(RegistryTest, SectionsAndNamesAreWrittenAsTheProgramNamesThem) {
    for (int i = 1; i <= 3; ++i) platform::RegWrite(kSaveKey + "Save" + std::to_string(i), "F" + std::to_string(i));
    platform::RegWrite("HKCR\\prjVorix.Vorix\\InprocServer32\\", "/opt/korvella/libwavorix.so");
    const std::string text = slurp(platform::registryFilePath());
    EXPECT_NE(text.find("\r\n[HKEY_LOCAL_MACHINE\\Software\\Korvella\\Save]\r\nSave1=F1\r\nSave2=F2\r\nSave3=F3\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\r\n[HKEY_CLASSES_ROOT\\prjVorix.Vorix\\InprocServer32]\r\n@=/opt/korvella/libwavorix.so\r\n"),
              std::string::npos)
        << text;
    // Read in any case; written again, the spelling is the one just used.
    EXPECT_EQ(platform::RegRead("hklm\\SOFTWARE\\korvella\\save\\SAVE2"), "F2");
    platform::RegWrite("HKLM\\Software\\Korvella\\Save\\SAVE2", "F9");
    EXPECT_NE(slurp(platform::registryFilePath()).find("SAVE2=F9\r\n"), std::string::npos);
    EXPECT_EQ(platform::RegRead(kSaveKey + "Save2"), "F9");

    platform::SaveSetting("WavoricsOCX", "WaveInDevices", "LastHandle", "4711");
    EXPECT_NE(slurp(platform::settingsFilePath()).find("[WavoricsOCX\\WaveInDevices]\r\nLastHandle=4711\r\n"),
              std::string::npos);
    EXPECT_EQ(text.rfind("; Korvella settings (UTF-8): one section per key, Name=Text; names are matched ignoring case, "
                         "%XX is the byte XX.\r\n",
                         0),
              0u)
        << text;
}

TEST_F(RegistryTest, AHandEditedValueIsReadAsItsText) {
    platform::RegWrite(kSaveKey + "Save1", "F1");
    std::ofstream(platform::registryFilePath(), std::ios::app)
        << "\r\n[HKEY_LOCAL_MACHINE\\Software\\Korvella\\Save]\r\n  Save12 = 1, 2  \r\nSave13=\"3\"\r\n# note\r\nnot a value\r\n";
    EXPECT_EQ(platform::RegRead(kSaveKey + "Save12"), "1, 2");
    EXPECT_EQ(platform::RegRead(kSaveKey + "Save13"), "\"3\"");
    EXPECT_EQ(platform::RegRead(kSaveKey + "Save1"), "F1");
}

// The file of the earlier store (QSettings): names folded and escaped twice, strings quoted
// where QSettings quotes them. It is read once and written again in the store's own layout.
TEST_F(RegistryTest, TheEarlierStoresFilesAreReadOnceAndRewritten) {
    fs::create_directories(dir_);
    std::ofstream(platform::registryFilePath(), std::ios::binary)
        << "[hkey_local_machine%255Csoftware%255Ckorvella%255Csave]\n"
           "save1=F3\nsave7=/home/show/Effekts/a b.swf\nsave9=\"x, y\"\nsave12=1, 2\n\n"
           "[hkey_classes_root%255Cprjvorix.vorix%255Cinprocserver32]\n@=/opt/korvella/libwavorix.so\n";
    std::ofstream(platform::settingsFilePath(), std::ios::binary) << "[wavoricsocx]\nwaveindevices\\lasthandle=5\n";
    EXPECT_EQ(platform::RegRead(kSaveKey + "Save1"), "F3");
    EXPECT_EQ(platform::RegRead(kSaveKey + "Save7"), "/home/show/Effekts/a b.swf");
    EXPECT_EQ(platform::RegRead(kSaveKey + "Save9"), "x, y");
    // A list is no text: the desk keeps its design value.
    EXPECT_THROW(platform::RegRead(kSaveKey + "Save12"), VbError);
    EXPECT_EQ(platform::RegRead("HKCR\\prjVorix.Vorix\\InprocServer32\\"), "/opt/korvella/libwavorix.so");
    EXPECT_EQ(platform::GetSetting("WavoricsOCX", "WaveInDevices", "LastHandle"), "5");

    // The settings file was wholly understood and is rewritten by the read; the registry file
    // holds a list it could not read, so only a write changes it.
    EXPECT_EQ(slurp(platform::registryFilePath()).rfind("[hkey_local_machine%255Csoftware", 0), 0u);
    platform::RegWrite(kSaveKey + "Save1", "F4");
    const std::string after = slurp(platform::registryFilePath());
    EXPECT_NE(after.find("[HKEY_LOCAL_MACHINE\\Software\\Korvella\\Save]\r\nSave1=F4\r\nsave7=/home/show/Effekts/a b.swf\r\n"),
              std::string::npos)
        << after;
    EXPECT_EQ(platform::RegRead(kSaveKey + "Save9"), "x, y");
    EXPECT_NE(slurp(platform::settingsFilePath()).find("[wavoricsocx\\waveindevices]\r\nlasthandle=5\r\n"),
              std::string::npos);
}

// The fault this store is built against: on a full disk one failed save must neither empty the
// file nor let the next saves report success while they lose what was there.
TEST_F(RegistryTest, AFullDiskInTheMiddleOfTheSavesLosesNothing) {
    for (int i = 1; i <= 15; ++i) platform::RegWrite(kSaveKey + "Save" + std::to_string(i), "value " + std::to_string(i));
    platform::RegWrite("HKCR\\prjVorix.Vorix\\InprocServer32\\", "/opt/korvella/libwavorix.so");
    const std::string before = slurp(platform::registryFilePath());

    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit full = old;
    full.rlim_cur = before.size() / 2;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
    std::vector<int> failures;
    for (int i = 1; i <= 15; ++i) {
        try {
            platform::RegWrite(kSaveKey + "Save" + std::to_string(i), "changed " + std::to_string(i));
        } catch (const VbError& e) {
            if (e.number() == platform::kRegWriteFailed) failures.push_back(i);
        }
    }
    const std::string why = platform::lastStoreFailure();
    const std::string during = slurp(platform::registryFilePath());
    ::setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(failures.size(), 15u) << "every save on the full disk reports its failure";
    EXPECT_EQ(during, before) << "the file is byte for byte what it was";
    EXPECT_EQ(why, "cannot write the registry store " + platform::registryFilePath() + ": File too large");
    for (int i = 1; i <= 15; ++i) EXPECT_EQ(platform::RegRead(kSaveKey + "Save" + std::to_string(i)), "value " + std::to_string(i));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir_)) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"registry.ini", "registry.ini.lock"})) << "no temporary file left";
    platform::RegWrite(kSaveKey + "Save3", "later");
    EXPECT_EQ(platform::RegRead(kSaveKey + "Save3"), "later");
    EXPECT_EQ(platform::RegRead("HKCR\\prjVorix.Vorix\\InprocServer32\\"), "/opt/korvella/libwavorix.so");
}

// A write that would take the file past the size the reader accepts is refused: the store stays
// readable, and the audio control's registration with it.
TEST_F(RegistryTest, AWriteOverTheSizeCapIsRefusedAndTheStoreStaysReadable) {
    platform::RegWrite(kSaveKey + "Save1", "F1");
    platform::RegWrite("HKCR\\prjVorix.Vorix\\InprocServer32\\", "/opt/korvella/libwavorix.so");
    const std::string before = slurp(platform::registryFilePath());
    const VbError e = errorOf([] { platform::RegWrite(kSaveKey + "Save7", std::string(1100 * 1024, 'p')); });
    EXPECT_EQ(e.number(), platform::kRegWriteFailed);
    EXPECT_EQ(platform::lastStoreFailure(),
              "cannot write the registry store " + platform::registryFilePath() + ": File too large: more than 1 MB");
    EXPECT_EQ(slurp(platform::registryFilePath()), before);
    EXPECT_THROW(platform::RegRead(kSaveKey + "Save7"), VbError);
    EXPECT_EQ(platform::RegRead("HKCR\\prjVorix.Vorix\\InprocServer32\\"), "/opt/korvella/libwavorix.so");
    platform::RegWrite(kSaveKey + "Save2", "F2");
    EXPECT_EQ(platform::RegRead(kSaveKey + "Save1"), "F1");
}

// Files edited by hand: a byte order mark, a comment after a section line, sections that are no
// key paths, only comments, or an old file with a value it cannot read. Reads take them as they
// stand and never write them; a write keeps every value in its own section.
TEST_F(RegistryTest, HandEditedFilesAreReadAsTheyStandAndNotRewrittenByReading) {
    fs::create_directories(dir_);
    const std::string file = platform::registryFilePath();
    struct Case {
        std::string text, path, value, afterWrite;  // value "" : nothing to read there
    };
    const std::vector<Case> cases = {
        {"\xEF\xBB\xBF[HKEY_LOCAL_MACHINE\\Software\\Korvella\\Save]\r\nSave1=F1\r\n", kSaveKey + "Save1", "F1",
         "\r\n[HKEY_LOCAL_MACHINE\\Software\\Korvella\\Save]\r\nSave1=F1\r\nSave2=F9\r\n"},
        {"[HKEY_CLASSES_ROOT\\x]\r\n@=lib\r\n[HKEY_LOCAL_MACHINE\\Software\\Korvella\\Save] ; desk\r\nSave1=F2\r\n",
         kSaveKey + "Save1", "F2",
         "[HKEY_CLASSES_ROOT\\x]\r\n@=lib\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Korvella\\Save]\r\nSave1=F2\r\nSave2=F9\r\n"},
        {"[Notizen]\r\nwer=ich\r\n[HKEY_LOCAL_MACHINE]\r\nRoot=r\r\n", "HKLM\\Root", "r", "[Notizen]\r\nwer=ich\r\n"},
        {"; nur ein Kommentar\r\n", kSaveKey + "Save1", "", "Save2=F9\r\n"},
        {"[hkey_local_machine%255Csoftware%255Ckorvella%255Csave]\nsave1=F3\nsave12=1, 2\n", kSaveKey + "Save1", "F3",
         "[HKEY_LOCAL_MACHINE\\Software\\Korvella\\Save]\r\nsave1=F3\r\nSave2=F9\r\n"},
    };
    for (const Case& c : cases) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << c.text;
        if (c.value.empty()) {
            EXPECT_THROW(platform::RegRead(c.path), VbError) << c.text;
        } else {
            EXPECT_EQ(platform::RegRead(c.path), c.value) << c.text;
        }
        EXPECT_EQ(slurp(file), c.text) << "a read leaves the file as it was";
        platform::RegWrite(kSaveKey + "Save2", "F9");
        if (!c.value.empty()) {
            EXPECT_EQ(platform::RegRead(c.path), c.value) << c.text;
        }
        EXPECT_NE(slurp(file).find(c.afterWrite), std::string::npos) << slurp(file);
    }
    EXPECT_THROW(platform::RegRead("HKCR\\x\\Save1"), VbError);
}

// Two programs saving at once, each through its own opens of the store: every write that
// reported success is in the file afterwards.
TEST_F(RegistryTest, TwoProgramsWritingAtOnceLoseNoValue) {
    platform::RegWrite("HKLM\\K\\Start", "s");
    constexpr int kWrites = 100;
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    std::vector<pid_t> children;
    for (int c = 0; c < 2; ++c) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(go[1]);
            char byte;
            if (::read(go[0], &byte, 1) != 0) ::_exit(3);  // both start when the pipe closes
            int failed = 0;
            for (int i = 0; i < kWrites; ++i) {
                try {
                    platform::RegWrite("HKLM\\K\\P" + std::to_string(c) + "_" + std::to_string(i), std::to_string(i));
                } catch (const VbError&) {
                    ++failed;
                }
            }
            ::_exit(failed == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    ::close(go[0]);
    ::close(go[1]);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "every write succeeded";
    }
    int kept = 0;
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kWrites; ++i) {
            try {
                kept += platform::RegRead("HKLM\\K\\P" + std::to_string(c) + "_" + std::to_string(i)) == std::to_string(i);
            } catch (const VbError&) {
            }
        }
    EXPECT_EQ(kept, 2 * kWrites);
    EXPECT_EQ(platform::RegRead("HKLM\\K\\Start"), "s");
}

// A value written again as it stands (the library's registration on every start) is not
// written at all: it succeeds on a full disk, and the file is not touched.
TEST_F(RegistryTest, AValueWrittenAgainUnchangedNeedsNoRoomOnTheDisk) {
    platform::RegWrite("HKCR\\prjVorix.Vorix\\", "prjVorix.Vorix");
    platform::RegWrite("HKCR\\prjVorix.Vorix\\InprocServer32\\", "/opt/korvella/libwavorix.so");
    const auto inode = [] {
        struct stat st {};
        ::stat(platform::registryFilePath().c_str(), &st);
        return st.st_ino;
    };
    const auto before = inode();
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit full = old;
    full.rlim_cur = 1;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
    bool sameKept = true, changedRefused = false;
    try {
        platform::RegWrite("HKCR\\prjVorix.Vorix\\", "prjVorix.Vorix");
        platform::RegWrite("HKCR\\prjVorix.Vorix\\InprocServer32\\", "/opt/korvella/libwavorix.so");
    } catch (const VbError&) {
        sameKept = false;
    }
    try {
        platform::RegWrite("HKCR\\prjVorix.Vorix\\InprocServer32\\", "/elsewhere/libwavorix.so");
    } catch (const VbError&) {
        changedRefused = true;
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_TRUE(sameKept);
    EXPECT_TRUE(changedRefused);
    EXPECT_EQ(inode(), before);
    EXPECT_EQ(platform::RegRead("HKCR\\prjVorix.Vorix\\InprocServer32\\"), "/opt/korvella/libwavorix.so");
}

TEST_F(RegistryTest, AStoreThatCannotBeReadIsNeitherReadNorOverwritten) {
    fs::create_directories(dir_);
    {
        std::ofstream(platform::registryFilePath());
    }
    fs::resize_file(platform::registryFilePath(), 2u << 20);  // no store grows that large
    EXPECT_THROW(platform::RegRead(kSaveKey + "Save1"), VbError);
    EXPECT_THROW(platform::RegWrite(kSaveKey + "Save1", "x"), VbError);
    EXPECT_EQ(platform::lastStoreFailure(),
              "cannot read the registry store " + platform::registryFilePath() + ": File too large: more than 1 MB");
    EXPECT_EQ(fs::file_size(platform::registryFilePath()), 2u << 20);
}

TEST_F(RegistryTest, AFailedWriteNamesTheStoreThePathAndTheReason) {
    blockFolder();
    EXPECT_THROW(platform::RegWrite(kSaveKey + "Save1", "x"), VbError);
    EXPECT_EQ(platform::lastStoreFailure().rfind("cannot write the registry store " + platform::registryFilePath() +
                                                     ": the folder " + dir_.string() + " cannot be made (",
                                                 0),
              0u)
        << platform::lastStoreFailure();
    EXPECT_THROW(platform::SaveSetting("A", "B", "C", "x"), VbError);
    EXPECT_EQ(platform::lastStoreFailure().rfind("cannot write the settings store " + platform::settingsFilePath(), 0), 0u);
}

// ---- settings ------------------------------------------------------------------------------

using SettingsTest = StoreTest;

TEST_F(SettingsTest, MissingAnythingGivesTheDefault) {
    EXPECT_EQ(platform::GetSetting("Korvella", "Audio", "Device"), "");
    EXPECT_EQ(platform::GetSetting("Korvella", "Audio", "Device", "0"), "0");
    EXPECT_FALSE(fs::exists(platform::settingsFilePath()));
    platform::SaveSetting("Korvella", "Audio", "Device", "2");
    EXPECT_EQ(platform::GetSetting("Other", "Audio", "Device", "d"), "d");
    EXPECT_EQ(platform::GetSetting("Korvella", "Video", "Device", "d"), "d");
    EXPECT_EQ(platform::GetSetting("Korvella", "Audio", "Rate", "d"), "d");
    EXPECT_EQ(platform::GetSetting("", "Audio", "Device", "d"), "d");
    EXPECT_EQ(platform::GetSetting("Korvella", "", "Device", "d"), "d");
    EXPECT_EQ(platform::GetSetting("Korvella", "Audio", "", "d"), "d");
}

TEST_F(SettingsTest, SaveCreatesTheFileAndRoundTrips) {
    EXPECT_FALSE(fs::exists(dir_));
    for (std::size_t i = 0; i < kAwkwardValues.size(); ++i)
        platform::SaveSetting("Korvella", "Values", "v" + std::to_string(i), kAwkwardValues[i]);
    EXPECT_TRUE(fs::is_regular_file(dir_ / "settings.ini"));
    for (std::size_t i = 0; i < kAwkwardValues.size(); ++i)
        EXPECT_EQ(platform::GetSetting("Korvella", "Values", "v" + std::to_string(i), "missing"), kAwkwardValues[i]);
    // An empty stored value is a value, not a missing one.
    EXPECT_EQ(platform::GetSetting("Korvella", "Values", "v0", "missing"), "");
}

TEST_F(SettingsTest, NamesIgnoreCaseAndKeepSeparatorCharacters) {
    platform::SaveSetting("Korvella", "Audio", "Device", "2");
    EXPECT_EQ(platform::GetSetting("KORVELLA", "audio", "DEVICE"), "2");
    platform::SaveSetting("A/B", "C", "D", "slash app");
    platform::SaveSetting("A", "B/C", "D", "slash section");
    platform::SaveSetting("A", "B", "C/D", "slash key");
    platform::SaveSetting("A\\B", "C", "D", "backslash app");
    platform::SaveSetting("A", "B", "C\\D", "backslash key");
    platform::SaveSetting("A", "B", "%2F", "escape lookalike");
    platform::SaveSetting("A", "B", "@", "at");
    EXPECT_EQ(platform::GetSetting("A/B", "C", "D"), "slash app");
    EXPECT_EQ(platform::GetSetting("A", "B/C", "D"), "slash section");
    EXPECT_EQ(platform::GetSetting("A", "B", "C/D"), "slash key");
    EXPECT_EQ(platform::GetSetting("A\\B", "C", "D"), "backslash app");
    EXPECT_EQ(platform::GetSetting("A", "B", "C\\D"), "backslash key");
    EXPECT_EQ(platform::GetSetting("A", "B", "%2F"), "escape lookalike");
    EXPECT_EQ(platform::GetSetting("A", "B", "/", "none"), "none");
    EXPECT_EQ(platform::GetSetting("A", "B", "@"), "at");
    EXPECT_EQ(platform::GetSetting("A", "B/C/D", "x", "none"), "none");
}

TEST_F(SettingsTest, RegistryAndSettingsAreSeparateFiles) {
    platform::SaveSetting("Korvella", "S", "K", "setting");
    platform::RegWrite("HKCU\\Software\\VB and VBA Program Settings\\Korvella\\S\\K", "registry");
    EXPECT_EQ(platform::GetSetting("Korvella", "S", "K"), "setting");
    EXPECT_NE(platform::registryFilePath(), platform::settingsFilePath());
    EXPECT_TRUE(fs::is_regular_file(platform::registryFilePath()));
    EXPECT_TRUE(fs::is_regular_file(platform::settingsFilePath()));
}

TEST_F(SettingsTest, EmptyNameOnSaveIsAnInvalidArgument) {
    for (const auto& names : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"", "S", "K"}, {"A", "", "K"}, {"A", "S", ""}}) {
        const VbError e = errorOf([&] { std::apply(platform::SaveSetting, std::tuple_cat(names, std::tuple("v"))); });
        EXPECT_EQ(e.number(), 5);
        EXPECT_EQ(e.description(), "Invalid procedure call or argument");
    }
    EXPECT_FALSE(fs::exists(platform::settingsFilePath()));
}

TEST_F(SettingsTest, UnwritableStoreRaisesPathFileAccessError) {
    blockFolder();
    const VbError e = errorOf([] { platform::SaveSetting("Korvella", "Audio", "Device", "2"); });
    EXPECT_EQ(e.number(), 75);
    EXPECT_EQ(e.description(), "Path/File access error");
    EXPECT_EQ(platform::GetSetting("Korvella", "Audio", "Device", "gone"), "gone");
}

} // namespace
