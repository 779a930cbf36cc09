#include "core/SourceCompare.h"

#include <algorithm>
#include <map>
#include <set>

#include "core/Digest.h"
#include "core/DsiCodec.h"
#include "core/Secrets.h"
#include "core/ValueFormat.h"

namespace zentrel {

namespace {

std::string Folded(const std::string& name) { return IsPlainAscii(name) ? AsciiLower(name) : name; }

std::string PathOf(const SourceEntry& entry) {
    std::string path;
    for (const std::string& level : entry.levels) path += (path.empty() ? "" : "\\") + level;
    if (!entry.key) path += (entry.levels.empty() ? "" : "\\") + entry.valueName;
    return path;
}

// Keys and values of the same name are different entries.
std::string IdentityOf(const SourceEntry& entry) { return (entry.key ? "k" : "v") + Folded(PathOf(entry)); }

std::string SourceIdentity(const SourceDefinition& source) { return SourceKey(source.name, source.platform); }

std::string TypeName(uint32_t type) {
    static const char* const kNames[] = {"REG_NONE",   "REG_SZ",   "REG_EXPAND_SZ",        "REG_BINARY",
                                         "REG_DWORD",  "REG_DWORD_BIG_ENDIAN", "REG_LINK", "REG_MULTI_SZ",
                                         "REG_RESOURCE_LIST", "REG_FULL_RESOURCE_DESCRIPTOR",
                                         "REG_RESOURCE_REQUIREMENTS_LIST", "REG_QWORD"};
    if (type < sizeof(kNames) / sizeof(kNames[0])) return kNames[type];
    return "type " + std::to_string(type);
}

// One escaping for every line a script reads: the listing's and the messages'.
std::string Escaped(const std::string& text) { return EscapeControls(text); }

std::string ValueText(const SourceEntry& entry) {
    return EncodeDsiValue(static_cast<int32_t>(entry.type), entry.data.data(), entry.data.size());
}

// The entries with every nested key the paths imply made explicit: a file
// may name a value in a nested key without a row for the key itself, and
// writing it makes the key all the same.
std::vector<SourceEntry> WithImpliedKeys(const std::vector<SourceEntry>& entries) {
    std::vector<SourceEntry> out;
    std::map<std::string, bool> keys;
    for (const SourceEntry& entry : entries)
        if (entry.key) keys[IdentityOf(entry)] = true;
    for (const SourceEntry& entry : entries) {
        const size_t implied = entry.key ? entry.levels.size() - (entry.levels.empty() ? 0 : 1) : entry.levels.size();
        for (size_t n = 1; n <= implied; ++n) {
            SourceEntry key;
            key.key = true;
            key.levels.assign(entry.levels.begin(), entry.levels.begin() + n);
            if (keys[IdentityOf(key)]) continue;
            keys[IdentityOf(key)] = true;
            out.push_back(key);
        }
        out.push_back(entry);
    }
    return out;
}

void Differ(std::vector<EntryDifference>& out, const SourceEntry* registry, const SourceEntry* file, bool mask) {
    const SourceEntry& either = registry != nullptr ? *registry : *file;
    EntryDifference difference;
    difference.kind = either.key ? "key" : "value";
    difference.path = Escaped(PathOf(either));
    if (either.key) {
        difference.registry = registry != nullptr ? "<SUBKEY>" : "-";
        difference.file = file != nullptr ? "<SUBKEY>" : "-";
        out.push_back(difference);
        return;
    }
    // The bytes are shown only where type and text alone look the same.
    const bool hidden = registry != nullptr && file != nullptr && registry->type == file->type &&
                        ValueText(*registry) == ValueText(*file);
    const bool secret = mask && IsSecretValueName(either.valueName);
    const auto side = [&](const SourceEntry* entry) {
        if (entry == nullptr) return std::string("-");
        if (secret) return TypeName(entry->type) + " " + kSecretMask;
        std::string text = TypeName(entry->type) + " " + Escaped(ValueText(*entry));
        if (hidden) text += " [" + HexText(entry->data.data(), entry->data.size()) + "]";
        return text;
    };
    difference.registry = side(registry);
    difference.file = side(file);
    out.push_back(difference);
}

}  // namespace

std::array<uint8_t, 32> SourceDigest(const std::string& driver, const std::vector<SourceEntry>& entries) {
    Sha256 digest;
    digest.AddField(driver);
    for (const SourceEntry& entry : entries) {
        const uint8_t flags[2] = {uint8_t(entry.key), uint8_t(entry.stored)};
        uint8_t type[4];
        for (int i = 0; i < 4; ++i) type[i] = uint8_t(entry.type >> (8 * i));
        digest.AddField(flags, sizeof(flags));
        digest.AddField(type, sizeof(type));
        digest.AddField(std::to_string(entry.levels.size()));
        for (const std::string& level : entry.levels) digest.AddField(level);
        digest.AddField(entry.valueName);
        digest.AddField(entry.data.data(), entry.data.size());
    }
    return digest.Finish();
}

std::string SourceKey(const std::string& name, Platform platform) {
    return std::to_string(static_cast<int>(platform)) + Folded(name);
}

const char* SourceStatusText(SourceStatus status) {
    switch (status) {
    case SourceStatus::OnlyInFile: return "only in file";
    case SourceStatus::OnlyInRegistry: return "only in registry";
    case SourceStatus::Differs: return "differs";
    default: return "identical";
    }
}

std::vector<EntryDifference> CompareSource(const SourceDefinition& registrySource,
                                           const SourceDefinition& fileSource, bool mask) {
    std::vector<EntryDifference> out;
    SourceDefinition registry = registrySource, file = fileSource;
    // A secret the file left out is kept as the registry holds it.
    std::set<std::string> withheld;
    for (const std::string& name : file.withheld) withheld.insert("v" + Folded(name));
    for (const SourceEntry& entry : file.entries) withheld.erase(IdentityOf(entry));
    registry.entries.erase(std::remove_if(registry.entries.begin(), registry.entries.end(),
                                          [&](const SourceEntry& e) { return withheld.count(IdentityOf(e)) != 0; }),
                           registry.entries.end());
    registry.entries = WithImpliedKeys(registry.entries);
    file.entries = WithImpliedKeys(file.entries);
    if (registry.driver != file.driver) {
        out.push_back(EntryDifference{"driver", std::string(), Escaped(registry.driver), Escaped(file.driver)});
    }
    std::map<std::string, const SourceEntry*> fileEntries;
    for (const SourceEntry& entry : file.entries) fileEntries[IdentityOf(entry)] = &entry;
    std::map<std::string, bool> seen;
    for (const SourceEntry& entry : registry.entries) {
        const std::string identity = IdentityOf(entry);
        seen[identity] = true;
        const auto found = fileEntries.find(identity);
        if (found == fileEntries.end()) {
            Differ(out, &entry, nullptr, mask);
        } else if (!entry.key && (entry.type != found->second->type || entry.data != found->second->data)) {
            Differ(out, &entry, found->second, mask);
        }
    }
    for (const SourceEntry& entry : file.entries) {
        const std::string identity = IdentityOf(entry);
        // A row the file holds twice is one entry, its last.
        if (seen.count(identity) == 0 && fileEntries[identity] == &entry) Differ(out, nullptr, &entry, mask);
    }
    return out;
}

std::vector<SourceComparison> CompareSources(const std::vector<SourceDefinition>& registry,
                                             const std::vector<SourceDefinition>& file, bool mask) {
    std::map<std::string, const SourceDefinition*> inRegistry, lastInFile;
    for (const SourceDefinition& source : registry) inRegistry[SourceIdentity(source)] = &source;
    for (const SourceDefinition& source : file) lastInFile[SourceIdentity(source)] = &source;
    std::vector<SourceComparison> out;
    for (const SourceDefinition& source : file) {
        const std::string identity = SourceIdentity(source);
        if (lastInFile[identity] != &source) continue;
        SourceComparison comparison;
        comparison.name = source.name;
        comparison.platform = source.platform;
        const auto found = inRegistry.find(identity);
        if (found == inRegistry.end()) {
            comparison.status = SourceStatus::OnlyInFile;
        } else {
            comparison.differences = CompareSource(*found->second, source, mask);
            comparison.status = comparison.differences.empty() ? SourceStatus::Identical : SourceStatus::Differs;
        }
        out.push_back(comparison);
    }
    for (const SourceDefinition& source : registry) {
        if (lastInFile.count(SourceIdentity(source)) != 0) continue;
        SourceComparison comparison;
        comparison.name = source.name;
        comparison.platform = source.platform;
        comparison.status = SourceStatus::OnlyInRegistry;
        out.push_back(comparison);
    }
    return out;
}

std::string FormatDifferences(const std::string& name, Platform platform,
                              const std::vector<EntryDifference>& differences) {
    std::string lines;
    const std::string source = "\t" + Escaped(name) + "\t" + PlatformText(platform);
    for (const EntryDifference& d : differences)
        lines += d.kind + source + "\t" + d.path + "\t" + d.registry + "\t" + d.file + "\r\n";
    return lines;
}

std::string FormatComparison(const std::vector<SourceComparison>& comparisons) {
    std::string lines;
    for (const SourceComparison& c : comparisons) {
        if (c.status == SourceStatus::Identical) continue;
        lines += std::string(SourceStatusText(c.status)) + "\t" + Escaped(c.name) + "\t" + PlatformText(c.platform) + "\r\n";
        lines += FormatDifferences(c.name, c.platform, c.differences);
    }
    return lines;
}

}  // namespace zentrel
