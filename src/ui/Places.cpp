#include <windows.h>

#include <string>

#include "app/ManagerApp.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

ScopePlace MainWindow::PlaceOf(BOOL systemScope) const {
    ScopePlace place;
    place.systemScope = systemScope;
    const ManagerApp& app = TheApp();
    if (app.m_bBatchMode) {
        place.computer = app.m_strRemoteSystem;
        place.oneView = app.ForcedView(&place.view);
    } else if (m_pFillComputer != nullptr) {
        // A refill after a change shows the computer the list showed.
        place.computer = *m_pFillComputer;
    } else {
        char computer[261] = "";
        ::GetDlgItemTextA(m_hWnd, IDC_REMOTE_SYSTEM, computer, 260);
        place.computer = computer;
    }
    return place;
}
