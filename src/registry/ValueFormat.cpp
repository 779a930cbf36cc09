#include "registry/ValueFormat.h"

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
        static const char kHex[] = "0123456789ABCDEF";
        out.typeText = "REG_BINARY";
        const size_t shown = size < kMaxBinaryShown ? size : kMaxBinaryShown;
        out.valueText.reserve(shown * 2 + 3);
        for (size_t i = 0; i < shown; ++i) {
            out.valueText += kHex[data[i] >> 4];
            out.valueText += kHex[data[i] & 0x0F];
        }
        if (size > kMaxBinaryShown) out.valueText += "...";
        return out;
    }

    // Data from the registry need not be terminated; stop at the size either way.
    out.typeText = "REG_SZ";
    size_t length = 0;
    while (length < size && data[length] != 0) ++length;
    if (length) out.valueText.assign(reinterpret_cast<const char*>(data), length);
    return out;
}

}  // namespace zentrel
