#include <string>

#include "app/ManagerApp.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

int ManagerApp::RunBatch(MainWindow& window) {
    ::AllocConsole();
    m_hConsoleOut = ::GetStdHandle(STD_OUTPUT_HANDLE);
    WriteConsoleText(MainWindow::LoadText(IDS_BANNER).c_str(), FALSE);

    if (m_strFileName.find('\\') == std::string::npos) {
        char directory[260];
        const DWORD length = ::GetCurrentDirectoryA(sizeof(directory), directory);
        // A directory too long for the buffer reports the size it needs instead.
        if (length > 0 && length < sizeof(directory)) {
            m_strFileName = std::string(directory) + "\\" + m_strFileName;
        }
    }

    window.ResetOutcome();
    const BOOL systemScope = m_bUserScope ? FALSE : TRUE;
    if (m_bImport) window.ImportDsiFile(FALSE, m_strFileName.c_str(), systemScope);
    if (m_bExport) window.ExportScopeToFile(m_strFileName.c_str(), systemScope);

    ::FreeConsole();
    return window.Succeeded() ? 0 : 1;
}
