#include <iterator>
#include <string>

#include "registry/DriverEntry.h"
#include "registry/RegKey.h"
#include "registry/Views.h"
#include "ui/MainWindow.h"

std::vector<std::string> MainWindow::EnumerateDataSources(std::vector<std::string>* unreachable) const {
    std::vector<std::string> names;
    if (!m_hOdbcIniKey.Valid()) return names;
    std::vector<char> buffer;
    std::string name;
    for (DWORD index = 0;; ++index) {
        if (m_hOdbcIniKey.EnumSubkey(index, buffer, name) != ERROR_SUCCESS) break;
        if (name.find('\0') != std::string::npos) {
            if (unreachable != nullptr) unreachable->push_back(name);
        } else if (!IsReservedDsnName(name.c_str())) {
            names.push_back(name);
        }
    }
    return names;
}

BOOL MainWindow::CatalogueScope(BOOL systemScope, const zentrel::Platform* only, std::vector<ListedSource>& sources,
                                std::vector<std::string>* unreachable, std::unique_ptr<ScopeDrivers>* later) {
    std::vector<zentrel::Platform> views;
    if (!systemScope) {
        views.push_back(zentrel::Platform::Shared);
    } else if (only != nullptr) {
        views.push_back(*only);
    } else {
        views.push_back(OwnPlatform());
        if (HasTwoViews())
            views.push_back(OwnPlatform() == zentrel::Platform::Bit64 ? zentrel::Platform::Bit32
                                                                      : zentrel::Platform::Bit64);
    }
    ReadRemoteSystem();
    std::unique_ptr<ScopeDrivers> drivers(new ScopeDrivers(m_szRemoteSystem));
    // The other view first, so that the connection left is the first view's,
    // as after any fill; its rows come first all the same.
    std::vector<ListedSource> otherView;
    for (size_t v = views.size(); v-- > 0;) {
        // The first view is the one asked for: its section is offered for
        // creation as ever. Another view without one simply has no sources.
        const int code = ConnectToRemoteSystem(systemScope, views[v], v != 0);
        if (code != 0) {
            if (v == 0) return FALSE;
            continue;
        }
        std::vector<ListedSource>& into = v == 0 ? sources : otherView;
        RegKey driverEntries;
        driverEntries.Open(m_hOdbcIniKey, kDriverEntriesKey, ViewFlag(views[v]));
        drivers->Keep(m_placeConnected.platform, std::move(driverEntries));
        for (std::string& name : EnumerateDataSources(unreachable)) {
            ListedSource source;
            source.platform = m_placeConnected.platform;
            if (later == nullptr) {
                source.driver = drivers->Driver(source.platform, name);
                source.check = drivers->Check(source.platform, source.driver);
            }
            source.name = std::move(name);
            into.push_back(std::move(source));
        }
    }
    sources.insert(sources.end(), std::make_move_iterator(otherView.begin()),
                   std::make_move_iterator(otherView.end()));
    if (later != nullptr) *later = std::move(drivers);
    return TRUE;
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
    const BOOL systemScope = m_pTabCtrl->GetCurSel() == 0;
    m_placeListed = RegistryPlace();
    m_listedSources.clear();
    m_listedDrivers.reset();
    std::vector<ListedSource> sources;
    const BOOL listed = CatalogueScope(systemScope, nullptr, sources, nullptr, &m_listedDrivers);
    m_pFillComputer = nullptr;
    if (listed) {
        m_placeListed = m_placeConnected;
        m_placeListed.platform = zentrel::Platform::Shared;
        ShowDataSources(std::move(sources));
    }
    // The current data source stays only where the list still shows it.
    const int current = CurrentRow();
    HighlightRow(current);
    m_bFilling = FALSE;
    if (current >= 0) {
        ListRow(current);
    } else {
        ClearCurrent();
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
