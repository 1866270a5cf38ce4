#pragma once
// Private-profile (INI) files, read and written one key at a time the way
// offices' Windows tools expect them:
//  - section and key names match without regard to letter case;
//  - a write changes only its own line: other sections, keys, comments,
//    blank lines, line order and line endings stay as they are (a new file
//    gets CRLF line endings);
//  - values are texts, written unquoted and verbatim in the file's own
//    encoding, read with surrounding blanks removed; section and key names
//    are ASCII;
//  - files in the system's code page (GB18030), in UTF-8 with or without a
//    byte-order mark (gedit, vim and Windows 10 Notepad save it without
//    one: a file that is strictly valid UTF-8 and holds a byte above 0x7F
//    is taken as UTF-8), and in UTF-16 with a byte-order mark (what Windows
//    Notepad saves as "Unicode") are read; a write keeps the file's
//    encoding.  UTF-16 without a byte-order mark is refused with the
//    reason, neither read nor rewritten;
//  - lines may end in CRLF, LF or CR alone;
//  - every write reaches the disk before it returns, and replaces the file
//    atomically (platform/atomicfile.h: a temporary file in the same
//    folder, fsync, rename), so a crash or a full disk leaves either the
//    old file or the new one.  Atomic means per key, as with the Windows
//    functions: a save of six keys killed half-way leaves the first keys
//    new and the rest old, each line whole.  Temporaries left by killed
//    writers are removed by the next write.
//  - a write holds the settings file's own lock file ("<file>.lock",
//    flock) from reading the file to putting the new one in place, so that
//    two programs writing keys at once keep each other's keys.  Readers need
//    no lock: they see the old file or the new one.
// The file is opened afresh for every call; nothing is cached.
#include "platform/gbtext.h"

#include <QString>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vdmq {

// Settings files are a few hundred bytes; one over this size is not one,
// and is neither read nor rewritten.
inline constexpr qint64 kMaxProfileBytes = 1024 * 1024;

// The file cannot be taken as a settings file: it is neither read nor
// rewritten.  what() says why in the user's words, path() is the file's
// full path.
class EProfileUnreadable : public std::runtime_error {
public:
    EProfileUnreadable(const QString& path, const QString& message);
    const QString& path() const { return path_; }
private:
    QString path_;
};

// The file is over kMaxProfileBytes.
class EProfileTooLarge : public EProfileUnreadable {
public:
    explicit EProfileTooLarge(const QString& path);
};

// The file is UTF-16 without a byte-order mark: which byte order, and
// where its lines end, can only be guessed.
class EProfileUtf16WithoutBom : public EProfileUnreadable {
public:
    explicit EProfileUtf16WithoutBom(const QString& path);
};

// A write the system refused; what() names the file and the reason, path()
// is the file's full path.
class EProfileWriteError : public std::runtime_error {
public:
    EProfileWriteError(const QString& path, const QString& reason);
    const QString& path() const { return path_; }
private:
    QString path_;
};

// One reading of a profile file, for an operation that looks up several
// keys: the file is read and split into lines once, not once per key.
class TProfileSnapshot {
public:
    // Reads the file.  A missing or unreadable file gives an empty
    // snapshot; one that is no settings file throws EProfileUnreadable.
    static TProfileSnapshot Load(const QString& file);
    TProfileSnapshot();
    ~TProfileSnapshot();
    TProfileSnapshot(TProfileSnapshot&&) noexcept;
    TProfileSnapshot& operator=(TProfileSnapshot&&) noexcept;
    bool Exists() const;
    std::optional<QString> Read(std::string_view section, std::string_view key) const;
    QString Read(std::string_view section, std::string_view key, const QString& def) const;
private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// The value of `key` in `section`, or nullopt when the file, the section or
// the key does not exist (or the file cannot be read, or is no settings
// file).
std::optional<QString> ReadProfileString(const QString& file, std::string_view section, std::string_view key);

// Like ReadProfileString, with `def` for a missing value.
QString ReadProfileString(const QString& file, std::string_view section, std::string_view key, const QString& def);

// Sets `key` in `section` to `value`, creating the file, the section or the
// key as needed.  Line breaks inside `value` would start new lines in the
// file and are written as blanks.  Throws EProfileWriteError.
void WriteProfileString(const QString& file, std::string_view section, std::string_view key, const QString& value);

}  // namespace vdmq
