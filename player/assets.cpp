#include "player/assets.h"

#include <iostream>
#include <filesystem>
#include <system_error>

namespace player {

namespace fs = std::filesystem;

namespace {

bool folderEmpty(const fs::path& p) {
    std::error_code ec;
    return !fs::exists(p, ec) || fs::is_empty(p, ec);
}

// 1 when file was copied to target, 0 when target exists or the copy failed (said on stderr).
int copyIfMissing(const fs::path& file, const fs::path& target) {
    std::error_code ec;
    if (fs::exists(target, ec)) return 0;
    if (fs::copy_file(file, target, fs::copy_options::skip_existing, ec)) return 1;
    if (ec) std::cerr << "player: cannot copy " << file << ": " << ec.message() << "\n";
    return 0;
}

int copyMissing(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (!fs::is_directory(from, ec)) {
        std::cerr << "player: no delivered folder " << from << "\n";
        return 0;
    }
    fs::create_directories(to, ec);
    if (ec) {
        std::cerr << "player: cannot create " << to << ": " << ec.message() << "\n";
        return 0;
    }
    int copied = 0;
    for (const auto& entry : fs::recursive_directory_iterator(from, ec)) {
        const fs::path target = to / fs::relative(entry.path(), from, ec);
        if (entry.is_directory(ec)) {
            fs::create_directories(target, ec);
            continue;
        }
        copied += copyIfMissing(entry.path(), target);
    }
    return copied;
}

// The delivered playlists, each where the program folder has none of its name.
int copyMissingPlaylists(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    int copied = 0;
    for (const auto& entry : fs::directory_iterator(from, ec)) {
        if (entry.path().extension() != ".bpl" || !entry.is_regular_file(ec)) continue;
        const fs::path target = to / entry.path().filename();
        copied += copyIfMissing(entry.path(), target);
    }
    return copied;
}

}  // namespace

int installAssets(const std::string& destFolder, const std::string& assetsFolder) {
    const fs::path dest(destFolder), assets(assetsFolder);
    int copied = copyMissing(assets / "Dimmer", dest / "Dimmer");
    if (folderEmpty(dest / "Effekts")) copied += copyMissing(assets / "Effekts", dest / "Effekts");
    copied += copyMissingPlaylists(assets, dest);
    return copied;
}

std::string defaultAssetsFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return "assets";
    return (exe.parent_path() / "assets").string();
}

}  // namespace player
