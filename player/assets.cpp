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
        if (fs::exists(target, ec)) continue;
        if (fs::copy_file(entry.path(), target, fs::copy_options::skip_existing, ec))
            ++copied;
        else if (ec)
            std::cerr << "player: cannot copy " << entry.path() << ": " << ec.message() << "\n";
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
        if (fs::exists(target, ec)) continue;
        if (fs::copy_file(entry.path(), target, fs::copy_options::skip_existing, ec))
            ++copied;
        else if (ec)
            std::cerr << "player: cannot copy " << entry.path() << ": " << ec.message() << "\n";
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
