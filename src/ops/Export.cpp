#include "ops/Export.h"

#include <cstring>
#include <memory>
#include <vector>

#include "core/BackupNames.h"
#include "core/DsiCodec.h"
#include "core/DsiSource.h"
#include "core/ProfileFile.h"
#include "core/ValueFormat.h"
#include "dsi/DsiFileIo.h"
#include "dsi/ExportSource.h"
#include "ops/Import.h"
#include "ops/Listing.h"
#include "ops/RunContext.h"
#include "registry/InstalledDrivers.h"
#include "registry/OdbcSection.h"
#include "registry/ParallelCalls.h"
#include "registry/ScopeLock.h"
#include "registry/Views.h"
#include "res/resource.h"

namespace {

// Left-out values shown one by one before the rest are summed up.
const size_t kLeftOutShown = 10;

// The driver entries' key of the connected place, opened once per connection.
void OpenEntriesOnce(RunContext& run, RunContext::PendingExport& pending) {
    if (pending.driverEntriesPlace == run.m_placeConnected || !run.m_hOdbcIniKey.Valid()) return;
    pending.driverEntriesPlace = run.m_placeConnected;
    bool isLink = false;
    const LONG code = OpenDriverEntries(run.m_hOdbcIniKey, KEY_READ | ViewFlag(run.m_placeConnected.platform),
                                        pending.driverEntries, &isLink);
    pending.driverEntriesProblem.clear();
    if (isLink) {
        pending.driverEntriesProblem = zentrel::FormatText(RunContext::LoadText(IDS_KEY_LINK), kDriverEntriesKey);
    } else if (code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND) {
        pending.driverEntriesProblem = RunContext::SystemErrorText(code);
    }
}

// A cut path would name another file; a device's name no file at all.
bool TargetRefused(RunContext& run, const char* path) {
    const DWORD code = zentrel::DsiPathTooLong(path) ? ERROR_FILENAME_EXCED_RANGE
                       : zentrel::NamesDevice(path) ? ERROR_INVALID_NAME
                                                    : ERROR_SUCCESS;
    if (code != ERROR_SUCCESS) run.ReportFileError(path, code, "Export");
    return code != ERROR_SUCCESS;
}

}  // namespace

bool BeginExport(RunContext& run, int count) {
    run.m_pendingExport.reset();
    if (TargetRefused(run, run.m_szDsiFile)) return false;
    // Keys this export does not write keep their place and content.
    std::unique_ptr<RunContext::PendingExport> pending(new RunContext::PendingExport);
    zentrel::ProfileFile* file = &pending->file;
    if (zentrel::DsiFileExists(run.m_szDsiFile)) {
        // Written back in its own encoding, as the platform's writer does;
        // a file this program cannot read faithfully is left alone.
        long long lines = 0;
        if (!ReadDsiFile(run, run.m_szDsiFile, "Export", "The file is left as it is; nothing is exported.", *file,
                         &pending->encoding, &lines))
            return false;
        // Import reads "DSN#%d" before "DSN%d", and the count may shrink: a
        // source section left from earlier content could be read in place
        // of, or besides, what this export writes.
        file->RemoveSections(zentrel::IsDsiSourceSection);
    }
    file->Set("General", "Items", std::to_string(count));
    pending->withholdSecrets = run.m_bWithholdSecrets;
    run.m_pendingExport = std::move(pending);
    run.m_nDsnSection = 0;
    return true;
}

void ExportSource(RunContext& run, const std::string& dsn, const std::string* driverRead) {
    if (!run.m_pendingExport) return;
    RunContext::PendingExport& pending = *run.m_pendingExport;
    OpenEntriesOnce(run, pending);
    if (run.m_bListingIncomplete && run.m_strListedDsn == dsn) {
        run.Fail("Export", IDS_READ_INCOMPLETE, zentrel::ShownName(dsn));
        return;
    }
    // A driver the file would carry as none would be imported as none.
    if (!pending.driverEntriesProblem.empty()) {
        run.Fail("Export", IDS_DRIVER_UNREADABLE, zentrel::ShownName(dsn), pending.driverEntriesProblem);
        return;
    }
    const std::string driver =
        driverRead != nullptr ? *driverRead : ReadDriverEntry(pending.driverEntries.Get(), dsn.c_str());
    if (HoldsLineBreak(dsn) || HoldsLineBreak(driver)) {
        run.Fail("Export", IDS_NAME_LINE_BREAK, dsn);
        return;
    }

    const zentrel::Platform view = run.m_placeConnected.platform;
    const std::vector<std::string> leftOut =
        WriteDsiSource(pending.file, zentrel::DsiIndexedName("DSN%d", run.m_nDsnSection++), dsn, driver,
                       run.m_placeConnected.systemScope ? &view : nullptr, run.m_aAttributeRows,
                       (size_t)run.m_nAttributeRows, pending.withholdSecrets);
    for (size_t k = 0; k < leftOut.size() && k < kLeftOutShown; ++k) {
        run.Fail("Export", IDS_VALUE_NOT_CARRIED, zentrel::ShownName(dsn),
                 zentrel::ShownName(zentrel::VisibleZeros(leftOut[k])));
    }
    if (leftOut.size() > kLeftOutShown)
        run.Fail("Export", IDS_MORE_VALUES, zentrel::ShownName(dsn), std::to_string(leftOut.size() - kLeftOutShown));
}

void ExportListed(RunContext& run, const RegistryPlace& place, const std::string& name) {
    // Each source from its own view.
    if (!run.ConnectTo(place)) return;
    ListSource(run, run.m_hOdbcIniKey, name);
    ExportSource(run, name);
}

bool FinishExport(RunContext& run) {
    if (!run.m_pendingExport) return false;
    std::unique_ptr<RunContext::PendingExport> pending = std::move(run.m_pendingExport);
    zentrel::ProfileFile* file = &pending->file;
    // The count announced at the start, unless a source had to be left out.
    file->Set("General", "Items", std::to_string(run.m_nDsnSection));
    std::string bytes;
    DWORD code = zentrel::EncodeDsiText(file->Serialize(), &pending->encoding, bytes);
    if (code == 0) code = zentrel::ReplaceDsiFile(run.m_szDsiFile, bytes);
    if (code != 0) {
        run.ReportFileError(run.m_szDsiFile, code, "Export");
        return false;
    }
    return true;
}

namespace {

// Lists and adds every source, those of one view several at once, added in order.
void ExportFrom(RunContext& run, const std::vector<ListedSource>& sources) {
    RegistryPlace place = run.m_placeConnected;
    ParallelCalls& calls = run.Calls();
    struct Read {
        AttributeListing listing;
        std::string driver;
    };
    for (size_t from = 0; from < sources.size();) {
        place.platform = sources[from].platform;
        size_t to = from + 1;
        while (to < sources.size() && to - from < ParallelCalls::kReadTogether &&
               sources[to].platform == place.platform)
            ++to;
        if (!run.ConnectTo(place) || !run.m_pendingExport) {
            // Each source then tells why it is not exported, as it would alone.
            for (; from < to; ++from) ExportListed(run, place, sources[from].name);
            continue;
        }
        RunContext::PendingExport& pending = *run.m_pendingExport;
        OpenEntriesOnce(run, pending);
        const HKEY odbc = run.m_hOdbcIniKey;
        const HKEY entries = pending.driverEntriesProblem.empty() ? pending.driverEntries.Get() : NULL;
        const REGSAM view = ViewFlag(place.platform);
        std::vector<Read> reads(to - from);
        const KeyStamp calm = SectionStamp(odbc);
        calls.Run(reads.size(), [&](size_t k) {
            const std::string& name = sources[from + k].name;
            reads[k].listing = ListAttributes(odbc, name, view);
            reads[k].driver = ReadDriverEntry(entries, name.c_str());
        });
        // A change met meanwhile: each source is read again, whole.
        if (!SectionUnchanged(odbc, calm))
            calls.Run(reads.size(), [&](size_t k) {
                const std::string& name = sources[from + k].name;
                reads[k].listing = ListAttributesWhole(odbc, name, view, ScopeLockWait(), [&] {
                    reads[k].driver = ReadDriverEntry(entries, name.c_str());
                });
            });
        for (size_t k = 0; k < reads.size(); ++k) {
            const std::string& name = sources[from + k].name;
            TakeListing(run, name, std::move(reads[k].listing));
            ExportSource(run, name, &reads[k].driver);
        }
        from = to;
    }
}

}  // namespace

bool ExportScope(RunContext& run, const char* file) {
    const char* path = file ? file : "";
    if (TargetRefused(run, path)) return false;
    std::vector<ListedSource> sources;
    std::vector<std::string> unreachable;
    // Names only: ExportSource reads each driver, once, and nothing checks it.
    std::unique_ptr<ScopeDrivers> unread;
    if (!CatalogueScope(run, run.where, sources, &unreachable, &unread)) return false;
    strcpy(run.m_szDsiFile, path);
    ReportUnreachable(run, unreachable, "Export", IDS_ZERO_NAME_SOURCE);
    if (!BeginExport(run, (int)sources.size())) return false;
    ExportFrom(run, sources);
    return FinishExport(run);
}
