#include "core/Secrets.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "core/ValueFormat.h"

namespace zentrel {

const char kSecretMask[] = "********";

namespace {

const char kWithheldPrefix[] = "Left out (secret): ";

// Names as drivers spell them: "SSL_Key-Password" and "sslkeypassword" alike.
std::string Squeezed(std::string_view name) {
    std::string out;
    for (char c : name) {
        if (c == '_' || c == '-' || c == '.' || c == ' ') continue;
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

std::string Folded(const std::string& name) { return IsPlainAscii(name) ? AsciiLower(name) : name; }

std::string PathOf(const std::vector<std::string>& levels, const std::string& valueName) {
    std::string path;
    for (const std::string& level : levels) path += level + "\\";
    return path + valueName;
}

}  // namespace

bool IsSecretValueName(std::string_view valueName) {
    static const char* const kNames[] = {"pw",      "pass",       "accesskey", "accountkey",
                                         "authkey", "privatekey", "sharedkey"};
    static const char* const kParts[] = {"pwd",    "password", "passwd",     "passphrase",
                                         "secret", "token",    "credential", "apikey"};
    const std::string name = Squeezed(valueName);
    for (const char* exact : kNames)
        if (name == exact) return true;
    for (const char* part : kParts)
        if (name.find(part) != std::string::npos) return true;
    // DBPass, ProxyPW: a short form at the end names a password too.
    for (const char* end : {"pass", "pw"})
        if (name.size() > std::strlen(end) && name.compare(name.size() - std::strlen(end), std::string::npos, end) == 0)
            return true;
    return false;
}

bool IsSecretRowName(std::string_view rowName) {
    const size_t slash = rowName.rfind('\\');
    return IsSecretValueName(slash == std::string_view::npos ? rowName : rowName.substr(slash + 1));
}

std::string WithheldComment(const std::string& rowName) { return kWithheldPrefix + rowName; }

bool ReadWithheldComment(std::string_view comment, std::string* rowName) {
    const std::string_view prefix(kWithheldPrefix);
    if (comment.size() <= prefix.size() || comment.substr(0, prefix.size()) != prefix) return false;
    rowName->assign(comment.substr(prefix.size()));
    return true;
}

void KeepWithheldValues(DsiSourceRows& rows, const std::vector<SourceEntry>& held) {
    if (rows.withheld.empty()) return;
    std::set<std::string> named, given;
    for (const std::string& name : rows.withheld) named.insert(Folded(name));
    for (const DsiImportRow& row : rows.rows)
        if (!row.subkey) given.insert(Folded(PathOf(row.levels, row.valueName)));
    // In the held order, each at its own place: a file exported from the
    // same source comes back exactly as it was.
    for (size_t i = 0; i < held.size(); ++i) {
        const SourceEntry& entry = held[i];
        const std::string path = PathOf(entry.levels, entry.valueName);
        if (entry.key || named.count(Folded(path)) == 0 || !given.insert(Folded(path)).second) continue;
        DsiImportRow row;
        row.index = -1;
        row.name = path;
        row.levels = entry.levels;
        row.valueName = entry.valueName;
        row.type = entry.type;
        row.data = entry.data;
        row.stored = entry.stored;
        rows.rows.insert(rows.rows.begin() + static_cast<std::ptrdiff_t>(std::min(i, rows.rows.size())),
                         std::move(row));
    }
}

}  // namespace zentrel
