// The import commands: the file and the scope chosen, the name asked for,
// the list refilled; the import itself is in ops.
#include <windows.h>

#include <cstring>
#include <deque>
#include <set>
#include <string>

#include "dsi/DsiFileIo.h"
#include "ops/Import.h"
#include "registry/Views.h"
#include "ui/DsiFileDialog.h"
#include "ui/DsnNameDialog.h"
#include "ui/MainWindow.h"
#include "ui/Settings.h"
#include "ui/resource.h"

bool MainWindow::AskSourceName(std::string& name, const std::string& caption) {
    DsnNameDialog dialog(this);
    dialog.m_strName = name;
    dialog.m_strCaption = caption;
    if (GetPrompts().RunDialog(dialog) != IDOK) return false;
    name = dialog.m_strName;
    return true;
}

bool MainWindow::ChooseImport(BOOL systemScope) {
    DsiFileDialog dialog(GetPrompts());
    const std::string filter = LoadText(IDS_DSI_FILTER);
    if (!dialog.ShowOpen(filter.c_str(), "", OwnerWindow(), "Import from",
                         OFN_FILEMUSTEXIST | OFN_SHOWHELP | OFN_HIDEREADONLY))
        return false;
    if (zentrel::DsiPathTooLong(dialog.GetPathName())) {
        ReportFileError(dialog.GetPathName(), ERROR_FILENAME_EXCED_RANGE, "Error");
        return false;
    }
    strcpy(m_szDsiFile, dialog.GetPathName());
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
    where = PlaceOf(tabScope);
    where.mayAsk = g_pSettings != nullptr && g_pSettings->m_bAskImport;
    return ConnectTo(place) != FALSE;
}

void MainWindow::ImportDsiFile(BOOL askName, const char* file, BOOL systemScope) {
    const char* path = file ? file : "";
    // A file from the chooser: the user is told at the end what came of it.
    const bool chosen = !(path[0] != '\0' && zentrel::DsiFileExists(path)) && !facts.Batch();
    ImportSummary summary;
    if (!chosen) {
        // Without a window there is no chooser, and no scope but the one asked for.
        where = PlaceOf(systemScope);
        where.mayAsk = g_pSettings != nullptr && g_pSettings->m_bAskImport;
        summary = ImportNamedFile(*this, path, askName != FALSE);
    } else if (ChooseImport(systemScope)) {
        summary = ImportConnected(*this, askName != FALSE);
    }
    if (!summary.ran) return;
    // A window that is gone has no list to refill.
    if (!facts.Batch() && m_pTabCtrl != nullptr) FillDsnList(true);
    if (chosen) SummariseImport(*this, summary);
}

void MainWindow::OnImport() { ImportDsiFile(FALSE, "", FALSE); }

void MainWindow::OnImportAs() { ImportDsiFile(TRUE, "", FALSE); }
