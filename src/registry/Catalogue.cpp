#include <string>

#include "registry/RegKey.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

std::vector<std::string> MainWindow::EnumerateDataSources(std::vector<std::string>* unreachable) const {
    std::vector<std::string> names;
    if (m_hOdbcIniKey == NULL) return names;
    std::vector<char> buffer;
    std::string name;
    for (DWORD index = 0;; ++index) {
        if (EnumSubkeyName(m_hOdbcIniKey, index, buffer, name) != ERROR_SUCCESS) break;
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
    const BOOL systemScope = TabCtrl_GetCurSel(m_pTabCtrl->m_hWnd) == 0;
    m_placeListed = RegistryPlace();
    if (ConnectOdbcIni(systemScope) == 0) {
        m_placeListed = m_placeConnected;
        const std::vector<std::string> names = EnumerateDataSources();
        // One redraw for the whole fill, not one per row.
        ::SendMessageA(m_lstDataSources.m_hWnd, WM_SETREDRAW, FALSE, 0);
        ListView_SetItemCount(m_lstDataSources.m_hWnd, (int)names.size());
        int row = 0;
        for (const std::string& name : names) m_lstDataSources.InsertItem(row++, name.c_str());
        m_lstDataSources.SetCheck(-1, TRUE);
        ::SendMessageA(m_lstDataSources.m_hWnd, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(m_lstDataSources.m_hWnd, NULL, TRUE);
    }
    m_bFilling = FALSE;
}

void MainWindow::OnRefresh() { FillDsnList(); }

LRESULT MainWindow::OnScopeChanged() {
    FillDsnList();
    return 0;
}

void MainWindow::OnSelectAll() { m_lstDataSources.SetCheck(-1, TRUE); }

void MainWindow::OnClearSelection() { m_lstDataSources.SetCheck(-1, FALSE); }
