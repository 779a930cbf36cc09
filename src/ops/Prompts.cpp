#include "ops/Prompts.h"

#include <shellapi.h>

#include <cstring>
#include <iterator>
#include <vector>

#include "framework/Framework.h"
#include "core/ValueFormat.h"
#include "registry/RegKey.h"

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

void PlatformPrompts::CopyText(HWND owner, const std::string& text) {
    if (!::OpenClipboard(owner)) return;
    ::EmptyClipboard();
    if (HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
        if (void* bytes = ::GlobalLock(memory)) {
            memcpy(bytes, text.c_str(), text.size() + 1);
            ::GlobalUnlock(memory);
            // Owned by the clipboard once placed there.
            if (::SetClipboardData(CF_TEXT, memory) == NULL) ::GlobalFree(memory);
        } else {
            ::GlobalFree(memory);
        }
    }
    ::CloseClipboard();
}

namespace {

struct Button {
    int id;
    const char* name;
};

// The buttons of each MB_TYPEMASK value, left to right.
const Button kButtonSets[][3] = {
    {{IDOK, "OK"}},
    {{IDOK, "OK"}, {IDCANCEL, "Cancel"}},
    {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}},
    {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}},
    {{IDYES, "Yes"}, {IDNO, "No"}},
    {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}},
    {{IDCANCEL, "Cancel"}, {IDTRYAGAIN, "Try Again"}, {IDCONTINUE, "Continue"}},
};

// Every run of line breaks becomes one blank, so that a message is one line.
std::string FoldLines(const char* text) {
    std::string line;
    for (const char* p = text ? text : ""; *p != '\0'; ++p) {
        if (*p != '\r' && *p != '\n') {
            line += *p;
        } else if (!line.empty() && line.back() != ' ') {
            line += ' ';
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

}  // namespace

void WriteStreamText(HANDLE stream, const std::string& text) {
    if (stream == NULL || stream == INVALID_HANDLE_VALUE || text.empty() || text.size() > 0x7FFFFFFF) return;
    DWORD mode = 0, written = 0;
    const bool console = ::GetConsoleMode(stream, &mode) != FALSE;
    // A console shows characters, not bytes of a code page; a file or a pipe
    // gets UTF-8 whatever code page the program runs in.
    if (!console && ::GetACP() == CP_UTF8) {
        ::WriteFile(stream, text.data(), (DWORD)text.size(), &written, NULL);
        return;
    }
    const std::wstring wide = WideText(text);
    const int units = (int)wide.size();
    if (units == 0) return;
    if (console) {
        ::WriteConsoleW(stream, wide.data(), (DWORD)units, &written, NULL);
        return;
    }
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, NULL, 0, NULL, NULL);
    if (length <= 0) return;
    std::string bytes((size_t)length, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, &bytes[0], length, NULL, NULL);
    ::WriteFile(stream, bytes.data(), (DWORD)length, &written, NULL);
}

void QuietPrompts::WriteLine(const char* caption, const std::string& text) {
    // Names and texts from the registry or a file may hold what a terminal obeys.
    const std::string line = zentrel::EscapeControls(FoldLines(caption) + ": " + text) + "\r\n";
    if (m_text != nullptr) {
        *m_text += line;
    } else {
        WriteStreamText(m_hStream, line);
    }
}

int QuietPrompts::Message(HWND, const char* text, const char* caption, UINT type) {
    const UINT set = type & MB_TYPEMASK;
    const Button* buttons = kButtonSets[set < std::size(kButtonSets) ? set : 0];
    // A default beyond the last button falls back to the first, as with a real box.
    UINT chosen = (type & MB_DEFMASK) >> 8;
    if (chosen > 2 || buttons[chosen].name == nullptr) chosen = 0;
    std::string line = FoldLines(text);
    if (buttons[1].name != nullptr) line += std::string(" (answered ") + buttons[chosen].name + ")";
    WriteLine(caption, line);
    return buttons[chosen].id;
}

BOOL QuietPrompts::FileName(BOOL, OPENFILENAMEA* request) {
    WriteLine(request->lpstrTitle ? request->lpstrTitle : "", "no file can be chosen in batch mode");
    return FALSE;
}

INT_PTR QuietPrompts::RunDialog(CDialog&) {
    WriteLine("Dialog", "cancelled: no dialog is shown in batch mode");
    return IDCANCEL;
}

UINT QuietPrompts::TrackPopup(HMENU, UINT, int, int, HWND) { return 0; }

void QuietPrompts::ShellOpen(HWND, const char*, const char*, const char*) {}

void QuietPrompts::CopyText(HWND, const std::string&) {}
