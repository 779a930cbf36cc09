#include "core/Utf.h"

#include <cstdio>

namespace zentrel {
namespace {

void PutUtf8(uint32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

bool NextUtf8(const unsigned char* p, size_t size, size_t* at, uint32_t* c) {
    const unsigned char lead = p[*at];
    if (lead < 0x80) {
        *c = lead;
        ++*at;
        return true;
    }
    // Lead bytes of 2, 3 and 4 bytes, the bits they carry, the least value
    // each length may hold.
    static const struct {
        unsigned char mask, lead, bits;
        uint32_t least;
    } kForms[] = {{0xE0, 0xC0, 0x1F, 0x80}, {0xF0, 0xE0, 0x0F, 0x800}, {0xF8, 0xF0, 0x07, 0x10000}};
    size_t length = 0;
    uint32_t value = 0, least = 0;
    for (size_t form = 0; form < 3 && length == 0; ++form) {
        if ((lead & kForms[form].mask) != kForms[form].lead) continue;
        length = form + 2;
        value = lead & kForms[form].bits;
        least = kForms[form].least;
    }
    if (length == 0 || size - *at < length) return false;
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = p[*at + i];
        if ((next & 0xC0) != 0x80) return false;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    *c = value;
    *at += length;
    return true;
}

size_t Utf16Units(const std::string& text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    size_t units = 0;
    for (size_t at = 0; at < text.size();) {
        uint32_t c = 0;
        if (NextUtf8(p, text.size(), &at, &c)) {
            units += c >= 0x10000 ? 2 : 1;
        } else {
            ++units;
            ++at;
        }
    }
    return units;
}

size_t Utf8CutPoint(const std::string& text, size_t bytes) {
    if (bytes >= text.size()) return text.size();
    // Back over continuation bytes to the start of the character cut.
    size_t at = bytes;
    while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80 && bytes - at < 3) --at;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    size_t end = at;
    uint32_t c = 0;
    // Only a well-formed character is kept whole; stray bytes cut anywhere.
    if (NextUtf8(p, text.size(), &end, &c) && end > bytes) return at;
    return bytes;
}

std::string EscapedUtf16(const uint16_t* units, size_t count, bool asciiOnly) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t u = units[i];
        if (!asciiOnly && u >= 0xD800 && u <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            PutUtf8(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00), out);
            ++i;
        } else if ((u >= 0xD800 && u <= 0xDFFF) || (asciiOnly && u >= 0x80)) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04X", static_cast<unsigned>(u));
            out += escaped;
        } else {
            PutUtf8(u, out);
        }
    }
    return out;
}

}  // namespace zentrel
