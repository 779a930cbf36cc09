// The export commands: the file chosen, the rows picked, the rest in ops.
#include <cstring>
#include <string>
#include <vector>

#include "core/DsiCodec.h"
#include "core/DsiSource.h"
#include "core/ProfileFile.h"
#include "core/ValueFormat.h"
#include "dsi/DsiFileIo.h"
#include "registry/InstalledDrivers.h"
#include "registry/Views.h"
#include "ops/Export.h"
#include "ui/DsiFileDialog.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

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
    return BeginExport(*this, count) ? TRUE : FALSE;
}

void MainWindow::ExportDsn(const char* name) { ExportSource(*this, name ? name : ""); }

BOOL MainWindow::FinishDsiExport() {
    if (!FinishExport(*this)) return FALSE;
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
        FillSubTree(m_hOdbcIniKey, m_szCurrentDsn);
    } else {
        m_nAttributeRows = 0;
        m_aAttributeRows.clear();
    }
    if (m_nAttributeRows == 0) {
        Fail("Export", IDS_NO_CURRENT_ITEM);
        return;
    }
    if (!BeginDsiExport(1, TRUE)) return;
    ExportDsn(m_szCurrentDsn);
    FinishDsiExport();
}

void MainWindow::ExportListedRow(int row) { ExportListed(*this, RowPlace(row), m_lstDataSources.GetItemText(row, 0)); }

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
        Fail("Export", IDS_NOTHING_TICKED);
        return;
    }
    // One ticked source proposes its own name, whichever row is current.
    const std::string single = ticked.size() == 1 ? m_lstDataSources.GetItemText(ticked[0], 0) : std::string();
    if (!BeginDsiExport((int)ticked.size(), TRUE, single.c_str())) return;
    for (int i : ticked) ExportListedRow(i);
    FinishDsiExport();
}

void MainWindow::ExportScopeToFile(const char* file, BOOL systemScope) { ExportScope(PlaceOf(systemScope), file); }

void MainWindow::ExportScope(const ScopePlace& place, const char* file) {
    where = place;
    ::ExportScope(*this, file);
}
