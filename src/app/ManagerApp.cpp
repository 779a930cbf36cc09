#include "app/ManagerApp.h"

#include <string>

#include "ui/MainWindow.h"
#include "ui/resource.h"

const char* const g_szWebPage = "http://www.morvane.example/odbc";
const char* const g_szSupportMail = "support@morvane.example";
const char* const g_szDownloadRoot = "http://www.morvane.example";

ManagerApp::ManagerApp() : m_hConsoleOut(NULL), m_hConsoleErr(NULL), m_bConsoleProgram(FALSE), m_nExitCode(0) {}

ManagerApp::~ManagerApp() {}

void ManagerApp::ParseCommandLine(const char* tail) {
    zentrel::TokenizeCommandLine(tail, [this](const std::string& token) { ParseSwitch(token); });
}

BOOL ManagerApp::InitInstance() {
    ParseCommandLine(m_lpCmdLine);
    if (m_bConsoleProgram && !m_bBatchMode) {
        // Nothing to do, and no window to fall back on.
        WriteStreamText(::GetStdHandle(STD_ERROR_HANDLE), zentrel::UsageText());
        m_nExitCode = 2;
        return FALSE;
    }
    MainWindow* window = new MainWindow(nullptr);
    if (m_bBatchMode) {
        m_nExitCode = RunBatch(*window);
    } else {
        // Modeless, so that the window's own keys are seen before the
        // dialog manager takes Tab and the controls take the rest.
        m_pMainWnd = window;
        if (window->Create(nullptr)) {
            const HWND hwnd = window->GetSafeHwnd();
            MSG msg;
            while (::IsWindow(hwnd) && ::GetMessageA(&msg, NULL, 0, 0) > 0) {
                if (window->PreTranslateMessage(&msg) || ::IsDialogMessageA(hwnd, &msg)) continue;
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
        }
        m_pMainWnd = nullptr;
    }
    delete window;
    return FALSE;
}

void ManagerApp::WriteConsoleText(const char* text, BOOL bNewline) {
    WriteStreamText(m_hConsoleOut, text);
    if (bNewline) WriteStreamText(m_hConsoleOut, "\n");
}
