// A value seen whole: a resizable dialog with the text read-only, scrolled,
// wrapped and selectable for copying, sized to fit the screen it opens on.
#pragma once
#include <string>

#include "framework/Framework.h"
#include "framework/Handle.h"

class ValueViewer : public CDialog {
public:
    // fixedPitch for a hex dump, whose columns must line up.
    ValueViewer(CWnd* parent, std::string title, std::string text, bool fixedPitch);

    const std::string& Title() const { return m_title; }
    const std::string& Text() const { return m_text; }
    bool FixedPitch() const { return m_fixedPitch; }

protected:
    BOOL OnInitDialog() override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    void FitToScreen();
    void LayoutControls();

    std::string m_title;
    std::string m_text;
    bool m_fixedPitch;
    FontHandle m_font;
    SIZE m_minimum;
};
