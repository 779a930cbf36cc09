// A value seen whole: a resizable dialog that lists the text a row at a
// time, each row made only when it is shown, so that a value of megabytes
// opens at once and scrolls anywhere. A line longer than a row holds goes
// on in the rows below; nothing is cut. Rows are selectable, and copied as
// the text they hold, line breaks included.
#pragma once
#include <string>
#include <vector>

#include "framework/Framework.h"
#include "framework/Handle.h"

class ValueViewer : public CDialog {
public:
    // fixedPitch for a hex dump, whose columns must line up.
    ValueViewer(CWnd* parent, std::string title, std::string text, bool fixedPitch);

    const std::string& Title() const { return m_title; }
    const std::string& Text() const { return m_text; }
    bool FixedPitch() const { return m_fixedPitch; }
    // The rows the text makes, and one row's text as shown.
    int RowCount() const { return (int)m_rows.size(); }
    std::string RowText(int row) const;
    // The highlighted rows' text, their line breaks as in the value.
    std::string SelectedText() const;

protected:
    BOOL OnInitDialog() override;
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void OnDpiChanged(UINT oldDpi) override;

private:
    struct Row {
        size_t begin, end;  // the text shown
        size_t next;        // where the next row starts: after the line break, if any
    };
    void SplitRows();
    void ApplyFont();
    int WidestRow(HWND list) const;
    void FitToScreen();
    void LayoutControls();
    void CopySelection();

    std::string m_title;
    std::string m_text;
    bool m_fixedPitch;
    std::vector<Row> m_rows;
    FontHandle m_font;
    SIZE m_minimum;
};
