#include <windows.h>

#include <string>

#include "ui/MainWindow.h"
#include "ui/resource.h"

ScopePlace MainWindow::PlaceOf(BOOL systemScope) const {
    if (facts.Batch()) return BatchPlace(systemScope);
    ScopePlace place;
    place.systemScope = systemScope;
    if (m_pFillComputer != nullptr) {
        // A refill after a change shows the computer the list showed.
        place.computer = *m_pFillComputer;
    } else {
        char computer[261] = "";
        ::GetDlgItemTextA(m_hWnd, IDC_REMOTE_SYSTEM, computer, 260);
        place.computer = computer;
    }
    return place;
}
