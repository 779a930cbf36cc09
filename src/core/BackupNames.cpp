#include "core/BackupNames.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <utility>

#include "core/Fleet.h"
#include "core/ValueFormat.h"

namespace zentrel {

namespace {

bool Digits(const std::string& text, size_t from, size_t count) {
    for (size_t i = from; i < from + count; ++i)
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    return true;
}

struct BackupKey {
    std::string computer;  // the part of the name that names it; empty for none
    std::string named;     // the same as the name spells it
    bool systemScope = false;
    std::string stamp;
    long attempt = 1;
};

// What a backup's name says: its computer, its time and its number within
// the second; false for any other name.
bool ReadBackupName(const std::string& name, BackupKey* key) {
    if (name.size() < 20 || !Digits(name, 0, 8) || name[8] != '-' || !Digits(name, 9, 6) || name[15] != '-')
        return false;
    std::string rest = name.substr(16);
    const std::string extension = ".dsi";
    if (rest.size() < extension.size() || rest.compare(rest.size() - extension.size(), extension.size(), extension) != 0)
        return false;
    rest.erase(rest.size() - extension.size());
    key->attempt = 1;
    const size_t dash = rest.rfind('-');
    if (dash != std::string::npos && dash + 1 < rest.size() && rest.size() - dash - 1 <= 6 &&
        Digits(rest, dash + 1, rest.size() - dash - 1)) {
        key->attempt = std::stol(rest.substr(dash + 1));
        rest.erase(dash);
    }
    key->computer.clear();
    key->named.clear();
    for (const char* scope : {"user", "system"}) {
        const std::string tail = std::string("-") + scope;
        key->systemScope = scope[0] == 's';
        if (rest == scope) {
            key->stamp = name.substr(0, 15);
            return true;
        }
        if (rest.size() > tail.size() && rest.compare(rest.size() - tail.size(), tail.size(), tail) == 0) {
            key->named = rest.substr(0, rest.size() - tail.size());
            key->computer = AsciiLower(key->named);
            key->stamp = name.substr(0, 15);
            return true;
        }
    }
    return false;
}

}  // namespace

std::string BackupFileName(const BackupTime& t, bool systemScope, int attempt, const std::string& computer) {
    char stamp[32];
    snprintf(stamp, sizeof(stamp), "%04d%02d%02d-%02d%02d%02d", t.year % 10000, t.month % 100, t.day % 100,
             t.hour % 100, t.minute % 100, t.second % 100);
    std::string name = stamp;
    if (!computer.empty()) name += "-" + ComputerFileNamePart(computer);
    name += systemScope ? "-system" : "-user";
    if (attempt > 1) name += "-" + std::to_string(attempt);
    return name + ".dsi";
}

bool ReadBackupFileName(const std::string& name, BackupNameParts* parts) {
    BackupKey key;
    if (!ReadBackupName(name, &key)) return false;
    const auto number = [&name](size_t at, size_t count) { return std::stoi(name.substr(at, count)); };
    parts->time = BackupTime{number(0, 4), number(4, 2), number(6, 2), number(9, 2), number(11, 2), number(13, 2)};
    parts->computer = key.named;
    parts->systemScope = key.systemScope;
    return true;
}

std::vector<std::string> BackupsBeyond(const std::vector<BackupFile>& files, size_t keep, const std::string& latest) {
    // Each computer keeps its own newest: a run over many computers never
    // deletes the backups of the first ones it changed. Oldest first; within
    // one instant, by the name's own order.
    typedef std::pair<std::pair<unsigned long long, std::pair<std::string, long>>, std::string> Entry;
    struct Group {
        std::vector<Entry> backups;
        bool latestKept = false;
    };
    std::map<std::string, Group> byComputer;
    for (const BackupFile& file : files) {
        BackupKey key;
        if (!ReadBackupName(file.name, &key)) continue;
        Group& group = byComputer[key.computer];
        if (file.name == latest) {
            group.latestKept = true;
            continue;
        }
        group.backups.push_back(std::make_pair(std::make_pair(file.written, std::make_pair(key.stamp, key.attempt)),
                                               file.name));
    }
    std::vector<std::string> beyond;
    for (auto& computer : byComputer) {
        Group& group = computer.second;
        std::sort(group.backups.begin(), group.backups.end());
        const size_t others = group.latestKept && keep > 0 ? keep - 1 : keep;
        for (size_t i = 0; i + others < group.backups.size(); ++i) beyond.push_back(group.backups[i].second);
    }
    return beyond;
}

namespace {

bool IsDeviceStem(std::string stem) {
    // The system ignores trailing blanks before an extension, and the case.
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (stem == "CON" || stem == "NUL" || stem == "AUX" || stem == "PRN" || stem == "CONIN$" || stem == "CONOUT$")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

bool NamesDevice(const std::string& path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        if (IsDeviceStem(part.substr(0, part.find_first_of(".:")))) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace zentrel
