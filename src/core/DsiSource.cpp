#include "core/DsiSource.h"

#include <algorithm>
#include <string_view>

#include "core/DsiCodec.h"
#include "core/ProfileFile.h"
#include "core/Secrets.h"
#include "core/Utf.h"
#include "core/ValueFormat.h"

namespace zentrel {
namespace {

std::string Characters(size_t n) { return std::to_string(n) + " characters"; }

// The levels of a path: the texts between backslashes. Empty ones are
// skipped: an empty level names the key itself, and opening "" hands back
// the parent's own handle.
std::vector<std::string> Levels(const std::string& path) {
    std::vector<std::string> levels;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) levels.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return levels;
}

std::string PathProblem(const std::vector<std::string>& levels) {
    if (levels.size() > kMaxDsnDepth)
        return "its path has " + std::to_string(levels.size()) + " levels, more than the registry's " +
               std::to_string(kMaxDsnDepth) + " below a data source";
    for (const std::string& level : levels) {
        if (Utf16Units(level) > kMaxKeyNameLength)
            return "a key name in its path has " + Characters(Utf16Units(level)) + ", more than the registry's " +
                   std::to_string(kMaxKeyNameLength);
    }
    return std::string();
}

}  // namespace

void SplitDsiRowName(const std::string& name, bool subkey, std::vector<std::string>& levels,
                     std::string& valueName) {
    levels.clear();
    valueName = name;
    const size_t first = name.find('\\');
    if (subkey) {
        levels = Levels(name);
    } else if (first != std::string::npos && first > 0) {
        const size_t last = name.rfind('\\');
        valueName = name.substr(last + 1);
        levels = Levels(name.substr(0, last));
    }
}

std::string ShownName(const std::string& name) {
    if (name.size() <= 80) return name;
    return name.substr(0, Utf8CutPoint(name, 60)) + "... (" + Characters(Utf16Units(name)) + ")";
}

std::string VisibleZeros(const std::string& name) {
    std::string shown;
    for (char c : name) {
        if (c == '\0') {
            shown += "\\0";
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string DsnNameProblem(const std::string& name) {
    if (name.empty()) return "its name is empty";
    if (Utf16Units(name) > kMaxKeyNameLength)
        return "its name has " + Characters(Utf16Units(name)) + ", more than the registry's " +
               std::to_string(kMaxKeyNameLength);
    if (name.find('\\') != std::string::npos) return "the name '" + ShownName(name) + "' contains a backslash";
    return std::string();
}

namespace {

// The keys of a row, as "Name%d" and its kin spell them.
enum RowField { kName, kValue, kFormat, kData, kRaw, kRowFields };
const char* const kRowFieldNames[kRowFields] = {"Name", "Value", "Format", "Data", "Raw"};

// The field and row a key names, compared without case as a profile
// reader compares names; false for any other key ("Name01" names none).
bool RowKey(std::string_view name, int* field, long long* index) {
    for (int f = 0; f < kRowFields; ++f) {
        const std::string_view prefix = kRowFieldNames[f];
        if (name.size() <= prefix.size() || !SameAsciiIgnoringCase(name.substr(0, prefix.size()), prefix)) continue;
        const std::string_view digits = name.substr(prefix.size());
        if (digits.size() > 10 || (digits.size() > 1 && digits[0] == '0')) return false;
        long long value = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + (c - '0');
        }
        *field = f;
        *index = value;
        return true;
    }
    return false;
}

// A key line of a row, as the section's one pass found it.
struct RowLine {
    int index;
    unsigned char field;
    bool hasValue;
    unsigned order;  // the first line of a name decides, as for a reader
    std::string_view value;
};

// Reads and checks row j from the first line of each of its fields (null
// when it has none, or it has no value); false when the file holds none.
bool ReadRow(int j, const RowLine* const* fields, DsiSourceRows& out) {
    const auto has = [fields](int f) { return fields[f] != nullptr && fields[f]->hasValue; };
    const auto text = [&](int f) { return has(f) ? fields[f]->value : std::string_view(); };
    if (!has(kName) && !has(kValue) && !has(kFormat) && !has(kData) && !has(kRaw)) return false;
    DsiImportRow row;
    row.index = j;
    row.name.assign(text(kName));
    // Views into the file: a huge value is decoded without a copy of its text.
    const std::string_view value = text(kValue), dataHex = text(kData), rawHex = text(kRaw);
    const bool hasData = has(kData), hasRaw = has(kRaw);
    const std::string format(text(kFormat));
    const int32_t type = LeadingDecimal(format.c_str());
    row.type = static_cast<uint32_t>(type);

    // A subkey row creates its key, so that empty nested keys come back
    // too; a value row whose name holds a backslash after its first
    // character lives in the keys its path names.
    row.subkey = type == kSubkeyRow && value == "<SUBKEY>" && !hasData;
    SplitDsiRowName(row.name, row.subkey, row.levels, row.valueName);
    std::string problem = PathProblem(row.levels);
    if (problem.empty() && !row.subkey && Utf16Units(row.valueName) > kMaxValueNameLength)
        problem = "its value name has " + Characters(Utf16Units(row.valueName)) + ", more than the registry's " +
                  std::to_string(kMaxValueNameLength);
    if (problem.empty() && !row.subkey && IsLinkTargetValue(row.valueName, type))
        problem = std::string("a value named ") + kLinkTargetValue +
                  " of type REG_LINK is what a registry link keeps its target in; a file never makes one";
    // Text the registry stores as no whole UTF-16: its exact bytes win
    // over Value and Data, which older readers take instead.
    row.stored = hasRaw && !row.subkey;
    if (problem.empty() && !row.subkey)
        DecodeDsiRowData(type, value, hasData || hasRaw, hasRaw ? rawHex : dataHex, row.data, &problem);
    // Read as UTF-8, UTF-16 bytes would become strings of one character each.
    if (problem.empty() && !row.subkey && !hasRaw && hasData && type == kRegMultiSz &&
        DsiMultiStringDataIsUtf16(row.data))
        problem = "its Data bytes are UTF-16 (a zero byte after every character), not the UTF-8 text of the "
                  "strings that Data holds";
    if (!problem.empty()) {
        out.problems.push_back(DsiRowProblem{j, std::move(row.name), std::move(problem)});
    } else {
        out.rows.push_back(std::move(row));
    }
    return true;
}

}  // namespace

DsiSourceRows ReadDsiSourceRows(const ProfileFile& file, const std::string& section, long long maxRows) {
    DsiSourceRows out;
    // One pass over the section's lines, not a look-up per field and row.
    // Rows beyond the file's line count cannot be there at all.
    bool itemsSeen = false, hasItems = false;
    std::vector<RowLine> lines;
    file.ForEachKey(section, [&](std::string_view name, std::string_view value, bool hasValue) {
        if (SameAsciiIgnoringCase(name, "Items")) {
            if (!itemsSeen) out.countText.assign(value);
            hasItems = itemsSeen ? hasItems : hasValue;
            itemsSeen = true;
            return;
        }
        int field = 0;
        long long index = 0;
        if (RowKey(name, &field, &index) && index < maxRows && index <= 0x7FFFFFFF)
            lines.push_back(RowLine{static_cast<int>(index), static_cast<unsigned char>(field), hasValue,
                                    static_cast<unsigned>(lines.size()), value});
    });
    std::sort(lines.begin(), lines.end(), [](const RowLine& a, const RowLine& b) {
        if (a.index != b.index) return a.index < b.index;
        return a.field != b.field ? a.field < b.field : a.order < b.order;
    });
    if (!hasItems) {
        // A source without attributes may omit its count, but rows without
        // one cannot be counted.
        out.countText.clear();
        bool rowZero = false;
        for (size_t k = 0; k < lines.size() && lines[k].index == 0; ++k) {
            const bool first = k == 0 || lines[k - 1].field != lines[k].field;
            rowZero = rowZero || (first && lines[k].field != kRaw && lines[k].hasValue);
        }
        out.countValid = !rowZero;
        return out;
    }
    out.countValid = ParseDsiCount(out.countText, &out.announced) == DsiCount::Ok;
    if (!out.countValid) return out;
    int held = 0;
    for (size_t at = 0; at < lines.size() && lines[at].index < out.announced;) {
        const RowLine* fields[kRowFields] = {};
        const int index = lines[at].index;
        for (; at < lines.size() && lines[at].index == index; ++at)
            if (fields[lines[at].field] == nullptr) fields[lines[at].field] = &lines[at];
        // A row the file does not hold must not invent a value.
        if (ReadRow(index, fields, out)) ++held;
    }
    out.missing = out.announced - held;
    file.ForEachComment(section, [&out](std::string_view comment) {
        std::string name;
        if (ReadWithheldComment(comment, &name)) out.withheld.push_back(std::move(name));
    });
    return out;
}

}  // namespace zentrel
