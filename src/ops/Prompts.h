// Everything that asks the user or hands a request to the shell goes through
// this one interface, so that tests can script the answers and see the texts.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <string>

class CDialog;

class Prompts {
public:
    virtual ~Prompts() {}
    // MessageBoxA: owner NULL in batch mode; type carries buttons, icon and default button.
    virtual int Message(HWND owner, const char* text, const char* caption, UINT type) = 0;
    // GetSaveFileNameA / GetOpenFileNameA on a prepared request.
    virtual BOOL FileName(BOOL save, OPENFILENAMEA* request) = 0;
    // Runs a dialog object modally (name dialog, settings, About box).
    virtual INT_PTR RunDialog(CDialog& dialog) = 0;
    // TrackPopupMenu with TPM_RETURNCMD: the chosen command, 0 when dismissed.
    virtual UINT TrackPopup(HMENU popup, UINT flags, int x, int y, HWND owner) = 0;
    // ShellExecuteA with the verb "open", shown normally; the result is not used.
    virtual void ShellOpen(HWND owner, const char* file, const char* params, const char* directory) = 0;
    // Puts text on the clipboard; the result is not used.
    virtual void CopyText(HWND owner, const std::string& text) = 0;
};

// The platform's own implementation.
class PlatformPrompts : public Prompts {
public:
    int Message(HWND owner, const char* text, const char* caption, UINT type) override;
    BOOL FileName(BOOL save, OPENFILENAMEA* request) override;
    INT_PTR RunDialog(CDialog& dialog) override;
    UINT TrackPopup(HMENU popup, UINT flags, int x, int y, HWND owner) override;
    void ShellOpen(HWND owner, const char* file, const char* params, const char* directory) override;
    void CopyText(HWND owner, const std::string& text) override;
};

// Batch mode with nobody at the screen: each message is one line on a stream
// (caption, then the text with its line breaks folded), each question takes
// its default button's answer, and dialogs are cancelled.
class QuietPrompts : public Prompts {
public:
    explicit QuietPrompts(HANDLE stream) : m_hStream(stream) {}
    // The lines kept in `text`, written later by its owner.
    explicit QuietPrompts(std::string* text) : m_hStream(NULL), m_text(text) {}
    int Message(HWND owner, const char* text, const char* caption, UINT type) override;
    BOOL FileName(BOOL save, OPENFILENAMEA* request) override;
    INT_PTR RunDialog(CDialog& dialog) override;
    UINT TrackPopup(HMENU popup, UINT flags, int x, int y, HWND owner) override;
    void ShellOpen(HWND owner, const char* file, const char* params, const char* directory) override;
    void CopyText(HWND owner, const std::string& text) override;

private:
    void WriteLine(const char* caption, const std::string& text);
    HANDLE m_hStream;
    std::string* m_text = nullptr;
};

// Writes text to a console, or to the file or pipe a caller redirected the
// stream to; nothing when there is no stream. Failures are ignored.
void WriteStreamText(HANDLE stream, const std::string& text);
