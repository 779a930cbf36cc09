#include "registry/WriteFault.h"

#include "registry/RegKey.h"

namespace {
bool g_armed = false;
bool g_andAfter = false;
long g_failAt = 0;
long g_counted = 0;
}  // namespace

LONG RegistryWriteCheck() {
    CountRegistryCall();
    if (!g_armed) return ERROR_SUCCESS;
    ++g_counted;
    const bool fails = g_failAt != 0 && (g_counted == g_failAt || (g_andAfter && g_counted > g_failAt));
    return fails ? ERROR_WRITE_FAULT : ERROR_SUCCESS;
}

void ArmRegistryWriteFault(long failAt, bool andAfter) {
    g_armed = true;
    g_andAfter = andAfter;
    g_failAt = failAt;
    g_counted = 0;
}

void DisarmRegistryWriteFault() { g_armed = false; }

bool RegistryWriteFaultArmed() { return g_armed; }

long RegistryWritesCounted() { return g_counted; }

namespace {
ChangePause g_pause = nullptr;
bool g_noRename = false;
FileWriteChange g_fileChange = nullptr;
}  // namespace

void SetChangePause(ChangePause pause) { g_pause = pause; }

void PauseAt(const char* step) {
    if (g_pause != nullptr) g_pause(step);
}

bool ChangePauseSet() { return g_pause != nullptr; }

void SetRenameUnavailable(bool unavailable) { g_noRename = unavailable; }

bool RenameUnavailable() { return g_noRename; }

void SetFileWriteChange(FileWriteChange change) { g_fileChange = change; }

FileWriteChange FileWriteChangeSet() { return g_fileChange; }
