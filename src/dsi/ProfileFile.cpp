#include "dsi/ProfileFile.h"

#include <functional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zentrel {
namespace {

// ---------------------------------------------------------------------------
// How written lines look. Every layout choice lives here so that matching the
// platform's writer byte for byte means editing this block only.
//
// Observed with the platform writer (Wine 8.0): a new file is "[s]\r\nk=v\r\n"
// with no empty lines anywhere, a new section follows the last line directly,
// a new key follows the section's last non-empty line, a replaced key keeps
// the name as the file spells it and is written "name=value".
struct Layout {
    static constexpr std::string_view kLineEnd = "\r\n";
    static constexpr bool kBlankLineBeforeNewSection = false;
    // Keeps empty lines that separate a section from the next one below the
    // keys added to it.
    static constexpr bool kAppendBeforeTrailingBlankLines = true;
    // The platform writer stores such values raw and its reader then loses
    // their surrounding blanks or enclosing quotes; quoting keeps them.
    static constexpr bool kQuoteValuesReadersWouldAlter = true;

    static std::string HeaderLine(std::string_view name) {
        std::string line;
        line.reserve(name.size() + 2);
        line += '[';
        line += name;
        line += ']';
        return line;
    }
    static std::string KeyLine(std::string_view name, std::string_view value) {
        std::string line;
        line.reserve(name.size() + value.size() + 1);
        line += name;
        line += '=';
        line += value;
        return line;
    }
};
// ---------------------------------------------------------------------------

// The reader's blanks: C white space plus ^Z, which old DOS tools left behind.
bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r') || c == '\x1A';
}

std::string_view Trim(std::string_view s) {
    size_t begin = 0, end = s.size();
    while (begin < end && IsBlank(s[begin])) ++begin;
    while (end > begin && IsBlank(s[end - 1])) --end;
    return s.substr(begin, end - begin);
}

// ASCII only: bytes of other code pages compare as they are.
std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The platform's reader compares and returns texts as C strings, so every
// name and value ends at its first zero byte.
std::string_view UpToZero(std::string_view s) {
    const size_t zero = s.find('\0');
    return zero == std::string_view::npos ? s : s.substr(0, zero);
}

std::string_view Unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

bool HasLineBreakOrZero(std::string_view s) {
    for (char c : s)
        if (c == '\r' || c == '\n' || c == '\0') return true;
    return false;
}

enum class LineKind { Blank, Comment, Header, Entry };

struct LineInfo {
    LineKind kind = LineKind::Blank;
    std::string_view name;   // section name for a header, key name for an entry
    std::string_view value;  // trimmed, quotes still on
    bool hasValue = false;   // an entry line without '=' names a key but has no value
};

LineInfo Classify(std::string_view line) {
    LineInfo info;
    const std::string_view t = Trim(line);
    if (t.empty()) return info;
    if (t[0] == ';') {
        info.kind = LineKind::Comment;
        return info;
    }
    if (t[0] == '[') {
        // The last ']' closes the name, so "[a]b]" is section "a]b"; a '[' line
        // without any ']' is read as an ordinary entry.
        const size_t close = t.rfind(']');
        if (close != std::string_view::npos && close > 0) {
            info.kind = LineKind::Header;
            info.name = UpToZero(Trim(t.substr(1, close - 1)));
            return info;
        }
    }
    info.kind = LineKind::Entry;
    const size_t eq = t.find('=');
    if (eq == std::string_view::npos) {
        info.name = UpToZero(t);
    } else {
        info.name = UpToZero(Trim(t.substr(0, eq)));
        info.value = Trim(t.substr(eq + 1));
        info.hasValue = true;
    }
    return info;
}

std::string EncodeValue(const std::string& value) {
    if (Layout::kQuoteValuesReadersWouldAlter && Unquote(Trim(value)) != value) {
        std::string quoted;
        quoted.reserve(value.size() + 2);
        quoted += '"';
        quoted += value;
        quoted += '"';
        return quoted;
    }
    return value;
}

struct Section {
    bool hasHeader = false;  // false only for the lines before the first header
    std::string header;      // the header line as read or written
    std::vector<std::string> lines;
    size_t trailingBlanks = 0;
    // Lower-cased key name -> first line with that name: later duplicates are
    // never read, as with the platform's reader.
    std::unordered_map<std::string, size_t> keys;

    void Add(std::string line) {
        const LineInfo info = Classify(line);
        if (info.kind == LineKind::Blank) {
            ++trailingBlanks;
        } else {
            trailingBlanks = 0;
            if (info.kind == LineKind::Entry && !info.name.empty())
                keys.emplace(Lower(info.name), lines.size());
        }
        lines.push_back(std::move(line));
    }
};

}  // namespace

struct ProfileFile::Impl {
    std::vector<Section> sections;  // [0] is the part before the first header
    // Lower-cased section name -> first section with that name.
    std::unordered_map<std::string, size_t> index;

    Impl() { Clear(); }

    void Clear() {
        sections.clear();
        sections.emplace_back();
        index.clear();
    }

    void AddLine(std::string line) {
        const LineInfo info = Classify(line);
        if (info.kind == LineKind::Header) {
            const std::string key = Lower(info.name);
            Section section;
            section.hasHeader = true;
            section.header = std::move(line);
            sections.push_back(std::move(section));
            index.emplace(key, sections.size() - 1);
            return;
        }
        sections.back().Add(std::move(line));
    }

    bool Empty() const { return sections.size() == 1 && sections[0].lines.empty(); }

    const Section* Find(std::string_view trimmedName) const {
        const auto it = index.find(Lower(trimmedName));
        return it == index.end() ? nullptr : &sections[it->second];
    }
};

ProfileFile::ProfileFile() : m_impl(new Impl) {}

ProfileFile::~ProfileFile() { delete m_impl; }

void ProfileFile::Parse(const std::string& bytes) {
    m_impl->Clear();
    // CR LF, LF and a lone CR all end a line, as for the platform's reader.
    size_t pos = 0;
    const size_t size = bytes.size();
    while (pos < size) {
        size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = size;
        m_impl->AddLine(bytes.substr(pos, end - pos));
        pos = end;
        if (pos < size) pos += (bytes[pos] == '\r' && pos + 1 < size && bytes[pos + 1] == '\n') ? 2 : 1;
    }
}

std::string ProfileFile::Serialize() const {
    size_t total = 0;
    for (const Section& s : m_impl->sections) {
        if (s.hasHeader) total += s.header.size() + Layout::kLineEnd.size();
        for (const std::string& line : s.lines) total += line.size() + Layout::kLineEnd.size();
    }
    std::string out;
    out.reserve(total);
    for (const Section& s : m_impl->sections) {
        if (s.hasHeader) {
            out += s.header;
            out += Layout::kLineEnd;
        }
        for (const std::string& line : s.lines) {
            out += line;
            out += Layout::kLineEnd;
        }
    }
    return out;
}

bool ProfileFile::Get(const std::string& section, const std::string& key, std::string& value) const {
    const std::string_view sectionName = Trim(section);
    const std::string_view keyName = Trim(key);
    if (sectionName.empty() || keyName.empty()) return false;
    const Section* s = m_impl->Find(sectionName);
    if (!s) return false;
    const auto it = s->keys.find(Lower(keyName));
    if (it == s->keys.end()) return false;
    // The first line with the name decides, even when it lacks '='.
    const LineInfo info = Classify(s->lines[it->second]);
    if (!info.hasValue) return false;
    // Cut first, then unquote: a quote behind the zero does not pair.
    value.assign(Unquote(UpToZero(info.value)));
    return true;
}

std::string ProfileFile::GetString(const std::string& section, const std::string& key,
                                   const std::string& defaultValue) const {
    std::string value;
    return Get(section, key, value) ? value : defaultValue;
}

void ProfileFile::RemoveSections(const std::function<bool(const std::string&)>& remove) {
    Impl& impl = *m_impl;
    std::vector<Section> kept;
    kept.reserve(impl.sections.size());
    kept.push_back(std::move(impl.sections[0]));
    impl.index.clear();
    for (size_t i = 1; i < impl.sections.size(); ++i) {
        const std::string name(Classify(impl.sections[i].header).name);
        if (remove(name)) continue;
        impl.index.emplace(Lower(name), kept.size());
        kept.push_back(std::move(impl.sections[i]));
    }
    impl.sections = std::move(kept);
}

bool ProfileFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    // A line break would let a value forge sections or keys of its own.
    if (HasLineBreakOrZero(section) || HasLineBreakOrZero(key) || HasLineBreakOrZero(value)) return false;
    const std::string_view sectionName = Trim(section);
    const std::string_view keyName = Trim(key);
    if (sectionName.empty() || keyName.empty()) return false;
    if (keyName.find('=') != std::string_view::npos || keyName[0] == ';' || keyName[0] == '[') return false;

    const std::string encoded = EncodeValue(value);
    Impl& impl = *m_impl;

    const std::string sectionKey = Lower(sectionName);
    auto found = impl.index.find(sectionKey);
    if (found == impl.index.end()) {
        if (Layout::kBlankLineBeforeNewSection && !impl.Empty()) impl.sections.back().Add(std::string());
        Section created;
        created.hasHeader = true;
        created.header = Layout::HeaderLine(sectionName);
        impl.sections.push_back(std::move(created));
        found = impl.index.emplace(sectionKey, impl.sections.size() - 1).first;
    }
    Section& s = impl.sections[found->second];

    std::string keyKey = Lower(keyName);
    const auto existing = s.keys.find(keyKey);
    if (existing != s.keys.end()) {
        std::string& line = s.lines[existing->second];
        const LineInfo info = Classify(line);
        if (info.hasValue && info.value == encoded) return true;  // leave the line as it was written
        line = Layout::KeyLine(info.name, encoded);
        return true;
    }

    // Only blank lines follow the insertion point, and blank lines are not
    // indexed, so no stored line number moves.
    const size_t at = Layout::kAppendBeforeTrailingBlankLines ? s.lines.size() - s.trailingBlanks
                                                               : s.lines.size();
    s.lines.insert(s.lines.begin() + static_cast<std::ptrdiff_t>(at), Layout::KeyLine(keyName, encoded));
    if (!Layout::kAppendBeforeTrailingBlankLines) s.trailingBlanks = 0;
    s.keys.emplace(std::move(keyKey), at);
    return true;
}

}  // namespace zentrel
