// "Compare with File": the sources of a scope against a DSI file, each with
// its status; picking one lists the entries that differ.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "core/SourceCompare.h"
#include "framework/Framework.h"
#include "framework/Handle.h"

class CompareDialog : public CDialog {
public:
    CompareDialog(CWnd* parent, std::vector<zentrel::SourceComparison> comparisons, std::string summary);

    const std::vector<zentrel::SourceComparison>& Comparisons() const { return m_comparisons; }
    const std::string& Summary() const { return m_summary; }

    // An entry that differs, both sides whole, in the value viewer.
    void ViewEntry(int source, int entry);
    // The comparison each row of the sources list shows, in the list's order.
    const std::vector<int>& Rows() const { return m_rows; }

    CListCtrl m_lstSources;
    CListCtrl m_lstEntries;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    // Enter opens the value comparison of the entry picked, or the first.
    void OnOK() override;

private:
    // The sources list: differences first (identical ones only when asked
    // for), or by the column clicked; the counts in the caption.
    void ShowSources();
    void ShowEntries(int row);
    void ViewSelectedEntry();
    void LayoutControls();

    // The template's client size and each control's place in it.
    SIZE m_sizeTemplate = {0, 0};
    SIZE m_sizeMinimum = {0, 0};
    std::vector<std::pair<int, RECT>> m_places;
    FontHandle m_font;
    int m_shownSource = -1;
    std::vector<int> m_rows;
    int m_sortColumn = -1;  // -1: differences first, each kind in the file's order
    bool m_sortDescending = false;

    std::vector<zentrel::SourceComparison> m_comparisons;
    std::string m_summary;
};
