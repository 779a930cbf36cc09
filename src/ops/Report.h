// The one formatter of the program's messages: a printf pattern (a string
// resource or a literal) with text and number arguments, never cut.
#pragma once
#include <cstdio>
#include <string>

namespace zentrel {

inline const char* FormatArg(const std::string& text) { return text.c_str(); }
template <class T>
T FormatArg(T value) {
    return value;
}

template <class... Args>
std::string FormatText(const std::string& pattern, const Args&... args) {
    const int length = std::snprintf(nullptr, 0, pattern.c_str(), FormatArg(args)...);
    if (length <= 0) return std::string();
    std::string out(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(&out[0], out.size(), pattern.c_str(), FormatArg(args)...);
    out.resize(static_cast<size_t>(length));
    return out;
}

}  // namespace zentrel
