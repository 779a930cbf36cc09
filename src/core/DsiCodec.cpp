#include "core/DsiCodec.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/ValueFormat.h"  // type codes and dword reading

namespace zentrel {
namespace {

// Locale-independent, so a file reads the same on every machine.
bool IsCBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string DsiIndexedName(const char* pattern, int index) {
    // Import asks for four such names a row: no format parsing for them.
    const char* at = std::strstr(pattern, "%d");
    if (at == nullptr) return pattern;
    return std::string(pattern, at) + std::to_string(index) + (at + 2);
}

int DsiSourceSectionIndex(const std::string& name) {
    size_t begin = 0, end = name.size();
    while (begin < end && IsCBlank(name[begin])) ++begin;
    while (end > begin && IsCBlank(name[end - 1])) --end;
    if (end - begin < 4) return -1;
    const char* p = name.data() + begin;
    if ((p[0] | 0x20) != 'd' || (p[1] | 0x20) != 's' || (p[2] | 0x20) != 'n') return -1;
    size_t digits = begin + 3;
    if (name[digits] == '#') ++digits;
    const size_t count = end - digits;
    if (count == 0 || count > 10 || (count > 1 && name[digits] == '0')) return -1;
    long long index = 0;
    for (size_t i = digits; i < end; ++i) {
        if (name[i] < '0' || name[i] > '9') return -1;
        index = index * 10 + (name[i] - '0');
    }
    return index <= INT32_MAX ? static_cast<int>(index) : -1;
}

bool IsDsiSourceSection(const std::string& name) { return DsiSourceSectionIndex(name) >= 0; }

int32_t LeadingDecimal(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (IsCBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    // Unsigned arithmetic wraps modulo 2^32 by definition, so any number of
    // digits is safe and the result equals the 64-bit value truncated.
    uint32_t value = 0;
    while (*p >= '0' && *p <= '9') value = value * 10u + static_cast<uint32_t>(*p++ - '0');
    if (negative) value = 0u - value;
    return AsSigned(value);
}

DsiCount ParseDsiCount(const std::string& text, int* count) {
    *count = 0;
    size_t p = 0;
    while (p < text.size() && IsCBlank(text[p])) ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
    if (p >= text.size() || text[p] < '0' || text[p] > '9') return DsiCount::NotANumber;
    // Saturates instead of wrapping: 4294967297 must not read as 1.
    long long value = 0;
    for (; p < text.size() && text[p] >= '0' && text[p] <= '9'; ++p) {
        if (value <= INT32_MAX) value = value * 10 + (text[p] - '0');
    }
    if (negative && value != 0) return DsiCount::Negative;
    if (value > INT32_MAX) return DsiCount::TooLarge;
    *count = static_cast<int>(value);
    return DsiCount::Ok;
}

std::string EncodeDsiValue(int32_t typeCode, const unsigned char* data, size_t size) {
    if (!data) size = 0;
    if (typeCode == kSubkeyRow) return "<SUBKEY>";
    if (typeCode == kRegDword) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(AsSigned(LittleEndian32(data, size))));
        return buffer;
    }
    // Never shortened: the file must carry every byte back to the registry.
    if (typeCode == kRegBinary) return DsiHex(data, size);
    return TextUpToZero(data, size);
}

std::string DsiHex(const unsigned char* data, size_t size) { return HexText(data, size); }

bool DsiValueTextCarriesData(int32_t typeCode, const unsigned char* data, size_t size) {
    if (!data) size = 0;
    if (typeCode == kRegBinary) return true;
    if (typeCode == kRegDword) return size == 4;
    // Import reads -1 with "<SUBKEY>" as a nested key's row.
    if (typeCode == kSubkeyRow) return false;
    // Text types come back as the text up to the first zero, then one zero
    // (two for a multi-string).
    const size_t zeros = typeCode == kRegMultiSz ? 2 : 1;
    if (size < zeros) return false;
    for (size_t i = 0; i < zeros; ++i)
        if (data[size - 1 - i] != 0) return false;
    for (size_t i = 0; i + zeros < size; ++i)
        if (data[i] == 0) return false;
    return true;
}

bool DecodeDsiRowData(int32_t typeCode, std::string_view value, bool hasData, std::string_view dataHex,
                      std::vector<unsigned char>& data, std::string* problem) {
    data.clear();
    size_t bad = 0;
    if (hasData) {
        // Written by export itself: every byte, nothing marked as cut.
        if (dataHex.size() % 2 != 0 || (!DecodeDsiBinary(dataHex, data, &bad) || data.size() * 2 != dataHex.size())) {
            if (problem) *problem = "its Data text is not two hexadecimal digits per byte";
            data.clear();
            return false;
        }
        return true;
    }
    if (typeCode == kRegBinary) {
        if (!DecodeDsiBinary(value, data, &bad)) {
            if (problem) *problem = "character " + std::to_string(bad + 1) + " of its value is not a hexadecimal digit";
            return false;
        }
        return true;
    }
    if (typeCode == kRegDword) {
        const uint32_t number = static_cast<uint32_t>(LeadingDecimal(std::string(value).c_str()));
        for (int b = 0; b < 4; ++b) data.push_back(static_cast<unsigned char>(number >> (8 * b)));
        return true;
    }
    data = DsiTextToRegistryData(value, typeCode);
    return true;
}

bool DsiMultiStringDataIsUtf16(const std::vector<unsigned char>& data) {
    // A last character's zero high byte and two zero terminators; as UTF-8
    // that would be two empty strings at the end, which "a", "b", "" (a
    // value the registry may well hold) does not have.
    if (data.size() < 8 || data.size() % 2 != 0) return false;
    for (size_t i = data.size() - 4; i < data.size(); ++i)
        if (data[i] != 0) return false;
    size_t characters = 0;
    for (size_t i = 0; i < data.size(); i += 2) {
        if (data[i + 1] != 0) return false;
        if (data[i] != 0) ++characters;
    }
    return characters >= 2;
}

bool DecodeDsiBinary(std::string_view text, std::vector<unsigned char>& bytes, size_t* badIndex) {
    bytes.clear();
    size_t end = text.size();
    if (end >= 3 && text.compare(end - 3, 3, "...") == 0) end -= 3;
    const size_t pairs = end / 2;
    bytes.reserve(pairs);
    for (size_t i = 0; i < pairs; ++i) {
        const int high = HexDigit(text[2 * i]);
        const int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            if (badIndex) *badIndex = high < 0 ? 2 * i : 2 * i + 1;
            return false;
        }
        bytes.push_back(static_cast<unsigned char>(high * 16 + low));
    }
    return true;
}

std::vector<unsigned char> DsiTextToRegistryData(std::string_view text, int32_t typeCode) {
    std::vector<unsigned char> data;
    data.reserve(text.size() + 2);
    data.assign(text.begin(), text.end());
    data.push_back(0);
    if (typeCode == kRegMultiSz) data.push_back(0);
    return data;
}

}  // namespace zentrel
