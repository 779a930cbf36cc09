#include "ops/Backup.h"

#include <shlobj.h>

#include <memory>

#include "core/BackupNames.h"
#include "core/DsiCodec.h"
#include "core/DsiSource.h"
#include "core/ImportPlan.h"
#include "core/ProfileFile.h"
#include "core/RegistryLimits.h"
#include "core/ValueFormat.h"
#include "dsi/DsiFileIo.h"
#include "dsi/ExportSource.h"
#include "registry/Attributes.h"
#include "registry/OdbcSection.h"
#include "registry/ParallelCalls.h"
#include "registry/Views.h"
#include "ops/Compare.h"
#include "ops/RunContext.h"
#include "res/resource.h"

namespace {

DWORD MakeFolder(const std::string& path) {
    if (::CreateDirectoryA(path.c_str(), NULL)) return 0;
    const DWORD code = ::GetLastError();
    return code == ERROR_ALREADY_EXISTS ? 0 : code;
}

void DeleteOldBackups(const std::string& folder, const std::string& latest) {
    std::vector<zentrel::BackupFile> files;
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((folder + "\\*.dsi").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        zentrel::BackupFile file;
        file.name = found.cFileName;
        file.written = ((unsigned long long)found.ftLastWriteTime.dwHighDateTime << 32) |
                       found.ftLastWriteTime.dwLowDateTime;
        files.push_back(file);
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    for (const std::string& name : zentrel::BackupsBeyond(files, zentrel::kBackupsKept, latest))
        ::DeleteFileA((folder + "\\" + name).c_str());
}

// What a listing could not read, as the user reads it.
std::string ProblemText(const ListingProblem& problem, const std::string& key) {
    switch (problem.kind) {
    case ListingProblem::Kind::Unreadable:
        return RunContext::SystemErrorText(problem.code);
    case ListingProblem::Kind::Link:
        return zentrel::FormatText(RunContext::LoadText(IDS_KEY_LINK), zentrel::ShownName(key));
    case ListingProblem::Kind::NotCarried:
    case ListingProblem::Kind::ZeroName:
        return zentrel::FormatText(RunContext::LoadText(IDS_BACKUP_NAME_NOT_CARRIED),
                                   zentrel::ShownName(zentrel::VisibleZeros(problem.name)));
    default:
        return zentrel::FormatText(RunContext::LoadText(IDS_BACKUP_TOO_DEEP), (int)zentrel::kMaxDsnDepth);
    }
}

// UTF-16 with one zero, at its end, taken exactly into the code page.
bool ExactText(const std::vector<unsigned char>& stored, std::string* text) {
    const size_t units = stored.size() / 2;
    if (stored.size() % 2 != 0 || units == 0) return false;
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(stored.data());
    for (size_t i = 0; i < units; ++i)
        if ((wide[i] == 0) != (i + 1 == units)) return false;
    return ExactAnsi(wide, units - 1, *text);
}

}  // namespace

bool SourceImage::operator==(const SourceImage& other) const {
    return driver == other.driver && digest == other.digest;
}

bool ReadSourceImage(HKEY odbc, REGSAM view, const std::string& name, SourceImage* image, std::string* key,
                     std::string* why, std::vector<AttributeRow>* rows, HKEY opened,
                     std::vector<zentrel::SourceEntry>* read) {
    AttributeListing listing = ListAttributes(odbc, name, view);
    // A link, the source itself or a key in it, holds nothing of its own:
    // what it points at is not this source's, and is never changed through
    // it. Anything else left out is.
    const ListingProblem* problem = nullptr;
    for (const ListingProblem& met : listing.problems)
        if (problem == nullptr && met.kind != ListingProblem::Kind::Link) problem = &met;
    if (listing.incomplete && (problem != nullptr || listing.problems.empty())) {
        const ListingProblem first = problem != nullptr ? *problem : ListingProblem();
        *key = first.prefix.empty() ? name : name + "\\" + first.prefix;
        *why = problem == nullptr ? RunContext::SystemErrorText(ERROR_READ_FAULT) : ProblemText(first, *key);
        return false;
    }
    std::vector<zentrel::SourceEntry> held = EntriesOf(listing.rows, listing.rows.size());
    image->stamp = listing.problems.empty() ? listing.stamp : KeyStamp();
    if (rows != nullptr) *rows = std::move(listing.rows);
    RegKey own;
    bool entriesLink = false;
    LONG code = opened != NULL ? ERROR_SUCCESS : OpenDriverEntries(odbc, KEY_READ | view, own, &entriesLink);
    const HKEY entries = opened != NULL ? opened : own.Get();
    image->driver.clear();
    if (code == ERROR_SUCCESS && entriesLink) {
        *key = kDriverEntriesKey;
        *why = zentrel::FormatText(RunContext::LoadText(IDS_KEY_LINK), kDriverEntriesKey);
        return false;
    }
    // As stored: an entry exactly as writing the text would leave it needs
    // no writing. Any other is read as text, as it always was.
    std::vector<unsigned char> stored;
    DWORD type = 0;
    if (code == ERROR_SUCCESS) code = RegKey::QueryStoredBytes(entries, name, stored, &type);
    image->driverExact = code == ERROR_SUCCESS && type == REG_SZ && ExactText(stored, &image->driver);
    if (code == ERROR_SUCCESS && !image->driverExact) code = RegKey::QueryText(entries, name.c_str(), image->driver);
    // No entry at all is a source without a driver, which a file carries.
    if (code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND) {
        *key = std::string(kDriverEntriesKey) + "\\" + name;
        *why = RunContext::SystemErrorText(code);
        return false;
    }
    if (HoldsLineBreak(name) || HoldsLineBreak(image->driver)) {
        *key = name;
        *why = RunContext::LoadText(IDS_BACKUP_LINE_BREAK);
        return false;
    }
    image->digest = zentrel::SourceDigest(image->driver, held);
    if (read != nullptr) *read = std::move(held);
    return true;
}

DWORD BackupFolder(std::string& folder) {
    char base[MAX_PATH + 1] = "";
    const DWORD length = ::GetEnvironmentVariableA("LOCALAPPDATA", base, sizeof(base));
    if (length == 0 || length >= sizeof(base)) {
        const HRESULT result = ::SHGetFolderPathA(NULL, CSIDL_LOCAL_APPDATA, NULL, SHGFP_TYPE_CURRENT, base);
        if (FAILED(result)) return ERROR_PATH_NOT_FOUND;
    }
    folder = std::string(base) + "\\Zentrel";
    DWORD code = MakeFolder(folder);
    if (code != 0) return code;
    folder += "\\Backups";
    return MakeFolder(folder);
}

namespace {

// A source as read for the backup, before it is added to the file.
struct BackupRead {
    bool whole = false;
    std::string key, why;
    std::vector<AttributeRow> rows;
    std::vector<zentrel::SourceEntry> entries;
};

// Adds source i, read whole, to the file; false, told, when the file cannot
// carry it whole.
bool AddToFile(RunContext& run, const BackedUpSource& source, const SourceImage& image, BackupRead& read,
               zentrel::ProfileFile& file, int index) {
    const std::string& name = source.name;
    const std::string section = zentrel::DsiIndexedName("DSN%d", index);
    const zentrel::Platform platform = source.place.platform;
    const std::vector<std::string> leftOut =
        WriteDsiSource(file, section, name, image.driver, source.place.systemScope ? &platform : nullptr, read.rows,
                       read.rows.size());
    read.rows = std::vector<AttributeRow>();
    if (leftOut.empty()) return true;
    file.RemoveSections([&](const std::string& s) { return s == section; });
    run.Fail("Backup", IDS_BACKUP_REFUSED, zentrel::ShownName(name), zentrel::ShownName(name),
             zentrel::FormatText(RunContext::LoadText(IDS_BACKUP_NAME_NOT_CARRIED),
                                 zentrel::ShownName(zentrel::VisibleZeros(leftOut[0]))));
    return false;
}

// A new file's name in the backup folder, which names the computer when it is
// one of many; 0 or the platform's error code.
DWORD NewBackupPath(bool systemScope, const std::string& computer, std::string& folder, std::string& name,
                    std::string& path) {
    DWORD code = BackupFolder(folder);
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    const zentrel::BackupTime time = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    // Several changes within one second each keep their own file.
    for (int attempt = 1; code == 0; ++attempt) {
        name = zentrel::BackupFileName(time, systemScope, attempt, computer);
        path = folder + "\\" + name;
        if (!zentrel::DsiFileExists(path.c_str())) break;
        if (attempt == 1000) code = ERROR_FILE_EXISTS;
    }
    if (code == 0 && zentrel::DsiPathTooLong(path.c_str())) code = ERROR_FILENAME_EXCED_RANGE;
    return code;
}

// Whether the file's k-th source, as an import would plan it, restores the
// source as it was read.
bool Restores(const zentrel::ProfileFile& back, const zentrel::DsiImportTarget& target, size_t k,
              const BackedUpSource& source, const SourceImage& image,
              const std::vector<zentrel::SourceEntry>& entries) {
    zentrel::DsiSourcePlan plan = zentrel::PlanDsiSource(back, (int)k, target);
    zentrel::PlanDsiSourceRows(back, target, plan);
    zentrel::SourceDefinition restored, held;
    restored.driver = plan.driver;
    restored.entries = FileEntries(plan.rows);
    held.driver = image.driver;
    held.entries = entries;
    // A link's target value planted in a key that is no link is never
    // written back by an import: like a link, it holds no data.
    size_t planted = 0;
    for (size_t e = held.entries.size(); e-- > 0;) {
        if (held.entries[e].type == REG_LINK &&
            zentrel::SameAsciiIgnoringCase(held.entries[e].valueName, "SymbolicLinkValue")) {
            held.entries.erase(held.entries.begin() + (long)e);
            ++planted;
        }
    }
    return plan.refusal == zentrel::DsiRefusal::None && plan.name == source.name &&
           (!target.systemScope || plan.platform == source.place.platform) && plan.rows.problems.size() == planted &&
           plan.rows.missing == 0 && restored.entries.size() == held.entries.size() &&
           zentrel::CompareSource(held, restored).empty();
}

// The backup file as it is written: each batch of sources read whole is
// added, read back as an import would read it and checked, before the next
// batch is read, so that no more than a batch is ever held.
struct BackupFile {
    std::string folder, name, path;
    std::unique_ptr<zentrel::DsiFileWriter> writer;
    zentrel::DsiImportTarget target;
    size_t count = 0;
    // Sources the file does not restore as read: told once it has its name.
    std::vector<size_t> mismatched;
    bool systemScope = false;
    std::string computer;

    // Named first, so that a failure can name it; placed under the next free
    // name should another file take it meanwhile.
    bool Open(RunContext& run) {
        const DWORD code = NewBackupPath(systemScope, computer, folder, name, path);
        if (code != 0) {
            run.Fail("Backup", IDS_BACKUP_FAILED, folder, RunContext::SystemErrorText(code));
            return false;
        }
        writer.reset(new zentrel::DsiFileWriter(folder));
        target.systemScope = systemScope;
        target.own = OwnPlatform();
        target.reserved = [](const std::string& n) { return IsReservedDsnName(n.c_str()); };
        return true;
    }

    // Adds the sources a batch put in `chunk`, numbered from `count` on, and
    // checks each against what was read of it, reads[i - from].
    bool Add(RunContext& run, zentrel::ProfileFile& chunk, const std::vector<size_t>& added,
             const std::vector<BackedUpSource>& sources, const std::vector<BackupRead>& reads, size_t from,
             BackupOutcome* outcome) {
        if (added.empty()) return true;
        if (!writer && !Open(run)) return false;
        std::string text;
        if (writer->Append(chunk.Serialize(), &text) != 0) {
            run.Fail("Backup", IDS_BACKUP_INCOMPLETE, path);
            return false;
        }
        chunk.Parse(std::string());
        target.maxRows = 1;
        for (char c : text)
            if (c == '\n' || c == '\r') ++target.maxRows;
        zentrel::ProfileFile back;
        back.Parse(std::move(text));
        for (size_t k = 0; k < added.size(); ++k) {
            const size_t i = added[k];
            if (Restores(back, target, count + k, sources[i], outcome->images[i], reads[i - from].entries)) {
                outcome->held[i] = true;
            } else {
                mismatched.push_back(i);
            }
        }
        count += added.size();
        return true;
    }

    // Counts the sources, names the file and checks what reached the disk.
    bool Finish(RunContext& run, const std::vector<BackedUpSource>& sources, BackupOutcome* outcome) {
        if (count == 0) return true;
        zentrel::ProfileFile general;
        general.Set("General", "Items", std::to_string(count));
        DWORD code = writer->Append(general.Serialize(), nullptr);
        for (int attempt = 0; code == 0; ++attempt) {
            code = writer->Place(path);
            if (code != ERROR_ALREADY_EXISTS || attempt == 100) break;
            code = NewBackupPath(systemScope, computer, folder, name, path);
        }
        if (code != 0) {
            run.Fail("Backup", IDS_BACKUP_INCOMPLETE, path);
            return false;
        }
        outcome->path = path;
        for (size_t i : mismatched)
            run.Fail("Backup", IDS_BACKUP_MISMATCH, path, zentrel::ShownName(sources[i].name));
        DeleteOldBackups(folder, name);
        return true;
    }
};

// Every source read whole into the file, or refused by name. False when a
// place cannot be connected or the file cannot be written.
bool ReadIntoFile(RunContext& run, const std::vector<BackedUpSource>& sources, BackupOutcome* outcome,
                  BackupFile& file, const BackupNeedless& needless) {
    ParallelCalls& calls = run.Calls();
    // The driver entries' key of the place read last, open from batch to
    // batch; none where it is missing or a link, which the reading reports.
    RegKey entries;
    const RegistryPlace* entriesOf = nullptr;
    for (size_t from = 0; from < sources.size();) {
        // The sources of one place are read several at once, told of in order.
        const RegistryPlace& place = sources[from].place;
        if (!run.ConnectTo(place)) return false;
        size_t to = from + 1;
        while (to < sources.size() && to - from < ParallelCalls::kReadTogether && sources[to].place == place)
            ++to;
        const REGSAM view = ViewFlag(place.platform);
        if (entriesOf == nullptr || !(*entriesOf == place)) {
            entriesOf = &place;
            bool isLink = false;
            if (OpenDriverEntries(run.m_hOdbcIniKey, KEY_READ | view, entries, &isLink) != ERROR_SUCCESS || isLink)
                entries.Close();
        }
        std::vector<BackupRead> reads(to - from);
        const HKEY odbc = run.m_hOdbcIniKey;
        calls.Run(reads.size(), [&](size_t k) {
            BackupRead& read = reads[k];
            read.whole = ReadSourceImage(odbc, view, sources[from + k].name, &outcome->images[from + k], &read.key,
                                         &read.why, &read.rows, entries, &read.entries);
        });
        zentrel::ProfileFile chunk;
        std::vector<size_t> added;
        for (size_t i = from; i < to; ++i) {
            BackupRead& read = reads[i - from];
            SourceImage& image = outcome->images[i];
            if (!read.whole) {
                run.Fail("Backup", IDS_BACKUP_REFUSED, zentrel::ShownName(sources[i].name),
                         zentrel::ShownName(read.key), read.why);
            } else if (needless && needless(i, image, read.entries)) {
                image.leftOut = true;
                outcome->held[i] = true;
            } else if (AddToFile(run, sources[i], image, read, chunk, (int)(file.count + added.size()))) {
                added.push_back(i);
            }
        }
        if (!file.Add(run, chunk, added, sources, reads, from, outcome)) return false;
        from = to;
    }
    return true;
}

}  // namespace

bool WriteBackup(RunContext& run, const std::vector<BackedUpSource>& sources, BackupOutcome* outcome,
                 const BackupNeedless& needless) {
    outcome->path.clear();
    outcome->held.assign(sources.size(), false);
    outcome->images.assign(sources.size(), SourceImage());
    if (sources.empty()) return true;
    BackupFile file;
    file.systemScope = sources[0].place.systemScope != FALSE;
    // Another computer's backup names it, so that a restore puts it back there.
    file.computer = run.facts.manyComputers ? run.where.computer : sources[0].place.computer;
    return ReadIntoFile(run, sources, outcome, file, needless) && file.Finish(run, sources, outcome);
}
