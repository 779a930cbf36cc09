#include "app/ManagerApp.h"

#include <string>

#include "ops/RunContext.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"


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
    if (m_bBatchMode) {
        RunContext run;
        m_nExitCode = RunBatch(run);
    } else {
        m_nExitCode = RunWindow();
    }
    return FALSE;
}

int ManagerApp::RunWindow() {
    MainWindow window(nullptr);
    window.facts.commandLine = *this;
    window.m_bEndsLoop = true;
    // Modeless, so that the window's own keys are seen before the dialog
    // manager takes Tab and the controls take the rest.
    m_pMainWnd = &window;
    if (window.Create(nullptr)) {
        const HWND hwnd = window.GetSafeHwnd();
        MSG msg;
        while (::IsWindow(hwnd) && ::GetMessageA(&msg, NULL, 0, 0) > 0) {
            if (window.PreTranslateMessage(&msg) || ::IsDialogMessageA(hwnd, &msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    m_pMainWnd = nullptr;
    return CDialog::TakeFailedExit() ? 1 : 0;
}
void ManagerApp::WriteConsoleText(const char* text, BOOL bNewline) {
    WriteStreamText(m_hConsoleOut, text);
    if (bNewline) WriteStreamText(m_hConsoleOut, "\n");
}
