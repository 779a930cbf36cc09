// Whole-file access for DSI files: one read per import, one write per export.
#pragma once
#include <windows.h>

#include <string>

#include "core/Digest.h"
#include "framework/Handle.h"

namespace zentrel {

// Paths of at most 259 characters (UTF-16 units, as the platform counts
// them); a longer path is refused rather than cut to another file's name.
const size_t kMaxDsiPath = 259;
// Bytes that hold such a path in the program's code page (UTF-8: at most
// three bytes a unit) and its terminator.
const size_t kDsiPathBytes = kMaxDsiPath * 3 + 1;
// Whether a path is longer than that.
bool DsiPathTooLong(const char* path);

// Reads the whole file. Returns 0 or the platform's error code.
DWORD ReadWholeDsiFile(const char* path, std::string& bytes);

// The encodings the platform's profile reader tells by a byte-order mark at
// the start of the file; a file without one is ANSI text.
enum class DsiEncoding { Ansi, Utf8, Utf16Le, Utf16Be };

// Where a file's text cannot be taken into the ANSI code page.
struct DsiTextProblem {
    unsigned long line = 0;       // from 1
    unsigned long column = 0;     // in characters, from 1
    unsigned long character = 0;  // the character found there, unless malformed
    bool malformed = false;       // bytes that are no character of the encoding
};

// The problem as one sentence of a message: where, and what.
std::string DescribeDsiTextProblem(const DsiTextProblem& problem, DsiEncoding encoding);

// The code page of files without a byte-order mark: the system's default
// ANSI code page, whatever code page this program runs in.
UINT DsiAnsiCodePage();

// Reads the whole file as text in the program's code page: UTF-16 of either
// byte order and UTF-8 with their byte-order marks are converted, a file
// without one is read in the system's ANSI code page (DsiAnsiCodePage). A
// character without a form of its own in the ANSI code page is not guessed:
// the result is ERROR_NO_UNICODE_TRANSLATION, with *problem saying where.
// Returns 0 or the platform's error code.
DWORD ReadDsiText(const char* path, std::string& text, DsiEncoding* encoding, DsiTextProblem* problem);

// Text in the program's code page as the bytes of a file of the encoding,
// byte-order mark first. An ANSI file is written in the system's code page
// when every character has an exact form there; otherwise *encoding becomes
// UTF-16 LE and the whole file is written so. Returns 0, or
// ERROR_NO_UNICODE_TRANSLATION when the text holds bytes that are no
// character of the program's code page.
DWORD EncodeDsiText(std::string&& text, DsiEncoding* encoding, std::string& bytes);

// Writes the bytes to a new file beside the target, then puts it in the
// target's place, so that the target is either the old file or the complete
// new one. Returns 0 or the platform's error code; on failure the target is
// untouched and no temporary file is left.
DWORD ReplaceDsiFile(const char* path, const std::string& bytes);

// Deletes what writers of runs that have ended left half written in the
// folder; never a live run's file, nor a file of another name.
void RemoveEndedRunsFiles(const std::string& folder);

// A DSI file written a piece at a time into a temporary file of its folder,
// so that a file of any size is never held whole: in the system's code page
// while every character has an exact form there, else, as EncodeDsiText
// decides, the whole file UTF-16 LE. Each piece ends at a line's end. A
// file never placed is deleted.
class DsiFileWriter {
public:
    explicit DsiFileWriter(const std::string& folder);
    ~DsiFileWriter();
    DsiFileWriter(const DsiFileWriter&) = delete;
    DsiFileWriter& operator=(const DsiFileWriter&) = delete;

    // Adds the text; *readBack, when given, gets what a reader of the file
    // takes from the bytes it became. Returns 0 or the platform's error code.
    DWORD Append(std::string text, std::string* readBack);
    // Gives the file its name, never over a file that has it
    // (ERROR_ALREADY_EXISTS: the caller may try another), then reads it
    // back: ERROR_FILE_CORRUPT, and the file deleted, when it does not hold
    // what was written.
    DWORD Place(const std::string& path);

private:
    DWORD Write(const char* bytes, size_t size);
    DWORD ToUtf16();

    std::wstring m_folder, m_temporary;
    FileHandle m_file;
    DsiEncoding m_encoding = DsiEncoding::Ansi;
    Sha256 m_digest;
    unsigned long long m_size = 0;
};

// True when the path names an existing file (not a directory).
bool DsiFileExists(const char* path);

}  // namespace zentrel
