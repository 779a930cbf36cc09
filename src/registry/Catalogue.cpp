#include <string>

#include "registry/RegKey.h"
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

void MainWindow::FillDsnList() {
    m_bFilling = TRUE;
    m_lstDataSources.DeleteAllItems();
    m_lstAttributes.DeleteAllItems();
    const BOOL systemScope = m_pTabCtrl->GetCurSel() == 0;
    m_placeListed = RegistryPlace();
    if (ConnectOdbcIni(systemScope) == 0) {
        m_placeListed = m_placeConnected;
        ShowDataSources(EnumerateDataSources());
    }
    m_bFilling = FALSE;
}

void MainWindow::OnRefresh() { FillDsnList(); }

LRESULT MainWindow::OnScopeChanged(const NMHDR*) {
    FillDsnList();
    return 0;
}

void MainWindow::OnSelectAll() { m_lstDataSources.SetCheck(-1, TRUE); }

void MainWindow::OnClearSelection() { m_lstDataSources.SetCheck(-1, FALSE); }
