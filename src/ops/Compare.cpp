#include "ops/Compare.h"

#include <algorithm>
#include <set>

#include "core/ImportPlan.h"
#include "core/ValueFormat.h"
#include "ops/Import.h"
#include "ops/Listing.h"
#include "ops/RunContext.h"
#include "registry/Attributes.h"
#include "registry/InstalledDrivers.h"
#include "registry/OdbcSection.h"
#include "registry/ScopeLock.h"
#include "registry/Views.h"
#include "res/resource.h"

namespace {

std::vector<std::string> Levels(const std::string& path) {
    std::vector<std::string> levels;
    size_t start = 0;
    for (size_t at = path.find('\\'); start < path.size(); at = path.find('\\', start)) {
        if (at == std::string::npos) at = path.size();
        levels.push_back(path.substr(start, at - start));
        start = at + 1;
    }
    return levels;
}

}  // namespace

std::vector<zentrel::SourceEntry> EntriesOf(const std::vector<AttributeRow>& rows, size_t count) {
    std::vector<zentrel::SourceEntry> entries;
    for (size_t i = 0; i < count && i < rows.size(); ++i) {
        const AttributeRow& row = rows[i];
        zentrel::SourceEntry entry;
        entry.key = row.subkey;
        if (row.subkey) {
            entry.levels = Levels(row.name);
        } else {
            // Key names hold no backslash; the value's own name may.
            entry.levels = Levels(row.name.substr(0, row.valueNameAt > 0 ? row.valueNameAt - 1 : 0));
            entry.valueName = row.name.substr(row.valueNameAt);
            entry.type = static_cast<uint32_t>(row.typeCode);
            entry.data = row.data;
            entry.stored = row.stored;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

namespace {

zentrel::SourceEntry EntryOf(const zentrel::DsiImportRow& row) {
    zentrel::SourceEntry entry;
    entry.levels = row.levels;
    entry.key = row.subkey;
    entry.valueName = row.valueName;
    entry.type = row.type;
    entry.data = row.data;
    entry.stored = row.stored;
    return entry;
}

}  // namespace

std::vector<zentrel::SourceEntry> FileEntries(const zentrel::DsiSourceRows& rows) {
    std::vector<zentrel::SourceEntry> entries;
    for (const zentrel::DsiImportRow& row : rows.rows) entries.push_back(EntryOf(row));
    return entries;
}

namespace {

// Why the source cannot be compared, as the user reads it; empty when it can.
std::string Uncomparable(const zentrel::DsiSourcePlan& plan) {
    if (plan.fileName.empty()) return RunContext::SystemErrorText(ERROR_NOT_FOUND);
    if (plan.refusal != zentrel::DsiRefusal::None) return RefusalText(plan);
    if (!plan.rows.problems.empty()) return plan.rows.problems[0].problem;
    if (plan.rows.missing != 0) return RunContext::LoadText(IDS_ROWS_ABSENT);
    return std::string();
}

// The registry's side: each listed source read whole, or set aside unread.
bool ReadRegistrySources(RunContext& run, const std::vector<ListedSource>& listed,
                         std::vector<zentrel::SourceDefinition>& inRegistry,
                         std::vector<zentrel::SourceDefinition>& unread) {
    RegistryPlace place = run.m_placeConnected;
    for (const ListedSource& source : listed) {
        place.platform = source.platform;
        if (!run.ConnectTo(place)) return false;
        ListSource(run, run.m_hOdbcIniKey, source.name);
        zentrel::SourceDefinition definition;
        definition.name = source.name;
        definition.platform = source.platform;
        if (run.m_bListingIncomplete) {
            unread.push_back(definition);
            continue;
        }
        definition.driver = source.driver;
        definition.entries = EntriesOf(run.m_aAttributeRows, (size_t)run.m_nAttributeRows);
        inRegistry.push_back(std::move(definition));
    }
    return true;
}

// A source not read whole on one side has been reported as such: neither
// side's half of it is a difference.
void DropUncompared(std::vector<zentrel::SourceComparison>& comparisons,
                    const std::vector<zentrel::SourceDefinition>& unread) {
    std::set<std::string> uncompared;
    for (const zentrel::SourceDefinition& source : unread)
        uncompared.insert(zentrel::SourceKey(source.name, source.platform));
    comparisons.erase(std::remove_if(comparisons.begin(), comparisons.end(),
                                     [&](const zentrel::SourceComparison& c) {
                                         return uncompared.count(zentrel::SourceKey(c.name, c.platform)) != 0;
                                     }),
                      comparisons.end());
}

}  // namespace

std::string PreviewLine(const char* what, const std::string& name, zentrel::Platform platform,
                        const std::string& reason) {
    zentrel::SourceComparison shown;
    shown.name = name;
    shown.platform = platform;
    shown.status = zentrel::SourceStatus::OnlyInFile;
    // The comparison's own line, its first word replaced.
    std::string line = zentrel::FormatComparison({shown});
    line.replace(0, line.find('\t'), what);
    if (!reason.empty()) line.insert(line.size() - 2, "\t" + zentrel::EscapeControls(reason));
    return line;
}

std::string PreviewSource(RunContext& run, const std::string& name, zentrel::Platform platform,
                          const std::string& driver, const zentrel::DsiSourceRows& rows, bool replaces) {
    if (!replaces) return PreviewLine("new", name, platform);
    zentrel::SourceDefinition written;
    written.name = name;
    written.platform = platform;
    written.driver = driver;
    written.withheld = rows.withheld;
    for (const zentrel::DsiImportRow& row : rows.rows) written.entries.push_back(EntryOf(row));
    // What the registry holds is read without a word: the preview reports
    // the file's problems only, as the import would.
    zentrel::SourceDefinition held = written;
    RegKey entries;
    entries.Open(run.m_hOdbcIniKey, kDriverEntriesKey, ViewFlag(platform));
    const AttributeListing listing = ListAttributesWhole(run.m_hOdbcIniKey, name, ViewFlag(platform), ScopeLockWait(),
                                                         [&] { held.driver = ReadDriverEntry(entries, name.c_str()); });
    held.entries = EntriesOf(listing.rows, listing.rows.size());
    const std::vector<zentrel::EntryDifference> differences = zentrel::CompareSource(held, written);
    if (differences.empty()) return PreviewLine("identical", name, platform);
    return PreviewLine("replace", name, platform) + zentrel::FormatDifferences(name, platform, differences);
}

bool ReadFileSources(RunContext& run, const char* file, std::vector<zentrel::SourceDefinition>& sources,
                     bool* refused, std::vector<zentrel::SourceDefinition>* unread) {
    *refused = false;
    PlannedFile planned;
    if (!ReadPlannedFile(run, file, run.where, nullptr, planned)) return false;
    if (!planned.count.present || !planned.count.valid) {
        run.Fail("Warning", IDS_NO_DEFINITIONS, file);
        return false;
    }
    for (int i : planned.count.indices) {
        const zentrel::DsiSourcePlan plan = PlanSource(planned, i);
        zentrel::SourceDefinition source;
        source.name = plan.fileName;
        source.platform = plan.platform;
        const std::string refusal = Uncomparable(plan);
        if (!refusal.empty()) {
            run.Fail("Error", IDS_NOT_COMPARED, zentrel::ShownName(source.name), plan.section, file, refusal);
            *refused = true;
            if (unread != nullptr) unread->push_back(std::move(source));
            continue;
        }
        source.driver = plan.driver;
        source.withheld = plan.rows.withheld;
        for (const zentrel::DsiImportRow& row : plan.rows.rows) source.entries.push_back(EntryOf(row));
        sources.push_back(std::move(source));
    }
    return true;
}

CompareOutcome CompareScopeWithFile(RunContext& run, const char* file,
                                    std::vector<zentrel::SourceComparison>& comparisons, bool maskSecrets) {
    std::vector<zentrel::SourceDefinition> inFile, unread, inRegistry;
    bool refused = false;
    if (!ReadFileSources(run, file, inFile, &refused, &unread)) return kCompareFailed;
    std::vector<ListedSource> listed;
    std::vector<std::string> unreachable;
    if (!CatalogueScope(run, run.where, listed, &unreachable)) return kCompareFailed;
    ReportUnreachable(run, unreachable, "Error", IDS_ZERO_NAME_SOURCE);
    const size_t unreadInFile = unread.size();
    if (!ReadRegistrySources(run, listed, inRegistry, unread)) return kCompareFailed;
    const bool incomplete = refused || !unreachable.empty() || unread.size() != unreadInFile;
    comparisons = zentrel::CompareSources(inRegistry, inFile, maskSecrets);
    DropUncompared(comparisons, unread);
    if (incomplete) return kCompareFailed;
    for (const zentrel::SourceComparison& c : comparisons)
        if (c.status != zentrel::SourceStatus::Identical) return kCompareDiffers;
    return kCompareIdentical;
}
