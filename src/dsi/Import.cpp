// Import of a DSI file into a scope. The file is read once; every source it
// announces is written whole, replacing a source of the same name.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/ManagerApp.h"
#include "app/Settings.h"
#include "core/DsiCodec.h"
#include "core/DsiSource.h"
#include "core/ProfileFile.h"
#include "core/ValueFormat.h"
#include "dsi/Backup.h"
#include "dsi/Compare.h"
#include "dsi/DsiFileIo.h"
#include "registry/RegKey.h"
#include "registry/SafeReplace.h"
#include "registry/Views.h"
#include "ui/DsiFileDialog.h"
#include "ui/ChangeReports.h"
#include "ui/DsnNameDialog.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

namespace {

// Why a name cannot be a data source's key, or empty when it can.
std::string RefusalReason(const std::string& name) {
    const std::string problem = zentrel::DsnNameProblem(name);
    if (!problem.empty()) return problem;
    if (IsReservedDsnName(name.c_str())) return zentrel::FormatText(MainWindow::LoadText(IDS_RESERVED_NAME), name);
    return std::string();
}

// The keys along the last row's path stay open: the rows of one subkey
// follow each other, so most rows open nothing.
class KeyChain {
public:
    KeyChain(HKEY root, REGSAM view) : m_root(root), m_view(view) {}
    KeyChain(const KeyChain&) = delete;
    KeyChain& operator=(const KeyChain&) = delete;

    // Opens, or creates, each level below the root. Returns 0 with the last
    // level's key in *target, or the code of the level that failed with its
    // index in *failed.
    LONG Reach(const std::vector<std::string>& levels, HKEY* target, size_t* failed) {
        size_t common = 0;
        while (common < m_levels.size() && common < levels.size() && m_levels[common] == levels[common]) ++common;
        Keep(common);
        for (size_t i = common; i < levels.size(); ++i) {
            const HKEY parent = i == 0 ? m_root : m_keys.back().Get();
            RegKey next;
            const LONG code = next.OpenOrCreate(parent, levels[i].c_str(), m_view);
            if (code != ERROR_SUCCESS) {
                *failed = i;
                return code;
            }
            m_keys.push_back(std::move(next));
            m_levels.push_back(levels[i]);
        }
        *target = m_keys.empty() ? m_root : m_keys.back().Get();
        return ERROR_SUCCESS;
    }

private:
    void Keep(size_t count) {
        m_keys.resize(count);
        m_levels.resize(count);
    }

    HKEY m_root;
    REGSAM m_view;
    std::vector<RegKey> m_keys;
    std::vector<std::string> m_levels;
};

// Row problems shown one by one before the rest are summed up.
const size_t kRowProblemsShown = 10;

}  // namespace

bool MainWindow::ImportDsiRows(HKEY key, const zentrel::DsiSourceRows& source, const std::string& dsn) {
    KeyChain chain(key, ViewFlag(m_placeConnected.platform));
    for (const zentrel::DsiImportRow& row : source.rows) {
        HKEY target = NULL;
        size_t failed = 0;
        const LONG opened = chain.Reach(row.levels, &target, &failed);
        if (opened != ERROR_SUCCESS) {
            std::string shown = dsn;
            for (size_t i = 0; i <= failed && i < row.levels.size(); ++i) shown += "\\" + row.levels[i];
            Report("RegCreateKey Error", MB_OK | MB_ICONSTOP, IDS_KEY_ERROR, zentrel::ShownName(shown),
                   SystemErrorText(opened));
            return false;
        }
        if (row.subkey) continue;
        static const unsigned char kNothing = 0;
        const LONG code = row.stored ? RegKey::SetStoredValue(target, row.valueName, static_cast<DWORD>(row.type), row.data)
                                     : RegKey::SetValue(target, row.valueName.c_str(), static_cast<DWORD>(row.type),
                                                        row.data.empty() ? &kNothing : row.data.data(),
                                                        static_cast<DWORD>(row.data.size()));
        if (code != ERROR_SUCCESS) {
            // A row that cannot be written leaves the source as it was.
            Report("RegSetValueEx Error", MB_OK | MB_ICONSTOP, SystemErrorText(code));
            return false;
        }
    }
    return true;
}

void MainWindow::ReportDsiSourceProblems(const zentrel::DsiSourceRows& source, const std::string& section,
                                         const std::string& dsn) {
    for (size_t k = 0; k < source.problems.size() && k < kRowProblemsShown; ++k) {
        const zentrel::DsiRowProblem& problem = source.problems[k];
        Report("RegSetValueEx Error", MB_OK | MB_ICONSTOP, IDS_ROW_PROBLEM, zentrel::ShownName(dsn), problem.index,
               zentrel::ShownName(problem.name), section, m_szDsiFile, problem.problem);
    }
    if (source.problems.size() > kRowProblemsShown) {
        Report("RegSetValueEx Error", MB_OK | MB_ICONSTOP, IDS_MORE_ROW_PROBLEMS, zentrel::ShownName(dsn),
               std::to_string(source.problems.size() - kRowProblemsShown), section, m_szDsiFile);
    }
}

bool MainWindow::ReadDsiFile(const char* path, const char* caption, const char* outcome,
                             zentrel::ProfileFile& file, zentrel::DsiEncoding* encoding, long long* lines) {
    std::string text;
    zentrel::DsiTextProblem problem;
    const DWORD code = zentrel::ReadDsiText(path, text, encoding, &problem);
    if (code != 0) {
        ReportFileError(path, code, caption,
                        code == ERROR_NO_UNICODE_TRANSLATION
                            ? zentrel::DescribeDsiTextProblem(problem, *encoding) + " " + outcome
                            : std::string());
        return false;
    }
    // Rows cannot outnumber the file's lines; beyond that every row is missing.
    *lines = 1;
    for (char c : text)
        if (c == '\n' || c == '\r') ++*lines;
    file.Parse(std::move(text));
    return true;
}

void MainWindow::ImportDsiFile(BOOL askName, const char* file, BOOL systemScope) {
    const char* path = file ? file : "";
    // A file from the chooser: the user is told at the end what came of it.
    bool chosen = false;
    if (path[0] != '\0' && zentrel::DsiFileExists(path)) {
        if (zentrel::DsiPathTooLong(path)) {
            ReportFileError(path, ERROR_FILENAME_EXCED_RANGE, "Error");
            return;
        }
        strcpy(m_szDsiFile, path);
        if (ConnectOdbcIni(systemScope) != 0) return;
    } else if (TheApp().m_bBatchMode) {
        // Without a window there is no chooser, and no scope but the one asked for.
        ReportFileError(path, ERROR_FILE_NOT_FOUND, "Error");
        return;
    } else {
        DsiFileDialog dialog(GetPrompts());
        const std::string filter = LoadText(IDS_DSI_FILTER);
        if (!dialog.ShowOpen(filter.c_str(), "", OwnerWindow(), "Import from",
                             OFN_FILEMUSTEXIST | OFN_SHOWHELP | OFN_HIDEREADONLY))
            return;
        if (zentrel::DsiPathTooLong(dialog.GetPathName())) {
            ReportFileError(dialog.GetPathName(), ERROR_FILENAME_EXCED_RANGE, "Error");
            return;
        }
        strcpy(m_szDsiFile, dialog.GetPathName());
        chosen = true;
        // The chosen file goes into the scope of the tab; systemScope only
        // stands in when there is no tab strip.
        const BOOL tabScope = m_pTabCtrl != nullptr ? m_pTabCtrl->GetCurSel() == 0 : systemScope;
        // The computer the list shows, not one typed in the box since.
        RegistryPlace place = m_placeListed;
        if (!place.known) {
            place.known = true;
            place.computer = PlaceOf(tabScope).computer;
        }
        place.systemScope = tabScope;
        place.platform = tabScope ? OwnPlatform() : zentrel::Platform::Shared;
        if (!ConnectTo(place)) return;
    }

    zentrel::ProfileFile dsi;
    zentrel::DsiEncoding encoding = zentrel::DsiEncoding::Ansi;
    long long maxRows = 0;
    if (!ReadDsiFile(m_szDsiFile, "Error", "Nothing is imported.", dsi, &encoding, &maxRows)) return;

    std::string countText = "0";
    const bool hasCount = dsi.Get("General", "Items", countText);
    if (countText.empty()) {
        Report("Error", MB_OK | MB_ICONSTOP, IDS_ITEMS_ERROR, m_szDsiFile, SystemErrorText(ERROR_INVALID_DATA));
        return;
    }
    // A count that wrapped or overflowed would skip sources silently.
    int count = 0;
    const bool validCount = zentrel::ParseDsiCount(countText, &count) == zentrel::DsiCount::Ok;
    if (!validCount || count < 1) {
        // An export of an empty scope says so with an explicit 0: importing
        // it completes. A missing or unreadable count does not.
        if (!hasCount || !validCount) {
            Report("Warning", MB_OK | MB_ICONSTOP, IDS_NO_DEFINITIONS, m_szDsiFile);
        } else {
            Remark("Warning", MB_OK | MB_ICONSTOP, IDS_NO_DEFINITIONS, m_szDsiFile);
        }
        count = 0;
    }

    // The scope and computer of the import; each source goes into its view.
    const RegistryPlace target = m_placeConnected;
    zentrel::Platform forced = zentrel::Platform::Shared;
    // -p32 and -p64 restrict batch runs; the window always has both views.
    const bool viewForced = TheApp().m_bBatchMode && TheApp().ForcedView(&forced);
    // First every question is asked and every source checked, writing
    // nothing; then the sources about to be replaced are backed up; then each
    // is written whole, or left as it was.
    const bool preview = TheApp().m_bBatchMode && TheApp().m_bPreview;
    struct Planned {
        RegistryPlace place;
        std::string name, section, driver;
        zentrel::DsiSourceRows rows;
        bool replaces = false;
    };
    std::vector<Planned> planned;
    std::string previewLines;
    int written = 0, replaced = 0, skipped = 0;
    std::string stopSection, stopReason;
    // A source left out on the way is reported where it happens; the run goes on.
    const auto skip = [&]() {
        ++skipped;
        stopSection.clear();
    };
    for (int i = 0; i < count; ++i) {
        std::string section = zentrel::DsiIndexedName("DSN#%d", i);
        std::string name = dsi.GetString(section, "DSN", "");
        if (name.empty()) {
            section = zentrel::DsiIndexedName("DSN%d", i);
            name = dsi.GetString(section, "DSN", "");
        }
        if (name.empty()) {
            if (Report(section, MB_YESNO | MB_ICONSTOP, IDS_CONTINUE_QUESTION, section, SystemErrorText(ERROR_NOT_FOUND),
                       m_szDsiFile) == IDYES) {
                ++skipped;
                continue;
            }
            stopSection = section;
            stopReason = LoadText(IDS_STOP_NO_NAME);
            break;
        }

        // The System scope's view the source goes into: the one the command
        // line forces, else the one its section names, else the program's own.
        RegistryPlace place = target;
        std::string platformText, refusal;
        if (!target.systemScope) {
            place.platform = zentrel::Platform::Shared;
        } else if (viewForced) {
            place.platform = forced;
        } else if (dsi.Get(section, "Platform", platformText)) {
            if (!zentrel::ParsePlatformText(platformText, &place.platform))
                refusal = zentrel::FormatText(LoadText(IDS_PLATFORM_INVALID), zentrel::ShownName(platformText));
        } else {
            place.platform = OwnPlatform();
        }
        // Where both views exist, the user is told which one is written.
        const std::string suffix = target.systemScope && HasTwoViews()
                                       ? std::string(" (") + zentrel::PlatformText(place.platform) + ")"
                                       : std::string();

        const std::string fileName = name;
        if (askName && refusal.empty()) {
            DsnNameDialog dialog(this);
            dialog.m_strName = name;
            dialog.m_strCaption = suffix.empty() ? std::string() : LoadText(IDS_DSN_NAME_CAPTION) + suffix;
            if (GetPrompts().RunDialog(dialog) != IDOK) {
                ++skipped;
                continue;
            }
            name = dialog.m_strName;
        }
        // Everything the source asks for is checked before the registry is
        // touched, so that a source refused as a whole replaces nothing.
        if (refusal.empty()) refusal = RefusalReason(name);
        zentrel::DsiSourceRows rows;
        if (refusal.empty()) {
            rows = zentrel::ReadDsiSourceRows(dsi, section, maxRows);
            if (!rows.countValid)
                refusal = zentrel::FormatText(LoadText(IDS_ROW_COUNT_INVALID), zentrel::ShownName(rows.countText));
        }
        if (!refusal.empty()) {
            Report("Error", MB_OK | MB_ICONSTOP, IDS_NOT_IMPORTED, zentrel::ShownName(fileName), section, m_szDsiFile,
                   refusal);
            if (preview) previewLines += PreviewLine("refused", fileName, place.platform, refusal);
            ++skipped;
            continue;
        }
        ReportDsiSourceProblems(rows, section, name);
        if (rows.missing != 0) {
            Report("Warning", MB_OK | MB_ICONSTOP, IDS_ROWS_MISSING, section, m_szDsiFile,
                   std::to_string(rows.announced), std::to_string(rows.announced - rows.missing),
                   zentrel::ShownName(name));
        }

        const std::string driver = dsi.GetString(section, "Driver", "");
        // Where the import stops: the section, and why, for the summary.
        stopSection = section;
        stopReason = zentrel::FormatText(LoadText(IDS_STOP_FAILED), zentrel::ShownName(name));
        if (!ConnectTo(place)) break;
        const REGSAM view = ViewFlag(place.platform);
        // The driver entries' key: a source it cannot take is not written.
        {
            RegKey dataSources;
            bool isLink = false;
            const LONG code = dataSources.OpenUnfollowed(m_hOdbcIniKey, kDriverEntriesKey, KEY_READ | view, &isLink);
            if (code == ERROR_SUCCESS && isLink) {
                // Written through, the entry would land wherever the link points.
                Report("RegOpenKey Error", MB_OK | MB_ICONSTOP, IDS_KEY_LINK, kDriverEntriesKey);
                skip();
                continue;
            }
            if (code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND) {
                Report("RegCreateKey Error", MB_OK | MB_ICONSTOP, IDS_KEY_ERROR, kDriverEntriesKey,
                       SystemErrorText(code));
                skip();
                continue;
            }
        }
        RegKey existing;
        // Not followed: a link's target is not this source's to replace.
        const LONG found = existing.OpenUnfollowed(m_hOdbcIniKey, name.c_str(), KEY_READ | view, nullptr);
        existing.Close();
        if (found != ERROR_SUCCESS && found != ERROR_FILE_NOT_FOUND) {
            // It exists but cannot be read: writing into it would mix old and new.
            Report("RegOpenKey Error", MB_OK | MB_ICONSTOP, IDS_SOURCE_NOT_REPLACED, zentrel::ShownName(name),
                   SystemErrorText(found));
            skip();
            continue;
        }
        if (preview) {
            previewLines += PreviewSource(*this, name, place.platform, driver, rows, found == ERROR_SUCCESS);
            stopSection.clear();
            continue;
        }
        if (found == ERROR_SUCCESS && g_pSettings != nullptr && g_pSettings->m_bAskImport) {
            // The view is named where the name alone could mean either source.
            RegKey other;
            const zentrel::Platform otherView =
                place.platform == zentrel::Platform::Bit64 ? zentrel::Platform::Bit32 : zentrel::Platform::Bit64;
            const bool ambiguous =
                !suffix.empty() && other.Open(m_hRootKey, (std::string(kOdbcIniPath) + "\\" + name).c_str(),
                                              ViewFlag(otherView)) == ERROR_SUCCESS;
            other.Close();
            const std::string question = ambiguous ? zentrel::FormatText(LoadText(IDS_ALREADY_EXISTS_VIEW), name,
                                                                         zentrel::PlatformText(place.platform))
                                                   : zentrel::FormatText(LoadText(IDS_ALREADY_EXISTS), name);
            if (Report(LoadText(IDS_WARNING), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, question) != IDYES) {
                // The sources before it are still written.
                MarkFailed();
                stopReason = zentrel::FormatText(LoadText(IDS_STOP_DECLINED), zentrel::ShownName(name));
                break;
            }
        }
        stopSection.clear();
        Planned source;
        source.place = place;
        source.name = name;
        source.section = section;
        source.driver = driver;
        source.rows = std::move(rows);
        source.replaces = found == ERROR_SUCCESS;
        planned.push_back(std::move(source));
    }
    if (preview) {
        WriteStreamText(TheApp().m_hConsoleOut, previewLines);
        return;
    }

    std::vector<BackedUpSource> destroyed;
    for (const Planned& source : planned)
        if (source.replaces) destroyed.push_back(BackedUpSource(source.place, source.name));
    std::string backup;
    if (!WriteBackup(*this, destroyed, &backup)) return;
    if (!destroyed.empty() && TheApp().m_bBatchMode)
        WriteStreamText(TheApp().m_hConsoleErr, zentrel::FormatText(LoadText(IDS_BACKUP_WRITTEN), backup));

    for (const Planned& source : planned) {
        if (!ConnectTo(source.place)) {
            skip();
            continue;
        }
        SourceReplacement replacement(m_hOdbcIniKey, ViewFlag(source.place.platform), source.name, source.driver);
        const ChangeResult begun = replacement.Begin();
        if (!begun.Ok()) {
            ReportChange(*this, begun, source.name);
            skip();
            continue;
        }
        if (!ImportDsiRows(replacement.Key(), source.rows, source.name) ||
            !ReportChange(*this, replacement.Commit(), source.name)) {
            replacement.Abandon();
            skip();
            continue;
        }
        ++written;
        if (source.replaces) ++replaced;
    }

    // A window that is gone has no list to refill.
    if (!TheApp().m_bBatchMode && m_pTabCtrl != nullptr) FillDsnList(true);
    if (chosen && count > 0) {
        const std::string stopped =
            stopSection.empty() ? std::string()
                                : "\n" + zentrel::FormatText(LoadText(IDS_IMPORT_STOPPED), stopSection, stopReason);
        Remark("Import", MB_OK | MB_ICONINFORMATION, IDS_IMPORT_SUMMARY, m_szDsiFile, std::to_string(written),
               std::to_string(replaced), std::to_string(skipped), stopped);
    }
}

void MainWindow::OnImport() { ImportDsiFile(FALSE, "", FALSE); }

void MainWindow::OnImportAs() { ImportDsiFile(TRUE, "", FALSE); }
