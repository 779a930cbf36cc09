// Prompts for a benchmark run without a display: no message may wait for an
// answer, so each goes to standard error, is counted and declined.
#pragma once
#include <cstdio>

#include "ops/Prompts.h"

class BenchPrompts : public Prompts {
public:
    explicit BenchPrompts(const char* program) : m_program(program) {}
    int Message(HWND, const char* text, const char* caption, UINT type) override {
        fprintf(stderr, "%s: message %s: %s\n", m_program, caption, text);
        ++messages;
        return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    }
    BOOL FileName(BOOL, OPENFILENAMEA*) override { return FALSE; }
    INT_PTR RunDialog(CDialog&) override { return IDCANCEL; }
    UINT TrackPopup(HMENU, UINT, int, int, HWND) override { return 0; }
    void ShellOpen(HWND, const char*, const char*, const char*) override {}
    void CopyText(HWND, const std::string&) override {}
    int messages = 0;

private:
    const char* m_program;
};
