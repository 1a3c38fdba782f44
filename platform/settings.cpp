#include "platform/settings.h"

#include <QSettings>
#include <QStandardPaths>
#include <QString>

#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>

#include "platform/error.h"

namespace platform {

namespace {

std::mutex& dirMutex() {
    static std::mutex m;
    return m;
}

std::string& dirOverride() {
    static std::string dir;
    return dir;
}

QString qs(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// QSettings escapes every character of a name in the INI file except the two it takes as group
// separators, so only those (and our own escape character) need encoding. '@' is taken too,
// because "@" alone stands for a key's default value. Names are folded so that lookups ignore
// case as the registry does.
QString encodeName(const QString& name) {
    QString out;
    out.reserve(name.size());
    for (QChar c : name.toCaseFolded()) {
        switch (c.unicode()) {
        case '%': out += QLatin1String("%25"); break;
        case '/': out += QLatin1String("%2F"); break;
        case '\\': out += QLatin1String("%5C"); break;
        case '@': out += QLatin1String("%40"); break;
        default: out += c;
        }
    }
    return out;
}

std::optional<QString> canonicalRoot(const QString& root) {
    const QString r = root.toUpper();
    if (r == QLatin1String("HKLM") || r == QLatin1String("HKEY_LOCAL_MACHINE"))
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    if (r == QLatin1String("HKCU") || r == QLatin1String("HKEY_CURRENT_USER"))
        return QStringLiteral("HKEY_CURRENT_USER");
    if (r == QLatin1String("HKCR") || r == QLatin1String("HKEY_CLASSES_ROOT"))
        return QStringLiteral("HKEY_CLASSES_ROOT");
    return std::nullopt;
}

// The store key of a registry path: one group per registry key, the value name inside it.
std::optional<QString> registryKey(const std::string& path) {
    const QString p = qs(path);
    const qsizetype firstSep = p.indexOf(QLatin1Char('\\'));
    if (firstSep < 0)
        return std::nullopt;
    const auto root = canonicalRoot(p.left(firstSep));
    if (!root)
        return std::nullopt;
    const QString rest = p.mid(firstSep + 1);
    const qsizetype lastSep = rest.lastIndexOf(QLatin1Char('\\'));
    const QString keyPath = lastSep < 0 ? QString() : rest.left(lastSep);
    const QString valueName = lastSep < 0 ? rest : rest.mid(lastSep + 1);
    QString group = *root;
    if (lastSep >= 0)
        group += QLatin1Char('\\') + keyPath;
    const QString name = valueName.isEmpty() ? QStringLiteral("@") : encodeName(valueName);
    return encodeName(group) + QLatin1Char('/') + name;
}

std::optional<QString> settingKey(const std::string& app, const std::string& section, const std::string& key) {
    if (app.empty() || section.empty() || key.empty())
        return std::nullopt;
    return encodeName(qs(app)) + QLatin1Char('/') + encodeName(qs(section)) + QLatin1Char('/') + encodeName(qs(key));
}

std::optional<std::string> readValue(const std::string& file, const QString& key) {
    QSettings store(qs(file), QSettings::IniFormat);
    if (!store.contains(key))
        return std::nullopt;
    return store.value(key).toString().toStdString();
}

// Writes one value and reports whether it reached the disk. The folder is made first, so that
// a plain file standing where the folder should be is seen before QSettings tries.
bool writeValue(const std::string& file, const QString& key, const std::string& value) {
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::path(file).parent_path();
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir, ec))
        return false;
    QSettings store(qs(file), QSettings::IniFormat);
    if (store.status() == QSettings::AccessError)
        return false;
    const QVariant old = store.value(key);
    const bool had = store.contains(key);
    store.setValue(key, qs(value));
    store.sync();
    if (store.status() == QSettings::NoError)
        return true;
    // QSettings keeps unsaved changes in a cache shared by every instance on this file; take the
    // value back out so that a later read does not see what never reached the disk.
    if (had)
        store.setValue(key, old);
    else
        store.remove(key);
    return false;
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

std::string RegRead(const std::string& path) {
    if (const auto key = registryKey(path)) {
        if (auto value = readValue(registryFilePath(), *key))
            return *value;
    }
    raise(kRegReadFailed, "Unable to open registry key \"" + path + "\" for reading.", "WshShell.RegRead");
}

void RegWrite(const std::string& path, const std::string& value) {
    const auto key = registryKey(path);
    if (!key || !writeValue(registryFilePath(), *key, value))
        raise(kRegWriteFailed, "Unable to save registry key \"" + path + "\".", "WshShell.RegWrite");
}

std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                       const std::string& def) {
    const auto k = settingKey(app, section, key);
    if (!k)
        return def;
    return readValue(settingsFilePath(), *k).value_or(def);
}

void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                 const std::string& value) {
    const auto k = settingKey(app, section, key);
    if (!k)
        raise(5);
    if (!writeValue(settingsFilePath(), *k, value))
        raise(75);
}

} // namespace platform
