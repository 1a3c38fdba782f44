#include "platform/storage/inifile.h"

#include <QString>

namespace platform {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            const int hi = hexValue(s[i + 1]), lo = hexValue(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

enum class Part { Section, Name, Text, Comment };

// Escapes what the reader would otherwise take differently in that part of a line.
std::string escape(std::string_view s, Part part) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        const bool atEnd = i == 0 || i + 1 == s.size();
        // A comment is read as it stands, so only what would break its line is escaped there.
        bool encode = c < 0x20 || c == 0x7F;
        if (part != Part::Comment) encode = encode || c == '%' || (atEnd && isBlank(static_cast<char>(c)));
        if (part == Part::Name)
            encode = encode || c == '=' || (i == 0 && (c == '[' || c == ';' || c == '#' || c == '@'));
        if (encode) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// The name as a line holds it: the key's default value (no name) is "@".
std::string nameInFile(std::string_view name) { return name.empty() ? std::string("@") : escape(name, Part::Name); }

std::string nameFromFile(std::string_view raw) { return raw == "@" ? std::string() : unescape(raw); }

// The name of a section line ("[name]", or "[name] ; comment" as a hand-edited file has it), or
// nothing when the line is not one. A line that ends in "]" is a name whole: the writer never
// adds a comment, and a name may hold "] ;".
std::optional<std::string_view> sectionName(std::string_view line) {
    if (line.size() >= 2 && line.back() == ']') return line.substr(1, line.size() - 2);
    for (std::size_t close = line.size() - 1; close > 0; --close) {
        if (line[close] != ']') continue;
        const std::string_view rest = trimmed(line.substr(close + 1));
        if (!rest.empty() && (rest.front() == ';' || rest.front() == '#')) return line.substr(1, close - 1);
    }
    return std::nullopt;
}

}  // namespace

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() == b.size() && a == b) return true;
    const QString qa = QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size()));
    const QString qb = QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size()));
    return qa.compare(qb, Qt::CaseInsensitive) == 0;
}

IniFile IniFile::parse(std::string_view text) {
    IniFile file;
    Section* current = nullptr;
    // Editors on other systems start a UTF-8 file with a byte order mark.
    if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = trimmed(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty()) continue;
        if (line.front() == ';' || line.front() == '#') {
            file.comments.push_back(std::string(trimmed(line.substr(1))));
            continue;
        }
        if (line.front() == '[') {
            const auto name = sectionName(line);
            if (!name) {
                // The values under a line that names no section belong to none, not to the one before.
                current = nullptr;
                continue;
            }
            file.sections.push_back(Section{unescape(trimmed(*name)), {}});
            current = &file.sections.back();
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || !current) continue;
        current->entries.push_back(Entry{nameFromFile(trimmed(line.substr(0, eq))), unescape(trimmed(line.substr(eq + 1)))});
    }
    return file;
}

std::string IniFile::text() const {
    std::string out;
    for (const auto& c : comments) out += "; " + escape(c, Part::Comment) + "\r\n";
    for (const auto& s : sections) {
        if (!out.empty()) out += "\r\n";
        out += "[" + escape(s.name, Part::Section) + "]\r\n";
        for (const auto& e : s.entries) out += nameInFile(e.name) + "=" + escape(e.text, Part::Text) + "\r\n";
    }
    return out;
}

std::optional<std::string> IniFile::get(std::string_view section, std::string_view name) const {
    for (const auto& s : sections) {
        if (!sameName(s.name, section)) continue;
        for (const auto& e : s.entries)
            if (sameName(e.name, name)) return e.text;
    }
    return std::nullopt;
}

void IniFile::set(std::string_view section, std::string_view name, std::string_view value) {
    Section* target = nullptr;
    for (auto& s : sections) {
        if (!sameName(s.name, section)) continue;
        if (!target) target = &s;
        for (auto& e : s.entries) {
            if (!sameName(e.name, name)) continue;
            s.name = section;
            e.name = name;
            e.text = value;
            return;
        }
    }
    if (!target) {
        sections.push_back(Section{std::string(section), {}});
        target = &sections.back();
    }
    target->name = section;
    target->entries.push_back(Entry{std::string(name), std::string(value)});
}

}  // namespace platform
