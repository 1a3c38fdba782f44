#include "platform/storage/settings.h"

#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>
#include <system_error>

#include "platform/error.h"
#include "platform/storage/files.h"
#include "platform/storage/inifile.h"

namespace platform {

namespace {

// Larger than any store the program writes can become (fifteen desk values and a few paths).
constexpr std::size_t kMaxStoreBytes = 1024 * 1024;

// The first line of every store file. A file without it and without a "\" in its sections was
// written by the program's earlier store (QSettings) and is read the old way once.
constexpr std::string_view kHeader =
    "Korvella settings (UTF-8): one section per key, Name=Text; names are matched ignoring case, %XX is the byte XX.";

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

// The values of a file of the earlier store. Its names were folded to lower case (the program's
// next write restores them); a value QSettings reads as anything but text (a hand-edited list,
// "1, 2") is left out, so that the window keeps its design value.
IniFile importOld(const std::string& file, Kind kind) {
    IniFile ini;
    QSettings old(qs(file), QSettings::IniFormat);
    for (const QString& key : old.allKeys()) {
        const QVariant v = old.value(key);
        if (v.typeId() != QMetaType::QString) continue;
        const QStringList parts = key.split(QLatin1Char('/'));
        const std::string text = v.toString().toStdString();
        if (kind == Kind::Registry && parts.size() == 2) {
            const std::string group = oldName(parts[0]);
            const std::size_t sep = group.find('\\');
            const auto root = canonicalRoot(std::string_view(group).substr(0, sep));
            if (!root) continue;
            const std::string section = *root + (sep == std::string::npos ? std::string() : group.substr(sep));
            ini.set(section, parts[1] == QLatin1String("@") ? std::string() : oldName(parts[1]), text);
        } else if (kind == Kind::Settings && parts.size() == 3) {
            ini.set(settingsSegment(oldName(parts[0])) + "\\" + settingsSegment(oldName(parts[1])), oldName(parts[2]), text);
        }
    }
    return ini;
}

// A file without the header line whose sections hold no "\" is the earlier store's: it escaped
// every "\" of a name, where every section of this store (a key path, application\section) has one.
bool isOldLayout(const std::string& text, const IniFile& ini) {
    if (text.rfind(std::string("; ") + std::string(kHeader), 0) == 0) return false;
    for (const auto& s : ini.sections)
        if (s.name.find('\\') != std::string::npos) return false;
    return true;
}

std::string withHeader(IniFile ini) {
    ini.comments.assign(1, std::string(kHeader));
    return ini.text();
}

void writeStore(const std::string& file, const IniFile& ini) {
    const std::string text = withHeader(ini);
    writeFileBytes(file, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// The store's values; nothing when the file cannot be read (why says so). A missing file is an
// empty store.
std::optional<IniFile> load(const std::string& file, Kind kind, std::string& why) {
    std::error_code ec;
    if (std::filesystem::status(file, ec).type() == std::filesystem::file_type::not_found) return IniFile{};
    std::string text;
    try {
        const auto bytes = readFileBytes(file, kMaxStoreBytes);
        text.assign(bytes.begin(), bytes.end());
    } catch (const VbError& e) {
        const std::string reason = lastSystemReason();
        why = reason.empty() ? e.description() : reason;
        return std::nullopt;
    }
    IniFile ini = IniFile::parse(text);
    if (!isOldLayout(text, ini)) return ini;
    ini = importOld(file, kind);
    // Once: from now on the file has this store's layout. If it cannot be written now, the old
    // file stays and is read the same way next time.
    try {
        writeStore(file, ini);
    } catch (const VbError&) {
    }
    return ini;
}

std::optional<std::string> readValue(const std::string& file, Kind kind, const Place& place) {
    std::string why;
    const auto ini = load(file, kind, why);
    if (!ini) return std::nullopt;
    return ini->get(place.section, place.name);
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
    std::string why;
    auto ini = load(file, kind, why);
    if (!ini) {
        // Writing now would lose every value the file holds.
        g_lastFailure = "cannot read " + what + file + ": " + why;
        return false;
    }
    ini->set(place.section, place.name, value);
    try {
        writeStore(file, *ini);
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
