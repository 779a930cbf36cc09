// Export of data sources into a DSI file. The file is built in memory, on top
// of whatever it held before, and written once when the export ends.
#include <cstring>
#include <string>
#include <vector>

#include "core/DsiCodec.h"
#include "core/DsiSource.h"
#include "core/ProfileFile.h"
#include "core/ValueFormat.h"
#include "dsi/DsiFileIo.h"
#include "dsi/ExportSource.h"
#include "registry/InstalledDrivers.h"
#include "registry/Views.h"
#include "ui/DsiFileDialog.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

namespace {

// Left-out values shown one by one before the rest are summed up.
const size_t kLeftOutShown = 10;

}  // namespace

BOOL MainWindow::BeginDsiExport(int count, BOOL askFile, const char* proposed) {
    m_pendingExport.reset();
    if (askFile) {
        DsiFileDialog dialog(GetPrompts());
        const std::string filter = LoadText(IDS_DSI_FILTER);
        if (!dialog.ShowSave(filter.c_str(), count == 1 ? (proposed ? proposed : m_szCurrentDsn) : "", "dsi", OwnerWindow(), "Export to",
                             OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY))
            return FALSE;
        if (zentrel::DsiPathTooLong(dialog.GetPathName())) {
            ReportFileError(dialog.GetPathName(), ERROR_FILENAME_EXCED_RANGE, "Export");
            return FALSE;
        }
        strcpy(m_szDsiFile, dialog.GetPathName());
    }

    // Keys this export does not write keep their place and content.
    std::unique_ptr<PendingExport> pending(new PendingExport);
    zentrel::ProfileFile* file = &pending->file;
    if (zentrel::DsiFileExists(m_szDsiFile)) {
        // Written back in its own encoding, as the platform's writer does;
        // a file this program cannot read faithfully is left alone.
        long long lines = 0;
        if (!ReadDsiFile(m_szDsiFile, "Export", "The file is left as it is; nothing is exported.", *file,
                         &pending->encoding, &lines))
            return FALSE;
        // Import reads "DSN#%d" before "DSN%d", and the count may shrink: a
        // source section left from earlier content could be read in place
        // of, or besides, what this export writes.
        file->RemoveSections(zentrel::IsDsiSourceSection);
    }
    file->Set("General", "Items", std::to_string(count));
    m_pendingExport = std::move(pending);
    m_nDsnSection = 0;
    return TRUE;
}

void MainWindow::ExportDsn(const char* name) {
    if (!m_pendingExport) return;
    PendingExport& pending = *m_pendingExport;
    zentrel::ProfileFile& file = pending.file;
    if (pending.driverEntriesPlace != m_placeConnected && m_hOdbcIniKey.Valid()) {
        pending.driverEntriesPlace = m_placeConnected;
        bool isLink = false;
        const LONG code = OpenDriverEntries(m_hOdbcIniKey, KEY_READ | ViewFlag(m_placeConnected.platform),
                                            pending.driverEntries, &isLink);
        pending.driverEntriesProblem.clear();
        if (isLink) {
            pending.driverEntriesProblem = zentrel::FormatText(LoadText(IDS_KEY_LINK), kDriverEntriesKey);
        } else if (code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND) {
            pending.driverEntriesProblem = SystemErrorText(code);
        }
    }
    const std::string dsn = name ? name : "";
    if (m_bListingIncomplete && m_strListedDsn == dsn) {
        Report("Export", MB_OK | MB_ICONSTOP, IDS_READ_INCOMPLETE, zentrel::ShownName(dsn));
        return;
    }
    // A driver the file would carry as none would be imported as none.
    if (!pending.driverEntriesProblem.empty()) {
        Report("Export", MB_OK | MB_ICONSTOP, IDS_DRIVER_UNREADABLE, zentrel::ShownName(dsn),
               pending.driverEntriesProblem);
        return;
    }
    const std::string driver = ReadDriverEntry(pending.driverEntries.Get(), dsn.c_str());
    if (HoldsLineBreak(dsn) || HoldsLineBreak(driver)) {
        Report("Export", MB_OK | MB_ICONSTOP, IDS_NAME_LINE_BREAK, dsn);
        return;
    }

    const zentrel::Platform view = m_placeConnected.platform;
    const std::vector<std::string> leftOut =
        WriteDsiSource(file, zentrel::DsiIndexedName("DSN%d", m_nDsnSection++), dsn, driver,
                       m_placeConnected.systemScope ? &view : nullptr, m_aAttributeRows, (size_t)m_nAttributeRows);

    for (size_t k = 0; k < leftOut.size() && k < kLeftOutShown; ++k) {
        Report("Export", MB_OK | MB_ICONSTOP, IDS_VALUE_NOT_CARRIED, zentrel::ShownName(dsn),
               zentrel::ShownName(zentrel::VisibleZeros(leftOut[k])));
    }
    if (leftOut.size() > kLeftOutShown) {
        Report("Export", MB_OK | MB_ICONSTOP, IDS_MORE_VALUES, zentrel::ShownName(dsn),
               std::to_string(leftOut.size() - kLeftOutShown));
    }
}

BOOL MainWindow::FinishDsiExport() {
    if (!m_pendingExport) return FALSE;
    std::unique_ptr<PendingExport> pending = std::move(m_pendingExport);
    zentrel::ProfileFile* file = &pending->file;
    // The count announced at the start, unless a source had to be left out.
    file->Set("General", "Items", std::to_string(m_nDsnSection));
    std::string bytes;
    DWORD code = zentrel::EncodeDsiText(file->Serialize(), &pending->encoding, bytes);
    if (code == 0) code = zentrel::ReplaceDsiFile(m_szDsiFile, bytes);
    if (code != 0) {
        ReportFileError(m_szDsiFile, code, "Export");
        return FALSE;
    }
    if (m_hWnd != NULL)
        NoteInStatusLine(m_nDsnSection == 1
                             ? zentrel::FormatText(LoadText(IDS_EXPORTED_ONE), m_szDsiFile)
                             : zentrel::FormatText(LoadText(IDS_EXPORTED), std::to_string(m_nDsnSection), m_szDsiFile));
    return TRUE;
}

void MainWindow::OnExport() {
    // The table may hold another source's rows after an export of several
    // sources, so the current source is listed again.
    // Like Remove, it acts only on a source that the list shows now.
    if (IsCurrentDsnListed() && ConnectTo(m_placeCurrent)) {
        FillSubTree(m_hOdbcIniKey, m_szCurrentDsn, nullptr);
    } else {
        m_nAttributeRows = 0;
        m_aAttributeRows.clear();
    }
    if (m_nAttributeRows == 0) {
        Report("Export", MB_OK | MB_ICONSTOP, IDS_NO_CURRENT_ITEM);
        return;
    }
    if (!BeginDsiExport(1, TRUE)) return;
    ExportDsn(m_szCurrentDsn);
    FinishDsiExport();
}

void MainWindow::ExportListedRow(int row) {
    const std::string name = m_lstDataSources.GetItemText(row, 0);
    // Each row from its own view.
    if (!ConnectTo(RowPlace(row))) return;
    FillSubTree(m_hOdbcIniKey, name.c_str(), nullptr);
    ExportDsn(name.c_str());
}

void MainWindow::OnExportAll() {
    const int count = m_lstDataSources.GetItemCount();
    if (!BeginDsiExport(count, TRUE)) return;
    for (int i = 0; i < count; ++i) ExportListedRow(i);
    FinishDsiExport();
}

void MainWindow::OnExportSelected() {
    const int rows = m_lstDataSources.GetItemCount();
    std::vector<int> ticked;
    for (int i = 0; i < rows; ++i)
        if (m_lstDataSources.GetCheck(i)) ticked.push_back(i);
    // Before the file is chosen: an empty export would replace its sources.
    if (ticked.empty()) {
        Report("Export", MB_OK | MB_ICONSTOP, IDS_NOTHING_TICKED);
        return;
    }
    // One ticked source proposes its own name, whichever row is current.
    const std::string single = ticked.size() == 1 ? m_lstDataSources.GetItemText(ticked[0], 0) : std::string();
    if (!BeginDsiExport((int)ticked.size(), TRUE, single.c_str())) return;
    for (int i : ticked) ExportListedRow(i);
    FinishDsiExport();
}

void MainWindow::ExportScopeToFile(const char* file, BOOL systemScope) { ExportScope(PlaceOf(systemScope), file); }

void MainWindow::ExportScope(const ScopePlace& where, const char* file) {
    const char* path = file ? file : "";
    // A cut path would name another file.
    if (zentrel::DsiPathTooLong(path)) {
        ReportFileError(path, ERROR_FILENAME_EXCED_RANGE, "Export");
        return;
    }
    std::vector<ListedSource> sources;
    std::vector<std::string> unreachable;
    // Names only: ExportDsn reads each driver, once, and nothing checks it.
    std::unique_ptr<ScopeDrivers> unread;
    if (!CatalogueScope(where, sources, &unreachable, &unread)) return;
    strcpy(m_szDsiFile, path);
    ReportUnreachable(unreachable, "Export", IDS_ZERO_NAME_SOURCE);
    if (!BeginDsiExport((int)sources.size(), FALSE)) return;
    RegistryPlace place = m_placeConnected;
    for (const ListedSource& source : sources) {
        place.platform = source.platform;
        if (!ConnectTo(place)) continue;
        FillSubTree(m_hOdbcIniKey, source.name.c_str(), nullptr);
        ExportDsn(source.name.c_str());
    }
    FinishDsiExport();
}
