#include "core/Platform.h"

#include "core/ValueFormat.h"

namespace zentrel {

const char* PlatformText(Platform platform) {
    switch (platform) {
    case Platform::Bit64:
        return "64-bit";
    case Platform::Bit32:
        return "32-bit";
    default:
        return "32/64-bit";
    }
}

bool ParsePlatformText(const std::string& text, Platform* platform) {
    size_t begin = 0, end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    const std::string word = AsciiLower(text.substr(begin, end - begin));
    if (word == "64-bit" || word == "64") {
        *platform = Platform::Bit64;
        return true;
    }
    if (word == "32-bit" || word == "32") {
        *platform = Platform::Bit32;
        return true;
    }
    return false;
}

std::string PlatformColumn(Platform platform, DriverCheck check) {
    std::string text = PlatformText(platform);
    switch (check) {
    case DriverCheck::Missing:
        return text + ", driver missing";
    case DriverCheck::Only64:
        return text + ", 64-bit driver only";
    case DriverCheck::Only32:
        return text + ", 32-bit driver only";
    default:
        return text;
    }
}

}  // namespace zentrel
