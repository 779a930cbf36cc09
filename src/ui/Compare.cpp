#include "ui/Compare.h"

#include <algorithm>
#include <set>

#include "app/ManagerApp.h"
#include "core/DsiCodec.h"
#include "ui/DsiFileDialog.h"
#include "dsi/DsiFileIo.h"
#include "core/DsiSource.h"
#include "core/ImportPlan.h"
#include "core/ProfileFile.h"
#include "core/ValueFormat.h"
#include "registry/InstalledDrivers.h"
#include "registry/Views.h"
#include "ui/CompareDialog.h"
#include "ui/MainWindow.h"
#include "ui/Prompts.h"
#include "ui/resource.h"

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

// The listed rows of a source as entries.
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
    return entry;
}

}  // namespace

std::vector<zentrel::SourceEntry> FileEntries(const zentrel::DsiSourceRows& rows) {
    std::vector<zentrel::SourceEntry> entries;
    for (const zentrel::DsiImportRow& row : rows.rows) entries.push_back(EntryOf(row));
    return entries;
}

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

std::string PreviewSource(MainWindow& window, const std::string& name, zentrel::Platform platform,
                          const std::string& driver, const zentrel::DsiSourceRows& rows, bool replaces) {
    if (!replaces) return PreviewLine("new", name, platform);
    zentrel::SourceDefinition written;
    written.name = name;
    written.platform = platform;
    written.driver = driver;
    for (const zentrel::DsiImportRow& row : rows.rows) written.entries.push_back(EntryOf(row));
    // What the registry holds is read without a word: the preview reports
    // the file's problems only, as the import would.
    const BOOL succeeded = window.Succeeded();
    std::unique_ptr<Prompts> prompts = window.SetPrompts(std::unique_ptr<Prompts>(new QuietPrompts(NULL)));
    window.FillSubTree(window.m_hOdbcIniKey, name.c_str(), nullptr);
    window.SetPrompts(std::move(prompts));
    if (succeeded) window.ResetOutcome();
    zentrel::SourceDefinition held = written;
    held.entries = EntriesOf(window.m_aAttributeRows, (size_t)window.m_nAttributeRows);
    RegKey entries;
    entries.Open(window.m_hOdbcIniKey, kDriverEntriesKey, ViewFlag(platform));
    held.driver = ReadDriverEntry(entries, name.c_str());
    const std::vector<zentrel::EntryDifference> differences = zentrel::CompareSource(held, written);
    if (differences.empty()) return PreviewLine("identical", name, platform);
    return PreviewLine("replace", name, platform) + zentrel::FormatDifferences(name, platform, differences);
}

bool ReadFileSources(MainWindow& window, const char* file, BOOL systemScope,
                     std::vector<zentrel::SourceDefinition>& sources, bool* refused,
                     std::vector<zentrel::SourceDefinition>* unread) {
    *refused = false;
    std::string text;
    zentrel::DsiEncoding encoding = zentrel::DsiEncoding::Ansi;
    zentrel::DsiTextProblem problem;
    const DWORD code = zentrel::ReadDsiText(file, text, &encoding, &problem);
    if (code != 0) {
        window.Report("Error", MB_OK | MB_ICONSTOP, IDS_FILE_ERROR, file, MainWindow::SystemErrorText((LONG)code));
        return false;
    }
    long long lines = 1;
    for (char c : text)
        if (c == '\n' || c == '\r') ++lines;
    zentrel::ProfileFile dsi;
    dsi.Parse(std::move(text));
    const zentrel::DsiFileCount fileCount = zentrel::ReadDsiFileCount(dsi);
    if (!fileCount.present || !fileCount.valid) {
        window.Report("Warning", MB_OK | MB_ICONSTOP, IDS_NO_DEFINITIONS, file);
        return false;
    }
    zentrel::Platform forced = zentrel::Platform::Shared;
    const bool viewForced = TheApp().ForcedView(&forced);
    for (int i : fileCount.indices) {
        std::string section = zentrel::DsiIndexedName("DSN#%d", i);
        zentrel::SourceDefinition source;
        source.name = dsi.GetString(section, "DSN", "");
        if (source.name.empty()) {
            section = zentrel::DsiIndexedName("DSN%d", i);
            source.name = dsi.GetString(section, "DSN", "");
        }
        std::string platformText, refusal;
        if (source.name.empty()) {
            refusal = MainWindow::SystemErrorText(ERROR_NOT_FOUND);
        } else if (!systemScope) {
            source.platform = zentrel::Platform::Shared;
        } else if (viewForced) {
            source.platform = forced;
        } else if (!dsi.Get(section, "Platform", platformText)) {
            source.platform = OwnPlatform();
        } else if (!zentrel::ParsePlatformText(platformText, &source.platform)) {
            refusal = zentrel::FormatText(MainWindow::LoadText(IDS_PLATFORM_INVALID), zentrel::ShownName(platformText));
        }
        const zentrel::DsiSourceRows rows = zentrel::ReadDsiSourceRows(dsi, section, lines);
        if (refusal.empty() && !rows.countValid)
            refusal = zentrel::FormatText(MainWindow::LoadText(IDS_ROW_COUNT_INVALID), zentrel::ShownName(rows.countText));
        if (refusal.empty() && (!rows.problems.empty() || rows.missing != 0))
            refusal = rows.problems.empty() ? MainWindow::LoadText(IDS_ROWS_ABSENT) : rows.problems[0].problem;
        if (!refusal.empty()) {
            window.Report("Error", MB_OK | MB_ICONSTOP, IDS_NOT_COMPARED, zentrel::ShownName(source.name), section,
                          file, refusal);
            *refused = true;
            if (unread != nullptr) unread->push_back(std::move(source));
            continue;
        }
        source.driver = dsi.GetString(section, "Driver", "");
        for (const zentrel::DsiImportRow& row : rows.rows) source.entries.push_back(EntryOf(row));
        sources.push_back(std::move(source));
    }
    return true;
}

CompareOutcome CompareScopeWithFile(MainWindow& window, const char* file, BOOL systemScope,
                                    std::vector<zentrel::SourceComparison>& comparisons) {
    std::vector<zentrel::SourceDefinition> inFile, unread;
    bool refused = false;
    if (!ReadFileSources(window, file, systemScope, inFile, &refused, &unread)) return kCompareFailed;

    std::vector<ListedSource> listed;
    std::vector<std::string> unreachable;
    if (!window.CatalogueScope(window.PlaceOf(systemScope), listed, &unreachable)) return kCompareFailed;
    bool incomplete = refused || !unreachable.empty();
    for (const std::string& name : unreachable)
        window.Report("Error", MB_OK | MB_ICONSTOP, IDS_ZERO_NAME_SOURCE, zentrel::ShownName(zentrel::VisibleZeros(name)));
    std::vector<zentrel::SourceDefinition> inRegistry;
    RegistryPlace place = window.m_placeConnected;
    for (const ListedSource& source : listed) {
        place.platform = source.platform;
        if (!window.ConnectTo(place)) return kCompareFailed;
        window.FillSubTree(window.m_hOdbcIniKey, source.name.c_str(), nullptr);
        zentrel::SourceDefinition definition;
        definition.name = source.name;
        definition.platform = source.platform;
        if (window.m_bListingIncomplete) {
            incomplete = true;
            unread.push_back(definition);
            continue;
        }
        definition.driver = source.driver;
        definition.entries = EntriesOf(window.m_aAttributeRows, (size_t)window.m_nAttributeRows);
        inRegistry.push_back(std::move(definition));
    }
    comparisons = zentrel::CompareSources(inRegistry, inFile);
    // A source not read whole on one side has been reported as such: neither
    // side's half of it is a difference.
    std::set<std::string> uncompared;
    for (const zentrel::SourceDefinition& source : unread)
        uncompared.insert(zentrel::SourceKey(source.name, source.platform));
    comparisons.erase(std::remove_if(comparisons.begin(), comparisons.end(),
                                     [&](const zentrel::SourceComparison& c) {
                                         return uncompared.count(zentrel::SourceKey(c.name, c.platform)) != 0;
                                     }),
                      comparisons.end());
    if (incomplete) return kCompareFailed;
    for (const zentrel::SourceComparison& c : comparisons)
        if (c.status != zentrel::SourceStatus::Identical) return kCompareDiffers;
    return kCompareIdentical;
}

void CompareWithFileInWindow(MainWindow& window) {
    DsiFileDialog chooser(window.GetPrompts());
    const std::string filter = MainWindow::LoadText(IDS_DSI_FILTER);
    if (!chooser.ShowOpen(filter.c_str(), "", window.OwnerWindow(), MainWindow::LoadText(IDS_COMPARE_TITLE).c_str(),
                          OFN_FILEMUSTEXIST | OFN_HIDEREADONLY))
        return;
    const std::string file = chooser.GetPathName();
    const BOOL systemScope = window.m_pTabCtrl == nullptr || window.m_pTabCtrl->GetCurSel() == 0;
    std::vector<zentrel::SourceComparison> comparisons;
    const CompareOutcome outcome = CompareScopeWithFile(window, file.c_str(), systemScope, comparisons);
    if (outcome == kCompareFailed && comparisons.empty()) return;
    int counts[4] = {0, 0, 0, 0};
    for (const zentrel::SourceComparison& c : comparisons) ++counts[static_cast<int>(c.status)];
    std::string summary = zentrel::FormatText(
        MainWindow::LoadText(IDS_COMPARE_SUMMARY), systemScope ? "System DSN" : "User DSN", file,
        counts[static_cast<int>(zentrel::SourceStatus::Identical)],
        counts[static_cast<int>(zentrel::SourceStatus::Differs)],
        counts[static_cast<int>(zentrel::SourceStatus::OnlyInRegistry)],
        counts[static_cast<int>(zentrel::SourceStatus::OnlyInFile)]);
    if (outcome == kCompareFailed) summary += " " + MainWindow::LoadText(IDS_COMPARE_PARTIAL);
    CompareDialog dialog(&window, std::move(comparisons), summary);
    window.GetPrompts().RunDialog(dialog);
}

void MainWindow::OnCompare() { CompareWithFileInWindow(*this); }
