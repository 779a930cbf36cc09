#include <cstring>
#include <iterator>
#include <string>

#include "registry/Catalogue.h"
#include "core/DsiSource.h"
#include "registry/InstalledDrivers.h"
#include "registry/OdbcSection.h"
#include "registry/RegKey.h"
#include "registry/Views.h"
#include "ops/Listing.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

std::vector<std::string> MainWindow::EnumerateDataSources(std::vector<std::string>* unreachable,
                                                          std::vector<std::string>* uncarried) const {
    return ::EnumerateDataSources(m_hOdbcIniKey, unreachable, uncarried);
}

BOOL MainWindow::CatalogueScope(const ScopePlace& place, std::vector<ListedSource>& sources,
                                std::vector<std::string>* unreachable, std::unique_ptr<ScopeDrivers>* later) {
    return ::CatalogueScope(*this, place, sources, unreachable, later);
}

void MainWindow::ReportUnreachable(const std::vector<std::string>& names, const char* caption, UINT text) {
    ::ReportUnreachable(*this, names, caption, text);
}

RegistryPlace MainWindow::RowPlace(int row) const {
    RegistryPlace place = m_placeListed;
    if (place.known && place.systemScope && row >= 0 && row < (int)m_listedSources.size())
        place.platform = m_listedSources[row].platform;
    return place;
}

void MainWindow::FillDsnList(bool sameComputer) {
    const std::string computer = m_placeListed.computer;
    if (sameComputer && m_placeListed.known) m_pFillComputer = &computer;
    m_bFilling = TRUE;
    m_lstDataSources.DeleteAllItems();
    m_lstAttributes.DeleteAllItems();
    m_shownAttributes.clear();
    m_reportedListings.clear();
    m_strStatusNote.clear();
    const BOOL systemScope = m_pTabCtrl->GetCurSel() == 0;
    m_placeListed = RegistryPlace();
    m_listedSources.clear();
    m_allSources.clear();
    m_listedDrivers.reset();
    // While a connection is tried, and its failure reported, the line shows
    // the computer asked for, not the one listed before.
    const ScopePlace target = PlaceOf(systemScope);
    strncpy(m_szRemoteSystem, target.computer.c_str(), sizeof(m_szRemoteSystem) - 1);
    m_szRemoteSystem[sizeof(m_szRemoteSystem) - 1] = '\0';
    ShowStatusLine();
    std::vector<ListedSource> sources;
    std::vector<std::string> unreachable;
    const BOOL listed = CatalogueScope(target, sources, &unreachable, &m_listedDrivers);
    m_pFillComputer = nullptr;
    if (listed) {
        m_placeListed = m_placeConnected;
        m_strListedAccount = m_strHiveAccount;
        m_placeListed.platform = zentrel::Platform::Shared;
        ShowDataSources(std::move(sources));
    }
    ReportUnreachable(unreachable, "List", IDS_ZERO_NAME_NOT_LISTED);
    // The current data source stays only where the list still shows it.
    const int current = CurrentRow();
    HighlightRow(current);
    m_bFilling = FALSE;
    if (current >= 0) {
        ListRow(current);
    } else {
        ClearCurrent();
        // Refilled under the keyboard's focus, the list still shows where it is.
        if (::GetFocus() == m_lstDataSources.m_hWnd) OnDsnListFocus(nullptr);
    }
    ShowStatusLine();
}

void MainWindow::OnRefresh() { FillDsnList(); }

LRESULT MainWindow::OnScopeChanged(const NMHDR*) {
    FillDsnList();
    return 0;
}

void MainWindow::OnSelectAll() { m_lstDataSources.SetCheck(-1, TRUE); }

void MainWindow::OnClearSelection() { m_lstDataSources.SetCheck(-1, FALSE); }
