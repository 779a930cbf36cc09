#include "ui/Prompts.h"

#include <shellapi.h>

#include "framework/Framework.h"

int PlatformPrompts::Message(HWND owner, const char* text, const char* caption, UINT type) {
    return ::MessageBoxA(owner, text, caption, type);
}

BOOL PlatformPrompts::FileName(BOOL save, OPENFILENAMEA* request) {
    return save ? ::GetSaveFileNameA(request) : ::GetOpenFileNameA(request);
}

INT_PTR PlatformPrompts::RunDialog(CDialog& dialog) { return dialog.DoModal(); }

UINT PlatformPrompts::TrackPopup(HMENU popup, UINT flags, int x, int y, HWND owner) {
    return (UINT)::TrackPopupMenu(popup, flags | TPM_RETURNCMD, x, y, 0, owner, NULL);
}

void PlatformPrompts::ShellOpen(HWND owner, const char* file, const char* params, const char* directory) {
    ::ShellExecuteA(owner, "open", file, params, directory, SW_SHOWNORMAL);
}
