#include "dsi/ImportWriter.h"

#include <vector>

#include "registry/OdbcSection.h"
#include "registry/RegKey.h"

namespace {

// The keys along the last row's path stay open: the rows of one subkey
// follow each other, so most rows open nothing.
class KeyChain {
public:
    KeyChain(HKEY root, REGSAM view) : m_root(root), m_view(view) {}
    KeyChain(const KeyChain&) = delete;
    KeyChain& operator=(const KeyChain&) = delete;

    // Opens, or creates, each level below the root. Returns 0 with the last
    // level's key in *target, or the code of the level that failed with its
    // index in *failed.
    LONG Reach(const std::vector<std::string>& levels, HKEY* target, size_t* failed) {
        size_t common = 0;
        while (common < m_levels.size() && common < levels.size() && m_levels[common] == levels[common]) ++common;
        Keep(common);
        for (size_t i = common; i < levels.size(); ++i) {
            const HKEY parent = i == 0 ? m_root : m_keys.back().Get();
            RegKey next;
            const LONG code = next.OpenOrCreate(parent, levels[i].c_str(), m_view);
            if (code != ERROR_SUCCESS) {
                *failed = i;
                return code;
            }
            m_keys.push_back(std::move(next));
            m_levels.push_back(levels[i]);
        }
        *target = m_keys.empty() ? m_root : m_keys.back().Get();
        return ERROR_SUCCESS;
    }

private:
    void Keep(size_t count) {
        m_keys.resize(count);
        m_levels.resize(count);
    }

    HKEY m_root;
    REGSAM m_view;
    std::vector<RegKey> m_keys;
    std::vector<std::string> m_levels;
};

}  // namespace

LONG CheckDriverEntries(HKEY odbc, REGSAM view, bool* isLink) {
    RegKey entries;
    *isLink = false;
    return entries.OpenUnfollowed(odbc, kDriverEntriesKey, KEY_READ | view, isLink);
}

LONG FindImportedSource(HKEY odbc, const std::string& name, REGSAM view) {
    RegKey existing;
    return existing.OpenUnfollowed(odbc, name.c_str(), KEY_READ | view, nullptr);
}

bool SourceInView(HKEY root, const std::string& name, REGSAM view) {
    RegKey other;
    return other.Open(root, (std::string(kOdbcIniPath) + "\\" + name).c_str(), view) == ERROR_SUCCESS;
}

RowWriteFailure WriteDsiRows(HKEY key, REGSAM view, const zentrel::DsiSourceRows& source, const std::string& dsn) {
    RowWriteFailure failure;
    KeyChain chain(key, view);
    for (const zentrel::DsiImportRow& row : source.rows) {
        HKEY target = NULL;
        size_t failed = 0;
        failure.code = chain.Reach(row.levels, &target, &failed);
        if (failure.code != ERROR_SUCCESS) {
            failure.key = dsn;
            for (size_t i = 0; i <= failed && i < row.levels.size(); ++i) failure.key += "\\" + row.levels[i];
            return failure;
        }
        if (row.subkey) continue;
        static const unsigned char kNothing = 0;
        failure.code = row.stored ? RegKey::SetStoredValue(target, row.valueName, static_cast<DWORD>(row.type), row.data)
                                  : RegKey::SetValue(target, row.valueName.c_str(), static_cast<DWORD>(row.type),
                                                     row.data.empty() ? &kNothing : row.data.data(),
                                                     static_cast<DWORD>(row.data.size()));
        if (failure.code != ERROR_SUCCESS) return failure;
    }
    return failure;
}
