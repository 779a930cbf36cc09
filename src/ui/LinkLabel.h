// A static text that looks and acts like a hyperlink: hand cursor, blue
// underlined text, and a click that hands its target to the shell.
#pragma once
#include <windows.h>

#include <string>

#include "framework/Framework.h"
#include "framework/Handle.h"

class Prompts;

class LinkLabel : public CStatic {
public:
    LinkLabel();
    ~LinkLabel() override;

    // Makes the bound static control a link to target (web or "mailto:" address).
    void SetLink(const char* target);
    // Where clicks go; without one the platform's shell is used directly.
    void SetPrompts(Prompts* prompts) { m_pPrompts = prompts; }

    HBRUSH CtlColor(HDC hdc, UINT ctlColor) override;

    std::string m_strTarget;
    HCURSOR m_hCursor;
    LOGFONTA m_lfFont;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void OpenTarget();

    Prompts* m_pPrompts;
    // Made once from m_lfFont; the control keeps using it while it lives.
    FontHandle m_hFont;
};
