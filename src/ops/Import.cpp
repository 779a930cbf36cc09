#include "ops/Import.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/DsiCodec.h"
#include "core/Secrets.h"
#include "core/Utf.h"
#include "core/ValueFormat.h"
#include "dsi/ImportWriter.h"
#include "ops/Backup.h"
#include "ops/ChangeReports.h"
#include "ops/Compare.h"
#include "ops/RunContext.h"
#include "registry/OdbcSection.h"
#include "registry/ParallelCalls.h"
#include "registry/SafeReplace.h"
#include "registry/Views.h"
#include "registry/WriteFault.h"
#include "res/resource.h"

namespace {

// A source that passed every check and question, waiting to be written.
struct Accepted {
    // One of the run's few places, held by the run: a large file has many
    // such sources, so each holds only what writing needs of its plan.
    const RegistryPlace& place;
    std::string section, name, driver;
    bool replaces;
};

// The accepted source's rows, read from the file again: every source's rows
// kept from the first pass would cost several times the file.
zentrel::DsiSourceRows RowsOf(const PlannedFile& file, const Accepted& source) {
    return zentrel::ReadDsiSourceRows(file.dsi, source.section, file.target.maxRows);
}

// Where the planned source goes in the target scope: a source whose view
// the file names wrongly has none of its own.
RegistryPlace PlaceOf(const RegistryPlace& target, const zentrel::DsiSourcePlan& plan) {
    RegistryPlace place = target;
    if (plan.refusal != zentrel::DsiRefusal::Platform) place.platform = plan.platform;
    return place;
}

// The driver entries' key of the place connected last, kept open from
// source to source, and what was found of it: each opening asks the
// registry several times whether it is a link, and a scope without the key
// would ask again for every source.
class OpenEntries {
public:
    // The key, opened for writing and found no link; NULL when it cannot be
    // (missing, a link, refused), for the caller's own checks to say why.
    HKEY For(const RunContext& run, REGSAM view) {
        Look(run, view);
        return m_key.Get();
    }
    // As For, making the key when the place has none: the first source
    // written there would make it anyway.
    HKEY Made(const RunContext& run, REGSAM view) {
        Look(run, view);
        if (m_code == ERROR_FILE_NOT_FOUND) {
            bool created = false;
            RegKey made;
            // Only a key this call made is known to be no link.
            if (made.Create(run.m_hOdbcIniKey, kDriverEntriesKey, view, &created) == ERROR_SUCCESS && created) {
                m_key = std::move(made);
                m_code = ERROR_SUCCESS;
            } else {
                m_looked = false;  // looked at afresh next time
            }
        }
        return m_key.Get();
    }
    // What CheckDriverEntries tells of the key, asked once a place.
    LONG Status(const RunContext& run, REGSAM view, bool* isLink) {
        Look(run, view);
        *isLink = m_isLink;
        return m_code;
    }

private:
    void Look(const RunContext& run, REGSAM view) {
        if (m_looked && m_place == run.m_placeConnected) return;
        m_looked = true;
        m_place = run.m_placeConnected;
        m_key.Close();
        m_isLink = false;
        RegKey opened;
        m_code = OpenDriverEntries(run.m_hOdbcIniKey, KEY_READ | KEY_WRITE | view, opened, &m_isLink);
        if (m_code == ERROR_SUCCESS && !m_isLink) {
            m_key = std::move(opened);
        } else if (m_code != ERROR_SUCCESS && m_code != ERROR_FILE_NOT_FOUND) {
            // Refused for writing: how it reads decides, as before.
            m_code = CheckDriverEntries(run.m_hOdbcIniKey, view, &m_isLink);
        }
    }

    bool m_looked = false;
    RegistryPlace m_place;
    RegKey m_key;
    LONG m_code = ERROR_SUCCESS;
    bool m_isLink = false;
};

// The names below the connected section, read once where they are few
// beside the file's sources, so that a source surely absent costs the
// registry no question. Only while every name there is plain ASCII: the
// registry folds other letters by rules of its own (a name beyond ASCII may
// equal an ASCII one), and a name wrongly taken for absent would be replaced
// with no question and no backup.
//
// A run that asks nothing looks up the rest of the file's names in the
// connected place several at once, before the first is planned: planning
// follows at once, so what they found is as fresh as a look-up at each
// source (and at the write, what stands there decides).
class KnownNames {
public:
    void Expect(int sources) { m_sources = sources; }

    bool SurelyAbsent(const RunContext& run, const std::string& name) {
        if (!m_looked || m_place != run.m_placeConnected) Read(run);
        return m_usable && zentrel::IsPlainAscii(name) && m_names.count(Folded(name)) == 0;
    }

    void LookAhead(RunContext& run, const PlannedFile& file, const RegistryPlace& target) {
        std::vector<std::string> names;
        for (int index : file.count.indices) {
            zentrel::DsiSourcePlan plan = zentrel::PlanDsiSource(file.dsi, index, file.target);
            if (plan.refusal == zentrel::DsiRefusal::None && !plan.name.empty() &&
                PlaceOf(target, plan) == run.m_placeConnected && !SurelyAbsent(run, plan.name))
                names.push_back(std::move(plan.name));
        }
        std::vector<LONG> found(names.size());
        const HKEY odbc = run.m_hOdbcIniKey;
        const REGSAM view = ViewFlag(run.m_placeConnected.platform);
        run.Calls().Run(names.size(), [&](size_t i) { found[i] = FindImportedSource(odbc, names[i], view); });
        m_aheadOf = run.m_placeConnected;
        for (size_t i = 0; i < names.size(); ++i) m_ahead.emplace(std::move(names[i]), found[i]);
    }

    // Whether a source of the name is in the connected section: see
    // FindImportedSource. What was looked up ahead serves once, and then
    // holds no memory.
    LONG Find(const RunContext& run, const std::string& name, REGSAM view) {
        if (SurelyAbsent(run, name)) return ERROR_FILE_NOT_FOUND;
        const auto ahead = m_aheadOf == run.m_placeConnected ? m_ahead.find(name) : m_ahead.end();
        if (ahead == m_ahead.end()) return FindImportedSource(run.m_hOdbcIniKey, name, view);
        const LONG found = ahead->second;
        m_ahead.erase(ahead);
        return found;
    }

private:
    static std::string Folded(std::string name) {
        for (char& c : name)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return name;
    }

    void Read(const RunContext& run) {
        m_looked = true;
        m_place = run.m_placeConnected;
        m_names.clear();
        KeyStamp section;
        // Reading more names than the file has sources would cost more than it saves.
        m_usable = run.m_hOdbcIniKey.QueryStamp(&section) == ERROR_SUCCESS &&
                   section.subkeys <= static_cast<DWORD>(m_sources / 4);
        std::vector<wchar_t> buffer;
        std::string name;
        for (DWORD index = 0; m_usable; ++index) {
            const LONG code = run.m_hOdbcIniKey.EnumSubkey(index, buffer, name);
            if (code == ERROR_NO_MORE_ITEMS) break;
            m_usable = code == ERROR_SUCCESS && zentrel::IsPlainAscii(name) && name.find('\0') == std::string::npos;
            if (m_usable) m_names.insert(Folded(name));
        }
        if (!m_usable) m_names.clear();
    }

    int m_sources = 0;
    bool m_looked = false, m_usable = false;
    RegistryPlace m_place, m_aheadOf;
    std::set<std::string> m_names;
    std::unordered_map<std::string, LONG> m_ahead;
};

// One import on its way: what is decided so far.
struct ImportRun {
    RunContext& run;
    PlannedFile file;
    RegistryPlace target;  // the scope and computer; each source goes into its view
    bool askName = false;
    // In blocks: a vector that doubles would hold a large file's sources three times over.
    std::deque<Accepted> accepted;
    std::deque<RegistryPlace> places;  // where accepted sources go
    const RegistryPlace& Place(const RegistryPlace& place) {
        for (const RegistryPlace& known : places)
            if (known == place) return known;
        places.push_back(place);
        return places.back();
    }
    OpenEntries entries;
    KnownNames known;
    std::string previewLines;
    ImportSummary summary;
    explicit ImportRun(RunContext& context) : run(context) {}
    void Skip(SourceOutcome outcome = SourceOutcome::Skipped) {
        run.Outcomes().Record(outcome);
        summary.stopSection.clear();
    }
};

// Whether the connected section can take the source: its driver entries'
// key can, and a source of its name is absent or readable (*exists says
// which). False, reported, when not.
bool SectionTakes(RunContext& run, const std::string& name, REGSAM view, OpenEntries& open, KnownNames& known,
                  bool* exists) {
    bool isLink = false;
    const LONG entries = open.Status(run, view, &isLink);
    if (entries == ERROR_SUCCESS && isLink) {
        run.Fail("RegOpenKey Error", IDS_KEY_LINK, kDriverEntriesKey);
        return false;
    }
    if (entries != ERROR_SUCCESS && entries != ERROR_FILE_NOT_FOUND) {
        run.Fail("RegCreateKey Error", IDS_KEY_ERROR, kDriverEntriesKey, RunContext::SystemErrorText(entries));
        HintElevation(run, entries, name);
        return false;
    }
    const LONG found = known.Find(run, name, view);
    if (found != ERROR_SUCCESS && found != ERROR_FILE_NOT_FOUND) {
        // It exists but cannot be read: writing into it would mix old and new.
        run.Fail("RegOpenKey Error", IDS_SOURCE_NOT_REPLACED, zentrel::ShownName(name),
                 RunContext::SystemErrorText(found));
        return false;
    }
    *exists = found == ERROR_SUCCESS;
    return true;
}

// Whether the user lets the import replace the source. The view is named
// where the name alone could mean either source.
bool ReplaceConfirmed(RunContext& run, const std::string& name, zentrel::Platform platform, bool twoViews) {
    const zentrel::Platform otherView =
        platform == zentrel::Platform::Bit64 ? zentrel::Platform::Bit32 : zentrel::Platform::Bit64;
    const bool ambiguous = twoViews && SourceInView(run.m_hRootKey, name, ViewFlag(otherView));
    const std::string question =
        ambiguous ? zentrel::FormatText(RunContext::LoadText(IDS_ALREADY_EXISTS_VIEW), name,
                                        zentrel::PlatformText(platform))
                  : zentrel::FormatText(RunContext::LoadText(IDS_ALREADY_EXISTS), name);
    return run.Report(RunContext::LoadText(IDS_WARNING), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, question) ==
           IDYES;
}

enum class WriteOutcome { Failed, New, Replaced, LeftAlone, Appeared };

// Whether the source held at the name is surely the one backed up, told
// without reading it again: its key's stamp is unchanged and older than the
// lock (anything written since is stamped later), it has no keys below it
// (whose writes its stamp does not show), and its driver entry is the same.
bool UnchangedSinceBackup(const RegKey& held, const std::string& name, const SourceImage& image,
                          unsigned long long lockedAt, HKEY entries) {
    if (!held.Valid() || entries == NULL || !image.stamp.known || image.stamp.subkeys != 0 ||
        image.stamp.written >= lockedAt)
        return false;
    KeyStamp now;
    if (held.QueryStamp(&now) != ERROR_SUCCESS || !(now == image.stamp)) return false;
    std::string driver;
    const LONG code = RegKey::QueryText(entries, name.c_str(), driver);
    return (code == ERROR_SUCCESS || code == ERROR_FILE_NOT_FOUND) && driver == image.driver;
}

// A source at the name that is not the one backed up (made or changed since
// by someone else) is asked about again and backed up on its own first.
WriteOutcome CheckChangedSince(RunContext& run, const Accepted& source, ScopeChanges& changes,
                               const SourceImage* backedUp, bool twoViews) {
    const std::string& name = source.name;
    const REGSAM view = ViewFlag(source.place.platform);
    SourceImage now;
    std::string key, why;
    const bool same = backedUp != nullptr && !backedUp->leftOut &&
                      ReadSourceImage(run.m_hOdbcIniKey, view, name, &now, &key, &why) && now == *backedUp;
    if (same) return WriteOutcome::Replaced;
    if (run.where.mayAsk && !ReplaceConfirmed(run, name, source.place.platform, twoViews)) {
        run.Fail("Warning", IDS_SOURCE_APPEARED, zentrel::ShownName(name));
        return WriteOutcome::LeftAlone;
    }
    BackupOutcome backup;
    if (!WriteBackup(run, {BackedUpSource{source.place, name}}, &backup) || !backup.held[0])
        return WriteOutcome::Failed;
    if (run.facts.Batch())
        run.facts.WriteErr(zentrel::FormatText(RunContext::LoadText(IDS_BACKUP_WRITTEN), backup.path));
    if (!changes.Take(source.place)) return WriteOutcome::Failed;
    return WriteOutcome::Replaced;
}

// What writing one source through a temporary key did: the registry's
// part alone, which asks and tells nothing, so that several sources can be
// written at once and told of afterwards in their order.
struct Written {
    ChangeResult begun, committed;
    RowWriteFailure failure;
};

// How far the rows are from the entries read in the source's own key,
// names exact and in their order: the same, apart in one value's data
// alone (its index), or further.
const size_t kSame = static_cast<size_t>(-1), kFurther = kSame - 1;
size_t ValuesApart(const std::vector<zentrel::SourceEntry>& entries, const zentrel::DsiSourceRows& rows) {
    if (entries.size() != rows.rows.size()) return kFurther;
    size_t apart = kSame;
    for (size_t i = 0; i < rows.rows.size(); ++i) {
        const zentrel::SourceEntry& held = entries[i];
        const zentrel::DsiImportRow& row = rows.rows[i];
        if (held.key || row.subkey || !held.levels.empty() || !row.levels.empty() || held.valueName != row.valueName)
            return kFurther;
        if (held.type == row.type && held.stored == row.stored && held.data == row.data) continue;
        if (apart != kSame) return kFurther;
        apart = i;
    }
    return apart;
}

// A source to be replaced as it was backed up: its image, and how far the
// file's rows are from it, its driver the same (else further).
struct BackedUp {
    const SourceImage* image = nullptr;
    size_t apart = kFurther;
};

// Writes the rows under a temporary key and swaps it in. `aside`: the
// source to replace, none when the name was found free, which the swap then
// checks again. `entries` gives the driver entries' key once the rows are
// written. `backedUp`, when the source held is surely the one backed up,
// says how far the rows are from it: rows that would write it again leave
// it as it is, and rows apart from it in one value's data alone, its driver
// the same, have that value written in place, a single write that takes it
// from old to new.
Written WriteRowsThrough(HKEY odbc, REGSAM view, const Accepted& source, bool byCopy,
                         const zentrel::DsiSourceRows& given, bool exists, const std::function<HKEY()>& entries,
                         HeldSource aside, const BackedUp& backedUp) {
    Written written;
    // The secrets a file left out stay as the source held them: a file
    // without them never writes an empty password over a real one.
    zentrel::DsiSourceRows kept;
    if (exists && !given.withheld.empty()) {
        kept = given;
        const AttributeListing held = ListAttributes(odbc, source.name, view);
        zentrel::KeepWithheldValues(kept, EntriesOf(held.rows, held.rows.size()));
    }
    const zentrel::DsiSourceRows& rows = kept.withheld.empty() ? given : kept;
    SourceReplacement replacement(odbc, view, source.name, source.driver, byCopy);
    // A source left out of the backup held the rows exactly when it was read.
    const size_t apart = aside.leaf && backedUp.image != nullptr ? backedUp.apart : kFurther;
    if (apart != kFurther) {
        // The entry first: its text is the same, old and new.
        written.committed = replacement.Keep(entries());
        if (written.committed.Ok() && apart != kSame) {
            zentrel::DsiSourceRows one;
            one.rows.push_back(rows.rows[apart]);
            written.failure = WriteDsiRows(aside.key, view, one, source.name);
        }
        return written;
    }
    written.begun = replacement.Begin();
    if (!written.begun.Ok()) return written;
    // A row that cannot be written leaves the source as it was.
    written.failure = WriteDsiRows(replacement.Key(), view, rows, source.name);
    if (written.failure.code != ERROR_SUCCESS) {
        replacement.Abandon();
        return written;
    }
    written.committed = replacement.Commit(exists, entries(), aside,
                                           [&](HKEY key) { return WriteDsiRows(key, view, rows, source.name).code; });
    return written;
}

// Tells what writing the source did; a source made at the name meanwhile,
// when none was to be replaced, is Appeared, nothing written and nothing told.
WriteOutcome Told(RunContext& run, const Written& written, const Accepted& source, ScopeChanges& changes,
                  bool exists) {
    const std::string& name = source.name;
    if (!written.begun.Ok()) {
        ReportChange(run, written.begun, name);
        HintElevation(run, written.begun.code, name);
        return WriteOutcome::Failed;
    }
    const RowWriteFailure& failure = written.failure;
    if (failure.code != ERROR_SUCCESS) {
        const std::string text = RunContext::SystemErrorText(failure.code);
        if (!failure.key.empty()) {
            run.Fail("RegCreateKey Error", IDS_KEY_ERROR, zentrel::ShownName(failure.key), text);
        } else {
            run.Fail("RegSetValueEx Error", IDS_KEY_ERROR, zentrel::ShownName(name), text);
        }
        HintElevation(run, failure.code, name);
        return WriteOutcome::Failed;
    }
    const ChangeResult& committed = written.committed;
    if (committed.renameUnsupported) changes.RenameUnsupported(source.place);
    if (!exists && committed.step == ChangeStep::SwapIn && committed.code == ERROR_ALREADY_EXISTS)
        return WriteOutcome::Appeared;
    if (!ReportChange(run, committed, name)) {
        HintElevation(run, committed.code, name);
        return WriteOutcome::Failed;
    }
    return exists ? WriteOutcome::Replaced : WriteOutcome::New;
}

// Writes the source through a temporary key and swaps it in. `aside`: the
// source to replace, none when the name was found free, and `backedUp` it
// as backed up; a source made there meanwhile is Appeared.
WriteOutcome WriteThrough(RunContext& run, const Accepted& source, const PlannedFile& file, OpenEntries& open,
                          ScopeChanges& changes, bool exists, HeldSource aside,
                          const BackedUp& backedUp = BackedUp()) {
    const REGSAM view = ViewFlag(source.place.platform);
    const zentrel::DsiSourceRows rows = RowsOf(file, source);
    const Written written =
        WriteRowsThrough(run.m_hOdbcIniKey, view, source, changes.ByCopy(source.place), rows, exists,
                         [&] { return open.Made(run, view); }, aside, backedUp);
    return Told(run, written, source, changes, exists);
}

// Writes a source found at the name, asked about and backed up again when
// it is not the one backed up.
WriteOutcome WriteOver(RunContext& run, const Accepted& source, const PlannedFile& file, OpenEntries& open,
                       ScopeChanges& changes, const BackedUp& backedUp, bool twoViews) {
    const std::string& name = source.name;
    const REGSAM view = ViewFlag(source.place.platform);
    // Held open to be set aside through; a source that may be read but not
    // written is looked at alone, and its setting aside then reports why.
    RegKey held;
    LONG found = held.OpenUnfollowed(run.m_hOdbcIniKey, name.c_str(), KEY_READ | KEY_WRITE | view, nullptr);
    if (found != ERROR_SUCCESS && found != ERROR_FILE_NOT_FOUND)
        found = FindImportedSource(run.m_hOdbcIniKey, name, view);
    if (found != ERROR_SUCCESS && found != ERROR_FILE_NOT_FOUND) {
        run.Fail("RegOpenKey Error", IDS_SOURCE_NOT_REPLACED, zentrel::ShownName(name),
                 RunContext::SystemErrorText(found));
        return WriteOutcome::Failed;
    }
    const bool exists = found == ERROR_SUCCESS;
    HeldSource aside;
    if (exists) {
        aside.key = held.Get();
        aside.leaf = backedUp.image != nullptr &&
                     UnchangedSinceBackup(held, name, *backedUp.image, changes.TakenAt(source.place),
                                          open.For(run, view));
        const WriteOutcome checked =
            aside.leaf ? WriteOutcome::Replaced : CheckChangedSince(run, source, changes, backedUp.image, twoViews);
        if (checked != WriteOutcome::Replaced) return checked;
    }
    const WriteOutcome outcome = WriteThrough(run, source, file, open, changes, exists, aside, backedUp);
    if (outcome == WriteOutcome::Appeared) {
        run.Fail("Warning", IDS_SOURCE_APPEARED, zentrel::ShownName(name));
        return WriteOutcome::LeftAlone;
    }
    return outcome;
}

// Writes one accepted source whole, or leaves the place as it was. What
// stands at the name now decides, not what stood there at the questions.
// Every failure is reported.
WriteOutcome WriteAccepted(RunContext& run, const Accepted& source, const PlannedFile& file, OpenEntries& open,
                           ScopeChanges& changes, const BackedUp& backedUp, bool twoViews) {
    if (!changes.Take(source.place)) return WriteOutcome::Failed;
    if (!source.replaces) {
        const WriteOutcome outcome = WriteThrough(run, source, file, open, changes, false, HeldSource());
        if (outcome != WriteOutcome::Appeared) return outcome;
    }
    return WriteOver(run, source, file, open, changes, backedUp, twoViews);
}

// Row problems shown one by one before the rest are summed up.
const size_t kRowProblemsShown = 10;

// The file's count, reported when unusable; false when nothing is to be read.
bool CountUsable(RunContext& run, const zentrel::DsiFileCount& count) {
    if (count.empty) {
        run.Fail("Error", IDS_ITEMS_ERROR, run.m_szDsiFile, RunContext::SystemErrorText(ERROR_INVALID_DATA));
        return false;
    }
    // A count that wrapped or overflowed would skip sources silently. An
    // export of an empty scope says so with an explicit 0: importing it
    // completes. A missing or unreadable count does not.
    if (count.indices.empty() && (!count.present || !count.valid)) {
        run.Fail("Warning", IDS_NO_DEFINITIONS, run.m_szDsiFile);
    } else if (count.indices.empty()) {
        run.Remark("Warning", MB_OK | MB_ICONSTOP, IDS_NO_DEFINITIONS, run.m_szDsiFile);
    }
    return true;
}

enum class Next { Source, Stop };

// A section that names no source: skipped when the user goes on.
Next NamelessSection(ImportRun& import, const zentrel::DsiSourcePlan& plan) {
    RunContext& run = import.run;
    run.MarkFailed();
    if (run.Report(plan.section, MB_YESNO | MB_ICONSTOP, IDS_CONTINUE_QUESTION, plan.section,
                   RunContext::SystemErrorText(ERROR_NOT_FOUND), run.m_szDsiFile) == IDYES) {
        run.Outcomes().Record(SourceOutcome::Skipped);
        return Next::Source;
    }
    import.summary.stopSection = plan.section;
    import.summary.stopReason = RunContext::LoadText(IDS_STOP_NO_NAME);
    return Next::Stop;
}

// The plan's refusal, or the rows it leaves out, told; true when refused.
bool Refused(ImportRun& import, const zentrel::DsiSourcePlan& plan, zentrel::Platform platform) {
    RunContext& run = import.run;
    if (plan.refusal != zentrel::DsiRefusal::None) {
        const std::string refusal = RefusalText(plan);
        run.Fail("Error", IDS_NOT_IMPORTED, zentrel::ShownName(plan.fileName), plan.section, run.m_szDsiFile, refusal);
        if (run.facts.Preview()) import.previewLines += PreviewLine("refused", plan.fileName, platform, refusal);
        import.Skip(SourceOutcome::Refused);
        return true;
    }
    ReportDsiSourceProblems(run, plan.rows, plan.section, plan.name);
    if (plan.rows.missing != 0) {
        run.Fail("Warning", IDS_ROWS_MISSING, plan.section, run.m_szDsiFile, std::to_string(plan.rows.announced),
                 std::to_string(plan.rows.announced - plan.rows.missing), zentrel::ShownName(plan.name));
    }
    return false;
}

// The planned source against its place: whether the section can take it,
// and whether the user lets it replace the source there.
Next CheckPlace(ImportRun& import, zentrel::DsiSourcePlan plan, const RegistryPlace& place, bool twoViews) {
    RunContext& run = import.run;
    const std::string& name = plan.name;
    // Where the import stops: the section, and why, for the summary.
    import.summary.stopSection = plan.section;
    import.summary.stopReason = zentrel::FormatText(RunContext::LoadText(IDS_STOP_FAILED), zentrel::ShownName(name));
    if (!run.ConnectTo(place)) return Next::Stop;
    // A source the section cannot take is not written.
    bool exists = false;
    if (!SectionTakes(run, name, ViewFlag(place.platform), import.entries, import.known, &exists)) {
        import.Skip(SourceOutcome::Failed);
        return Next::Source;
    }
    if (run.facts.Preview()) {
        import.previewLines += PreviewSource(run, name, place.platform, plan.driver, plan.rows, exists);
        import.summary.stopSection.clear();
        return Next::Source;
    }
    if (exists && run.where.mayAsk && !ReplaceConfirmed(run, name, place.platform, twoViews)) {
        // The sources before it are still written.
        run.MarkFailed();
        import.summary.stopReason =
            zentrel::FormatText(RunContext::LoadText(IDS_STOP_DECLINED), zentrel::ShownName(name));
        return Next::Stop;
    }
    import.summary.stopSection.clear();
    import.accepted.push_back(Accepted{import.Place(place), std::move(plan.section), std::move(plan.name),
                                       std::move(plan.driver), exists});
    return Next::Source;
}

// Source `index`: planned, asked for and checked against its place, then
// accepted for writing, previewed, skipped or the end of the import.
Next PlanOne(ImportRun& import, int index) {
    RunContext& run = import.run;
    zentrel::DsiSourcePlan plan = zentrel::PlanDsiSource(import.file.dsi, index, import.file.target);
    if (plan.fileName.empty()) return NamelessSection(import, plan);
    const RegistryPlace place = PlaceOf(import.target, plan);
    // Where both views exist, the user is told which one is written.
    const bool twoViews = import.target.systemScope && HasTwoViews();
    if (import.askName && plan.refusal == zentrel::DsiRefusal::None) {
        const std::string caption = twoViews ? RunContext::LoadText(IDS_DSN_NAME_CAPTION) + " (" +
                                                   zentrel::PlatformText(place.platform) + ")"
                                             : std::string();
        if (!run.AskSourceName(plan.name, caption)) {
            run.Outcomes().Record(SourceOutcome::Skipped);
            return Next::Source;
        }
    }
    zentrel::PlanDsiSourceRows(import.file.dsi, import.file.target, plan);
    if (Refused(import, plan, place.platform)) return Next::Source;
    return CheckPlace(import, std::move(plan), place, twoViews);
}

// The backup of the sources about to be replaced; for each accepted source
// it as backed up (no image when it replaces nothing), *refused set for a
// source the backup does not hold whole. A source that already holds exactly
// what the file gives is left out: nothing of it is lost.
bool BackUpReplaced(ImportRun& import, BackupOutcome& backup, std::vector<BackedUp>& backedUp,
                    std::vector<bool>& refused) {
    RunContext& run = import.run;
    std::vector<BackedUpSource> destroyed;
    std::vector<size_t> destroyedAt;
    for (size_t i = 0; i < import.accepted.size(); ++i) {
        if (!import.accepted[i].replaces) continue;
        destroyed.push_back(BackedUpSource{import.accepted[i].place, import.accepted[i].name});
        destroyedAt.push_back(i);
    }
    // Told while the image still holds its entries, which the backup then lets go.
    backedUp.assign(import.accepted.size(), BackedUp());
    const BackupNeedless same = [&](size_t k, const SourceImage& image,
                                    const std::vector<zentrel::SourceEntry>& entries) {
        const Accepted& source = import.accepted[destroyedAt[k]];
        size_t& apart = backedUp[destroyedAt[k]].apart;
        if (image.stamp.known && image.stamp.subkeys == 0 && image.driver == source.driver) {
            zentrel::DsiSourceRows rows = RowsOf(import.file, source);
            zentrel::KeepWithheldValues(rows, entries);
            apart = ValuesApart(entries, rows);
        }
        return apart == kSame;
    };
    if (!WriteBackup(run, destroyed, &backup, same)) return false;
    if (!backup.path.empty() && run.facts.Batch())
        run.facts.WriteErr(zentrel::FormatText(RunContext::LoadText(IDS_BACKUP_WRITTEN), backup.path));
    // A source the backup does not hold whole is left as it is.
    refused.assign(import.accepted.size(), false);
    for (size_t k = 0; k < destroyedAt.size(); ++k) {
        if (backup.held[k]) {
            backedUp[destroyedAt[k]].image = &backup.images[k];
        } else {
            refused[destroyedAt[k]] = true;
        }
    }
    return true;
}

// What WriteAll needs of the sources it writes.
struct Writing {
    ImportRun& import;
    ScopeChanges& changes;
    std::vector<BackedUp> backedUp;
    std::vector<bool> refused;
    bool twoViews = false;

    // Writes accepted source i the one-by-one way, and records the outcome.
    void One(size_t i) {
        Record(refused[i] ? WriteOutcome::Failed : Untouched(i) ? WriteOutcome::Replaced : Outcome(i));
    }
    // A source kept as it is whose driver entry is already exact: writing
    // would change nothing, so nothing is written, and nothing needs
    // guarding against a change made since it was read.
    bool Untouched(size_t i) const {
        const SourceImage* image = backedUp[i].image;
        return image != nullptr && image->leftOut && image->driverExact;
    }
    WriteOutcome Outcome(size_t i) {
        return WriteAccepted(import.run, import.accepted[i], import.file, import.entries, changes, backedUp[i],
                             twoViews);
    }
    void Record(WriteOutcome outcome) {
        if (outcome == WriteOutcome::Failed || outcome == WriteOutcome::LeftAlone) {
            import.Skip(SourceOutcome::Failed);
        } else {
            import.run.Outcomes().Record(outcome == WriteOutcome::Replaced ? SourceOutcome::Replaced
                                                                          : SourceOutcome::Written);
        }
    }
};

// One source of a batch written at once, as its thread left it.
struct Pending {
    size_t index = 0;  // in the accepted sources
    zentrel::DsiSourceRows rows;
    Written written;
    // Written the one-by-one way after the batch: refused, or what stands at
    // its name is not surely the one backed up, or its place needs a look.
    bool alone = false;
};

// A batch holds its sources' rows at once: it ends at so many sources, or
// once its rows hold so many bytes.
const size_t kBatchSources = 256;
const size_t kBatchBytes = 4u << 20;

// A name as the registry might compare it: UTF-16 units, ASCII letters in
// one case, and every unit beyond ASCII a wildcard, as the registry folds
// those by rules of its own. Empty for a name that is no UTF-8.
std::vector<uint16_t> KeyShape(const std::string& name) {
    const uint16_t kAny = 0xFFFF;
    std::vector<uint16_t> shape;
    size_t at = 0;
    uint32_t c = 0;
    while (at < name.size()) {
        if (!zentrel::NextUtf8(reinterpret_cast<const unsigned char*>(name.data()), name.size(), &at, &c))
            return std::vector<uint16_t>();
        if (c >= 0x80) {
            shape.insert(shape.end(), c >= 0x10000 ? 2 : 1, kAny);
        } else {
            shape.push_back(static_cast<uint16_t>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
        }
    }
    return shape;
}

// Whether two names might be one key: such sources are never written at once.
bool MaySameKey(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b) {
    if (a.empty() || b.empty()) return true;
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && a[i] != 0xFFFF && b[i] != 0xFFFF) return false;
    return true;
}

size_t RowBytes(const zentrel::DsiSourceRows& rows) {
    size_t bytes = 0;
    for (const zentrel::DsiImportRow& row : rows.rows) bytes += row.name.size() + row.data.size() + sizeof(row);
    return bytes;
}

// Where a batch is written: its place's keys and what is known of them.
struct BatchPlace {
    RegistryPlace place;
    REGSAM view = 0;
    HKEY odbc = NULL, entries = NULL;
    bool byCopy = false;
    unsigned long long lockedAt = 0;
};

// The accepted sources from `from` on that share its place, as many as a
// batch holds, each with its rows. Returns where the next batch starts.
size_t GatherBatch(const Writing& writing, const BatchPlace& at, size_t from, std::vector<Pending>& batch) {
    const ImportRun& import = writing.import;
    std::vector<std::vector<uint16_t>> shapes;
    size_t bytes = 0, next = from;
    for (; next < import.accepted.size() && batch.size() < kBatchSources && bytes < kBatchBytes; ++next) {
        const Accepted& source = import.accepted[next];
        // Without a usable driver entries' key the first source makes it, or
        // reports why not, alone; the next batch then finds it.
        if (!(source.place == at.place) || (at.entries == NULL && !batch.empty())) break;
        // A file may hold a source twice: the second waits for the first.
        std::vector<uint16_t> shape = KeyShape(source.name);
        bool clash = false;
        for (size_t k = 0; k < shapes.size() && !clash; ++k) clash = MaySameKey(shapes[k], shape);
        if (clash) break;
        shapes.push_back(std::move(shape));
        Pending pending;
        pending.index = next;
        pending.alone = writing.refused[next] || at.entries == NULL || writing.Untouched(next);
        const SourceImage* image = writing.backedUp[next].image;
        if (!pending.alone && (image == nullptr || !image->leftOut)) {
            pending.rows = RowsOf(import.file, source);
            bytes += RowBytes(pending.rows);
        }
        batch.push_back(std::move(pending));
    }
    return next;
}

// Writes one source of a batch, on any thread; one that is not surely the
// one backed up is left alone, for the one-by-one way.
void WriteAtOnce(const Writing& writing, const BatchPlace& at, Pending& pending) {
    if (pending.alone) return;
    const Accepted& source = writing.import.accepted[pending.index];
    const BackedUp& backedUp = writing.backedUp[pending.index];
    const SourceImage* image = backedUp.image;
    RegKey held;
    HeldSource aside;
    if (source.replaces) {
        if (image == nullptr ||
            held.OpenUnfollowed(at.odbc, source.name.c_str(), KEY_READ | KEY_WRITE | at.view, nullptr) !=
                ERROR_SUCCESS ||
            !UnchangedSinceBackup(held, source.name, *image, at.lockedAt, at.entries)) {
            pending.alone = true;
            return;
        }
        aside.key = held.Get();
        aside.leaf = true;
    }
    const HKEY entries = at.entries;
    pending.written = WriteRowsThrough(at.odbc, at.view, source, at.byCopy, pending.rows, source.replaces,
                                       [entries] { return entries; }, aside, backedUp);
    pending.rows = zentrel::DsiSourceRows();
}

// Writes a batch of the accepted sources from `from` on several at once;
// then tells of each in their order, and writes those left alone one by
// one. Returns where the next batch starts.
size_t WriteBatch(Writing& writing, ParallelCalls& calls, size_t from) {
    ImportRun& import = writing.import;
    RunContext& run = import.run;
    BatchPlace at;
    at.place = import.accepted[from].place;
    at.view = ViewFlag(at.place.platform);
    at.entries = writing.changes.Take(at.place) ? import.entries.For(run, at.view) : NULL;
    at.odbc = run.m_hOdbcIniKey;
    at.byCopy = writing.changes.ByCopy(at.place);
    at.lockedAt = writing.changes.TakenAt(at.place);
    std::vector<Pending> batch;
    const size_t next = GatherBatch(writing, at, from, batch);
    calls.Run(batch.size(), [&](size_t k) { WriteAtOnce(writing, at, batch[k]); });
    for (const Pending& pending : batch) {
        if (pending.alone) {
            writing.One(pending.index);
            continue;
        }
        const Accepted& source = import.accepted[pending.index];
        WriteOutcome outcome = Told(run, pending.written, source, writing.changes, source.replaces);
        if (outcome == WriteOutcome::Appeared)
            outcome = writing.changes.Take(at.place) ? WriteOver(run, source, import.file, import.entries,
                                                                 writing.changes, BackedUp(), writing.twoViews)
                                                     : WriteOutcome::Failed;
        writing.Record(outcome);
    }
    return next;
}

// Backs up the sources about to be replaced, then writes each whole, or
// leaves it as it was. Each place is reserved for this run, and what ended
// runs left there put right, before anything is backed up or written.
bool WriteAll(ImportRun& import) {
    RunContext& run = import.run;
    ScopeChanges changes(run);
    for (const Accepted& source : import.accepted)
        if (!changes.Take(source.place)) return false;
    BackupOutcome backup;
    Writing writing{import, changes, {}, {}, import.target.systemScope && HasTwoViews()};
    if (!BackUpReplaced(import, backup, writing.backedUp, writing.refused)) return false;
    PauseAt("backed up");
    ParallelCalls& calls = run.Calls();
    for (size_t i = 0; i < import.accepted.size();) i = WriteBatch(writing, calls, i);
    return true;
}

}  // namespace

bool ReadDsiFile(RunContext& run, const char* path, const char* caption, const char* outcome,
                 zentrel::ProfileFile& file, zentrel::DsiEncoding* encoding, long long* lines) {
    std::string text;
    zentrel::DsiTextProblem problem;
    const DWORD code = zentrel::ReadDsiText(path, text, encoding, &problem);
    if (code != 0) {
        run.ReportFileError(path, code, caption,
                            code == ERROR_NO_UNICODE_TRANSLATION && outcome != nullptr
                                ? zentrel::DescribeDsiTextProblem(problem, *encoding) + " " + outcome
                                : std::string());
        return false;
    }
    // Rows cannot outnumber the file's lines; beyond that every row is missing.
    *lines = 1;
    for (char c : text)
        if (c == '\n' || c == '\r') ++*lines;
    file.Parse(std::move(text));
    return true;
}

bool ReadPlannedFile(RunContext& run, const char* path, const ScopePlace& where, const char* outcome,
                     PlannedFile& file) {
    zentrel::DsiEncoding encoding = zentrel::DsiEncoding::Ansi;
    long long lines = 0;
    if (!ReadDsiFile(run, path, "Error", outcome, file.dsi, &encoding, &lines)) return false;
    file.count = zentrel::ReadDsiFileCount(file.dsi);
    file.target.systemScope = where.systemScope != FALSE;
    // -p32 and -p64 restrict batch runs; the window always has both views.
    file.target.viewForced = where.oneView;
    file.target.forced = where.view;
    file.target.own = OwnPlatform();
    file.target.maxRows = lines;
    file.target.reserved = [](const std::string& name) { return IsReservedDsnName(name.c_str()); };
    return true;
}

zentrel::DsiSourcePlan PlanSource(const PlannedFile& file, int index) {
    zentrel::DsiSourcePlan plan = zentrel::PlanDsiSource(file.dsi, index, file.target);
    if (!plan.fileName.empty()) zentrel::PlanDsiSourceRows(file.dsi, file.target, plan);
    return plan;
}

std::string RefusalText(const zentrel::DsiSourcePlan& plan) {
    switch (plan.refusal) {
    case zentrel::DsiRefusal::Platform:
        return zentrel::FormatText(RunContext::LoadText(IDS_PLATFORM_INVALID), zentrel::ShownName(plan.refusalDetail));
    case zentrel::DsiRefusal::Reserved:
        return zentrel::FormatText(RunContext::LoadText(IDS_RESERVED_NAME), plan.name);
    case zentrel::DsiRefusal::RowCount:
        return zentrel::FormatText(RunContext::LoadText(IDS_ROW_COUNT_INVALID), zentrel::ShownName(plan.refusalDetail));
    default:
        return plan.refusalDetail;
    }
}

void ReportDsiSourceProblems(RunContext& run, const zentrel::DsiSourceRows& source, const std::string& section,
                             const std::string& dsn) {
    for (size_t k = 0; k < source.problems.size() && k < kRowProblemsShown; ++k) {
        const zentrel::DsiRowProblem& problem = source.problems[k];
        run.Fail("RegSetValueEx Error", IDS_ROW_PROBLEM, zentrel::ShownName(dsn), problem.index,
                 zentrel::ShownName(problem.name), section, run.m_szDsiFile, problem.problem);
    }
    if (source.problems.size() > kRowProblemsShown) {
        run.Fail("RegSetValueEx Error", IDS_MORE_ROW_PROBLEMS, zentrel::ShownName(dsn),
                 std::to_string(source.problems.size() - kRowProblemsShown), section, run.m_szDsiFile);
    }
}

ImportSummary ImportConnected(RunContext& run, bool askName) {
    ImportRun import(run);
    import.askName = askName;
    import.summary.firstOutcome = run.Outcomes().Recorded();
    // The scope and computer of the import; each source goes into its view.
    import.target = run.m_placeConnected;
    ScopePlace where = run.where;
    where.systemScope = import.target.systemScope;
    if (!ReadPlannedFile(run, run.m_szDsiFile, where, "Nothing is imported.", import.file)) return import.summary;
    if (!CountUsable(run, import.file.count)) return import.summary;
    import.summary.count = static_cast<int>(import.file.count.indices.size());
    import.known.Expect(import.summary.count);
    if (!run.where.mayAsk && !askName) import.known.LookAhead(run, import.file, import.target);
    // First every question is asked and every source checked, writing
    // nothing; then the sources about to be replaced are backed up; then each
    // is written whole, or left as it was.
    for (int i : import.file.count.indices)
        if (PlanOne(import, i) == Next::Stop) break;
    if (run.facts.previewInto != nullptr) {
        *run.facts.previewInto += import.previewLines;
        return import.summary;
    }
    if (run.facts.Preview()) {
        run.facts.WriteOut(run.facts.OutputLines(import.previewLines));
        return import.summary;
    }
    import.summary.ran = WriteAll(import);
    return import.summary;
}

ImportSummary ImportNamedFile(RunContext& run, const char* file, bool askName) {
    const char* path = file ? file : "";
    if (path[0] == '\0' || !zentrel::DsiFileExists(path)) {
        run.ReportFileError(path, ERROR_FILE_NOT_FOUND, "Error");
        return ImportSummary();
    }
    if (zentrel::DsiPathTooLong(path)) {
        run.ReportFileError(path, ERROR_FILENAME_EXCED_RANGE, "Error");
        return ImportSummary();
    }
    strcpy(run.m_szDsiFile, path);
    const BOOL systemScope = run.where.systemScope;
    if (run.ConnectToRemoteSystem(run.where.computer, systemScope,
                                  systemScope ? OwnPlatform() : zentrel::Platform::Shared) != 0)
        return ImportSummary();
    return ImportConnected(run, askName);
}

ImportTally TallyImport(const Reporter& outcomes, const ImportSummary& summary) {
    const size_t from = summary.firstOutcome;
    ImportTally tally;
    tally.replaced = outcomes.Count(SourceOutcome::Replaced, from);
    tally.written = outcomes.Count(SourceOutcome::Written, from) + tally.replaced;
    tally.skipped = outcomes.Count(SourceOutcome::Skipped, from) + outcomes.Count(SourceOutcome::Refused, from) +
                    outcomes.Count(SourceOutcome::Failed, from);
    if (!summary.stopSection.empty())
        tally.stopped = "\n" + zentrel::FormatText(RunContext::LoadText(IDS_IMPORT_STOPPED), summary.stopSection,
                                                   summary.stopReason);
    return tally;
}

void SummariseImport(RunContext& run, const ImportSummary& summary) {
    if (!summary.ran || summary.count <= 0) return;
    const ImportTally tally = TallyImport(run.Outcomes(), summary);
    if (tally.written == 1) {
        run.Remark("Import", MB_OK | MB_ICONINFORMATION,
                   tally.replaced == 1 ? IDS_IMPORT_SUMMARY_ONE_REPLACED : IDS_IMPORT_SUMMARY_ONE, run.m_szDsiFile,
                   std::to_string(tally.skipped), tally.stopped);
    } else {
        run.Remark("Import", MB_OK | MB_ICONINFORMATION, IDS_IMPORT_SUMMARY, run.m_szDsiFile,
                   std::to_string(tally.written), std::to_string(tally.replaced), std::to_string(tally.skipped),
                   tally.stopped);
    }
}
