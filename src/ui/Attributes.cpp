// The attribute listing's face: the table takes the listing's rows, and the
// user learns what it could not list.
#include <string>

#include "core/DsiSource.h"
#include "core/RegistryLimits.h"
#include "registry/Attributes.h"
#include "registry/Views.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

void MainWindow::ListSubTree(HKEY parent, const char* subkey) {
    m_strListedDsn = subkey ? subkey : "";
    AttributeListing listing = ListAttributes(parent, m_strListedDsn, ViewFlag(m_placeConnected.platform));
    m_aAttributeRows = std::move(listing.rows);
    m_nAttributeRows = (int)m_aAttributeRows.size();
    m_bListingIncomplete = listing.incomplete ? TRUE : FALSE;
    m_listingProblems = std::move(listing.problems);
}

std::string MainWindow::ListingProblemText(const ListingProblem& problem) const {
    const std::string where =
        problem.prefix.empty()
            ? zentrel::FormatText(LoadText(IDS_WHERE_SOURCE), zentrel::ShownName(m_strListedDsn))
            : zentrel::FormatText(LoadText(IDS_WHERE_NESTED), zentrel::ShownName(problem.prefix),
                                  zentrel::ShownName(m_strListedDsn));
    switch (problem.kind) {
    case ListingProblem::Kind::Unreadable:
        return zentrel::FormatText(LoadText(IDS_LISTING_UNREADABLE), where, SystemErrorText(problem.code));
    case ListingProblem::Kind::Link:
        return zentrel::FormatText(LoadText(IDS_LISTING_LINK), where);
    case ListingProblem::Kind::NotCarried:
        return zentrel::FormatText(LoadText(IDS_LISTING_NOT_CARRIED), where, zentrel::ShownName(problem.name));
    case ListingProblem::Kind::ZeroName:
        return zentrel::FormatText(LoadText(IDS_LISTING_ZERO_NAME), where,
                                   zentrel::ShownName(zentrel::VisibleZeros(problem.name)));
    default:
        return zentrel::FormatText(LoadText(IDS_LISTING_TOO_DEEP), where, (int)zentrel::kMaxDsnDepth);
    }
}

void MainWindow::FillSubTree(HKEY parent, const char* subkey, const char*) {
    ListSubTree(parent, subkey);
    for (const ListingProblem& problem : m_listingProblems)
        Report("FillSubTree", MB_OK | MB_ICONSTOP, ListingProblemText(problem));
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
