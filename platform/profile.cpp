#include "platform/profile.h"

#include "platform/gbtext.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vdmq {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

struct Line {
    std::string text;   // without its line ending
    std::string eol;    // "\r\n", "\n" or "" for a last line without one
};

struct Parsed {
    bool exists = false;
    bool utf8 = false;    // the file starts with a UTF-8 byte-order mark
    std::vector<Line> lines;
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// Position of the single-byte character `c`, never a trail byte of a
// multi-byte character (']' is a valid GBK trail byte).
std::size_t findChar(std::string_view s, char c)
{
    for (std::size_t i = 0; i < s.size(); i += gbCharLength(s, i))
        if (s[i] == c) return i;
    return std::string_view::npos;
}

// Names match without regard to the case of single-byte letters.
bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size();) {
        const std::size_t n = gbCharLength(a, i);
        if (n == 1) {
            char x = a[i], y = b[i];
            if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 0x20);
            if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 0x20);
            if (x != y) return false;
        } else if (a.compare(i, n, b.substr(i, n)) != 0) {
            return false;
        }
        i += n;
    }
    return true;
}

enum class Kind { Section, Key, Comment, Other };

struct Classified {
    Kind kind = Kind::Other;
    std::string_view name;    // section or key name
    std::string_view value;   // key value
};

Classified classify(std::string_view text)
{
    Classified c;
    const std::string_view t = trimBlanks(text);
    if (t.empty()) return c;
    if (t.front() == ';' || t.front() == '#') {
        c.kind = Kind::Comment;
        return c;
    }
    if (t.front() == '[') {
        std::string_view inner = t.substr(1);
        const std::size_t close = findChar(inner, ']');
        if (close != std::string_view::npos) inner = inner.substr(0, close);
        c.kind = Kind::Section;
        c.name = trimBlanks(inner);
        return c;
    }
    const std::size_t eq = findChar(t, '=');
    if (eq == std::string_view::npos) return c;
    c.kind = Kind::Key;
    c.name = trimBlanks(t.substr(0, eq));
    c.value = trimBlanks(t.substr(eq + 1));
    return c;
}

// Reads the whole file.  A missing file is an empty, non-existing profile;
// any other failure to read is reported through `ok`.
Parsed load(const QString& path, bool& ok)
{
    Parsed p;
    ok = true;
    // Open first and let the open say whether the file is there: a separate
    // existence test can disagree with the open while another process
    // replaces the file, and a "missing" answer would make the next write
    // start a new file and drop every other key.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        ok = errno == ENOENT;
        return p;
    }
    QFile f;
    if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        ok = false;
        return p;
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        ok = false;
        return p;
    }
    p.exists = true;
    std::string_view s(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (s.substr(0, kUtf8Bom.size()) == kUtf8Bom) p.utf8 = true;
    std::size_t start = 0;
    while (start < s.size()) {
        const std::size_t nl = s.find('\n', start);
        Line line;
        if (nl == std::string_view::npos) {
            line.text = std::string(s.substr(start));
            start = s.size();
        } else {
            std::size_t end = nl;
            if (end > start && s[end - 1] == '\r') {
                --end;
                line.eol = "\r\n";
            } else {
                line.eol = "\n";
            }
            line.text = std::string(s.substr(start, end - start));
            start = nl + 1;
        }
        p.lines.push_back(std::move(line));
    }
    return p;
}

// The first line of the text body, skipping the byte-order mark.
std::string_view body(const Parsed& p, std::size_t i)
{
    std::string_view t = p.lines[i].text;
    if (i == 0 && p.utf8) t.remove_prefix(kUtf8Bom.size());
    return t;
}

struct Located {
    std::ptrdiff_t section = -1;   // index of the section's header line
    std::ptrdiff_t key = -1;       // index of the key's line
    std::ptrdiff_t lastEntry = -1; // last non-blank, non-comment line of the section
};

Located locate(const Parsed& p, std::string_view section, std::string_view key)
{
    Located at;
    for (std::size_t i = 0; i < p.lines.size(); ++i) {
        const Classified c = classify(body(p, i));
        if (c.kind == Kind::Section) {
            if (at.section >= 0) break;   // the section ended; the first one counts
            if (sameName(c.name, section)) {
                at.section = static_cast<std::ptrdiff_t>(i);
                at.lastEntry = at.section;
            }
            continue;
        }
        if (at.section < 0) continue;
        if (c.kind == Kind::Key || c.kind == Kind::Other) {
            if (!trimBlanks(body(p, i)).empty()) at.lastEntry = static_cast<std::ptrdiff_t>(i);
        }
        if (c.kind == Kind::Key && at.key < 0 && sameName(c.name, key))
            at.key = static_cast<std::ptrdiff_t>(i);
    }
    return at;
}

std::string sysError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

// Writes `data` to a fresh file beside `target` and renames it over it.
void replaceAtomically(const QString& displayPath, const QByteArray& target, const std::string& data)
{
    struct stat old {};
    const bool hadOld = ::stat(target.constData(), &old) == 0;
    if (hadOld && S_ISDIR(old.st_mode))
        throw EProfileWriteError(displayPath, "is a folder");
    if (hadOld && ::access(target.constData(), W_OK) != 0)
        throw EProfileWriteError(displayPath, sysError("read-only"));

    QByteArray dir = target;
    const int slash = dir.lastIndexOf('/');
    dir = slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : dir.left(slash));

    int fd = -1;
    QByteArray temp;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + ".tmp" +
               QByteArray::number(QRandomGenerator::global()->generate() & 0xFFFFFF, 16);
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) throw EProfileWriteError(displayPath, sysError("create"));

    auto fail = [&](const char* what) {
        const std::string reason = sysError(what);
        if (fd >= 0) ::close(fd);
        ::unlink(temp.constData());
        throw EProfileWriteError(displayPath, reason);
    };
    if (hadOld) {
        // Keep the file's permissions (and owner, where allowed).
        if (::fchmod(fd, old.st_mode & 07777) != 0) fail("chmod");
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) { /* not ours to give: keep ours */ }
    }
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("write");
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) fail("fsync");
    const int fdClosed = fd;
    fd = -1;
    if (::close(fdClosed) != 0) fail("close");
    if (::rename(temp.constData(), target.constData()) != 0) fail("rename");
    // Make the rename itself durable.
    const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

}  // namespace

EProfileWriteError::EProfileWriteError(const QString& path, const std::string& reason)
    : std::runtime_error(toGb(path) + ": " + reason), path_(path)
{
}

std::optional<std::string> ReadProfileString(const QString& file, std::string_view section,
                                             std::string_view key)
{
    bool ok = false;
    const Parsed p = load(file, ok);
    if (!ok || !p.exists) return std::nullopt;
    std::string sec = p.utf8 ? utf8FromGb(section) : std::string(section);
    std::string k = p.utf8 ? utf8FromGb(key) : std::string(key);
    const Located at = locate(p, sec, k);
    if (at.key < 0) return std::nullopt;
    const std::string value(classify(body(p, static_cast<std::size_t>(at.key))).value);
    return p.utf8 ? gbFromUtf8(value) : value;
}

std::string ReadProfileString(const QString& file, std::string_view section,
                              std::string_view key, std::string_view def)
{
    auto v = ReadProfileString(file, section, key);
    return v ? *v : std::string(def);
}

void WriteProfileString(const QString& file, std::string_view section, std::string_view key,
                        std::string_view value)
{
    bool ok = false;
    Parsed p = load(file, ok);
    if (!ok) throw EProfileWriteError(file, "cannot read the existing file");

    std::string v(value);
    for (char& c : v)
        if (c == '\r' || c == '\n') c = ' ';
    std::string sec(section), k(key);
    if (p.utf8) {
        v = utf8FromGb(v);
        sec = utf8FromGb(sec);
        k = utf8FromGb(k);
    }

    // New lines take the file's own line ending; a new file gets CRLF.
    std::string eol = "\r\n";
    for (const Line& l : p.lines)
        if (!l.eol.empty()) {
            eol = l.eol;
            break;
        }

    const Located at = locate(p, sec, k);
    if (at.key >= 0) {
        Line& l = p.lines[static_cast<std::size_t>(at.key)];
        const std::string_view old = body(p, static_cast<std::size_t>(at.key));
        const std::size_t prefix = l.text.size() - old.size();   // the byte-order mark
        const Classified c = classify(old);
        l.text = l.text.substr(0, prefix) + std::string(c.name) + "=" + v;
    } else if (at.section >= 0) {
        const auto after = static_cast<std::size_t>(at.lastEntry);
        if (p.lines[after].eol.empty()) p.lines[after].eol = eol;
        p.lines.insert(p.lines.begin() + static_cast<std::ptrdiff_t>(after) + 1, Line{k + "=" + v, eol});
    } else {
        if (!p.lines.empty() && p.lines.back().eol.empty()) p.lines.back().eol = eol;
        p.lines.push_back(Line{"[" + sec + "]", eol});
        p.lines.push_back(Line{k + "=" + v, eol});
    }

    std::string data;
    for (const Line& l : p.lines) {
        data += l.text;
        data += l.eol;
    }

    // Write through a symbolic link to the file it names.
    QFileInfo info(file);
    QString target = info.absoluteFilePath();
    if (info.isSymLink()) {
        const QString resolved = info.symLinkTarget();
        if (!resolved.isEmpty()) target = resolved;
    }
    replaceAtomically(file, QFile::encodeName(target), data);
}

}  // namespace vdmq
