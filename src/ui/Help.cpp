#include <cstdio>

#include "registry/RegKey.h"
#include "ui/MainWindow.h"
#include "registry/Views.h"

namespace {
typedef HWND(WINAPI* HtmlHelpProc)(HWND, LPCSTR, UINT, DWORD_PTR);
const UINT kDisplayTopic = 0;  // HH_DISPLAY_TOPIC

// The help control's ANSI entry point, located once per run.
HtmlHelpProc HelpEntryPoint() {
    static bool s_looked = false;
    static HtmlHelpProc s_entry = nullptr;
    if (s_looked) return s_entry;
    s_looked = true;
    // Zero-filled, and one byte is never offered, so the text stays terminated
    // even when the stored value has no terminator of its own.
    char library[MAX_PATH] = "";
    RegKey server;
    if (server.Open(HKEY_CLASSES_ROOT, "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32",
                    ViewFlag(OwnPlatform())) ==
        ERROR_SUCCESS) {
        LONG size = sizeof(library) - 1;
        if (::RegQueryValueA(server, NULL, library, &size) != ERROR_SUCCESS) library[0] = '\0';
    }
    // The server's path is often stored with %SystemRoot% in it.
    char expanded[MAX_PATH] = "";
    const DWORD length = library[0] ? ::ExpandEnvironmentStringsA(library, expanded, sizeof(expanded)) : 0;
    HMODULE module = NULL;
    if (length > 0 && length <= sizeof(expanded)) module = ::LoadLibraryA(expanded);
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
