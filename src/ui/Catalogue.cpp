#include <cstring>
#include <iterator>
#include <string>

#include "registry/Catalogue.h"
#include "core/DsiSource.h"
#include "registry/InstalledDrivers.h"
#include "registry/OdbcSection.h"
#include "registry/RegKey.h"
#include "registry/Views.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

std::vector<std::string> MainWindow::EnumerateDataSources(std::vector<std::string>* unreachable,
                                                          std::vector<std::string>* uncarried) const {
    return ::EnumerateDataSources(m_hOdbcIniKey, unreachable, uncarried);
}

BOOL MainWindow::CatalogueScope(const ScopePlace& place, std::vector<ListedSource>& sources,
                                std::vector<std::string>* unreachable, std::unique_ptr<ScopeDrivers>* later) {
    const BOOL systemScope = place.systemScope;
    std::vector<zentrel::Platform> views;
    if (!systemScope) {
        views.push_back(zentrel::Platform::Shared);
    } else if (place.oneView) {
        views.push_back(place.view);
    } else {
        views.push_back(OwnPlatform());
        if (HasTwoViews())
            views.push_back(OwnPlatform() == zentrel::Platform::Bit64 ? zentrel::Platform::Bit32
                                                                      : zentrel::Platform::Bit64);
    }
    std::unique_ptr<ScopeDrivers> drivers(new ScopeDrivers(place.computer));
    // The other view first, so that the connection left is the first view's,
    // as after any fill; its rows come first all the same.
    std::vector<ListedSource> otherView;
    for (size_t v = views.size(); v-- > 0;) {
        // The first view is the one asked for: its section is offered for
        // creation as ever. Another view without one simply has no sources.
        const int code = ConnectToRemoteSystem(place.computer, systemScope, views[v], v != 0);
        if (code != 0) {
            if (v == 0) return FALSE;
            continue;
        }
        std::vector<ListedSource>& into = v == 0 ? sources : otherView;
        RegKey driverEntries;
        bool isLink = false;
        const LONG entries = OpenDriverEntries(m_hOdbcIniKey, KEY_READ | ViewFlag(views[v]), driverEntries, &isLink);
        // Drivers that cannot be read would show as none.
        if (isLink) {
            Report("RegOpenKey", MB_OK | MB_ICONSTOP, IDS_KEY_LINK, kDriverEntriesKey);
        } else if (entries != ERROR_SUCCESS && entries != ERROR_FILE_NOT_FOUND) {
            Report("RegOpenKey", MB_OK | MB_ICONSTOP, IDS_KEY_ERROR, kDriverEntriesKey, SystemErrorText(entries));
        }
        drivers->Keep(m_placeConnected.platform, std::move(driverEntries));
        std::vector<std::string> uncarried;
        LONG failed = ERROR_SUCCESS;
        std::vector<std::string> names = ::EnumerateDataSources(m_hOdbcIniKey, unreachable, &uncarried, &failed);
        // A list that may lack a source is no list.
        if (failed != ERROR_SUCCESS) {
            Report("RegEnumKeyEx", MB_OK | MB_ICONSTOP, IDS_KEY_ERROR, kOdbcIniPath, SystemErrorText(failed));
            return FALSE;
        }
        // Acting on a substitute would reach another key, or none.
        for (const std::string& name : uncarried)
            Report("Error", MB_OK | MB_ICONSTOP, IDS_NAME_NOT_CARRIED, zentrel::ShownName(name));
        for (std::string& name : names) {
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

void MainWindow::ReportUnreachable(const std::vector<std::string>& names, const char* caption, UINT text) {
    for (const std::string& name : names)
        Report(caption, MB_OK | MB_ICONSTOP, text, zentrel::ShownName(zentrel::VisibleZeros(name)));
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
