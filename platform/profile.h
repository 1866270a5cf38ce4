#pragma once
// Private-profile (INI) files, read and written one key at a time the way
// offices' Windows tools expect them:
//  - section and key names match without regard to letter case;
//  - a write changes only its own line: other sections, keys, comments,
//    blank lines, line order and line endings stay as they are (a new file
//    gets CRLF line endings);
//  - values are byte strings (GB18030, like every text of the system),
//    written unquoted and verbatim, read with surrounding blanks removed;
//  - every write reaches the disk before it returns, and replaces the file
//    atomically (a temporary file in the same folder, fsync, rename), so a
//    crash or a full disk leaves either the old file or the new one.
// The file is opened afresh for every call; nothing is cached.
#include <QString>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vdmq {

// A write the system refused; path() is the file's full path.
class EProfileWriteError : public std::runtime_error {
public:
    EProfileWriteError(const QString& path, const std::string& reason);
    const QString& path() const { return path_; }
private:
    QString path_;
};

// The value of `key` in `section`, or nullopt when the file, the section or
// the key does not exist (or the file cannot be read).
std::optional<std::string> ReadProfileString(const QString& file, std::string_view section,
                                             std::string_view key);

// Like ReadProfileString, with `def` for a missing value.
std::string ReadProfileString(const QString& file, std::string_view section,
                              std::string_view key, std::string_view def);

// Sets `key` in `section` to `value`, creating the file, the section or the
// key as needed.  Line breaks inside `value` would start new lines in the
// file and are written as blanks.  Throws EProfileWriteError.
void WriteProfileString(const QString& file, std::string_view section, std::string_view key,
                        std::string_view value);

}  // namespace vdmq
