// A seam for tests: the n-th registry write of this process fails, as a full
// disk or a refused access would make it fail, or every write from the n-th
// on, as if the process had ended there. Unarmed it costs one comparison.
// Every write the program makes passes RegistryWriteCheck first: creating a
// key, setting or deleting a value, deleting or renaming a key, on whichever
// thread makes it; the writes of all threads are counted as one sequence.
#pragma once
#include <windows.h>

// ERROR_SUCCESS, or the code the write is to fail with.
LONG RegistryWriteCheck();

// Counts writes from now on; the write numbered failAt (from 1) fails, and
// with `andAfter` every one after it. failAt 0 only counts.
void ArmRegistryWriteFault(long failAt, bool andAfter);
void DisarmRegistryWriteFault();
// Writes counted since the seam was armed.
long RegistryWritesCounted();

// A seam for tests: called between the steps of a change and inside a
// section's enumeration, so that a test can act as another run would at
// that very point. `step` names the point. Reached on any thread, the
// pause runs on it, one thread's pause at a time.
typedef void (*ChangePause)(const char* step);
void SetChangePause(ChangePause pause);
void PauseAt(const char* step);

// A seam for tests: every key rename fails as a registry without a rename
// method makes it fail.
void SetRenameUnavailable(bool unavailable);
bool RenameUnavailable();

// A seam for tests: every piece of a file the program writes passes here on
// its way to the disk, after the program has counted it as written, so that
// a test can make the disk hold other bytes than were written.
typedef void (*FileWriteChange)(char* bytes, size_t size);
void SetFileWriteChange(FileWriteChange change);
FileWriteChange FileWriteChangeSet();
