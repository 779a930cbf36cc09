#include "core/ValueFormat.h"

#include <cstdio>

namespace zentrel {
namespace {

const size_t kMaxBinaryShown = 32;

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

FormattedValue FormatRegistryValue(int32_t type, const unsigned char* data, size_t size) {
    FormattedValue out{std::string(), std::string(), 0};
    if (!data) size = 0;

    if (type == kRegDword) {
        out.typeText = "REG_DWORD";
        out.dwordValue = LittleEndian32(data, size);
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "0x%08X (%d)", static_cast<unsigned>(out.dwordValue),
                      static_cast<int>(AsSigned(out.dwordValue)));
        out.valueText = buffer;
        return out;
    }

    if (type == kRegBinary) {
        out.typeText = "REG_BINARY";
        out.valueText = HexText(data, size < kMaxBinaryShown ? size : kMaxBinaryShown);
        if (size > kMaxBinaryShown) out.valueText += "...";
        return out;
    }

    out.typeText = "REG_SZ";
    out.valueText = TextUpToZero(data, size);
    return out;
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

bool SameAsciiIgnoringCase(const std::string& a, const std::string& b) {
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
