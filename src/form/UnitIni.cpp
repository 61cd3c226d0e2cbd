// The private-profile reader and writer. The file is read whole into lines that keep their own
// line endings, so a write changes the one line it means and leaves every other byte alone.
#include "UnitIni.h"

#include <algorithm>
#include <optional>
#include <system_error>
#include <vector>

namespace quellmark {

namespace {

constexpr std::string_view kBlanks = " \t\v\f\x1a";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

struct Line {
    std::string text;
    std::string ending;  // "\n", "\r\n", "\r", or empty on a last line without one
};

// What a line is: nothing, a section header, or a key with or without "=".
struct Parsed {
    enum class Kind { Blank, Section, Key } kind = Kind::Blank;
    std::string_view name;
    std::string_view value;
};

Parsed Parse(const std::string& line) {
    const std::string_view text = Trim(line);
    if (text.empty()) return {};
    if (text.front() == '[') {
        const std::size_t close = text.rfind(']');
        if (close != std::string_view::npos) {
            return {Parsed::Kind::Section, Trim(text.substr(1, close - 1)), {}};
        }
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) return {Parsed::Kind::Key, text, {}};
    return {Parsed::Kind::Key, Trim(text.substr(0, equals)), Trim(text.substr(equals + 1))};
}

struct IniFile {
    bool hadBom = false;
    std::vector<Line> lines;
};

// A settings file is small; a larger one is no settings file of ours.
constexpr std::size_t kLargestFile = 1 << 20;

// The file's lines; nullopt when it exists but cannot be read. A missing file has no lines.
std::optional<IniFile> Load(FileSystem& files, const std::filesystem::path& path) {
    IniFile file;
    const PathFacts facts = files.examine(path);
    if (facts.kind == PathKind::Missing && !facts.error) return file;
    if (facts.kind != PathKind::File || facts.size > kLargestFile) return std::nullopt;
    FileBytes bytes;
    if (ReadWholeFile(files, path, bytes, kLargestFile)) return std::nullopt;
    std::string content(bytes.begin(), bytes.end());
    if (content.starts_with(kUtf8Bom)) {
        file.hadBom = true;
        content.erase(0, kUtf8Bom.size());
    }
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t end = content.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            file.lines.push_back({content.substr(start), {}});
            break;
        }
        const std::size_t next = content.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1;
        file.lines.push_back({content.substr(start, end - start), content.substr(end, next - end)});
        start = next;
    }
    return file;
}

// Rewritten in place, as the system's own profile functions do: a file that may be written in a
// folder that may not still takes its settings.
bool Save(FileSystem& files, const IniFile& file, const std::filesystem::path& path) {
    std::string content(file.hadBom ? kUtf8Bom : std::string_view());
    for (const Line& line : file.lines) content += line.text + line.ending;
    std::unique_ptr<OutputFile> out;
    if (files.create(path, out)) return false;
    std::size_t written = 0;
    const bool wrote = !out->write({reinterpret_cast<const std::uint8_t*>(content.data()), content.size()}, written);
    return !out->close() && wrote;
}

// Where a section's header is, and the lines after it up to the next header.
struct SectionSpan {
    std::size_t header;
    std::size_t end;
};

std::optional<SectionSpan> FindSection(const IniFile& file, std::string_view section) {
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        const Parsed p = Parse(file.lines[i].text);
        if (p.kind != Parsed::Kind::Section || !EqualNoCase(p.name, section)) continue;
        std::size_t end = i + 1;
        while (end < file.lines.size() && Parse(file.lines[end].text).kind != Parsed::Kind::Section) ++end;
        return SectionSpan{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> FindKey(const IniFile& file, const SectionSpan& span, std::string_view key) {
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
        const Parsed p = Parse(file.lines[i].text);
        if (p.kind == Parsed::Kind::Key && EqualNoCase(p.name, key)) return i;
    }
    return std::nullopt;
}

// The line ending the file already uses, so added lines match it.
std::string EndingOf(const IniFile& file) {
    for (const Line& line : file.lines) {
        if (!line.ending.empty()) return line.ending;
    }
    return "\n";
}

// At most max bytes of the text, without splitting a UTF-8 sequence.
std::string_view Cut(std::string_view text, std::size_t max) {
    if (text.size() <= max) return text;
    std::size_t cut = max;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut);
}

bool BreaksLine(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// Whether every byte beyond ASCII belongs to a well-formed UTF-8 character (no overlong form, no
// surrogate, nothing past U+10FFFF), and there is at least one.
bool WellFormedUtf8BeyondAscii(std::string_view text) {
    bool beyondAscii = false;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
        const unsigned char lead = byte(i);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        beyondAscii = true;
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;  // the second byte's range
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (text.size() - i < length || byte(i + 1) < low || byte(i + 1) > high) return false;
        for (std::size_t k = 2; k < length; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return beyondAscii;
}

}  // namespace

IniText IniTextOf(FileSystem& files, const std::filesystem::path& path) {
    const PathFacts facts = files.examine(path);
    if (facts.kind != PathKind::File || facts.size > kLargestFile) return IniText::SystemCodePage;
    FileBytes bytes;
    if (ReadWholeFile(files, path, bytes, kLargestFile)) return IniText::SystemCodePage;
    const std::string_view content(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return content.starts_with(kUtf8Bom) || WellFormedUtf8BeyondAscii(content) ? IniText::Utf8
                                                                               : IniText::SystemCodePage;
}

bool ReadIniString(FileSystem& files, std::string_view section, std::string_view key, std::string& value,
                   std::size_t capacity, const std::filesystem::path& path) {
    value.clear();
    if (capacity == 0) return false;
    const std::optional<IniFile> file = Load(files, path);
    if (!file) return false;
    const std::optional<SectionSpan> span = FindSection(*file, Trim(section));
    if (!span) return false;
    const std::optional<std::size_t> line = FindKey(*file, *span, Trim(key));
    if (!line) return false;
    value = Cut(Parse(file->lines[*line].text).value, capacity - 1);
    return !value.empty();
}

bool WriteIniString(FileSystem& files, std::string_view section, std::string_view key, std::string_view value,
                    const std::filesystem::path& path) {
    section = Trim(section);
    key = Trim(key);
    if (section.empty() || key.empty() || BreaksLine(section) || BreaksLine(key) || BreaksLine(value) ||
        section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos || key.front() == '[') {
        return false;
    }
    std::optional<IniFile> file = Load(files, path);
    if (!file) return false;
    const std::string ending = EndingOf(*file);
    const std::string_view storedValue = Trim(value);

    if (const std::optional<SectionSpan> span = FindSection(*file, section)) {
        if (const std::optional<std::size_t> line = FindKey(*file, *span, key)) {
            // The key keeps the spelling it has in the file.
            Line& target = file->lines[*line];
            target.text = std::string(Parse(target.text).name) + "=" + std::string(storedValue);
            if (target.ending.empty()) target.ending = ending;
        } else {
            // After the section's last non-blank line, so blank lines before the next section stay.
            std::size_t at = span->end;
            while (at > span->header + 1 && Parse(file->lines[at - 1].text).kind == Parsed::Kind::Blank) --at;
            if (file->lines[at - 1].ending.empty()) file->lines[at - 1].ending = ending;
            file->lines.insert(file->lines.begin() + static_cast<std::ptrdiff_t>(at),
                               Line{std::string(key) + "=" + std::string(storedValue), ending});
        }
    } else {
        if (!file->lines.empty()) {
            if (file->lines.back().ending.empty()) file->lines.back().ending = ending;
            if (Parse(file->lines.back().text).kind != Parsed::Kind::Blank) file->lines.push_back({"", ending});
        }
        file->lines.push_back({"[" + std::string(section) + "]", ending});
        file->lines.push_back({std::string(key) + "=" + std::string(storedValue), ending});
    }
    return Save(files, *file, path);
}

}  // namespace quellmark
