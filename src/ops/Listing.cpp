#include "ops/Listing.h"

#include <iterator>

#include "core/DsiSource.h"
#include "core/RegistryLimits.h"
#include "core/ValueFormat.h"
#include "ops/RunContext.h"
#include "registry/Attributes.h"
#include "registry/OdbcSection.h"
#include "registry/ScopeLock.h"
#include "registry/UserHives.h"
#include "registry/Views.h"
#include "res/resource.h"

std::vector<zentrel::Platform> ViewsOf(const ScopePlace& place) {
    std::vector<zentrel::Platform> views;
    if (!place.systemScope) {
        views.push_back(zentrel::Platform::Shared);
    } else if (place.oneView) {
        views.push_back(place.view);
    } else {
        views.push_back(OwnPlatform());
        if (HasTwoViews())
            views.push_back(OwnPlatform() == zentrel::Platform::Bit64 ? zentrel::Platform::Bit32
                                                                      : zentrel::Platform::Bit64);
    }
    return views;
}

namespace {

// The connected view's sources appended to `into`, its driver entries kept.
// False, reported, when the section's sources cannot all be enumerated.
bool CatalogueView(RunContext& run, ScopeDrivers& drivers, bool readDrivers, std::vector<ListedSource>& into,
                   std::vector<std::string>* unreachable) {
    const zentrel::Platform platform = run.m_placeConnected.platform;
    RegKey driverEntries;
    bool isLink = false;
    const LONG entries = OpenDriverEntries(run.m_hOdbcIniKey, KEY_READ | ViewFlag(platform), driverEntries, &isLink);
    // Drivers that cannot be read would show as none.
    if (isLink) {
        run.Fail("RegOpenKey", IDS_KEY_LINK, kDriverEntriesKey);
    } else if (entries != ERROR_SUCCESS && entries != ERROR_FILE_NOT_FOUND) {
        run.Fail("RegOpenKey", IDS_KEY_ERROR, kDriverEntriesKey, RunContext::SystemErrorText(entries));
    }
    drivers.Keep(platform, std::move(driverEntries));
    std::vector<std::string> uncarried;
    LONG failed = ERROR_SUCCESS;
    std::vector<std::string> names = EnumerateDataSources(run.m_hOdbcIniKey, unreachable, &uncarried, &failed);
    // A list that may lack a source is no list.
    if (failed != ERROR_SUCCESS) {
        run.Fail("RegEnumKeyEx", IDS_KEY_ERROR, kOdbcIniPath, RunContext::SystemErrorText(failed));
        return false;
    }
    // Acting on a substitute would reach another key, or none.
    for (const std::string& name : uncarried) run.Fail("Error", IDS_NAME_NOT_CARRIED, zentrel::ShownName(name));
    for (std::string& name : names) {
        ListedSource source;
        source.platform = platform;
        if (readDrivers) {
            source.driver = drivers.Driver(source.platform, name);
            source.check = drivers.Check(source.platform, source.driver);
        }
        source.name = std::move(name);
        into.push_back(std::move(source));
    }
    return true;
}

}  // namespace

BOOL CatalogueScope(RunContext& run, const ScopePlace& place, std::vector<ListedSource>& sources,
                    std::vector<std::string>* unreachable, std::unique_ptr<ScopeDrivers>* later) {
    const std::vector<zentrel::Platform> views = ViewsOf(place);
    std::unique_ptr<ScopeDrivers> drivers(new ScopeDrivers(place.computer));
    // The other view first, so that the connection left is the first view's,
    // as after any fill; its rows come first all the same.
    std::vector<ListedSource> otherView;
    for (size_t v = views.size(); v-- > 0;) {
        // The first view is the one asked for: its section is offered for
        // creation as ever. Another view without one simply has no sources.
        const int connected = run.ConnectToRemoteSystem(place.computer, place.systemScope, views[v], v != 0);
        if (connected != 0) {
            if (v == 0 && connected != RunContext::kNoSection) return FALSE;
            continue;
        }
        if (!CatalogueView(run, *drivers, later == nullptr, v == 0 ? sources : otherView, unreachable)) return FALSE;
    }
    sources.insert(sources.end(), std::make_move_iterator(otherView.begin()),
                   std::make_move_iterator(otherView.end()));
    if (later != nullptr) *later = std::move(drivers);
    return TRUE;
}

void ReportUnreachable(RunContext& run, const std::vector<std::string>& names, const char* caption, UINT text) {
    for (const std::string& name : names) run.Fail(caption, text, zentrel::ShownName(zentrel::VisibleZeros(name)));
}

bool ListScope(RunContext& run, std::string& listing) {
    std::vector<ListedSource> sources;
    std::vector<std::string> unreachable;
    // A failed connection is reported there and fails the run.
    if (!CatalogueScope(run, run.where, sources, &unreachable)) return false;
    ReportUnreachable(run, unreachable, "List", IDS_ZERO_NAME_NOT_LISTED);
    // A tab or a line break inside a name would split the listing's columns
    // or lines, and other control characters reach the terminal: all are
    // shown escaped.
    const char* scope = run.where.systemScope ? "System" : "User";
    for (const ListedSource& source : sources) {
        listing += zentrel::EscapeControls(source.name) + "\t" + zentrel::EscapeControls(source.driver) + "\t" +
                   scope + "\t" + zentrel::PlatformColumn(source.platform, source.check) + "\r\n";
    }
    return true;
}

namespace {

void Keep(RunContext& run, const std::string& name, AttributeListing&& listing) {
    run.m_strListedDsn = name;
    run.m_aAttributeRows = std::move(listing.rows);
    run.m_nAttributeRows = (int)run.m_aAttributeRows.size();
    run.m_bListingIncomplete = listing.incomplete ? TRUE : FALSE;
    run.m_listingProblems = std::move(listing.problems);
}

void ReportListingProblems(RunContext& run, const std::string& name) {
    for (const ListingProblem& problem : run.m_listingProblems)
        run.Fail("FillSubTree", ListingProblemText(problem, name));
}

}  // namespace

void ListSourceRows(RunContext& run, HKEY parent, const std::string& name) {
    Keep(run, name, ListAttributesWhole(parent, name, ViewFlag(run.m_placeConnected.platform), ScopeLockWait()));
}

void TakeListing(RunContext& run, const std::string& name, AttributeListing&& listing) {
    Keep(run, name, std::move(listing));
    ReportListingProblems(run, name);
}

std::string ListingProblemText(const ListingProblem& problem, const std::string& source) {
    const std::string where =
        problem.prefix.empty()
            ? zentrel::FormatText(RunContext::LoadText(IDS_WHERE_SOURCE), zentrel::ShownName(source))
            : zentrel::FormatText(RunContext::LoadText(IDS_WHERE_NESTED), zentrel::ShownName(problem.prefix),
                                  zentrel::ShownName(source));
    const auto text = [](UINT id) { return RunContext::LoadText(id); };
    switch (problem.kind) {
    case ListingProblem::Kind::Unreadable:
        return zentrel::FormatText(text(IDS_LISTING_UNREADABLE), where, RunContext::SystemErrorText(problem.code));
    case ListingProblem::Kind::Link:
        return zentrel::FormatText(text(IDS_LISTING_LINK), where);
    case ListingProblem::Kind::NotCarried:
        return zentrel::FormatText(text(IDS_LISTING_NOT_CARRIED), where, zentrel::ShownName(problem.name));
    case ListingProblem::Kind::ZeroName:
        return zentrel::FormatText(text(IDS_LISTING_ZERO_NAME), where,
                                   zentrel::ShownName(zentrel::VisibleZeros(problem.name)));
    default:
        return zentrel::FormatText(text(IDS_LISTING_TOO_DEEP), where, (int)zentrel::kMaxDsnDepth);
    }
}

void ListSource(RunContext& run, HKEY parent, const std::string& name) {
    ListSourceRows(run, parent, name);
    ReportListingProblems(run, name);
}

bool ListLoadedAccounts(RunContext& run, std::string& listing) {
    std::string computer = run.where.computer;
    computer.erase(0, computer.find_first_not_of('\\') == std::string::npos ? computer.size()
                                                                            : computer.find_first_not_of('\\'));
    RegKey users;
    LONG code = users.Connect(computer, HKEY_USERS);
    if (code != ERROR_SUCCESS) {
        run.Fail("RegConnectRegistry", IDS_CONNECT_ERROR, computer, RunContext::SystemErrorText(code));
        return false;
    }
    std::vector<LoadedHive> hives;
    code = LoadedHives(users, computer, &hives);
    if (code != ERROR_SUCCESS) {
        run.Fail("RegEnumKey", IDS_KEY_ERROR, "HKEY_USERS", RunContext::SystemErrorText(code));
        return false;
    }
    for (const LoadedHive& hive : hives) listing += hive.sid + "\t" + zentrel::EscapeControls(hive.account) + "\r\n";
    return true;
}
