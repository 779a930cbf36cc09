#include "dsi/DsiFileIo.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/Handle.h"
#include "core/Utf.h"
#include "registry/RegKey.h"
#include "registry/WriteFault.h"

namespace zentrel {
namespace {

// Calls larger than this gain nothing and some file systems refuse them.
const DWORD kChunk = 1u << 20;

DWORD LastErrorOr(DWORD fallback) {
    const DWORD code = ::GetLastError();
    return code != 0 ? code : fallback;
}

// Lines end at CR LF, LF or a lone CR, as for the profile reader.
struct Position {
    unsigned long line = 1, column = 1;
    bool afterCr = false;
    void Advance(uint32_t c) {
        if (c == '\n' && afterCr) {
            afterCr = false;
        } else if (c == '\n' || c == '\r') {
            ++line;
            column = 1;
            afterCr = c == '\r';
        } else {
            ++column;
            afterCr = false;
        }
    }
};

bool IsHighSurrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// The next character of UTF-16 text. A lone surrogate stands for itself:
// it has no ANSI form, so the conversion reports it.
uint32_t NextUtf16(const unsigned char* p, size_t units, bool bigEndian, size_t* at) {
    const auto unit = [p, bigEndian](size_t i) -> uint32_t {
        return bigEndian ? (uint32_t(p[2 * i]) << 8) | p[2 * i + 1] : (uint32_t(p[2 * i + 1]) << 8) | p[2 * i];
    };
    const uint32_t first = unit((*at)++);
    if (IsHighSurrogate(first) && *at < units && IsLowSurrogate(unit(*at))) {
        const uint32_t second = unit((*at)++);
        return 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
    }
    return first;
}

// UTF-16 to the ANSI code page a block at a time, without best-fit
// substitutes: a character the code page does not hold is found and named.
class AnsiConverter {
public:
    explicit AnsiConverter(std::string& out)
        : m_out(out), m_utf8(::GetACP() == CP_UTF8), m_bytes(kUnits * 3 + 8) {
        m_units.reserve(kUnits + 2);
    }

    // Adds one character read at the position given; false once a block
    // held a character without ANSI form.
    bool Put(uint32_t c, const Position& at) {
        if (m_units.empty()) m_blockStart = at;
        if (c >= 0x10000) {
            m_units.push_back(wchar_t(0xD800 + ((c - 0x10000) >> 10)));
            m_units.push_back(wchar_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            m_units.push_back(wchar_t(c));
        }
        return m_units.size() < kUnits || Flush();
    }

    bool Flush() {
        if (m_units.empty()) return true;
        const int length = Convert(m_units.data(), m_units.size());
        if (length < 0) {
            Locate();
            return false;
        }
        m_out.append(m_bytes.data(), static_cast<size_t>(length));
        m_units.clear();
        return true;
    }

    const DsiTextProblem& Problem() const { return m_problem; }

private:
    static const size_t kUnits = 1 << 15;

    // The converted length, or -1 when a character has no ANSI form.
    int Convert(const wchar_t* units, size_t count) {
        BOOL usedDefault = FALSE;
        const int length = ::WideCharToMultiByte(CP_ACP, m_utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, units,
                                                 static_cast<int>(count), m_bytes.data(),
                                                 static_cast<int>(m_bytes.size()), NULL,
                                                 m_utf8 ? NULL : &usedDefault);
        return length <= 0 || usedDefault ? -1 : length;
    }

    // The first character of the block without ANSI form, and where it is.
    void Locate() {
        Position at = m_blockStart;
        for (size_t i = 0; i < m_units.size();) {
            const size_t units = IsHighSurrogate(m_units[i]) && i + 1 < m_units.size() &&
                                         IsLowSurrogate(m_units[i + 1])
                                     ? 2
                                     : 1;
            const uint32_t c = units == 2 ? 0x10000 + ((uint32_t(m_units[i]) - 0xD800) << 10) +
                                                (uint32_t(m_units[i + 1]) - 0xDC00)
                                          : uint32_t(m_units[i]);
            if (Convert(&m_units[i], units) < 0) {
                m_problem.line = at.line;
                m_problem.column = at.column;
                m_problem.character = c;
                return;
            }
            at.Advance(c);
            i += units;
        }
    }

    std::string& m_out;
    const bool m_utf8;
    std::vector<char> m_bytes;
    std::vector<wchar_t> m_units;
    Position m_blockStart;
    DsiTextProblem m_problem;
};


DsiEncoding EncodingOf(const std::string& bytes, size_t* markSize) {
    static const struct {
        const char* mark;
        size_t size;
        DsiEncoding encoding;
    } kMarks[] = {{"\xEF\xBB\xBF", 3, DsiEncoding::Utf8},
                  {"\xFF\xFE", 2, DsiEncoding::Utf16Le},
                  {"\xFE\xFF", 2, DsiEncoding::Utf16Be}};
    for (const auto& m : kMarks) {
        if (bytes.compare(0, m.size, m.mark, m.size) == 0) {
            *markSize = m.size;
            return m.encoding;
        }
    }
    *markSize = 0;
    return DsiEncoding::Ansi;
}

// Reads until `ask` bytes are in or the file ends; *got says how many came.
DWORD ReadFull(HANDLE file, char* into, size_t ask, size_t* got) {
    *got = 0;
    while (*got < ask) {
        const size_t left = ask - *got;
        const DWORD part = left < kChunk ? static_cast<DWORD>(left) : kChunk;
        DWORD read = 0;
        if (!::ReadFile(file, into + *got, part, &read, NULL)) return LastErrorOr(ERROR_READ_FAULT);
        if (read == 0) break;  // the end, or the file shrank while being read
        *got += read;
    }
    return 0;
}

// Text of one encoding in the program's code page, fed a block at a time, so
// that a file is never held twice, let alone as UTF-16 besides.
class TextDecoder {
public:
    TextDecoder(DsiEncoding encoding, UINT page, std::string& text)
        : m_encoding(encoding), m_page(page), m_converter(text) {}

    // Converts what the block holds of whole characters; *used says how many
    // bytes, the rest going before the next block. `last`: no block follows.
    DWORD Feed(const unsigned char* p, size_t size, bool last, size_t* used, DsiTextProblem* problem) {
        *used = 0;
        switch (m_encoding) {
        case DsiEncoding::Utf8: return FeedUtf8(p, size, last, used, problem);
        case DsiEncoding::Utf16Le:
        case DsiEncoding::Utf16Be: return FeedUtf16(p, size, last, used, problem);
        default: return FeedCodePage(p, size, last, used, problem);
        }
    }

    DWORD Finish(DsiTextProblem* problem) {
        if (m_converter.Flush()) return 0;
        *problem = m_converter.Problem();
        return ERROR_NO_UNICODE_TRANSLATION;
    }

private:
    // Up to a character's longest form may be cut by a block's end.
    DWORD FeedUtf8(const unsigned char* p, size_t size, bool last, size_t* used, DsiTextProblem* problem) {
        size_t done = 0;
        while (done < size && (last || size - done >= 4)) {
            uint32_t c = 0;
            if (!NextUtf8(p, size, &done, &c)) {
                // A character without ANSI form before it is the first problem.
                *problem = m_converter.Flush() ? DsiTextProblem{m_at.line, m_at.column, 0, true} : m_converter.Problem();
                return ERROR_NO_UNICODE_TRANSLATION;
            }
            if (!Put(c, problem)) return ERROR_NO_UNICODE_TRANSLATION;
        }
        *used = done;
        return 0;
    }

    DWORD FeedUtf16(const unsigned char* p, size_t size, bool last, size_t* used, DsiTextProblem* problem) {
        const size_t units = size / 2;
        size_t done = 0;
        while (done < units && (last || units - done >= 2)) {
            if (!Put(NextUtf16(p, units, m_encoding == DsiEncoding::Utf16Be, &done), problem))
                return ERROR_NO_UNICODE_TRANSLATION;
        }
        *used = 2 * done;
        if (last && size % 2 != 0) {
            // A last byte alone is half a character.
            if (Finish(problem) != 0) return ERROR_NO_UNICODE_TRANSLATION;
            *problem = DsiTextProblem{m_at.line, m_at.column, 0, true};
            return ERROR_NO_UNICODE_TRANSLATION;
        }
        return 0;
    }

    // The system's code page, carried into the program's own.
    DWORD FeedCodePage(const unsigned char* p, size_t size, bool last, size_t* used, DsiTextProblem* problem) {
        size_t whole = size;
        if (!last) {
            // A lead byte at the end waits for its second byte.
            size_t i = 0;
            while (i < size) i += ::IsDBCSLeadByteEx(m_page, p[i]) ? 2 : 1;
            if (i > size) whole = size - 1;
        }
        *used = whole;
        if (whole == 0) return 0;
        const int length = static_cast<int>(whole);
        const char* bytes = reinterpret_cast<const char*>(p);
        const int units = ::MultiByteToWideChar(m_page, MB_ERR_INVALID_CHARS, bytes, length, NULL, 0);
        if (units <= 0) {
            *problem = DsiTextProblem{1, 1, 0, true};
            return ERROR_NO_UNICODE_TRANSLATION;
        }
        m_wide.resize(static_cast<size_t>(units));
        ::MultiByteToWideChar(m_page, MB_ERR_INVALID_CHARS, bytes, length, m_wide.data(), units);
        const unsigned char* wide = reinterpret_cast<const unsigned char*>(m_wide.data());
        for (size_t i = 0; i < m_wide.size();)
            if (!Put(NextUtf16(wide, m_wide.size(), false, &i), problem)) return ERROR_NO_UNICODE_TRANSLATION;
        return 0;
    }

    bool Put(uint32_t c, DsiTextProblem* problem) {
        if (!m_converter.Put(c, m_at)) {
            *problem = m_converter.Problem();
            return false;
        }
        m_at.Advance(c);
        return true;
    }

    const DsiEncoding m_encoding;
    const UINT m_page;
    AnsiConverter m_converter;
    Position m_at;
    std::vector<wchar_t> m_wide;
};

// The folder a file goes into, as a temporary file beside it needs it.
std::wstring FolderOf(const char* path) {
    std::string directory(path);
    const size_t slash = directory.find_last_of("\\/");
    if (slash == std::string::npos) {
        directory = ".";
    } else if (slash == 0 || (slash == 2 && directory[1] == ':')) {
        directory.resize(slash + 1);  // the root keeps its separator
    } else {
        directory.resize(slash);
    }
    return WideText(directory);
}

// A new file in the folder, so that the final rename never crosses volumes.
// Wide: a path of 259 characters takes up to three bytes a character in
// UTF-8, more than the ANSI call's buffer of MAX_PATH bytes holds.
DWORD NewTemporary(const std::wstring& folder, std::wstring* name, FileHandle& file, DWORD access = GENERIC_WRITE) {
    wchar_t temporary[MAX_PATH];
    if (::GetTempFileNameW(folder.c_str(), L"zdi", 0, temporary) == 0) return LastErrorOr(ERROR_CANNOT_MAKE);
    file.Attach(::CreateFileW(temporary, access, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!file.Valid()) {
        const DWORD code = LastErrorOr(ERROR_OPEN_FAILED);
        ::DeleteFileW(temporary);
        return code;
    }
    *name = temporary;
    return 0;
}

// A writer's temporary file is named for the run that writes it,
// "zdi<process>-<start>-<n>.tmp" in hex, the start time telling a process
// identifier used again from the process that named the file.
unsigned long long StartOf(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return ((unsigned long long)created.dwHighDateTime << 32) | created.dwLowDateTime;
}

std::wstring RunTemporaryName(unsigned long process, unsigned long long started, unsigned long n) {
    wchar_t name[64];
    swprintf(name, sizeof(name) / sizeof(name[0]), L"zdi%lx-%llx-%lx.tmp", process, started, n);
    return name;
}

// The run a name of that form names; false for any other name.
bool NamedRun(const std::wstring& name, unsigned long* process, unsigned long long* started) {
    unsigned long n = 0;
    if (swscanf(name.c_str(), L"zdi%lx-%llx-%lx.tmp", process, started, &n) != 3) return false;
    return RunTemporaryName(*process, *started, n) == name;
}

// Whether the run has surely ended: a process that cannot be looked at may live.
bool RunEnded(unsigned long process, unsigned long long started) {
    FileHandle handle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process));
    if (handle.Get() == NULL) {
        handle.Detach();
        return ::GetLastError() == ERROR_INVALID_PARAMETER;
    }
    DWORD exitCode = 0;
    return !::GetExitCodeProcess(handle.Get(), &exitCode) || exitCode != STILL_ACTIVE ||
           StartOf(handle.Get()) != started;
}

// A new file of this run's in the folder, never over another.
DWORD NewRunTemporary(const std::wstring& folder, std::wstring* name, FileHandle& file, DWORD access) {
    static volatile LONG counter = 0;
    static const unsigned long long started = StartOf(::GetCurrentProcess());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring path =
            folder + L"\\" +
            RunTemporaryName(::GetCurrentProcessId(), started, (unsigned long)::InterlockedIncrement(&counter));
        file.Attach(::CreateFileW(path.c_str(), access, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL));
        if (file.Valid()) {
            *name = path;
            return 0;
        }
        const DWORD code = LastErrorOr(ERROR_OPEN_FAILED);
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) return code;
    }
    return ERROR_FILE_EXISTS;
}

DWORD WriteAll(HANDLE file, const char* bytes, size_t size) {
    std::string changed;
    if (FileWriteChangeSet() != nullptr && size != 0) {
        changed.assign(bytes, size);
        FileWriteChangeSet()(&changed[0], size);
        bytes = changed.data();
    }
    for (size_t done = 0; done < size;) {
        const size_t left = size - done;
        const DWORD ask = left < kChunk ? static_cast<DWORD>(left) : kChunk;
        DWORD written = 0;
        if (!::WriteFile(file, bytes + done, ask, &written, NULL)) return LastErrorOr(ERROR_WRITE_FAULT);
        if (written == 0) return ERROR_WRITE_FAULT;
        done += written;
    }
    return 0;
}

const char* EncodingName(DsiEncoding encoding) {
    switch (encoding) {
        case DsiEncoding::Utf8: return "UTF-8";
        case DsiEncoding::Utf16Le: return "UTF-16 (little-endian)";
        case DsiEncoding::Utf16Be: return "UTF-16 (big-endian)";
        default: return "ANSI";
    }
}

}  // namespace

std::string DescribeDsiTextProblem(const DsiTextProblem& problem, DsiEncoding encoding) {
    char text[200];
    if (problem.malformed) {
        snprintf(text, sizeof(text), "Line %lu, character %lu: the bytes there are no %s text.", problem.line,
                 problem.column, EncodingName(encoding));
    } else {
        snprintf(text, sizeof(text), "Line %lu, character %lu: U+%04lX has no form in the ANSI code page (%u).",
                 problem.line, problem.column, problem.character, ::GetACP());
    }
    return text;
}

UINT DsiAnsiCodePage() {
    // Not GetACP(): under the program's UTF-8 code page that is 65001, while
    // files without a mark are those of programs using the system's own.
    char number[8] = "";
    const UINT fallback = ::GetACP() == CP_UTF8 ? 1252 : ::GetACP();
    if (::GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, number, sizeof(number)) <= 0)
        return fallback;
    const UINT page = static_cast<UINT>(strtoul(number, nullptr, 10));
    return page == 0 || page == CP_UTF8 ? fallback : page;
}

DWORD ReadDsiText(const char* path, std::string& text, DsiEncoding* encoding, DsiTextProblem* problem) {
    text.clear();
    *encoding = DsiEncoding::Ansi;
    FileHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL));
    if (!file.Valid()) return LastErrorOr(ERROR_OPEN_FAILED);
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.Get(), &size)) return LastErrorOr(ERROR_READ_FAULT);
    if (static_cast<unsigned long long>(size.QuadPart) >= text.max_size()) return ERROR_NOT_ENOUGH_MEMORY;
    const size_t total = static_cast<size_t>(size.QuadPart);

    // Room for a block and the few bytes of a character the last one cut.
    const size_t kCarried = 8;
    std::vector<char> block(kChunk + kCarried);
    size_t held = 0;
    DWORD code = ReadFull(file.Get(), block.data(), total < 3 ? total : 3, &held);
    if (code != 0) return code;
    size_t markSize = 0;
    *encoding = EncodingOf(std::string(block.data(), held), &markSize);
    const UINT page = DsiAnsiCodePage();
    if (*encoding == DsiEncoding::Ansi && page == ::GetACP()) {
        // The bytes are the text: read straight into it.
        text.resize(total);
        std::memcpy(&text[0], block.data(), held);
        size_t got = 0;
        code = ReadFull(file.Get(), &text[held], total - held, &got);
        if (code != 0) {
            text.clear();
            return code;
        }
        text.resize(held + got);
        return 0;
    }
    // Most files are ASCII: one byte of text a byte, or a unit, of the file.
    text.reserve(*encoding == DsiEncoding::Utf16Le || *encoding == DsiEncoding::Utf16Be ? total / 2 : total);
    TextDecoder decoder(*encoding, page, text);
    held -= markSize;
    std::memmove(block.data(), block.data() + markSize, held);
    for (;;) {
        size_t got = 0;
        code = ReadFull(file.Get(), block.data() + held, kChunk, &got);
        if (code != 0) return code;
        held += got;
        const bool last = got < kChunk;
        size_t used = 0;
        code = decoder.Feed(reinterpret_cast<const unsigned char*>(block.data()), held, last, &used, problem);
        if (code != 0) return code;
        if (last) break;
        std::memmove(block.data(), block.data() + used, held - used);
        held -= used;
    }
    return decoder.Finish(problem);
}

DWORD EncodeDsiText(std::string&& text, DsiEncoding* encoding, std::string& bytes) {
    const UINT page = DsiAnsiCodePage();
    if (*encoding == DsiEncoding::Ansi && page == ::GetACP()) {
        bytes = std::move(text);
        return 0;
    }
    bytes.clear();
    std::vector<wchar_t> wide;
    if (!text.empty()) {
        if (text.size() > 0x7FFFFFFF) return ERROR_NOT_ENOUGH_MEMORY;
        const int length = static_cast<int>(text.size());
        const int units = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), length, NULL, 0);
        if (units <= 0) return ERROR_NO_UNICODE_TRANSLATION;
        wide.resize(static_cast<size_t>(units));
        ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(), units);
    }
    std::string().swap(text);
    if (*encoding == DsiEncoding::Ansi) {
        // Older readers get the system's code page when every character has
        // an exact form there; anything else would be squeezed into a
        // look-alike or '?', so the whole file is UTF-16 instead.
        if (wide.empty()) return 0;
        BOOL usedDefault = FALSE;
        const int size = static_cast<int>(wide.size());
        const int length = ::WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, wide.data(), size, NULL, 0, NULL,
                                                 &usedDefault);
        if (length > 0 && !usedDefault) {
            bytes.resize(static_cast<size_t>(length));
            ::WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, wide.data(), size, &bytes[0], length, NULL,
                                  &usedDefault);
            if (!usedDefault) return 0;
        }
        bytes.clear();
        *encoding = DsiEncoding::Utf16Le;
    }
    const DsiEncoding encodingUsed = *encoding;
    if (encodingUsed == DsiEncoding::Utf8) {
        bytes = "\xEF\xBB\xBF";
        if (!wide.empty()) {
            const int length =
                ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), NULL, 0, NULL, NULL);
            if (length <= 0) return ERROR_NO_UNICODE_TRANSLATION;
            bytes.resize(3 + static_cast<size_t>(length));
            ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &bytes[3], length, NULL,
                                  NULL);
        }
        return 0;
    }
    const bool bigEndian = encodingUsed == DsiEncoding::Utf16Be;
    bytes.reserve(2 + 2 * wide.size());
    bytes += bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t unit : wide) {
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>((unit >> 8) & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return 0;
}

bool DsiPathTooLong(const char* path) { return Utf16Units(path) > kMaxDsiPath; }

bool DsiFileExists(const char* path) {
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

DWORD ReadWholeDsiFile(const char* path, std::string& bytes) {
    bytes.clear();
    FileHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL));
    if (!file.Valid()) return LastErrorOr(ERROR_OPEN_FAILED);
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.Get(), &size)) return LastErrorOr(ERROR_READ_FAULT);
    if (static_cast<unsigned long long>(size.QuadPart) >= bytes.max_size()) return ERROR_NOT_ENOUGH_MEMORY;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t left = bytes.size() - done;
        const DWORD ask = left < kChunk ? static_cast<DWORD>(left) : kChunk;
        DWORD got = 0;
        if (!::ReadFile(file.Get(), &bytes[done], ask, &got, NULL)) return LastErrorOr(ERROR_READ_FAULT);
        if (got == 0) break;  // the file shrank while being read
        done += got;
    }
    bytes.resize(done);
    return 0;
}

DWORD ReplaceDsiFile(const char* path, const std::string& bytes) {
    std::wstring temporary;
    FileHandle file;
    DWORD code = NewTemporary(FolderOf(path), &temporary, file);
    if (code != 0) return code;
    code = WriteAll(file.Get(), bytes.data(), bytes.size());
    if (code == 0 && !::FlushFileBuffers(file.Get())) code = LastErrorOr(ERROR_WRITE_FAULT);
    if (!file.Close() && code == 0) code = LastErrorOr(ERROR_WRITE_FAULT);
    const std::wstring target = WideText(path);
    const DWORD move = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (code == 0 && !::MoveFileExW(temporary.c_str(), target.c_str(), move)) code = LastErrorOr(ERROR_WRITE_FAULT);
    if (code != 0) ::DeleteFileW(temporary.c_str());
    return code;
}

void RemoveEndedRunsFiles(const std::string& folder) {
    const std::wstring wide = WideText(folder);
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((wide + L"\\zdi*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        unsigned long process = 0;
        unsigned long long started = 0;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            NamedRun(found.cFileName, &process, &started) && RunEnded(process, started))
            ::DeleteFileW((wide + L"\\" + found.cFileName).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

DsiFileWriter::DsiFileWriter(const std::string& folder) : m_folder(WideText(folder)) {}

DsiFileWriter::~DsiFileWriter() {
    m_file.Close();
    if (!m_temporary.empty()) ::DeleteFileW(m_temporary.c_str());
}

DWORD DsiFileWriter::Write(const char* bytes, size_t size) {
    m_digest.Add(bytes, size);
    m_size += size;
    return WriteAll(m_file.Get(), bytes, size);
}

DWORD DsiFileWriter::Append(std::string text, std::string* readBack) {
    DWORD code = m_file.Valid() ? 0 : NewRunTemporary(m_folder, &m_temporary, m_file, GENERIC_READ | GENERIC_WRITE);
    DsiEncoding encoding = m_encoding;
    std::string bytes;
    if (code == 0) code = EncodeDsiText(std::move(text), &encoding, bytes);
    // Text the system's code page cannot hold turns the whole file UTF-16.
    if (code == 0 && encoding != m_encoding) code = ToUtf16();
    if (code != 0) return code;
    // Each piece of UTF-16 comes with its mark, which the file holds once.
    const size_t mark = m_encoding == DsiEncoding::Ansi || bytes.empty() ? 0 : 2;
    if (readBack != nullptr) {
        readBack->clear();
        TextDecoder decoder(m_encoding, DsiAnsiCodePage(), *readBack);
        size_t used = 0;
        DsiTextProblem problem;
        code = decoder.Feed(reinterpret_cast<const unsigned char*>(bytes.data()) + mark, bytes.size() - mark, true,
                            &used, &problem);
        if (code == 0) code = decoder.Finish(&problem);
        if (code != 0) return code;
    }
    const size_t from = m_size == 0 ? 0 : mark;
    return Write(bytes.data() + from, bytes.size() - from);
}

DWORD DsiFileWriter::ToUtf16() {
    // What is written so far, read back a block at a time into a new file.
    FileHandle ansi(m_file.Detach());
    const std::wstring ansiName = m_temporary;
    DWORD code = NewRunTemporary(m_folder, &m_temporary, m_file, GENERIC_READ | GENERIC_WRITE);
    if (code != 0) {
        m_temporary = ansiName;
        m_file.Attach(ansi.Detach());
        return code;
    }
    m_encoding = DsiEncoding::Utf16Le;
    m_digest = Sha256();
    m_size = 0;
    code = Write("\xFF\xFE", 2);
    if (code == 0 && ::SetFilePointer(ansi.Get(), 0, NULL, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        code = LastErrorOr(ERROR_READ_FAULT);
    std::string text, bytes;
    TextDecoder decoder(DsiEncoding::Ansi, DsiAnsiCodePage(), text);
    std::vector<char> block(kChunk + 2);
    size_t held = 0;
    for (bool last = false; code == 0 && !last;) {
        size_t got = 0, used = 0;
        DsiTextProblem problem;
        code = ReadFull(ansi.Get(), block.data() + held, kChunk, &got);
        held += got;
        last = got < kChunk;
        if (code == 0)
            code = decoder.Feed(reinterpret_cast<const unsigned char*>(block.data()), held, last, &used, &problem);
        if (code == 0 && last) code = decoder.Finish(&problem);
        DsiEncoding wide = DsiEncoding::Utf16Le;
        if (code == 0) code = EncodeDsiText(std::move(text), &wide, bytes);
        text.clear();
        if (code == 0 && bytes.size() > 2) code = Write(bytes.data() + 2, bytes.size() - 2);
        std::memmove(block.data(), block.data() + used, held - used);
        held -= used;
    }
    ansi.Close();
    ::DeleteFileW(ansiName.c_str());
    return code;
}

DWORD DsiFileWriter::Place(const std::string& path) {
    // Tried again under another name, it is already closed.
    DWORD code = m_file.Valid() || !m_temporary.empty()
                     ? 0
                     : NewRunTemporary(m_folder, &m_temporary, m_file, GENERIC_READ | GENERIC_WRITE);
    if (code == 0 && m_file.Valid() && !::FlushFileBuffers(m_file.Get())) code = LastErrorOr(ERROR_WRITE_FAULT);
    if (!m_file.Close() && code == 0) code = LastErrorOr(ERROR_WRITE_FAULT);
    if (code != 0) return code;
    const std::wstring target = WideText(path);
    if (!::MoveFileExW(m_temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        code = LastErrorOr(ERROR_WRITE_FAULT);
        return code == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : code;
    }
    m_temporary.clear();
    // What reached the disk, block by block against what was written.
    FileHandle file(::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL));
    if (!file.Valid()) return LastErrorOr(ERROR_OPEN_FAILED);
    // Small blocks: the bytes pass once, and the file may be large.
    const size_t kBlock = 64 * 1024;
    Sha256 digest;
    std::vector<char> block(kBlock);
    unsigned long long size = 0;
    for (size_t got = kBlock; got == kBlock;) {
        code = ReadFull(file.Get(), block.data(), kBlock, &got);
        if (code != 0) return code;
        digest.Add(block.data(), got);
        size += got;
    }
    if (size == m_size && digest.Finish() == m_digest.Finish()) return 0;
    // Left in place it would pass for a backup, and push a sound one out.
    file.Close();
    ::DeleteFileW(target.c_str());
    return ERROR_FILE_CORRUPT;
}

}  // namespace zentrel
