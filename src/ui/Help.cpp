#include <cstdio>
#include <string>

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
    std::string library;
    RegKey server;
    if (server.Open(HKEY_CLASSES_ROOT, "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32",
                    ViewFlag(OwnPlatform())) != ERROR_SUCCESS ||
        server.QueryText(NULL, library) != ERROR_SUCCESS)
        library.clear();
    // The server's path is often stored with %SystemRoot% in it.
    char expanded[MAX_PATH] = "";
    const DWORD length =
        library.empty() ? 0 : ::ExpandEnvironmentStringsA(library.c_str(), expanded, sizeof(expanded));
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
