// "Compare with File": the sources of a scope against a DSI file, each with
// its status; picking one lists the entries that differ.
#pragma once
#include <string>
#include <vector>

#include "core/SourceCompare.h"
#include "framework/Framework.h"

class CompareDialog : public CDialog {
public:
    CompareDialog(CWnd* parent, std::vector<zentrel::SourceComparison> comparisons, std::string summary);

    const std::vector<zentrel::SourceComparison>& Comparisons() const { return m_comparisons; }
    const std::string& Summary() const { return m_summary; }

    CListCtrl m_lstSources;
    CListCtrl m_lstEntries;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    void ShowEntries(int row);

    std::vector<zentrel::SourceComparison> m_comparisons;
    std::string m_summary;
};
