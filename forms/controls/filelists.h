// The file list and the folder list.
#pragma once
#include <string>
#include <vector>

#include "forms/control.h"
#include "forms/controls/listbox.h"

namespace forms {

class FileListBox : public ListBox {
public:
    FileListBox(Form* form, std::string name, Control* container = nullptr);
    const std::string& Path() const { return path_; }
    // A missing folder raises 76 and changes nothing.
    void setPath(const std::string& path);
    const std::string& Pattern() const { return pattern_; }
    void setPattern(const std::string& pattern);
    // The selected name without folder, "" when none.
    std::string FileName() const { return Text(); }
    void Refresh();
    std::function<void()> onPathChange, onPatternChange;

private:
    std::string path_;
    std::string pattern_ = "*.*";
};

// The folder list: the folders from the file-system root down to the current one (indexes
// -Ancestors .. -1, the current folder -1), then the current folder's sub-folders (0 ..
// ListCount-1). Every List(i) is a full path. Paths inside the program folder are written as the
// program writes them: the program folder's path, then "\" between folders; others as the
// system writes them.
class DirListBox : public ListBox {
public:
    DirListBox(Form* form, std::string name, Control* container = nullptr);
    const std::string& Path() const { return path_; }
    // Change when the path differs; a missing folder raises 76.
    void setPath(const std::string& path);
    std::string List(int index) const override;
    // The number of rows above the sub-folders (the root, each folder on the way, the current one).
    int ancestorCount() const { return static_cast<int>(ancestors_.size()); }
    // What a row shows: the folder's own name ("/" for the root).
    std::string rowName(int index) const;
    // Opens the marked row: Path := List(ListIndex). Double click and Enter do this.
    void openMarked();
    std::function<void()> onChange;

protected:
    int lowestIndex() const override { return -ancestorCount(); }
    void userSelect(int index, int shift) override;
    void userOpen() override { openMarked(); }
    void userMoveTo(int index) override;

private:
    void fill();
    std::string path_;
    std::vector<std::string> ancestors_;
};

}  // namespace forms
