#include "core/ValueFormat.h"

#include <cstdio>

namespace zentrel {
namespace {

const size_t kMaxBinaryShown = 32;

uint64_t LittleEndian64(const unsigned char* data, size_t size) {
    uint64_t value = 0;
    for (size_t i = 0; i < size && i < 8; ++i) value |= static_cast<uint64_t>(data[i]) << (8 * i);
    return value;
}

long long AsSigned64(uint64_t value) {
    if (value <= 0x7FFFFFFFFFFFFFFFull) return static_cast<long long>(value);
    return -static_cast<long long>(~value) - 1;
}

bool IsTextType(int32_t type) { return type == kRegSz || type == kRegExpandSz; }
bool IsNumberType(int32_t type) { return type == kRegDword || type == kRegQword; }

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += separator;
        text += parts[i];
    }
    return text;
}

// The list's text of everything but bytes, which the callers show their way.
std::string NumberOrTextValue(int32_t type, const unsigned char* data, size_t size, uint32_t* dword) {
    char buffer[64];
    if (type == kRegDword) {
        const uint32_t value = LittleEndian32(data, size);
        if (dword) *dword = value;
        std::snprintf(buffer, sizeof buffer, "0x%08X (%d)", static_cast<unsigned>(value),
                      static_cast<int>(AsSigned(value)));
        return buffer;
    }
    if (type == kRegQword) {
        const uint64_t value = LittleEndian64(data, size);
        std::snprintf(buffer, sizeof buffer, "0x%016llX (%lld)", static_cast<unsigned long long>(value),
                      AsSigned64(value));
        return buffer;
    }
    if (type == kRegMultiSz) return Joined(MultiStrings(data, size), " | ");
    return TextUpToZero(data, size);
}

}  // namespace

uint32_t LittleEndian32(const unsigned char* data, size_t size) {
    uint32_t value = 0;
    for (size_t i = 0; i < size && i < 4; ++i) value |= static_cast<uint32_t>(data[i]) << (8 * i);
    return value;
}

int32_t AsSigned(uint32_t value) {
    if (value <= 0x7FFFFFFFu) return static_cast<int32_t>(value);
    return -static_cast<int32_t>(~value) - 1;
}

std::string HexText(const unsigned char* data, size_t size) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text(size * 2, '0');
    for (size_t i = 0; i < size; ++i) {
        text[2 * i] = kHex[data[i] >> 4];
        text[2 * i + 1] = kHex[data[i] & 0x0F];
    }
    return text;
}

std::string TextUpToZero(const unsigned char* data, size_t size) {
    size_t length = 0;
    while (length < size && data[length] != 0) ++length;
    return length == 0 ? std::string() : std::string(reinterpret_cast<const char*>(data), length);
}

std::string RegistryTypeName(int32_t type) {
    static const char* const kNames[] = {"REG_NONE",
                                         "REG_SZ",
                                         "REG_EXPAND_SZ",
                                         "REG_BINARY",
                                         "REG_DWORD",
                                         "REG_DWORD_BIG_ENDIAN",
                                         "REG_LINK",
                                         "REG_MULTI_SZ",
                                         "REG_RESOURCE_LIST",
                                         "REG_FULL_RESOURCE_DESCRIPTOR",
                                         "REG_RESOURCE_REQUIREMENTS_LIST",
                                         "REG_QWORD"};
    if (type >= 0 && static_cast<size_t>(type) < sizeof kNames / sizeof kNames[0]) return kNames[type];
    return std::to_string(static_cast<uint32_t>(type));
}

std::vector<std::string> MultiStrings(const unsigned char* data, size_t size) {
    std::vector<std::string> strings;
    if (!data) return strings;
    while (size > 0 && data[size - 1] == 0) --size;
    size_t start = 0;
    for (size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == 0) {
            if (size > 0) strings.emplace_back(reinterpret_cast<const char*>(data) + start, i - start);
            start = i + 1;
        }
    }
    return strings;
}

FormattedValue FormatRegistryValue(int32_t type, const unsigned char* data, size_t size) {
    FormattedValue out{std::string(), RegistryTypeName(type), 0};
    if (!data) size = 0;
    if (IsTextType(type) || IsNumberType(type) || type == kRegMultiSz) {
        out.valueText = NumberOrTextValue(type, data, size, &out.dwordValue);
        return out;
    }
    out.valueText = HexText(data, size < kMaxBinaryShown ? size : kMaxBinaryShown);
    if (size > kMaxBinaryShown) out.valueText += "...";
    return out;
}

std::string WholeValueText(int32_t type, const unsigned char* data, size_t size) {
    if (!data) size = 0;
    if (IsTextType(type) || IsNumberType(type) || type == kRegMultiSz)
        return NumberOrTextValue(type, data, size, nullptr);
    return HexText(data, size);
}

std::string ViewedValueText(int32_t type, const unsigned char* data, size_t size) {
    if (!data) size = 0;
    if (type == kRegMultiSz) return Joined(MultiStrings(data, size), "\r\n");
    if (IsTextType(type) || IsNumberType(type)) return NumberOrTextValue(type, data, size, nullptr);
    return HexDump(data, size);
}

std::string BreakLongRuns(const std::string& text, size_t run) {
    std::string out;
    size_t inRun = 0;
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        const bool continuation = (byte & 0xC0) == 0x80;
        if (byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r') {
            inRun = 0;
        } else if (!continuation) {
            if (run > 0 && inRun == run) {
                out += '\n';
                inRun = 0;
            }
            ++inRun;
        }
        out += c;
    }
    return out;
}

std::string HexDump(const unsigned char* data, size_t size) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    if (!data) return text;
    for (size_t line = 0; line < size; line += 16) {
        char offset[24];
        std::snprintf(offset, sizeof offset, "%08llX", static_cast<unsigned long long>(line));
        text += offset;
        std::string printable;
        for (size_t i = line; i < line + 16; ++i) {
            text += i % 8 == 0 ? "  " : " ";
            if (i < size) {
                text += kHex[data[i] >> 4];
                text += kHex[data[i] & 0x0F];
                printable += data[i] >= 0x20 && data[i] < 0x7F ? static_cast<char>(data[i]) : '.';
            } else {
                text += "  ";
            }
        }
        text += "  " + printable + "\r\n";
    }
    return text;
}

bool IsPlainAscii(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

std::string AsciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool SameAsciiIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

const char kLinkTargetValue[] = "SymbolicLinkValue";

bool IsLinkTargetValue(const std::string& valueName, int32_t type) {
    return type == kRegLink && SameAsciiIgnoringCase(valueName, kLinkTargetValue);
}

std::string EscapeControls(const std::string& text) {
    static const char kDigits[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    const auto escape = [&](unsigned char byte) {
        shown += "\\x";
        shown += kDigits[byte >> 4];
        shown += kDigits[byte & 15];
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        const unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (byte < 0x20 || byte == 0x7F) {
            escape(byte);
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            escape(byte);
            escape(next);
            ++i;
        } else {
            shown += static_cast<char>(byte);
        }
    }
    return shown;
}

}  // namespace zentrel
