#include "core/DsiSource.h"

#include "core/DsiCodec.h"
#include "core/ProfileFile.h"
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

// The section's row count into `out`; false when there are no rows to read.
bool ReadRowCount(const ProfileFile& file, const std::string& section, DsiSourceRows& out) {
    if (!file.Get(section, "Items", out.countText)) {
        // A source without attributes may omit its count, but rows without
        // one cannot be counted.
        std::string ignored;
        out.countValid = !file.Get(section, "Name0", ignored) && !file.Get(section, "Value0", ignored) &&
                         !file.Get(section, "Format0", ignored) && !file.Get(section, "Data0", ignored);
        return false;
    }
    out.countValid = ParseDsiCount(out.countText, &out.announced) == DsiCount::Ok;
    return out.countValid;
}

}  // namespace

DsiSourceRows ReadDsiSourceRows(const ProfileFile& file, const std::string& section, long long maxRows) {
    DsiSourceRows out;
    if (!ReadRowCount(file, section, out)) return out;

    for (int j = 0; j < out.announced; ++j) {
        if (j >= maxRows) {
            out.missing += out.announced - j;
            break;
        }
        DsiImportRow row;
        row.index = j;
        std::string format;
        // Views into the file: a huge value is decoded without a copy of its text.
        std::string_view value, dataHex, rawHex;
        const bool hasName = file.Get(section, DsiIndexedName("Name%d", j), row.name);
        const bool hasValue = file.GetView(section, DsiIndexedName("Value%d", j), value);
        const bool hasFormat = file.Get(section, DsiIndexedName("Format%d", j), format);
        const bool hasData = file.GetView(section, DsiIndexedName("Data%d", j), dataHex);
        // Text the registry stores as no whole UTF-16: its exact bytes win
        // over Value and Data, which older readers take instead.
        const bool hasRaw = file.GetView(section, DsiIndexedName("Raw%d", j), rawHex);
        if (!hasName && !hasValue && !hasFormat && !hasData && !hasRaw) {
            // A row the file does not hold must not invent a value.
            ++out.missing;
            continue;
        }
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
        row.stored = hasRaw && !row.subkey;
        if (problem.empty() && !row.subkey)
            DecodeDsiRowData(type, value, hasData || hasRaw, hasRaw ? rawHex : dataHex, row.data, &problem);
        if (!problem.empty()) {
            out.problems.push_back(DsiRowProblem{j, std::move(row.name), std::move(problem)});
            continue;
        }
        out.rows.push_back(std::move(row));
    }
    return out;
}

}  // namespace zentrel
