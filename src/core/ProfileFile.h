// A profile (INI) file held in memory, with the platform's profile semantics,
// so that a DSI file is read once per import and written once per export.
// Portable: no <windows.h>.
#pragma once
#include <functional>
#include <string>
#include <string_view>

namespace zentrel {

class ProfileFile {
public:
    ProfileFile();
    ~ProfileFile();
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    // Replaces the content by the given file bytes (CR LF or LF line ends).
    // The bytes are kept as they are: lines refer into them, so a file costs
    // little more than its size, however many lines it has.
    void Parse(std::string&& bytes);
    void Parse(const std::string& bytes);
    // The file bytes: every line not written since Parse as it was, CR LF line ends.
    std::string Serialize() const;

    // Reads a key as the platform's profile reader does: section and key
    // compared without regard to case, blanks around the value dropped, one
    // pair of matching enclosing quotes removed, names and value ending at
    // their first zero byte. False when there is no such key.
    bool Get(const std::string& section, const std::string& key, std::string& value) const;
    // Get without a copy: the value as the file holds it, valid until the
    // file is changed or parsed anew. A large value then costs nothing more.
    bool GetView(const std::string& section, const std::string& key, std::string_view& value) const;
    // Get, or defaultValue when the key is missing.
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue) const;

    // Calls fn(name, value, hasValue) for every key line of the section Get
    // reads, in the file's order, later lines of a name too: name and value
    // as Get compares and returns them, hasValue false for a line without
    // '='. Views valid until the file is changed. False when there is no
    // such section. Reading a section's many keys so costs one pass.
    bool ForEachKey(const std::string& section,
                    const std::function<void(std::string_view name, std::string_view value, bool hasValue)>& fn) const;

    // Calls fn with the name of every section (trimmed, as the file spells
    // it), in the file's order.
    void ForEachSection(const std::function<void(const std::string&)>& fn) const;

    // Removes every section whose name (trimmed, as the file spells it) the
    // predicate accepts, with all its lines.
    void RemoveSections(const std::function<bool(const std::string&)>& remove);

    // Writes a key as the platform's profile writer does: replaces the key in
    // place, or appends it at the end of its section, creating the section at
    // the end of the file when needed. Every other line stays as it was.
    // A value that a reader would alter (surrounding blanks, enclosing quotes)
    // is written quoted so that Get returns it unchanged. Returns false, and
    // changes nothing, when the names or value cannot be held in a profile
    // file: a line break or zero byte anywhere, an empty section or key name,
    // or a key name that contains '=' or starts with ';' or '['.
    bool Set(const std::string& section, const std::string& key, const std::string& value);

    // Appends the comment line ";<text>" at the end of an existing section;
    // false, and nothing changed, for a text with a line break or zero byte
    // or a section the file does not hold.
    bool AddComment(const std::string& section, const std::string& text);
    // Calls fn with what follows the ';' of every comment line of the
    // section, in the file's order; false when there is no such section.
    bool ForEachComment(const std::string& section, const std::function<void(std::string_view text)>& fn) const;

private:
    struct Impl;
    Impl* m_impl;
};

}  // namespace zentrel
