// The registry side of an import: what the connected ODBC section holds of
// a source about to be written, and the writing of its rows. Nothing here
// asks or tells: the caller words every outcome.
#pragma once
#include <windows.h>

#include <string>

#include "core/DsiSource.h"

// Whether the driver entries' key of the section can take the source's
// entry: ERROR_SUCCESS or ERROR_FILE_NOT_FOUND (made when the entry is
// written) when it can; *isLink when it is a registry link, which an entry
// written through would leave wherever it points.
LONG CheckDriverEntries(HKEY odbc, REGSAM view, bool* isLink);

// Whether a source of the name exists in the view: ERROR_SUCCESS when it
// does, ERROR_FILE_NOT_FOUND when not, else why it cannot be read. A link
// is not followed: its target is not this source's to replace.
LONG FindImportedSource(HKEY odbc, const std::string& name, REGSAM view);

// Whether the name is a source of the root's ODBC section in the view.
bool SourceInView(HKEY root, const std::string& name, REGSAM view);

// A row that could not be written. An empty key: its value failed.
struct RowWriteFailure {
    LONG code = ERROR_SUCCESS;
    std::string key;  // the source's name and the levels up to the one that failed
};

// Writes the checked rows of one source below `key` in the view, stopping
// at the first that fails: a source is written whole or not at all.
RowWriteFailure WriteDsiRows(HKEY key, REGSAM view, const zentrel::DsiSourceRows& source, const std::string& dsn);
