#include <cstdio>

#include "ui/MainWindow.h"

namespace {
typedef HWND(WINAPI* HtmlHelpProc)(HWND, LPCSTR, UINT, DWORD_PTR);
const UINT kDisplayTopic = 0;  // HH_DISPLAY_TOPIC

// The help control's ANSI entry point, located once per run.
HtmlHelpProc HelpEntryPoint() {
    static bool s_looked = false;
    static HtmlHelpProc s_entry = nullptr;
    if (s_looked) return s_entry;
    s_looked = true;
    char library[MAX_PATH] = "";
    HKEY key = NULL;
    if (::RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", &key) ==
        ERROR_SUCCESS) {
        LONG size = sizeof(library);
        if (::RegQueryValueA(key, NULL, library, &size) != ERROR_SUCCESS) library[0] = '\0';
        ::RegCloseKey(key);
    }
    HMODULE module = library[0] ? ::LoadLibraryA(library) : NULL;
    if (module == NULL) module = ::LoadLibraryA("hhctrl.ocx");
    if (module != NULL) {
        s_entry = reinterpret_cast<HtmlHelpProc>(reinterpret_cast<void*>(::GetProcAddress(module, MAKEINTRESOURCEA(14))));
    }
    return s_entry;
}
}  // namespace

BOOL MainWindow::ShowHelp() {
    char topic[300];
    snprintf(topic, sizeof(topic), "%s::/index.html", m_szHelpFile);
    if (HtmlHelpProc entry = HelpEntryPoint()) entry(m_hWnd, topic, kDisplayTopic, 0);
    return TRUE;
}
