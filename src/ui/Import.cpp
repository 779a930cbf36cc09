// Import of a DSI file into a scope. The file is read once; every source it
// announces is written whole, replacing a source of the same name.
#include <windows.h>

#include <cstring>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "app/ManagerApp.h"
#include "app/Settings.h"
#include "core/DsiCodec.h"
#include "core/DsiSource.h"
#include "core/ImportPlan.h"
#include "core/ProfileFile.h"
#include "core/ValueFormat.h"
#include "dsi/DsiFileIo.h"
#include "dsi/ImportWriter.h"
#include "registry/OdbcSection.h"
#include "registry/RegKey.h"
#include "registry/SafeReplace.h"
#include "registry/Views.h"
#include "ui/Backup.h"
#include "ui/ChangeReports.h"
#include "ui/Compare.h"
#include "ui/DsiFileDialog.h"
#include "ui/DsnNameDialog.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

namespace {

// Why the plan refuses a source as a whole, as the user reads it.
std::string RefusalText(const zentrel::DsiSourcePlan& plan) {
    switch (plan.refusal) {
    case zentrel::DsiRefusal::Platform:
        return zentrel::FormatText(MainWindow::LoadText(IDS_PLATFORM_INVALID), zentrel::ShownName(plan.refusalDetail));
    case zentrel::DsiRefusal::Reserved:
        return zentrel::FormatText(MainWindow::LoadText(IDS_RESERVED_NAME), plan.name);
    case zentrel::DsiRefusal::RowCount:
        return zentrel::FormatText(MainWindow::LoadText(IDS_ROW_COUNT_INVALID), zentrel::ShownName(plan.refusalDetail));
    default:
        return plan.refusalDetail;
    }
}

// A source that passed every check and question, waiting to be written.
struct Accepted {
    RegistryPlace place;
    zentrel::DsiSourcePlan plan;
    bool replaces = false;
};

// The driver entries' key of the place connected last, kept open from
// source to source, and what was found of it: each opening asks the
// registry several times whether it is a link, and a scope without the key
// would ask again for every source.
class OpenEntries {
public:
    // The key, opened for writing and found no link; NULL when it cannot be
    // (missing, a link, refused), for the caller's own checks to say why.
    HKEY For(const MainWindow& window, REGSAM view) {
        Look(window, view);
        return m_key.Get();
    }
    // As For, making the key when the place has none: the first source
    // written there would make it anyway.
    HKEY Made(const MainWindow& window, REGSAM view) {
        Look(window, view);
        if (m_code == ERROR_FILE_NOT_FOUND) {
            bool created = false;
            RegKey made;
            // Only a key this call made is known to be no link.
            if (made.Create(window.m_hOdbcIniKey, kDriverEntriesKey, view, &created) == ERROR_SUCCESS && created) {
                m_key = std::move(made);
                m_code = ERROR_SUCCESS;
            } else {
                m_looked = false;  // looked at afresh next time
            }
        }
        return m_key.Get();
    }
    // What CheckDriverEntries tells of the key, asked once a place.
    LONG Status(const MainWindow& window, REGSAM view, bool* isLink) {
        Look(window, view);
        *isLink = m_isLink;
        return m_code;
    }

private:
    void Look(const MainWindow& window, REGSAM view) {
        if (m_looked && m_place == window.m_placeConnected) return;
        m_looked = true;
        m_place = window.m_placeConnected;
        m_key.Close();
        m_isLink = false;
        RegKey opened;
        m_code = OpenDriverEntries(window.m_hOdbcIniKey, KEY_READ | KEY_WRITE | view, opened, &m_isLink);
        if (m_code == ERROR_SUCCESS && !m_isLink) {
            m_key = std::move(opened);
        } else if (m_code != ERROR_SUCCESS && m_code != ERROR_FILE_NOT_FOUND) {
            // Refused for writing: how it reads decides, as before.
            m_code = CheckDriverEntries(window.m_hOdbcIniKey, view, &m_isLink);
        }
    }

    bool m_looked = false;
    RegistryPlace m_place;
    RegKey m_key;
    LONG m_code = ERROR_SUCCESS;
    bool m_isLink = false;
};

// The names below the connected section, read once where they are few
// beside the file's sources, so that a source surely absent costs the
// registry no question. Only while every name there is plain ASCII: the
// registry folds other letters by rules of its own (a name beyond ASCII may
// equal an ASCII one), and a name wrongly taken for absent would be replaced
// with no question and no backup.
class KnownNames {
public:
    explicit KnownNames(int sources) : m_sources(sources) {}

    bool SurelyAbsent(const MainWindow& window, const std::string& name) {
        if (!m_looked || m_place != window.m_placeConnected) Read(window);
        return m_usable && zentrel::IsPlainAscii(name) && m_names.count(Folded(name)) == 0;
    }

private:
    static std::string Folded(std::string name) {
        for (char& c : name)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return name;
    }

    void Read(const MainWindow& window) {
        m_looked = true;
        m_place = window.m_placeConnected;
        m_names.clear();
        DWORD subkeys = 0, values = 0;
        // Reading more names than the file has sources would cost more than it saves.
        m_usable = window.m_hOdbcIniKey.QueryCounts(&subkeys, &values) == ERROR_SUCCESS &&
                   subkeys <= static_cast<DWORD>(m_sources / 4);
        std::vector<wchar_t> buffer;
        std::string name;
        for (DWORD index = 0; m_usable; ++index) {
            const LONG code = window.m_hOdbcIniKey.EnumSubkey(index, buffer, name);
            if (code == ERROR_NO_MORE_ITEMS) break;
            m_usable = code == ERROR_SUCCESS && zentrel::IsPlainAscii(name) && name.find('\0') == std::string::npos;
            if (m_usable) m_names.insert(Folded(name));
        }
        if (!m_usable) m_names.clear();
    }

    const int m_sources;
    bool m_looked = false, m_usable = false;
    RegistryPlace m_place;
    std::set<std::string> m_names;
};

// Whether the connected section can take the source: its driver entries'
// key can, and a source of its name is absent or readable (*exists says
// which). False, reported, when not.
bool SectionTakes(MainWindow& window, const std::string& name, REGSAM view, OpenEntries& open, KnownNames& known,
                  bool* exists) {
    bool isLink = false;
    const LONG entries = open.Status(window, view, &isLink);
    if (entries == ERROR_SUCCESS && isLink) {
        window.Report("RegOpenKey Error", MB_OK | MB_ICONSTOP, IDS_KEY_LINK, kDriverEntriesKey);
        return false;
    }
    if (entries != ERROR_SUCCESS && entries != ERROR_FILE_NOT_FOUND) {
        window.Report("RegCreateKey Error", MB_OK | MB_ICONSTOP, IDS_KEY_ERROR, kDriverEntriesKey,
                      MainWindow::SystemErrorText(entries));
        return false;
    }
    const LONG found =
        known.SurelyAbsent(window, name) ? ERROR_FILE_NOT_FOUND : FindImportedSource(window.m_hOdbcIniKey, name, view);
    if (found != ERROR_SUCCESS && found != ERROR_FILE_NOT_FOUND) {
        // It exists but cannot be read: writing into it would mix old and new.
        window.Report("RegOpenKey Error", MB_OK | MB_ICONSTOP, IDS_SOURCE_NOT_REPLACED, zentrel::ShownName(name),
                      MainWindow::SystemErrorText(found));
        return false;
    }
    *exists = found == ERROR_SUCCESS;
    return true;
}

// Whether the user lets the import replace the source. The view is named
// where the name alone could mean either source.
bool ReplaceConfirmed(MainWindow& window, const std::string& name, zentrel::Platform platform, bool twoViews) {
    const zentrel::Platform otherView =
        platform == zentrel::Platform::Bit64 ? zentrel::Platform::Bit32 : zentrel::Platform::Bit64;
    const bool ambiguous = twoViews && SourceInView(window.m_hRootKey, name, ViewFlag(otherView));
    const std::string question =
        ambiguous ? zentrel::FormatText(MainWindow::LoadText(IDS_ALREADY_EXISTS_VIEW), name,
                                        zentrel::PlatformText(platform))
                  : zentrel::FormatText(MainWindow::LoadText(IDS_ALREADY_EXISTS), name);
    return window.Report(MainWindow::LoadText(IDS_WARNING), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, question) ==
           IDYES;
}

enum class WriteOutcome { Failed, New, Replaced, LeftAlone };

// Writes one accepted source whole through a temporary key, or leaves the
// place as it was. What stands at the name now decides, not what stood
// there at the questions: a source that is not the one backed up (made or
// changed since by someone else) is asked about again and backed up on its
// own first. Its rows are read from the file again: every source's rows
// kept from the first pass would cost several times the file. Every
// failure is reported.
WriteOutcome WriteAccepted(MainWindow& window, const Accepted& source, const zentrel::ProfileFile& dsi,
                           long long maxRows, OpenEntries& open, ScopeChanges& changes, const SourceImage* backedUp,
                           bool mayAsk, bool twoViews) {
    const std::string& name = source.plan.name;
    if (!changes.Take(source.place)) return WriteOutcome::Failed;
    const REGSAM view = ViewFlag(source.place.platform);
    const LONG found = FindImportedSource(window.m_hOdbcIniKey, name, view);
    if (found != ERROR_SUCCESS && found != ERROR_FILE_NOT_FOUND) {
        window.Report("RegOpenKey Error", MB_OK | MB_ICONSTOP, IDS_SOURCE_NOT_REPLACED, zentrel::ShownName(name),
                      MainWindow::SystemErrorText(found));
        return WriteOutcome::Failed;
    }
    const bool exists = found == ERROR_SUCCESS;
    if (exists) {
        SourceImage now;
        std::string key, why;
        const bool same = backedUp != nullptr &&
                          ReadSourceImage(window.m_hOdbcIniKey, view, name, &now, &key, &why) && now == *backedUp;
        if (!same) {
            if (mayAsk && !ReplaceConfirmed(window, name, source.place.platform, twoViews)) {
                window.Report("Warning", MB_OK | MB_ICONSTOP, IDS_SOURCE_APPEARED, zentrel::ShownName(name));
                return WriteOutcome::LeftAlone;
            }
            BackupOutcome backup;
            if (!WriteBackup(window, {BackedUpSource(source.place, name)}, &backup) || !backup.held[0])
                return WriteOutcome::Failed;
            if (TheApp().m_bBatchMode)
                WriteStreamText(TheApp().m_hConsoleErr,
                                zentrel::FormatText(MainWindow::LoadText(IDS_BACKUP_WRITTEN), backup.path));
            if (!changes.Take(source.place)) return WriteOutcome::Failed;
        }
    }
    SourceReplacement replacement(window.m_hOdbcIniKey, view, name, source.plan.driver, changes.ByCopy(source.place));
    const ChangeResult begun = replacement.Begin();
    if (!begun.Ok()) {
        ReportChange(window, begun, name);
        return WriteOutcome::Failed;
    }
    // A row that cannot be written leaves the source as it was.
    const zentrel::DsiSourceRows rows = zentrel::ReadDsiSourceRows(dsi, source.plan.section, maxRows);
    const RowWriteFailure failure = WriteDsiRows(replacement.Key(), view, rows, name);
    const std::string text = MainWindow::SystemErrorText(failure.code);
    if (failure.code != ERROR_SUCCESS && !failure.key.empty()) {
        window.Report("RegCreateKey Error", MB_OK | MB_ICONSTOP, IDS_KEY_ERROR, zentrel::ShownName(failure.key), text);
    } else if (failure.code != ERROR_SUCCESS) {
        window.Report("RegSetValueEx Error", MB_OK | MB_ICONSTOP, IDS_KEY_ERROR, zentrel::ShownName(name), text);
    }
    if (failure.code != ERROR_SUCCESS) {
        replacement.Abandon();
        return WriteOutcome::Failed;
    }
    const ChangeResult committed = replacement.Commit(exists, open.Made(window, view));
    if (committed.renameUnsupported) changes.RenameUnsupported(source.place);
    if (!ReportChange(window, committed, name)) return WriteOutcome::Failed;
    return exists ? WriteOutcome::Replaced : WriteOutcome::New;
}

// Row problems shown one by one before the rest are summed up.
const size_t kRowProblemsShown = 10;

}  // namespace

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

    const zentrel::DsiFileCount fileCount = zentrel::ReadDsiFileCount(dsi);
    if (fileCount.empty) {
        Report("Error", MB_OK | MB_ICONSTOP, IDS_ITEMS_ERROR, m_szDsiFile, SystemErrorText(ERROR_INVALID_DATA));
        return;
    }
    // A count that wrapped or overflowed would skip sources silently.
    const int count = static_cast<int>(fileCount.indices.size());
    if (count < 1) {
        // An export of an empty scope says so with an explicit 0: importing
        // it completes. A missing or unreadable count does not.
        if (!fileCount.present || !fileCount.valid) {
            Report("Warning", MB_OK | MB_ICONSTOP, IDS_NO_DEFINITIONS, m_szDsiFile);
        } else {
            Remark("Warning", MB_OK | MB_ICONSTOP, IDS_NO_DEFINITIONS, m_szDsiFile);
        }
    }

    // The scope and computer of the import; each source goes into its view.
    const RegistryPlace target = m_placeConnected;
    zentrel::DsiImportTarget planned;
    planned.systemScope = target.systemScope != FALSE;
    // -p32 and -p64 restrict batch runs; the window always has both views.
    const ScopePlace where = PlaceOf(target.systemScope);
    planned.viewForced = where.oneView;
    planned.forced = where.view;
    planned.own = OwnPlatform();
    planned.maxRows = maxRows;
    planned.reserved = [](const std::string& name) { return IsReservedDsnName(name.c_str()); };
    const bool mayAsk = g_pSettings != nullptr && g_pSettings->m_bAskImport;
    // First every question is asked and every source checked, writing
    // nothing; then the sources about to be replaced are backed up; then each
    // is written whole, or left as it was.
    const bool preview = TheApp().m_bBatchMode && TheApp().m_bPreview;
    // In blocks: a vector that doubles would hold a large file's sources three times over.
    std::deque<Accepted> accepted;
    OpenEntries entries;
    KnownNames known(count);
    std::string previewLines;
    int written = 0, replaced = 0, skipped = 0;
    std::string stopSection, stopReason;
    // A source left out on the way is reported where it happens; the run goes on.
    const auto skip = [&]() {
        ++skipped;
        stopSection.clear();
    };
    for (int i : fileCount.indices) {
        zentrel::DsiSourcePlan plan = zentrel::PlanDsiSource(dsi, i, planned);
        const std::string& section = plan.section;
        if (plan.fileName.empty()) {
            if (Report(section, MB_YESNO | MB_ICONSTOP, IDS_CONTINUE_QUESTION, section, SystemErrorText(ERROR_NOT_FOUND),
                       m_szDsiFile) == IDYES) {
                ++skipped;
                continue;
            }
            stopSection = section;
            stopReason = LoadText(IDS_STOP_NO_NAME);
            break;
        }
        RegistryPlace place = target;
        // A source whose view the file names wrongly has none of its own.
        if (plan.refusal != zentrel::DsiRefusal::Platform) place.platform = plan.platform;
        // Where both views exist, the user is told which one is written.
        const std::string suffix = target.systemScope && HasTwoViews()
                                       ? std::string(" (") + zentrel::PlatformText(place.platform) + ")"
                                       : std::string();
        if (askName && plan.refusal == zentrel::DsiRefusal::None) {
            DsnNameDialog dialog(this);
            dialog.m_strName = plan.name;
            dialog.m_strCaption = suffix.empty() ? std::string() : LoadText(IDS_DSN_NAME_CAPTION) + suffix;
            if (GetPrompts().RunDialog(dialog) != IDOK) {
                ++skipped;
                continue;
            }
            plan.name = dialog.m_strName;
        }
        zentrel::PlanDsiSourceRows(dsi, planned, plan);
        const std::string& name = plan.name;
        if (plan.refusal != zentrel::DsiRefusal::None) {
            const std::string refusal = RefusalText(plan);
            Report("Error", MB_OK | MB_ICONSTOP, IDS_NOT_IMPORTED, zentrel::ShownName(plan.fileName), section,
                   m_szDsiFile, refusal);
            if (preview) previewLines += PreviewLine("refused", plan.fileName, place.platform, refusal);
            ++skipped;
            continue;
        }
        const zentrel::DsiSourceRows& rows = plan.rows;
        ReportDsiSourceProblems(rows, section, name);
        if (rows.missing != 0) {
            Report("Warning", MB_OK | MB_ICONSTOP, IDS_ROWS_MISSING, section, m_szDsiFile,
                   std::to_string(rows.announced), std::to_string(rows.announced - rows.missing),
                   zentrel::ShownName(name));
        }

        // Where the import stops: the section, and why, for the summary.
        stopSection = section;
        stopReason = zentrel::FormatText(LoadText(IDS_STOP_FAILED), zentrel::ShownName(name));
        if (!ConnectTo(place)) break;
        // A source the section cannot take is not written.
        bool exists = false;
        if (!SectionTakes(*this, name, ViewFlag(place.platform), entries, known, &exists)) {
            skip();
            continue;
        }
        if (preview) {
            previewLines += PreviewSource(*this, name, place.platform, plan.driver, rows, exists);
            stopSection.clear();
            continue;
        }
        if (exists && mayAsk && !ReplaceConfirmed(*this, name, place.platform, !suffix.empty())) {
            // The sources before it are still written.
            MarkFailed();
            stopReason = zentrel::FormatText(LoadText(IDS_STOP_DECLINED), zentrel::ShownName(name));
            break;
        }
        stopSection.clear();
        Accepted source;
        source.place = place;
        source.replaces = exists;
        source.plan = std::move(plan);
        source.plan.rows = zentrel::DsiSourceRows();
        accepted.push_back(std::move(source));
    }
    if (preview) {
        WriteStreamText(TheApp().m_hConsoleOut, previewLines);
        return;
    }

    // Each place is reserved for this run, and what ended runs left there
    // put right, before anything is backed up or written.
    ScopeChanges changes(*this);
    for (const Accepted& source : accepted)
        if (!changes.Take(source.place)) return;
    std::vector<BackedUpSource> destroyed;
    std::vector<size_t> destroyedAt;
    for (size_t i = 0; i < accepted.size(); ++i) {
        if (!accepted[i].replaces) continue;
        destroyed.push_back(BackedUpSource(accepted[i].place, accepted[i].plan.name));
        destroyedAt.push_back(i);
    }
    BackupOutcome backup;
    if (!WriteBackup(*this, destroyed, &backup)) return;
    if (!backup.path.empty() && TheApp().m_bBatchMode)
        WriteStreamText(TheApp().m_hConsoleErr, zentrel::FormatText(LoadText(IDS_BACKUP_WRITTEN), backup.path));
    // A source the backup does not hold whole is left as it is.
    std::vector<const SourceImage*> backedUp(accepted.size(), nullptr);
    std::vector<bool> refused(accepted.size(), false);
    for (size_t k = 0; k < destroyedAt.size(); ++k) {
        if (backup.held[k]) {
            backedUp[destroyedAt[k]] = &backup.images[k];
        } else {
            refused[destroyedAt[k]] = true;
        }
    }

    for (size_t i = 0; i < accepted.size(); ++i) {
        const WriteOutcome outcome =
            refused[i] ? WriteOutcome::Failed
                       : WriteAccepted(*this, accepted[i], dsi, maxRows, entries, changes, backedUp[i], mayAsk,
                                       target.systemScope && HasTwoViews());
        if (outcome == WriteOutcome::Failed || outcome == WriteOutcome::LeftAlone) {
            skip();
            continue;
        }
        ++written;
        if (outcome == WriteOutcome::Replaced) ++replaced;
    }

    // A window that is gone has no list to refill.
    if (!TheApp().m_bBatchMode && m_pTabCtrl != nullptr) FillDsnList(true);
    if (chosen && count > 0) {
        const std::string stopped =
            stopSection.empty() ? std::string()
                                : "\n" + zentrel::FormatText(LoadText(IDS_IMPORT_STOPPED), stopSection, stopReason);
        if (written == 1)
            Remark("Import", MB_OK | MB_ICONINFORMATION,
                   replaced == 1 ? IDS_IMPORT_SUMMARY_ONE_REPLACED : IDS_IMPORT_SUMMARY_ONE, m_szDsiFile,
                   std::to_string(skipped), stopped);
        else
            Remark("Import", MB_OK | MB_ICONINFORMATION, IDS_IMPORT_SUMMARY, m_szDsiFile, std::to_string(written),
                   std::to_string(replaced), std::to_string(skipped), stopped);
    }
}

void MainWindow::OnImport() { ImportDsiFile(FALSE, "", FALSE); }

void MainWindow::OnImportAs() { ImportDsiFile(TRUE, "", FALSE); }
