// The attribute listing's face: the table takes the listing's rows, and the
// user learns what it could not list.
#include <string>

#include "core/DsiSource.h"
#include "ops/Listing.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

void MainWindow::FillSubTree(HKEY parent, const char* subkey) { ListSource(*this, parent, subkey ? subkey : ""); }

void MainWindow::ListSubTree(HKEY parent, const char* subkey) { ListSourceRows(*this, parent, subkey ? subkey : ""); }

std::string MainWindow::ListingProblemText(const ListingProblem& problem) const {
    return ::ListingProblemText(problem, m_strListedDsn);
}

std::string MainWindow::MarkIncompleteListing() {
    // Each key the listing could not finish shows it in its own row.
    std::string shortText;
    for (const ListingProblem& problem : m_listingProblems) {
        const bool unread = problem.kind == ListingProblem::Kind::Unreadable;
        for (AttributeRow& row : m_aAttributeRows) {
            if (row.subkey && row.name == problem.prefix) row.valueText = unread ? "<NOT READ>" : "<NOT ALL LISTED>";
        }
        const std::string key = problem.prefix.empty() ? m_strListedDsn : problem.prefix;
        const std::string part =
            zentrel::FormatText(LoadText(unread ? IDS_SHORT_NOT_READ : IDS_SHORT_NOT_LISTED), zentrel::ShownName(key));
        if (shortText.find(part) == std::string::npos) shortText += (shortText.empty() ? "" : ", ") + part;
    }
    return shortText;
}
