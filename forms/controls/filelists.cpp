#include "forms/controls/filelists.h"

#include <filesystem>

#include "forms/form.h"
#include "platform/error.h"
#include "platform/storage/files.h"

namespace forms {

using platform::raise;

FileListBox::FileListBox(Form* form, std::string name, Control* container)
    : ListBox(form, std::move(name), container, Kind::FileListBox, "ThunderRT6FileListBox") {}

void FileListBox::Refresh() {
    items_.clear();
    selected_.clear();
    listIndex_ = -1;
    anchor_ = -1;
    topIndex_ = 0;
    rowsReplaced();
    if (!path_.empty()) {
        for (auto& f : platform::listFiles(path_, pattern_)) {
            items_.push_back(f);
            selected_.push_back(false);
        }
    }
    notify(Prop::Items);
}

void FileListBox::setPath(const std::string& path) {
    if (!platform::dirExists(path)) raise(76);
    const bool changed = path != path_;
    path_ = path;
    Refresh();
    if (changed) fire(onPathChange);
}

void FileListBox::setPattern(const std::string& pattern) {
    const bool changed = pattern != pattern_;
    pattern_ = pattern;
    Refresh();
    if (changed) fire(onPatternChange);
}

DirListBox::DirListBox(Form* form, std::string name, Control* container)
    : ListBox(form, std::move(name), container, Kind::DirListBox, "ThunderRT6DirListBox") {}

namespace {
// A folder as this list writes it: inside the program folder the program folder's own path and
// then "\" between folders (as the program joins names to it), elsewhere the system's path.
// Either way the same folder always gives the same text, so the program may cut its folder off.
std::string folderText(const std::string& path) {
    namespace fs = std::filesystem;
    std::string disk = fs::path(platform::diskPath(path)).lexically_normal().string();
    while (disk.size() > 1 && disk.back() == '/') disk.pop_back();
    std::string app;
    try {
        app = platform::appPath();
    } catch (const platform::VbError&) {
        return disk;
    }
    std::string appDisk = fs::path(platform::diskPath(app)).lexically_normal().string();
    while (appDisk.size() > 1 && appDisk.back() == '/') appDisk.pop_back();
    if (disk == appDisk) return app;
    const std::string prefix = appDisk == "/" ? appDisk : appDisk + "/";
    if (disk.compare(0, prefix.size(), prefix) != 0) return disk;
    std::string rest = disk.substr(prefix.size());
    std::replace(rest.begin(), rest.end(), '/', '\\');
    return app + "\\" + rest;
}

// The last name of a folder's path ("/" for the root).
std::string lastName(const std::string& path) {
    const auto cut = path.find_last_of("/\\");
    if (cut == std::string::npos) return path;
    if (cut + 1 == path.size()) return path.substr(0, cut + 1);
    return path.substr(cut + 1);
}
}  // namespace

void DirListBox::fill() {
    items_.clear();
    selected_.clear();
    ancestors_.clear();
    const std::string disk = std::filesystem::path(platform::diskPath(path_)).lexically_normal().string();
    // The root, each folder on the way, the current folder.
    std::vector<std::string> way;
    for (std::filesystem::path p(disk);; p = p.parent_path()) {
        std::string s = p.string();
        while (s.size() > 1 && s.back() == '/') s.pop_back();
        if (!way.empty() && way.back() == s) break;
        way.push_back(s);
        if (s.empty() || s == "/" || !p.has_parent_path()) break;
    }
    for (auto it = way.rbegin(); it != way.rend(); ++it) ancestors_.push_back(folderText(*it));
    const std::string base = disk == "/" ? disk : disk + "/";
    for (auto& d : platform::listDirs(path_)) {
        items_.push_back(folderText(base + d));
        selected_.push_back(false);
    }
    listIndex_ = -1;
    anchor_ = -1;
    topIndex_ = 0;
    rowsReplaced();
    notify(Prop::Items);
}

std::string DirListBox::List(int index) const {
    if (index < -ancestorCount()) raise(381);
    if (index < 0) return ancestors_[ancestors_.size() + index];
    return ListBox::List(index);
}

std::string DirListBox::rowName(int index) const { return lastName(List(index)); }

void DirListBox::setPath(const std::string& path) {
    if (!platform::dirExists(path)) raise(76);
    const std::string text = folderText(path);
    if (text == path_) return;
    path_ = text;
    fill();
    fire(onChange);
}

void DirListBox::userSelect(int index, int) {
    // A click marks the row; the path stays until the row is opened.
    listIndex_ = index;
    notify(Prop::Selection);
    fire(onClick);
}

void DirListBox::userMoveTo(int index) { userSelect(index, 0); }

void DirListBox::openMarked() {
    if (listIndex_ == -1) return;
    const std::string target = List(listIndex_);
    // A folder gone since it was listed: the list shows what is there now.
    if (!platform::dirExists(target)) {
        fill();
        return;
    }
    setPath(target);
}

}  // namespace forms
