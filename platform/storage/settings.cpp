#include "platform/storage/settings.h"

#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/storage/files.h"
#include "platform/storage/inifile.h"

namespace platform {

namespace {

// Larger than any store the program writes can become (fifteen desk values and a few paths). A
// write that would take the file past it is refused, so that the store stays readable.
constexpr std::size_t kMaxStoreBytes = 1024 * 1024;

// The first line of every store file (earlier versions wrote "%25XX" in it: the start is what
// marks the layout). A file without it may be one of the program's earlier store (QSettings).
constexpr std::string_view kHeaderStart = "Korvella settings (UTF-8):";
constexpr std::string_view kHeader =
    "Korvella settings (UTF-8): one section per key, Name=Text; names are matched ignoring case, %XX is the byte XX.";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// How long a write waits for another program's write of the same store before it gives up.
constexpr auto kLockWait = std::chrono::seconds(5);

thread_local std::string g_lastFailure;

std::mutex& dirMutex() {
    static std::mutex m;
    return m;
}

std::string& dirOverride() {
    static std::string dir;
    return dir;
}

enum class Kind { Registry, Settings };

QString qs(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::optional<std::string> canonicalRoot(std::string_view root) {
    const QString r = QString::fromUtf8(root.data(), static_cast<qsizetype>(root.size())).toUpper();
    if (r == QLatin1String("HKLM") || r == QLatin1String("HKEY_LOCAL_MACHINE")) return "HKEY_LOCAL_MACHINE";
    if (r == QLatin1String("HKCU") || r == QLatin1String("HKEY_CURRENT_USER")) return "HKEY_CURRENT_USER";
    if (r == QLatin1String("HKCR") || r == QLatin1String("HKEY_CLASSES_ROOT")) return "HKEY_CLASSES_ROOT";
    return std::nullopt;
}

struct Place {
    std::string section;
    std::string name;
};

// A registry path as the store keeps it: the key path (root in its long form) as the section,
// the value name inside it ("" for the key's default value).
std::optional<Place> registryPlace(const std::string& path) {
    const std::size_t firstSep = path.find('\\');
    if (firstSep == std::string::npos) return std::nullopt;
    const auto root = canonicalRoot(std::string_view(path).substr(0, firstSep));
    if (!root) return std::nullopt;
    const std::string rest = path.substr(firstSep + 1);
    const std::size_t lastSep = rest.rfind('\\');
    Place p;
    p.section = *root;
    if (lastSep != std::string::npos) p.section += "\\" + rest.substr(0, lastSep);
    p.name = lastSep == std::string::npos ? rest : rest.substr(lastSep + 1);
    return p;
}

// "\" joins application and section, so one inside a name is written as its escape.
std::string settingsSegment(const std::string& name) {
    std::string out;
    for (char c : name) out += c == '\\' ? std::string("%5C") : c == '%' ? std::string("%25") : std::string(1, c);
    return out;
}

std::optional<Place> settingPlace(const std::string& app, const std::string& section, const std::string& key) {
    if (app.empty() || section.empty() || key.empty()) return std::nullopt;
    return Place{settingsSegment(app) + "\\" + settingsSegment(section), key};
}

// ---- the earlier store's files ----

// Undoes the escapes the earlier store put into names before QSettings saw them.
std::string oldName(const QString& encoded) {
    QString s = encoded;
    s.replace(QLatin1String("%2F"), QLatin1String("/"));
    s.replace(QLatin1String("%5C"), QLatin1String("\\"));
    s.replace(QLatin1String("%40"), QLatin1String("@"));
    s.replace(QLatin1String("%25"), QLatin1String("%"));
    return s.toStdString();
}

// The values of a file of the earlier store, when it is one: every key QSettings finds in it
// has that store's shape (a key path and a value name; an application, a section and a key).
// Its names were folded to lower case (the program's next write restores them). A value
// QSettings reads as anything but text (a hand-edited list, "1, 2") is left out, so that the
// window keeps its design value, and the file then counts as not fully understood.
struct OldStore {
    IniFile ini;
    bool complete = true;
};

std::optional<OldStore> oldStore(const std::string& file, Kind kind) {
    OldStore old;
    QSettings settings(qs(file), QSettings::IniFormat);
    const QStringList keys = settings.allKeys();
    if (keys.isEmpty()) return std::nullopt;
    for (const QString& key : keys) {
        const QStringList parts = key.split(QLatin1Char('/'));
        std::string section, name;
        if (kind == Kind::Registry && parts.size() == 2) {
            const std::string group = oldName(parts[0]);
            const std::size_t sep = group.find('\\');
            const auto root = canonicalRoot(std::string_view(group).substr(0, sep));
            if (!root) return std::nullopt;
            section = *root + (sep == std::string::npos ? std::string() : group.substr(sep));
            name = parts[1] == QLatin1String("@") ? std::string() : oldName(parts[1]);
        } else if (kind == Kind::Settings && parts.size() == 3) {
            section = settingsSegment(oldName(parts[0])) + "\\" + settingsSegment(oldName(parts[1]));
            name = oldName(parts[2]);
        } else {
            return std::nullopt;
        }
        const QVariant v = settings.value(key);
        if (v.typeId() != QMetaType::QString) {
            old.complete = false;
            continue;
        }
        old.ini.set(section, name, v.toString().toStdString());
    }
    return old;
}

std::string withHeader(IniFile ini) {
    ini.comments.assign(1, std::string(kHeader));
    return ini.text();
}

void writeStore(const std::string& file, const IniFile& ini) {
    const std::string text = withHeader(ini);
    writeFileBytes(file, std::vector<std::uint8_t>(text.begin(), text.end()));
}

struct Store {
    IniFile ini;
    // Read the earlier store's way and fully understood: the file may be written again in this
    // store's layout without losing anything.
    bool convertible = false;
};

// The store's values; nothing when the file cannot be read (why says so). A missing file is an
// empty store. A file that is neither of this store's layout nor wholly of the earlier one's
// (a hand-made or comment-only file) is read as this store's.
std::optional<Store> load(const std::string& file, Kind kind, std::string& why) {
    std::error_code ec;
    if (std::filesystem::status(file, ec).type() == std::filesystem::file_type::not_found) return Store{};
    std::string text;
    try {
        const auto bytes = readFileBytes(file, kMaxStoreBytes);
        text.assign(bytes.begin(), bytes.end());
    } catch (const VbError& e) {
        const std::string reason = lastSystemReason();
        why = reason.empty() ? e.description() : reason;
        return std::nullopt;
    }
    Store store{IniFile::parse(text)};
    std::string_view body = text;
    if (body.starts_with(kUtf8Bom)) body.remove_prefix(kUtf8Bom.size());
    if (body.starts_with(std::string("; ") + std::string(kHeaderStart))) return store;
    // Every section of this store but a root's own values has a "\"; the earlier store escaped
    // every "\" of a name.
    for (const auto& s : store.ini.sections)
        if (s.name.find('\\') != std::string::npos) return store;
    if (auto old = oldStore(file, kind)) {
        store.ini = std::move(old->ini);
        store.convertible = old->complete;
    }
    return store;
}

// Serialises the read-modify-write of one store among threads and programs: a lock on a file
// beside it (the store itself is replaced by every write, so it cannot hold the lock).
class StoreLock {
public:
    explicit StoreLock(const std::string& file) {
        const std::string path = file + ".lock";
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
        // One left by another user (a run as root) locks as well when it can only be read.
        if (fd_ < 0 && errno == EACCES) fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0) {
            why_ = std::strerror(errno);
            return;
        }
        // Bounded: a program stopped in the middle of its write must not freeze this one.
        const auto deadline = std::chrono::steady_clock::now() + kLockWait;
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            if ((err != EWOULDBLOCK && err != EINTR) || std::chrono::steady_clock::now() >= deadline) {
                why_ = err == EWOULDBLOCK ? "another program holds " + path : std::string(std::strerror(err));
                ::close(fd_);
                fd_ = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~StoreLock() {
        if (fd_ >= 0) ::close(fd_);  // closing the descriptor releases the lock
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool held() const { return fd_ >= 0; }
    const std::string& why() const { return why_; }

private:
    int fd_ = -1;
    std::string why_;
};

// Once: a file of the earlier store that was fully understood is written in this store's
// layout. If it cannot be written now, the old file stays and is read the same way next time.
void convert(const std::string& file, Kind kind) {
    const StoreLock lock(file);
    if (!lock.held()) return;
    std::string why;
    const auto store = load(file, kind, why);  // another program may have written it meanwhile
    if (!store || !store->convertible) return;
    try {
        writeStore(file, store->ini);
    } catch (const VbError&) {
    }
}

std::optional<std::string> readValue(const std::string& file, Kind kind, const Place& place) {
    std::string why;
    const auto store = load(file, kind, why);
    if (!store) return std::nullopt;
    if (store->convertible) convert(file, kind);
    return store->ini.get(place.section, place.name);
}

// Writes one value; false (and the reason in g_lastFailure) when the file stays as it was.
bool writeValue(const std::string& file, Kind kind, const Place& place, const std::string& value) {
    const std::string what = kind == Kind::Registry ? "the registry store " : "the settings store ";
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::path(file).parent_path();
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir)) {
        g_lastFailure = "cannot write " + what + file + ": the folder " + dir.string() + " cannot be made (" +
                        (ec ? ec.message() : std::string("not a folder")) + ")";
        return false;
    }
    // From the read to the replaced file no other write of this store may come between, or
    // its value would be lost.
    const StoreLock lock(file);
    if (!lock.held()) {
        g_lastFailure = "cannot write " + what + file + ": " + lock.why();
        return false;
    }
    std::string why;
    auto store = load(file, kind, why);
    if (!store) {
        // Writing now would lose every value the file holds.
        g_lastFailure = "cannot read " + what + file + ": " + why;
        return false;
    }
    IniFile& ini = store->ini;
    const std::string before = ini.text();
    ini.set(place.section, place.name, value);
    // A value written again as it stands (the library's registration on every start) needs no
    // write, so it succeeds on a full disk too.
    if (ini.text() == before) {
        g_lastFailure.clear();
        return true;
    }
    if (withHeader(ini).size() > kMaxStoreBytes) {
        g_lastFailure = "cannot write " + what + file + ": File too large: more than " +
                        std::to_string(kMaxStoreBytes / (1024 * 1024)) + " MB";
        return false;
    }
    try {
        writeStore(file, ini);
    } catch (const VbError& e) {
        const std::string reason = lastSystemReason();
        g_lastFailure = "cannot write " + what + file + ": " + (reason.empty() ? e.description() : reason);
        return false;
    }
    g_lastFailure.clear();
    return true;
}

std::string defaultConfigDir() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QStringLiteral(".config");
    return (base + QStringLiteral("/korvella")).toStdString();
}

} // namespace

void setConfigDir(const std::string& dir) {
    std::lock_guard lock(dirMutex());
    dirOverride() = dir;
}

std::string configDir() {
    {
        std::lock_guard lock(dirMutex());
        if (!dirOverride().empty())
            return dirOverride();
    }
    return defaultConfigDir();
}

std::string registryFilePath() { return (std::filesystem::path(configDir()) / "registry.ini").string(); }

std::string settingsFilePath() { return (std::filesystem::path(configDir()) / "settings.ini").string(); }

std::string lastStoreFailure() { return g_lastFailure; }

std::string RegRead(const std::string& path) {
    if (const auto place = registryPlace(path)) {
        if (auto value = readValue(registryFilePath(), Kind::Registry, *place))
            return *value;
    }
    raise(kRegReadFailed, "Unable to open registry key \"" + path + "\" for reading.", "WshShell.RegRead");
}

void RegWrite(const std::string& path, const std::string& value) {
    const auto place = registryPlace(path);
    if (!place) g_lastFailure = "\"" + path + "\" is not a registry path";
    if (!place || !writeValue(registryFilePath(), Kind::Registry, *place, value))
        raise(kRegWriteFailed, "Unable to save registry key \"" + path + "\".", "WshShell.RegWrite");
}

std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                       const std::string& def) {
    const auto place = settingPlace(app, section, key);
    if (!place)
        return def;
    return readValue(settingsFilePath(), Kind::Settings, *place).value_or(def);
}

void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                 const std::string& value) {
    const auto place = settingPlace(app, section, key);
    if (!place)
        raise(5);
    if (!writeValue(settingsFilePath(), Kind::Settings, *place, value))
        raise(75);
}

} // namespace platform
