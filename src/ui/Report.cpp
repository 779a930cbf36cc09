// The reporting funnel and the texts of the platform's errors.
#include "ui/Report.h"

#include <string>

#include "ui/MainWindow.h"
#include "ui/resource.h"

int MainWindow::Show(const std::string& caption, UINT flags, const std::string& text) {
    return m_prompts->Message(OwnerWindow(), text.c_str(), caption.c_str(), flags);
}

int MainWindow::Report(const std::string& caption, UINT flags, const std::string& text) {
    if ((flags & MB_ICONMASK) == MB_ICONSTOP) MarkFailed();
    return Show(caption, flags, text);
}

void MainWindow::ReportFileError(const char* path, DWORD code, const char* caption, const std::string& detail) {
    std::string text = zentrel::FormatText(LoadText(IDS_FILE_ERROR), path, SystemErrorText((LONG)code));
    if (!detail.empty()) text += "\n" + detail;
    Report(caption, MB_OK | MB_ICONSTOP, text);
}

std::string MainWindow::LoadText(UINT id) {
    char text[1024];
    const int length = ::LoadStringA(::GetModuleHandleA(NULL), id, text, sizeof(text));
    return std::string(text, length > 0 ? length : 0);
}

std::string MainWindow::SystemErrorText(LONG code) {
    static std::string s_text;
    const DWORD lookup = code <= 0 ? ::GetLastError() : (DWORD)code;
    char* message = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
        lookup, 0x400, (LPSTR)&message, 0, NULL);
    std::string platform = length && message ? std::string(message, length) : std::string();
    if (message) ::LocalFree(message);
    while (!platform.empty() && (platform.back() == '\r' || platform.back() == '\n')) platform.pop_back();
    s_text = zentrel::FormatText("%s [0x%08X]", platform, (unsigned)code);
    return s_text;
}
