#include "registry/WriteFault.h"

#include <atomic>

#include "registry/RegKey.h"

namespace {
// Writes are made on the run's worker threads too: the count is one for all.
std::atomic<bool> g_armed(false);
std::atomic<bool> g_andAfter(false);
std::atomic<long> g_failAt(0);
std::atomic<long> g_counted(0);
}  // namespace

LONG RegistryWriteCheck() {
    CountRegistryCall();
    if (!g_armed.load()) return ERROR_SUCCESS;
    const long counted = ++g_counted;
    const long failAt = g_failAt.load();
    const bool fails = failAt != 0 && (counted == failAt || (g_andAfter.load() && counted > failAt));
    return fails ? ERROR_WRITE_FAULT : ERROR_SUCCESS;
}

void ArmRegistryWriteFault(long failAt, bool andAfter) {
    g_andAfter = andAfter;
    g_failAt = failAt;
    g_counted = 0;
    g_armed = true;
}

void DisarmRegistryWriteFault() { g_armed = false; }

long RegistryWritesCounted() { return g_counted.load(); }

namespace {
std::atomic<ChangePause> g_pause(nullptr);
std::atomic<bool> g_noRename(false);
FileWriteChange g_fileChange = nullptr;

// One pause at a time, whichever thread reaches it: a test acts at each as
// one other run would. Reentered by a pause that itself lists the section.
struct PauseTurn {
    PauseTurn() { ::InitializeCriticalSection(&section); }
    ~PauseTurn() { ::DeleteCriticalSection(&section); }
    CRITICAL_SECTION section;
};

PauseTurn& Turn() {
    static PauseTurn turn;
    return turn;
}
}  // namespace

void SetChangePause(ChangePause pause) {
    Turn();  // made before any worker thread can race to make it
    g_pause = pause;
}

void PauseAt(const char* step) {
    if (g_pause.load() == nullptr) return;
    PauseTurn& turn = Turn();
    ::EnterCriticalSection(&turn.section);
    const ChangePause pause = g_pause.load();
    if (pause != nullptr) pause(step);
    ::LeaveCriticalSection(&turn.section);
}

void SetRenameUnavailable(bool unavailable) { g_noRename = unavailable; }

bool RenameUnavailable() { return g_noRename.load(); }

void SetFileWriteChange(FileWriteChange change) { g_fileChange = change; }

FileWriteChange FileWriteChangeSet() { return g_fileChange; }
