#include "core/Fleet.h"

#include <map>
#include <set>

#include "core/Utf.h"
#include "core/ValueFormat.h"

namespace zentrel {

namespace {

// "host" and "\\host" reach the same computer, in any letter case.
std::string ComputerKey(const std::string& name) {
    const size_t first = name.find_first_not_of('\\');
    return first == std::string::npos ? std::string() : AsciiLower(name.substr(first));
}

class ListBuilder {
public:
    explicit ListBuilder(bool lines) : m_lines(lines) {}
    void Add(const std::string& name, size_t where) {
        ComputerListProblem problem;
        problem.name = name;
        problem.where = where;
        problem.line = m_lines;
        const std::string key = ComputerKey(name);
        if (key.empty()) {
            m_list.problems.push_back(problem);
        } else if (!m_seen.insert(key).second) {
            problem.duplicate = true;
            m_list.problems.push_back(problem);
        } else {
            m_list.names.push_back(name);
        }
    }
    ComputerList Take() { return std::move(m_list); }

private:
    bool m_lines;
    std::set<std::string> m_seen;
    ComputerList m_list;
};

}  // namespace

ComputerSwitch ReadComputerSwitch(const std::string& value) {
    ComputerSwitch result;
    if (!value.empty() && value[0] == '@') {
        result.many = result.fromFile = true;
        std::string path = value.substr(1);
        const size_t first = path.find_first_not_of('"');
        path.erase(0, first == std::string::npos ? path.size() : first);
        const size_t last = path.find_last_not_of('"');
        path.erase(last == std::string::npos ? 0 : last + 1);
        result.text = path;
        return result;
    }
    result.many = value.find(',') != std::string::npos;
    result.text = value;
    return result;
}

std::string ComputerListProblemText(const ComputerListProblem& problem) {
    const std::string where = (problem.line ? "line " : "name ") + std::to_string(problem.where);
    if (!problem.duplicate) return "Computer list, " + where + ": no computer name; skipped.";
    return "Computer list, " + where + ": '" + EscapeControls(problem.name) + "' is named before; skipped.";
}

ComputerList SplitComputerNames(const std::string& text) {
    ListBuilder builder(false);
    size_t position = 1, start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        builder.Add(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start), position++);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return builder.Take();
}

ComputerList ReadComputerListText(const std::string& text) {
    ListBuilder builder(true);
    size_t line = 0, start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string name = text.substr(start, end - start);
        start = end + 1;
        ++line;
        if (!name.empty() && name.back() == '\r') name.pop_back();
        const size_t first = name.find_first_not_of(" \t");
        if (first == std::string::npos || name[first] == '#') continue;
        name = name.substr(first, name.find_last_not_of(" \t") + 1 - first);
        builder.Add(name, line);
    }
    return builder.Take();
}

ListEncoding ComputerListEncoding(const std::string& bytes, size_t* markLength) {
    *markLength = 0;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        *markLength = 3;
        return ListEncoding::Utf8;
    }
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) {
        *markLength = 2;
        return bytes[0] == '\xFF' ? ListEncoding::Utf16Le : ListEncoding::Utf16Be;
    }
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t at = 0;
    uint32_t c = 0;
    while (at < bytes.size())
        if (!NextUtf8(p, bytes.size(), &at, &c)) return ListEncoding::Ansi;
    return ListEncoding::Utf8;
}

std::string ComputerFileNamePart(const std::string& computer) {
    const size_t first = computer.find_first_not_of('\\');
    std::string part = first == std::string::npos ? std::string() : computer.substr(first);
    for (char& c : part) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::string("<>:\"/\\|?*").find(c) != std::string::npos) c = '_';
    }
    // The platform drops a dot or blank at a name's end, and with it the
    // difference between two names.
    for (size_t i = part.size(); i > 0 && (part[i - 1] == '.' || part[i - 1] == ' '); --i) part[i - 1] = '_';
    return part;
}

std::vector<std::string> ComputerFileNames(const std::string& path, const std::vector<std::string>& computers) {
    const size_t slash = path.find_last_of("\\/");
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    // No file name to put a computer's into: each export fails on it as one would.
    if (nameStart == path.size()) return std::vector<std::string>(computers.size(), path);
    const size_t dot = path.rfind('.');
    const size_t insertAt = dot == std::string::npos || dot < nameStart ? path.size() : dot;
    std::set<std::string> taken;
    std::vector<std::string> files;
    for (const std::string& computer : computers) {
        const std::string part = ComputerFileNamePart(computer);
        std::string file;
        for (int n = 1;; ++n) {
            const std::string suffix = n == 1 ? std::string() : "-" + std::to_string(n);
            file = path.substr(0, insertAt) + "." + part + suffix + path.substr(insertAt);
            if (taken.insert(AsciiLower(file)).second) break;
        }
        files.push_back(file);
    }
    return files;
}

std::string ComputerStartLine(size_t index, size_t total, const std::string& computer) {
    return EscapeControls(computer) + " (" + std::to_string(index) + " of " + std::to_string(total) +
           "): started\r\n";
}

std::string ComputerEndLine(size_t index, size_t total, const ComputerOutcome& outcome) {
    std::string line = EscapeControls(outcome.computer) + " (" + std::to_string(index) + " of " +
                       std::to_string(total) + "): " + (outcome.Failed() ? "failed" : "done");
    const ComputerCounts& c = outcome.counts;
    const std::pair<int, const char*> counts[] = {{c.removed, "removed"},   {c.exported, "exported"},
                                                  {c.listed, "listed"},
                                                  {c.written, "written"},   {c.replaced, "replaced"},
                                                  {c.skipped, "skipped"},   {c.different, "different"}};
    const char* separator = ": ";
    for (const auto& count : counts) {
        if (count.first < 0) continue;
        line += separator + std::to_string(count.first) + " " + count.second;
        separator = ", ";
    }
    return line + "\r\n";
}

std::string FleetSummaryLine(const std::vector<ComputerOutcome>& outcomes, bool compare) {
    std::string failed, different;
    size_t failures = 0, differences = 0;
    for (const ComputerOutcome& outcome : outcomes) {
        if (outcome.Failed()) {
            failed += (failures++ ? ", " : "") + EscapeControls(outcome.computer);
        } else if (compare && outcome.compared == 1) {
            different += (differences++ ? ", " : "") + EscapeControls(outcome.computer);
        }
    }
    std::string line = "Summary: " + std::to_string(outcomes.size() - failures) + " of " +
                       std::to_string(outcomes.size()) + " computers done";
    if (compare) line += " (" + std::to_string(differences) + " different" + (differences ? ": " + different : "") + ")";
    line += ", " + std::to_string(failures) + " failed";
    if (failures) line += ": " + failed;
    return line + "\r\n";
}

int FleetExitCode(const std::vector<ComputerOutcome>& outcomes, bool compare) {
    if (outcomes.empty()) return compare ? 2 : 1;
    int code = 0;
    for (const ComputerOutcome& outcome : outcomes) {
        int own = outcome.completed ? 0 : 1;
        if (compare && outcome.compared > own) own = outcome.compared;
        if (own > code) code = own;
    }
    return code;
}

std::string PrefixLines(const std::string& computer, const std::string& text) {
    const std::string prefix = EscapeControls(computer) + "\t";
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        out += prefix + text.substr(start, end - start);
        start = end;
    }
    return out;
}

std::string FormatDrift(const std::vector<std::pair<std::string, std::vector<SourceComparison>>>& computers) {
    std::vector<std::string> order;
    std::set<std::string> met;
    // Per computer, where each source's comparison is.
    std::vector<std::map<std::string, size_t>> index(computers.size());
    for (size_t c = 0; c < computers.size(); ++c) {
        const std::vector<SourceComparison>& comparisons = computers[c].second;
        for (size_t i = 0; i < comparisons.size(); ++i) {
            if (comparisons[i].status == SourceStatus::Identical) continue;
            const std::string key = SourceKey(comparisons[i].name, comparisons[i].platform);
            if (met.insert(key).second) order.push_back(key);
            index[c][key] = i;
        }
    }
    std::string report;
    for (const std::string& key : order)
        for (size_t c = 0; c < computers.size(); ++c) {
            const auto found = index[c].find(key);
            if (found != index[c].end())
                report += PrefixLines(computers[c].first, FormatComparison({computers[c].second[found->second]}));
        }
    return report;
}

}  // namespace zentrel
