// The registry as the program's scripting shell object sees it (RegRead, RegWrite of string
// values) and the per-user settings store of the forms runtime (GetSetting, SaveSetting).
// Both live as INI files (platform/inifile.h) in one folder, $XDG_CONFIG_HOME/korvella/ unless a
// test points them elsewhere: registry.ini holds one section per registry key
// ([HKEY_LOCAL_MACHINE\Software\Korvella\Save], Save1=...), settings.ini one per application
// and section ([WavoricsOCX\WaveInDevices], LastHandle=...). Names are kept as the program writes
// them and matched ignoring case, as the registry does. Every write replaces the whole file
// through a temporary file, so a failed write leaves the file as it was, and holds a lock on a
// file beside it (registry.ini.lock) from its read to the replaced file, so that programs
// writing at once lose nothing. A write that changes nothing writes nothing; one that would
// take the file past 1 MB (more than the reader accepts) is refused. A file of the earlier
// QSettings store is read the old way and, when wholly understood, rewritten in this layout;
// reads never rewrite any other file.
#pragma once
#include <string>

namespace platform {

// Error numbers of the shell object: a value that cannot be read (0x80070002) and a value that
// cannot be written (0x80070005).
inline constexpr int kRegReadFailed = -2147024894;
inline constexpr int kRegWriteFailed = -2147024891;

// The folder of both stores. An empty argument goes back to the default folder.
void setConfigDir(const std::string& dir);
std::string configDir();
std::string registryFilePath();
std::string settingsFilePath();

// path = root\key\...\valueName, root one of HKLM, HKCU, HKCR or their long names; a path
// ending in "\" names the key's default value. HKLM\X and HKEY_LOCAL_MACHINE\X are one value.
// RegRead raises kRegReadFailed ("Unable to open registry key "<path>" for reading.") when the
// value or the root is missing; RegWrite creates what is needed and raises kRegWriteFailed
// ("Unable to save registry key "<path>".") when the store cannot be written.
std::string RegRead(const std::string& path);
void RegWrite(const std::string& path, const std::string& value);

// GetSetting returns def when the store, the application, the section or the key is missing
// (or any of the names is empty). SaveSetting raises 5 for an empty name and 75 when the
// store cannot be written.
std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                       const std::string& def = "");
void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                 const std::string& value);

// Why this thread's last RegWrite or SaveSetting failed: the store, its file and the system's
// reason ("cannot write the registry store /home/x/.config/korvella/registry.ini: No space left
// on device").
std::string lastStoreFailure();

} // namespace platform
