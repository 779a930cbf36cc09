// UTF-8 and UTF-16 without the platform: counting, strict decoding, safe
// cuts and an escaped form for names that cannot be carried. Portable.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace zentrel {

// The next character of UTF-8 text at *at; false at bytes that are no UTF-8
// (overlong forms, surrogates and values past U+10FFFF included), *at kept.
bool NextUtf8(const unsigned char* p, size_t size, size_t* at, uint32_t* c);

// The UTF-16 units the registry counts for a name: a character beyond the
// Basic Multilingual Plane takes two, a byte that is no UTF-8 one.
size_t Utf16Units(const std::string& text);

// The longest prefix of at most `bytes` bytes that ends between characters.
size_t Utf8CutPoint(const std::string& text, size_t bytes);

// UTF-16 units as UTF-8 text for a message: an unpaired surrogate, the one
// thing UTF-8 cannot hold, shows as \uXXXX; with asciiOnly (text bound for
// a code page that may lack them) so does every unit beyond ASCII.
std::string EscapedUtf16(const uint16_t* units, size_t count, bool asciiOnly);

}  // namespace zentrel
