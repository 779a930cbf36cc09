// Listing: the data sources of a scope, and the attribute rows of one source.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "registry/Attributes.h"
#include "registry/Catalogue.h"
#include "registry/InstalledDrivers.h"
#include "registry/Place.h"

class RunContext;

// The views a place's scope has, the one asked for first.
std::vector<zentrel::Platform> ViewsOf(const ScopePlace& place);

// The data sources of the place's scope, view by view: the System scope
// in both views of a 64-bit Windows, or in the place's one view. Each
// with its driver and whether that driver is installed for its platform.
// FALSE when the first view cannot be connected (reported); a second view
// without an ODBC section holds no sources.
// With `later`, drivers are not read: their keys are kept there for the
// rows that are shown.
BOOL CatalogueScope(RunContext& run, const ScopePlace& place, std::vector<ListedSource>& sources,
                    std::vector<std::string>* unreachable = nullptr,
                    std::unique_ptr<ScopeDrivers>* later = nullptr);
// Reports each source that the catalogue found but cannot reach by name.
void ReportUnreachable(RunContext& run, const std::vector<std::string>& names, const char* caption, UINT text);
// The batch listing of run.where's scope: one tab-separated line a source;
// false, reported, when the scope cannot be listed.
bool ListScope(RunContext& run, std::string& listing);
// The accounts whose User DSNs run.where's computer has loaded: "<SID>\t<name>"
// a line; false, reported, when its HKEY_USERS cannot be read.
bool ListLoadedAccounts(RunContext& run, std::string& listing);

// Attribute listing: the run's table holds the source `name` below
// `parent`, in the connected view, and what could not be listed is reported.
void ListSource(RunContext& run, HKEY parent, const std::string& name);
// The same without a word: the problems are kept in run.m_listingProblems.
void ListSourceRows(RunContext& run, HKEY parent, const std::string& name);
// The same from a listing read already, the problems reported.
void TakeListing(RunContext& run, const std::string& name, AttributeListing&& listing);
// What a listing problem of the source means, as the user reads it.
std::string ListingProblemText(const ListingProblem& problem, const std::string& source);
