#include "core/ProfileFile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
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

// Where a line ends and the next one starts: CR LF, LF and a lone CR all
// end a line, as for the platform's reader.
size_t LineEnd(const char* text, size_t pos, size_t size, size_t* next) {
    size_t end = pos;
    while (end < size && text[end] != '\r' && text[end] != '\n') ++end;
    *next = end == size ? end : end + ((text[end] == '\r' && end + 1 < size && text[end + 1] == '\n') ? 2 : 1);
    return end;
}

// The kind of a line, without taking it apart: parsing needs no more.
LineKind KindOf(std::string_view line) {
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size()) return LineKind::Blank;
    if (line[i] == ';') return LineKind::Comment;
    // Trailing blanks are no ']', so any ']' after the '[' closes a name.
    if (line[i] == '[' && line.find(']', i + 1) != std::string_view::npos) return LineKind::Header;
    return LineKind::Entry;
}

// Names compare without regard to case, ASCII only: bytes of other code
// pages compare as they are.
char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

uint32_t FoldedHash(std::string_view s) {
    uint32_t h = 2166136261u;
    for (char c : s) h = (h ^ static_cast<unsigned char>(Fold(c))) * 16777619u;
    return h;
}

bool FoldedEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

struct FoldedHashFn {
    size_t operator()(std::string_view s) const { return FoldedHash(s); }
};
struct FoldedEqualFn {
    bool operator()(std::string_view a, std::string_view b) const { return FoldedEqual(a, b); }
};

// The key lines of one section by name, compared without case; the first
// line with a name wins, as with the platform's reader. Open addressing over
// views of the lines themselves, made at its size once, so that a section
// of millions of keys costs less than its text.
class KeyIndex {
public:
    // Empties the index; a small table stays for the next section.
    void Clear() {
        if (m_slots.size() > kKept) {
            m_slots = std::vector<Slot>();
        } else {
            std::fill(m_slots.begin(), m_slots.end(), Slot{std::string_view(), 0});
        }
        m_count = 0;
    }
    void Reserve(size_t keys) {
        if (keys * 10 <= m_slots.size() * 7) return;
        const size_t wanted = keys * 10 / 7 + 8;
        Rehash(m_slots.empty() || wanted > m_slots.size() * 2 ? wanted : m_slots.size() * 2);
    }
    // The first line with the name, taken apart into *info, or null.
    std::string_view* Find(std::string_view name, LineInfo* info) {
        if (m_slots.empty()) return nullptr;
        const uint32_t hash = FoldedHash(name);
        for (size_t i = Home(hash, m_slots.size());; i = Next(i)) {
            Slot& slot = m_slots[i];
            if (slot.line.data() == nullptr) return nullptr;
            if (slot.hash != hash) continue;
            *info = Classify(slot.line);
            if (FoldedEqual(info->name, name)) return &slot.line;
        }
    }
    // Adds a line under its name unless a line of that name is there.
    void Add(std::string_view name, std::string_view line) {
        Reserve(m_count + 1);
        const uint32_t hash = FoldedHash(name);
        for (size_t i = Home(hash, m_slots.size());; i = Next(i)) {
            Slot& slot = m_slots[i];
            if (slot.line.data() == nullptr) {
                slot = Slot{line, hash};
                ++m_count;
                return;
            }
            if (slot.hash == hash && FoldedEqual(Classify(slot.line).name, name)) return;
        }
    }

private:
    static constexpr size_t kKept = 4096;
    struct Slot {
        std::string_view line;
        uint32_t hash;
    };
    static size_t Home(uint32_t hash, size_t size) {
        return static_cast<size_t>((static_cast<uint64_t>(hash) * size) >> 32);
    }
    size_t Next(size_t i) const { return i + 1 == m_slots.size() ? 0 : i + 1; }
    void Rehash(size_t size) {
        std::vector<Slot> old = std::move(m_slots);
        m_slots.assign(size, Slot{std::string_view(), 0});
        for (const Slot& slot : old) {
            if (slot.line.data() == nullptr) continue;
            size_t i = Home(slot.hash, size);
            while (m_slots[i].line.data() != nullptr) i = Next(i);
            m_slots[i] = slot;
        }
    }

    std::vector<Slot> m_slots;
    size_t m_count = 0;
};

// Where the file's sections start, by name: the offset of each name's first
// header line, one number a name, in a table made once at its size. Nothing
// else is kept of a section until it is written to, so that a file of many
// short sections costs little more than its bytes. Offset is 32 bits wide
// for files below 4 GiB.
template <typename Offset>
class HeaderTable {
public:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    void Clear() { m_slots = std::vector<Offset>(); }
    // Room for this many names, a quarter of the table left free.
    void Reserve(size_t names) { m_slots.assign(names + names / 3 + 1, Offset(0)); }
    // Adds the header at `offset` unless one of its name is there; nameAt
    // gives the name of the header at an offset.
    template <typename NameAt>
    void Add(std::string_view name, size_t offset, const NameAt& nameAt) {
        for (size_t i = Home(name);; i = Next(i)) {
            Offset& slot = m_slots[i];
            if (slot == 0) {
                slot = static_cast<Offset>(offset + 1);
                return;
            }
            if (FoldedEqual(nameAt(static_cast<size_t>(slot - 1)), name)) return;
        }
    }
    template <typename NameAt>
    size_t Find(std::string_view name, const NameAt& nameAt) const {
        if (m_slots.empty()) return kNone;
        for (size_t i = Home(name);; i = Next(i)) {
            const Offset slot = m_slots[i];
            if (slot == 0) return kNone;
            if (FoldedEqual(nameAt(static_cast<size_t>(slot - 1)), name)) return static_cast<size_t>(slot - 1);
        }
    }

private:
    size_t Home(std::string_view name) const { return FoldedHash(name) % m_slots.size(); }
    size_t Next(size_t i) const { return i + 1 == m_slots.size() ? 0 : i + 1; }

    std::vector<Offset> m_slots;  // offset + 1; 0 is free
};

// A run of text in a section. Lines read from the file stay in the file's
// buffer, many to a piece with their line ends; a written line is one piece
// of its own, without line end, kept in the arena.
struct Piece {
    const char* data;
    size_t size;
    bool written;
};

struct Section {
    std::string_view header;     // the header line as read or written
    std::vector<Piece> pieces;
    size_t trailingBlankPieces = 0;  // pieces at the end holding only blank lines
};

// Written lines, in blocks that never move, so that the views kept of them
// stay valid.
class Arena {
public:
    std::string_view Store(std::string_view text) {
        if (text.size() > m_left) {
            const size_t size = text.size() > kBlock ? text.size() : kBlock;
            m_blocks.emplace_back(new char[size]);
            m_next = m_blocks.back().get();
            m_left = size;
        }
        char* at = m_next;
        if (!text.empty()) std::memcpy(at, text.data(), text.size());
        m_next += text.size();
        m_left -= text.size();
        return std::string_view(at, text.size());
    }
    void Clear() {
        m_blocks.clear();
        m_next = nullptr;
        m_left = 0;
    }

private:
    static constexpr size_t kBlock = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_next = nullptr;
    size_t m_left = 0;
};

// Calls fn(line) for every line of a piece.
template <typename Fn>
void ForEachLine(const Piece& piece, Fn fn) {
    if (piece.written) {
        fn(std::string_view(piece.data, piece.size));
        return;
    }
    size_t pos = 0, next = 0;
    while (pos < piece.size) {
        const size_t end = LineEnd(piece.data, pos, piece.size, &next);
        fn(std::string_view(piece.data + pos, end - pos));
        pos = next;
    }
}

}  // namespace

struct ProfileFile::Impl {
    std::string bytes;  // the file as parsed; never changed until the next Parse
    Arena arena;
    // The file's own sections, each known by its header line's offset: found
    // by name through the table, their lines read from the bytes; a section
    // written to gets its pieces in `edited`. Sections Set makes follow them.
    bool wideOffsets = false;
    HeaderTable<uint32_t> headers32;
    HeaderTable<uint64_t> headers64;
    std::unordered_map<size_t, Section> edited;
    std::vector<size_t> removed;  // header offsets of the file's sections taken out, ascending
    std::vector<Section> added;
    // Name as its header spells it -> first added section with that name.
    std::unordered_map<std::string_view, size_t, FoldedHashFn, FoldedEqualFn> addedIndex;
    bool blankBeforeAdded = false;
    // The section found last and its name: keys are asked for section by section.
    mutable size_t lastFound = kNone;
    mutable std::string_view lastName;

    // The keys of one section, the last one asked about: reading and writing
    // go through a file section by section, and an index of every section
    // at once would cost more than the file itself. Key name as the file
    // spells it -> its first line: later duplicates are never read, as with
    // the platform's reader.
    size_t keysOf = kNone;
    KeyIndex keys;
    std::vector<std::pair<std::string_view, std::string_view>> entries;  // name and line, while indexing

    static constexpr size_t kNone = static_cast<size_t>(-1);
    // A section is named by its header's offset in the file, or by this bit
    // and its place among the added ones.
    static constexpr size_t kAdded = static_cast<size_t>(1) << (sizeof(size_t) * 8 - 1);

    Impl() { Clear(); }

    void Clear() {
        bytes.clear();
        bytes.shrink_to_fit();
        arena.Clear();
        headers32.Clear();
        headers64.Clear();
        edited.clear();
        removed.clear();
        added.clear();
        addedIndex.clear();
        blankBeforeAdded = false;
        lastFound = kNone;
        ForgetKeys();
    }

    void ForgetKeys() {
        keysOf = kNone;
        keys.Clear();
    }

    std::string_view LineAt(size_t pos, size_t* next) const {
        const size_t end = LineEnd(bytes.data(), pos, bytes.size(), next);
        return std::string_view(bytes.data() + pos, end - pos);
    }

    std::string_view HeaderNameAt(size_t pos) const {
        size_t next = 0;
        return Classify(LineAt(pos, &next)).name;
    }

    bool Removed(size_t header) const { return std::binary_search(removed.begin(), removed.end(), header); }

    // Calls fn(offset, line) for every header line of the file not taken out.
    template <typename Fn>
    void ForEachHeader(Fn fn) const {
        size_t pos = 0, next = 0;
        while (pos < bytes.size()) {
            const std::string_view line = LineAt(pos, &next);
            if (KindOf(line) == LineKind::Header && !Removed(pos)) fn(pos, line);
            pos = next;
        }
    }

    // Calls fn(line) for the lines of the file's section whose header is at
    // `header`, up to the next header.
    template <typename Fn>
    void ForEachBodyLine(size_t header, Fn fn) const {
        size_t pos = 0, next = 0;
        LineAt(header, &pos);
        while (pos < bytes.size()) {
            const std::string_view line = LineAt(pos, &next);
            if (KindOf(line) == LineKind::Header) return;
            fn(line);
            pos = next;
        }
    }

    void IndexHeaders() {
        wideOffsets = bytes.size() >= 0xFFFFFFFFu;
        size_t count = 0;
        ForEachHeader([&count](size_t, std::string_view) { ++count; });
        const auto nameAt = [this](size_t pos) { return HeaderNameAt(pos); };
        const auto add = [&](auto& table) {
            table.Reserve(count);
            ForEachHeader([&](size_t pos, std::string_view line) {
                const std::string_view name = Classify(line).name;
                if (!name.empty()) table.Add(name, pos, nameAt);
            });
        };
        headers32.Clear();
        headers64.Clear();
        if (wideOffsets) {
            add(headers64);
        } else {
            add(headers32);
        }
    }

    bool Empty() const { return bytes.empty() && added.empty(); }

    size_t Find(std::string_view trimmedName) const {
        if (lastFound != kNone && FoldedEqual(lastName, trimmedName)) return lastFound;
        const auto nameAt = [this](size_t pos) { return HeaderNameAt(pos); };
        size_t at = wideOffsets ? headers64.Find(trimmedName, nameAt) : headers32.Find(trimmedName, nameAt);
        if (at != kNone) {
            lastName = HeaderNameAt(at);
        } else {
            const auto it = addedIndex.find(trimmedName);
            if (it == addedIndex.end()) return kNone;
            at = kAdded | it->second;
            lastName = it->first;
        }
        lastFound = at;
        return at;
    }

    // The section's pieces, when it has any: an added section, or one of
    // the file's written to.
    const Section* Pieces(size_t section) const {
        if (section & kAdded) return &added[section & ~kAdded];
        const auto it = edited.find(section);
        return it == edited.end() ? nullptr : &it->second;
    }

    // The section as pieces, made from the file's lines on its first write:
    // the blank lines that end it kept apart, so that keys added later go
    // before them.
    Section& Writable(size_t section) {
        if (section & kAdded) return added[section & ~kAdded];
        const auto it = edited.find(section);
        if (it != edited.end()) return it->second;
        Section s;
        size_t begin = 0;
        s.header = LineAt(section, &begin);
        size_t pos = begin, blanksFrom = begin, next = 0;
        while (pos < bytes.size()) {
            const LineKind kind = KindOf(LineAt(pos, &next));
            if (kind == LineKind::Header) break;
            if (kind != LineKind::Blank) blanksFrom = next;
            pos = next;
        }
        if (!Layout::kAppendBeforeTrailingBlankLines) blanksFrom = pos;
        if (blanksFrom > begin) s.pieces.push_back(Piece{bytes.data() + begin, blanksFrom - begin, false});
        if (pos > blanksFrom) {
            s.pieces.push_back(Piece{bytes.data() + blanksFrom, pos - blanksFrom, false});
            s.trailingBlankPieces = 1;
        }
        return edited.emplace(section, std::move(s)).first->second;
    }

    size_t AddSection(std::string_view header) {
        Section section;
        section.header = header;
        added.push_back(std::move(section));
        addedIndex.emplace(Classify(header).name, added.size() - 1);
        return kAdded | (added.size() - 1);
    }

    // Calls fn(line) for every line of the section, as written to or as read.
    template <typename Fn>
    void ForEachSectionLine(size_t section, Fn fn) const {
        if (const Section* s = Pieces(section)) {
            for (const Piece& piece : s->pieces) ForEachLine(piece, fn);
        } else {
            ForEachBodyLine(section, fn);
        }
    }

    void IndexKeys(size_t section) {
        if (keysOf == section) return;
        ForgetKeys();
        // Gathered first, so that the table is made once at its size.
        entries.clear();
        const auto gather = [this](std::string_view line) {
            const LineInfo info = Classify(line);
            if (info.kind == LineKind::Entry && !info.name.empty()) entries.emplace_back(info.name, line);
        };
        ForEachSectionLine(section, gather);
        keys.Reserve(entries.size());
        for (const auto& entry : entries) keys.Add(entry.first, entry.second);
        if (entries.capacity() > 4096) entries = std::vector<std::pair<std::string_view, std::string_view>>();
        keysOf = section;
    }

    // The first line of the section that names the key, taken apart into
    // *info, or null.
    std::string_view* FindKey(size_t section, std::string_view trimmedKey, LineInfo* info) {
        IndexKeys(section);
        return keys.Find(trimmedKey, info);
    }

    // Puts a written line in place of a line of the section.
    std::string_view ReplaceLine(Section& s, std::string_view old, std::string_view text) {
        const std::string_view line = arena.Store(text);
        const std::less<const char*> before;
        for (size_t i = 0; i < s.pieces.size(); ++i) {
            Piece& piece = s.pieces[i];
            if (piece.written) {
                if (piece.data != old.data()) continue;
                piece.data = line.data();
                piece.size = line.size();
                return line;
            }
            if (before(old.data(), piece.data) || !before(old.data(), piece.data + piece.size)) continue;
            // Split the run of read lines around the old line and its line end.
            size_t next = 0;
            const size_t at = static_cast<size_t>(old.data() - piece.data);
            LineEnd(piece.data, at, piece.size, &next);
            const Piece head{piece.data, at, false};
            const Piece tail{piece.data + next, piece.size - next, false};
            std::vector<Piece> parts;
            if (head.size != 0) parts.push_back(head);
            parts.push_back(Piece{line.data(), line.size(), true});
            if (tail.size != 0) parts.push_back(tail);
            s.pieces.erase(s.pieces.begin() + static_cast<std::ptrdiff_t>(i));
            s.pieces.insert(s.pieces.begin() + static_cast<std::ptrdiff_t>(i), parts.begin(), parts.end());
            return line;
        }
        return line;  // not reached: every indexed line lies in a piece
    }

    std::string_view AppendLine(Section& s, std::string_view text) {
        const std::string_view line = arena.Store(text);
        const size_t at = s.pieces.size() - s.trailingBlankPieces;
        s.pieces.insert(s.pieces.begin() + static_cast<std::ptrdiff_t>(at), Piece{line.data(), line.size(), true});
        return line;
    }
};

ProfileFile::ProfileFile() : m_impl(new Impl) {}

ProfileFile::~ProfileFile() { delete m_impl; }

void ProfileFile::Parse(const std::string& bytes) { Parse(std::string(bytes)); }

void ProfileFile::Parse(std::string&& bytes) {
    Impl& impl = *m_impl;
    impl.Clear();
    impl.bytes = std::move(bytes);
    impl.IndexHeaders();
}

std::string ProfileFile::Serialize() const {
    const Impl& impl = *m_impl;
    const auto piecesSize = [](const Section& s) {
        size_t size = s.header.size() + Layout::kLineEnd.size();
        // Read runs may grow where a lone LF or CR becomes CR LF: a guess.
        for (const Piece& piece : s.pieces) size += piece.size + Layout::kLineEnd.size();
        return size;
    };
    size_t total = impl.bytes.size() + Layout::kLineEnd.size() * 2;
    for (const auto& entry : impl.edited) total += piecesSize(entry.second);
    for (const Section& s : impl.added) total += piecesSize(s);
    std::string out;
    out.reserve(total);
    const auto put = [&out](std::string_view line) {
        out += line;
        out += Layout::kLineEnd;
    };
    const auto putSection = [&](const Section& s) {
        put(s.header);
        for (const Piece& piece : s.pieces) ForEachLine(piece, put);
    };
    // The file's lines as they were, but for its sections taken out or
    // written to.
    bool skipping = false;
    size_t pos = 0, next = 0;
    while (pos < impl.bytes.size()) {
        const std::string_view line = impl.LineAt(pos, &next);
        if (KindOf(line) == LineKind::Header) {
            skipping = impl.Removed(pos);
            const auto it = skipping ? impl.edited.end() : impl.edited.find(pos);
            if (it != impl.edited.end()) {
                putSection(it->second);
                skipping = true;
            } else if (!skipping) {
                put(line);
            }
        } else if (!skipping) {
            put(line);
        }
        pos = next;
    }
    if (impl.blankBeforeAdded && !impl.added.empty()) put(std::string_view());
    for (const Section& s : impl.added) putSection(s);
    return out;
}

bool ProfileFile::Get(const std::string& section, const std::string& key, std::string& value) const {
    std::string_view view;
    if (!GetView(section, key, view)) return false;
    value.assign(view);
    return true;
}

bool ProfileFile::ForEachKey(
    const std::string& section,
    const std::function<void(std::string_view name, std::string_view value, bool hasValue)>& fn) const {
    const std::string_view sectionName = Trim(section);
    if (sectionName.empty()) return false;
    const size_t s = m_impl->Find(sectionName);
    if (s == Impl::kNone) return false;
    const auto visit = [&fn](std::string_view line) {
        const LineInfo info = Classify(line);
        if (info.kind != LineKind::Entry || info.name.empty()) return;
        fn(info.name, info.hasValue ? Unquote(UpToZero(info.value)) : std::string_view(), info.hasValue);
    };
    m_impl->ForEachSectionLine(s, visit);
    return true;
}

bool ProfileFile::GetView(const std::string& section, const std::string& key, std::string_view& value) const {
    const std::string_view sectionName = Trim(section);
    const std::string_view keyName = Trim(key);
    if (sectionName.empty() || keyName.empty()) return false;
    const size_t s = m_impl->Find(sectionName);
    if (s == Impl::kNone) return false;
    LineInfo info;
    if (!m_impl->FindKey(s, keyName, &info)) return false;
    // The first line with the name decides, even when it lacks '='.
    if (!info.hasValue) return false;
    // Cut first, then unquote: a quote behind the zero does not pair.
    value = Unquote(UpToZero(info.value));
    return true;
}

std::string ProfileFile::GetString(const std::string& section, const std::string& key,
                                   const std::string& defaultValue) const {
    std::string value;
    return Get(section, key, value) ? value : defaultValue;
}

void ProfileFile::ForEachSection(const std::function<void(const std::string&)>& fn) const {
    m_impl->ForEachHeader([&](size_t, std::string_view line) { fn(std::string(Classify(line).name)); });
    for (const Section& s : m_impl->added) fn(std::string(Classify(s.header).name));
}

void ProfileFile::RemoveSections(const std::function<bool(const std::string&)>& remove) {
    Impl& impl = *m_impl;
    impl.ForgetKeys();
    impl.lastFound = Impl::kNone;
    std::vector<size_t> gone;
    impl.ForEachHeader([&](size_t pos, std::string_view line) {
        if (!remove(std::string(Classify(line).name))) return;
        gone.push_back(pos);
        impl.edited.erase(pos);
    });
    if (!gone.empty()) {
        const size_t kept = impl.removed.size();
        impl.removed.insert(impl.removed.end(), gone.begin(), gone.end());
        std::inplace_merge(impl.removed.begin(), impl.removed.begin() + static_cast<std::ptrdiff_t>(kept),
                           impl.removed.end());
        impl.IndexHeaders();
    }
    std::vector<Section> added = std::move(impl.added);
    impl.added.clear();
    impl.addedIndex.clear();
    for (Section& s : added) {
        if (remove(std::string(Classify(s.header).name))) continue;
        impl.added.push_back(std::move(s));
        impl.addedIndex.emplace(Classify(impl.added.back().header).name, impl.added.size() - 1);
    }
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

    size_t found = impl.Find(sectionName);
    if (found == Impl::kNone) {
        if (Layout::kBlankLineBeforeNewSection && !impl.Empty()) {
            if (impl.added.empty()) {
                impl.blankBeforeAdded = true;
            } else {
                Section& last = impl.added.back();
                impl.AppendLine(last, std::string_view());
                ++last.trailingBlankPieces;
            }
        }
        found = impl.AddSection(impl.arena.Store(Layout::HeaderLine(sectionName)));
    }
    Section& s = impl.Writable(found);

    LineInfo info;
    std::string_view* existing = impl.FindKey(found, keyName, &info);
    if (existing) {
        if (info.hasValue && info.value == encoded) return true;  // leave the line as it was written
        // The new line keeps the name as spelled, so its index entry stays.
        *existing = impl.ReplaceLine(s, *existing, Layout::KeyLine(info.name, encoded));
        return true;
    }
    const std::string_view line = impl.AppendLine(s, Layout::KeyLine(keyName, encoded));
    impl.keys.Add(Classify(line).name, line);
    return true;
}

bool ProfileFile::AddComment(const std::string& section, const std::string& text) {
    if (HasLineBreakOrZero(text)) return false;
    const std::string_view sectionName = Trim(section);
    if (sectionName.empty()) return false;
    Impl& impl = *m_impl;
    const size_t found = impl.Find(sectionName);
    if (found == Impl::kNone) return false;
    impl.AppendLine(impl.Writable(found), ";" + text);
    return true;
}

bool ProfileFile::ForEachComment(const std::string& section,
                                 const std::function<void(std::string_view text)>& fn) const {
    const std::string_view sectionName = Trim(section);
    if (sectionName.empty()) return false;
    const size_t s = m_impl->Find(sectionName);
    if (s == Impl::kNone) return false;
    m_impl->ForEachSectionLine(s, [&fn](std::string_view line) {
        if (KindOf(line) == LineKind::Comment) fn(line.substr(line.find(';') + 1));
    });
    return true;
}

}  // namespace zentrel
