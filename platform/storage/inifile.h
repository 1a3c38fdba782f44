// The text of the settings files: sections of Name=Text lines, names kept as written and found
// ignoring case, any name or text stored unchanged.
//
//   ; comment
//   [HKEY_LOCAL_MACHINE\Software\Korvella\Save]
//   Save1=F1
//
// "%XX" (two hex digits) stands for the byte XX. The writer uses it only where a character would
// otherwise be read differently: "%" itself, control characters (line breaks), blanks at either
// end of a name or a text, "=" in a name, and "[", ";", "#" or "@" opening a name. The reader
// takes a "%" that is not followed by two hex digits as itself, so hand-edited files read as they
// look; blanks around names and texts are not part of them. Comments are read as they stand. A
// UTF-8 byte order mark at the start is skipped, and a section line may end in a comment
// ("[Key] ; note").
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class IniFile {
public:
    struct Entry {
        std::string name;
        std::string text;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };

    // Reads a file's text; lines that are neither a section, nor Name=Text in a section, nor a
    // comment are left out, and so are the values under a "[" line that names no section.
    static IniFile parse(std::string_view text);
    // The file's text: the comment lines first, then each section with its entries, CR LF after
    // every line.
    std::string text() const;

    // The text of a name in a section (both ignoring case), or nothing.
    std::optional<std::string> get(std::string_view section, std::string_view name) const;
    // Sets a text; an entry or section of the same name in another case takes the spelling given.
    void set(std::string_view section, std::string_view name, std::string_view value);

    std::vector<std::string> comments;  // without the leading "; "
    std::vector<Section> sections;
};

// Whether two names are one name for the registry: equal once case is folded.
bool sameName(std::string_view a, std::string_view b);

}  // namespace platform
