#include <string>

#include "app/ManagerApp.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

namespace {
// Until the DSI exchange exists, a batch run cannot do what it was asked.
void MarkBatchUnavailable(MainWindow& window) { window.Message("Batch mode is not available yet.", "Error", MB_OK | MB_ICONSTOP); }
}  // namespace

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
    // The import and export operations are wired in with the DSI exchange.
    (void)systemScope;
    MarkBatchUnavailable(window);

    ::FreeConsole();
    return 1;
}
