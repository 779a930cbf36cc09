// The attribute listing's face: the table takes the listing's rows, and the
// user learns what it could not list.
#include <string>

#include "core/DsiSource.h"
#include "core/RegistryLimits.h"
#include "registry/Attributes.h"
#include "registry/Views.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

void MainWindow::FillSubTree(HKEY parent, const char* subkey, const char*) {
    m_strListedDsn = subkey ? subkey : "";
    AttributeListing listing = ListAttributes(parent, m_strListedDsn, ViewFlag(m_placeConnected.platform));
    m_aAttributeRows = std::move(listing.rows);
    m_nAttributeRows = (int)m_aAttributeRows.size();
    m_bListingIncomplete = listing.incomplete ? TRUE : FALSE;
    for (const ListingProblem& problem : listing.problems) {
        if (problem.kind == ListingProblem::Kind::Unreadable) {
            Report("FillSubTree", MB_OK | MB_ICONSTOP, SystemErrorText(problem.code));
            continue;
        }
        const std::string where =
            problem.prefix.empty()
                ? zentrel::FormatText(LoadText(IDS_WHERE_SOURCE), zentrel::ShownName(m_strListedDsn))
                : zentrel::FormatText(LoadText(IDS_WHERE_NESTED), zentrel::ShownName(problem.prefix),
                                      zentrel::ShownName(m_strListedDsn));
        switch (problem.kind) {
        case ListingProblem::Kind::Link:
            Report("FillSubTree", MB_OK | MB_ICONSTOP, IDS_LISTING_LINK, where);
            break;
        case ListingProblem::Kind::NotCarried:
            Report("FillSubTree", MB_OK | MB_ICONSTOP, IDS_LISTING_NOT_CARRIED, where,
                   zentrel::ShownName(problem.name));
            break;
        case ListingProblem::Kind::ZeroName:
            Report("FillSubTree", MB_OK | MB_ICONSTOP, IDS_LISTING_ZERO_NAME, where,
                   zentrel::ShownName(zentrel::VisibleZeros(problem.name)));
            break;
        default:
            Report("FillSubTree", MB_OK | MB_ICONSTOP, IDS_LISTING_TOO_DEEP, where, (int)zentrel::kMaxDsnDepth);
            break;
        }
    }
}
