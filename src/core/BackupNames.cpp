#include "core/BackupNames.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace zentrel {

namespace {

bool Digits(const std::string& text, size_t from, size_t count) {
    for (size_t i = from; i < from + count; ++i)
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    return true;
}

// The sort key of a backup's name: its time, then its number within the
// second; false for any other name.
bool BackupKey(const std::string& name, std::pair<std::string, long>* key) {
    if (name.size() < 20 || !Digits(name, 0, 8) || name[8] != '-' || !Digits(name, 9, 6) || name[15] != '-')
        return false;
    std::string rest = name.substr(16);
    const std::string extension = ".dsi";
    if (rest.size() < extension.size() || rest.compare(rest.size() - extension.size(), extension.size(), extension) != 0)
        return false;
    rest.erase(rest.size() - extension.size());
    long attempt = 1;
    const size_t dash = rest.find('-');
    if (dash != std::string::npos) {
        const std::string number = rest.substr(dash + 1);
        if (number.empty() || number.size() > 6 || !Digits(number, 0, number.size())) return false;
        attempt = std::stol(number);
        rest.erase(dash);
    }
    if (rest != "user" && rest != "system") return false;
    *key = std::make_pair(name.substr(0, 15), attempt);
    return true;
}

}  // namespace

std::string BackupFileName(const BackupTime& t, bool systemScope, int attempt) {
    char stamp[32];
    snprintf(stamp, sizeof(stamp), "%04d%02d%02d-%02d%02d%02d", t.year % 10000, t.month % 100, t.day % 100,
             t.hour % 100, t.minute % 100, t.second % 100);
    std::string name = std::string(stamp) + (systemScope ? "-system" : "-user");
    if (attempt > 1) name += "-" + std::to_string(attempt);
    return name + ".dsi";
}

std::vector<std::string> BackupsBeyond(const std::vector<BackupFile>& files, size_t keep, const std::string& latest) {
    // Oldest first; within one instant, by the name's own order.
    std::vector<std::pair<std::pair<unsigned long long, std::pair<std::string, long>>, std::string>> backups;
    bool latestKept = false;
    for (const BackupFile& file : files) {
        std::pair<std::string, long> key;
        if (!BackupKey(file.name, &key)) continue;
        if (file.name == latest) {
            latestKept = true;
            continue;
        }
        backups.push_back(std::make_pair(std::make_pair(file.written, key), file.name));
    }
    std::sort(backups.begin(), backups.end());
    const size_t others = latestKept && keep > 0 ? keep - 1 : keep;
    std::vector<std::string> beyond;
    for (size_t i = 0; i + others < backups.size(); ++i) beyond.push_back(backups[i].second);
    return beyond;
}

}  // namespace zentrel
