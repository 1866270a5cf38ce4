#include "platform/profile.h"

#include "platform/atomicfile.h"
#include "platform/gbtext.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vdmq {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

struct Line {
    std::string text;  // without its line ending
    std::string eol;   // "\r\n", "\n", "\r" or "" for a last line without one
};

enum class Encoding { Ansi, Utf8, Utf8NoBom, Utf16LE, Utf16BE };

struct Parsed {
    bool exists = false;
    bool utf8 = false;                   // the text (below) is UTF-8
    bool bom = false;                    // its first line starts with the UTF-8 byte-order mark
    Encoding encoding = Encoding::Ansi;  // of the file on disk
    std::vector<Line> lines;
};

// Strictly valid UTF-8 (no overlong forms, no surrogates, nothing past
// U+10FFFF) with at least one byte above 0x7F.  GBK text is almost never
// that: its lead bytes 0x81-0xFE would need continuation bytes 0x80-0xBF
// after them in runs of exactly the right length.
bool isUtf8Text(std::string_view s)
{
    bool high = false;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        high = true;
        std::size_t n = 0;
        unsigned char lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            if (c == 0xE0)
                lo = 0xA0;  // overlong
            if (c == 0xED)
                hi = 0x9F;  // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            if (c == 0xF0)
                lo = 0x90;  // overlong
            if (c == 0xF4)
                hi = 0x8F;  // past U+10FFFF
        } else {
            return false;
        }
        if (i + n >= s.size())
            return false;
        for (std::size_t k = 1; k <= n; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if (k == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF))
                return false;
        }
        i += n + 1;
    }
    return high;
}

// UTF-16 without a byte-order mark: no text in the system's code page or in
// UTF-8 holds NUL bytes, while every ASCII character of UTF-16 brings one
// (the second byte of each pair in little-endian order, the first in
// big-endian).
bool looksLikeUtf16(std::string_view s)
{
    if (s.size() < 2 || s.size() % 2 != 0)
        return false;
    std::size_t even = 0, odd = 0;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s[i] == '\0')
            ++(i % 2 ? odd : even);
    const std::size_t pairs = s.size() / 2;
    return (odd * 4 >= pairs && even * 8 < odd) || (even * 4 >= pairs && odd * 8 < even);
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Position of the single-byte character `c`, never a trail byte of a
// multi-byte character (']' is a valid GBK trail byte).
std::size_t findChar(std::string_view s, char c)
{
    for (std::size_t i = 0; i < s.size(); i += gbCharLength(s, i))
        if (s[i] == c)
            return i;
    return std::string_view::npos;
}

// Names match without regard to the case of single-byte letters.
bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size();) {
        const std::size_t n = gbCharLength(a, i);
        if (n == 1) {
            char x = a[i], y = b[i];
            if (x >= 'a' && x <= 'z')
                x = static_cast<char>(x - 0x20);
            if (y >= 'a' && y <= 'z')
                y = static_cast<char>(y - 0x20);
            if (x != y)
                return false;
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
    std::string_view name;   // section or key name
    std::string_view value;  // key value
};

Classified classify(std::string_view text)
{
    Classified c;
    const std::string_view t = trimBlanks(text);
    if (t.empty())
        return c;
    if (t.front() == ';' || t.front() == '#') {
        c.kind = Kind::Comment;
        return c;
    }
    if (t.front() == '[') {
        std::string_view inner = t.substr(1);
        const std::size_t close = findChar(inner, ']');
        if (close != std::string_view::npos)
            inner = inner.substr(0, close);
        c.kind = Kind::Section;
        c.name = trimBlanks(inner);
        return c;
    }
    const std::size_t eq = findChar(t, '=');
    if (eq == std::string_view::npos)
        return c;
    c.kind = Kind::Key;
    c.name = trimBlanks(t.substr(0, eq));
    c.value = trimBlanks(t.substr(eq + 1));
    return c;
}

// Splits text into lines; a line ends in CRLF, LF or a CR alone.
void splitLines(std::string_view s, std::vector<Line>& out)
{
    std::size_t start = 0;
    while (start < s.size()) {
        const std::size_t end = s.find_first_of("\r\n", start);
        Line line;
        if (end == std::string_view::npos) {
            line.text = std::string(s.substr(start));
            start = s.size();
        } else {
            line.text = std::string(s.substr(start, end - start));
            if (s[end] == '\r' && end + 1 < s.size() && s[end + 1] == '\n') {
                line.eol = "\r\n";
                start = end + 2;
            } else {
                line.eol = std::string(1, s[end]);
                start = end + 1;
            }
        }
        out.push_back(std::move(line));
    }
}

// UTF-16 bytes after the byte-order mark to UTF-8.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian)
{
    QStringDecoder decode(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE,
                          QStringConverter::Flag::Stateless);
    const QString text = decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return text.toUtf8().toStdString();
}

std::string utf8ToUtf16(std::string_view utf8, bool bigEndian)
{
    QStringEncoder encode(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE,
                          QStringConverter::Flag::Stateless);
    const QByteArray bytes = encode(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
    return bytes.toStdString();
}

// Reads the whole file.  A missing file is an empty, non-existing profile;
// any other failure to read is reported through `ok`.  A file over the
// size limit throws EProfileTooLarge before more than the limit is read.
Parsed load(const QString& path, bool& ok)
{
    Parsed p;
    ok = true;
    // Open first and let the open say whether the file is there: a separate
    // existence test can disagree with the open while another process
    // replaces the file, and a "missing" answer would make the next write
    // start a new file and drop every other key.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        ok = errno == ENOENT;
        return p;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        ok = false;
        return p;
    }
    if (S_ISREG(st.st_mode) && st.st_size > kMaxProfileBytes) {
        ::close(fd);
        throw EProfileTooLarge(path);
    }
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(kMaxProfileBytes) + 1);
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            ok = false;
            return p;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    // It grew while being read, or is not a plain file.
    if (got > static_cast<std::size_t>(kMaxProfileBytes))
        throw EProfileTooLarge(path);
    bytes.resize(got);
    p.exists = true;
    std::string_view s(bytes);
    std::string decoded;
    if (s.size() >= 2 && (s.substr(0, 2) == "\xFF\xFE" || s.substr(0, 2) == "\xFE\xFF")) {
        // UTF-16, as Notepad's "Unicode" (little-endian) and "Unicode big
        // endian" save it: read as UTF-8 text behind a UTF-8 mark, written
        // back as UTF-16 with its own mark.
        p.encoding = s[0] == '\xFE' ? Encoding::Utf16BE : Encoding::Utf16LE;
        decoded = std::string(kUtf8Bom) + utf16ToUtf8(s.substr(2), p.encoding == Encoding::Utf16BE);
        s = decoded;
        p.utf8 = p.bom = true;
    } else if (s.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        p.encoding = Encoding::Utf8;
        p.utf8 = p.bom = true;
    } else if (looksLikeUtf16(s)) {
        throw EProfileUtf16WithoutBom(path);
    } else if (isUtf8Text(s)) {
        // As gedit, vim and Windows 10 Notepad save it: UTF-8 without a mark.
        p.encoding = Encoding::Utf8NoBom;
        p.utf8 = true;
    }
    splitLines(s, p.lines);
    return p;
}

// The first line of the text body, skipping the byte-order mark.
std::string_view body(const Parsed& p, std::size_t i)
{
    std::string_view t = p.lines[i].text;
    if (i == 0 && p.bom)
        t.remove_prefix(kUtf8Bom.size());
    return t;
}

struct Located {
    std::ptrdiff_t section = -1;    // index of the section's header line
    std::ptrdiff_t key = -1;        // index of the key's line
    std::ptrdiff_t lastEntry = -1;  // last non-blank, non-comment line of the section
};

Located locate(const Parsed& p, std::string_view section, std::string_view key)
{
    Located at;
    for (std::size_t i = 0; i < p.lines.size(); ++i) {
        const Classified c = classify(body(p, i));
        if (c.kind == Kind::Section) {
            if (at.section >= 0)
                break;  // the section ended; the first one counts
            if (sameName(c.name, section)) {
                at.section = static_cast<std::ptrdiff_t>(i);
                at.lastEntry = at.section;
            }
            continue;
        }
        if (at.section < 0)
            continue;
        if (c.kind == Kind::Key || c.kind == Kind::Other) {
            if (!trimBlanks(body(p, i)).empty())
                at.lastEntry = static_cast<std::ptrdiff_t>(i);
        }
        if (c.kind == Kind::Key && at.key < 0 && sameName(c.name, key))
            at.key = static_cast<std::ptrdiff_t>(i);
    }
    return at;
}

// The settings file's own lock, held from reading the file to renaming the
// new one over it.  It is a file of its own beside the settings file: a
// lock on the settings file itself would be lost with the file the rename
// replaces.  Symbolic links are followed first, so that writers that name
// the file through different links take the same lock.  The lock file is
// left in place: removing it could let two writers hold two locks.
class TProfileLock {
public:
    TProfileLock(const QString& displayPath, const QString& target)
    {
        const QFileInfo info(target);
        QString real = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
        if (!info.exists() && info.isSymLink())
            real = info.symLinkTarget();  // a dangling link: the write creates its target
        const QByteArray lock = QFile::encodeName(real + QStringLiteral(".lock"));
        fd_ = ::open(lock.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd_ < 0) {
            const int e = errno;
            throw EProfileWriteError(displayPath, QStringLiteral("无法创建锁文件 ") + QFile::decodeName(lock) + ": " +
                                                      QString::fromLocal8Bit(std::strerror(e)));
        }
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~TProfileLock() { ::close(fd_); }  // closing lets go of the lock
    TProfileLock(const TProfileLock&) = delete;
    TProfileLock& operator=(const TProfileLock&) = delete;

private:
    int fd_ = -1;
};

// Writes `data` to a fresh file beside `target` and renames it over it.
void replaceAtomically(const QString& displayPath, const QString& target, const std::string& data)
{
    TAtomicFile file(target, false);  // the settings file is replaced on purpose
    if (file.Open() && file.Write(data.data(), data.size()) && file.Commit())
        return;
    throw EProfileWriteError(displayPath, file.ErrorText());
}

std::optional<QString> lookUp(const Parsed& p, std::string_view section, std::string_view key)
{
    if (!p.exists)
        return std::nullopt;
    const Located at = locate(p, section, key);
    if (at.key < 0)
        return std::nullopt;
    const std::string_view value = classify(body(p, static_cast<std::size_t>(at.key))).value;
    return p.utf8 ? QString::fromUtf8(value.data(), qsizetype(value.size())) : fromGb(value);
}

}  // namespace

EProfileWriteError::EProfileWriteError(const QString& path, const QString& reason)
    : std::runtime_error((path + QStringLiteral(": ") + reason).toStdString()), path_(path)
{
}

EProfileUnreadable::EProfileUnreadable(const QString& path, const QString& message)
    : std::runtime_error(message.toStdString()), path_(path)
{
}

EProfileTooLarge::EProfileTooLarge(const QString& path)
    : EProfileUnreadable(path,
                         QStringLiteral("设置文件 %1 太大（超过 1 MB），不是本程序的设置文件，没有读取").arg(path))
{
}

EProfileUtf16WithoutBom::EProfileUtf16WithoutBom(const QString& path)
    : EProfileUnreadable(path,
                         QStringLiteral("设置文件 %1 是没有字节顺序标记（BOM）的 UTF-16 文本，程序无法可靠地读取，"
                                        "没有读取也不会改写它。请用记事本打开它，另存为“ANSI”或“UTF-8”编码")
                             .arg(path))
{
}

struct TProfileSnapshot::Impl {
    Parsed parsed;
};

TProfileSnapshot::TProfileSnapshot() : d_(std::make_unique<Impl>()) {}
TProfileSnapshot::~TProfileSnapshot() = default;
TProfileSnapshot::TProfileSnapshot(TProfileSnapshot&&) noexcept = default;
TProfileSnapshot& TProfileSnapshot::operator=(TProfileSnapshot&&) noexcept = default;

TProfileSnapshot TProfileSnapshot::Load(const QString& file)
{
    TProfileSnapshot snap;
    bool ok = false;
    Parsed p = load(file, ok);
    if (ok)
        snap.d_->parsed = std::move(p);
    return snap;
}

bool TProfileSnapshot::Exists() const { return d_->parsed.exists; }

std::optional<QString> TProfileSnapshot::Read(std::string_view section, std::string_view key) const
{
    return lookUp(d_->parsed, section, key);
}

QString TProfileSnapshot::Read(std::string_view section, std::string_view key, const QString& def) const
{
    auto v = Read(section, key);
    return v ? *v : def;
}

std::optional<QString> ReadProfileString(const QString& file, std::string_view section, std::string_view key)
{
    try {
        return TProfileSnapshot::Load(file).Read(section, key);
    } catch (const EProfileUnreadable&) {
        return std::nullopt;
    }
}

QString ReadProfileString(const QString& file, std::string_view section, std::string_view key, const QString& def)
{
    auto v = ReadProfileString(file, section, key);
    return v ? *v : def;
}

void WriteProfileString(const QString& file, std::string_view section, std::string_view key, const QString& value)
{
    // Symbolic links are written through to the file they name.
    const QString target = QFileInfo(file).absoluteFilePath();
    if (QFileInfo(target).isDir())
        throw EProfileWriteError(file, QStringLiteral("这是一个文件夹"));
    const TProfileLock lock(file, target);
    bool ok = false;
    Parsed p;
    try {
        p = load(file, ok);
    } catch (const EProfileUnreadable& e) {
        throw EProfileWriteError(file, QString::fromUtf8(e.what()));
    }
    if (!ok)
        throw EProfileWriteError(file, QStringLiteral("无法读取原有的文件"));

    // The value in the file's own encoding, on one line.
    QString oneLine = value;
    oneLine.replace(u'\r', u' ').replace(u'\n', u' ');
    const std::string v = p.utf8 ? oneLine.toStdString() : toGb(oneLine);
    const std::string sec(section), k(key);

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
        const std::size_t prefix = l.text.size() - old.size();  // the byte-order mark
        const Classified c = classify(old);
        l.text = l.text.substr(0, prefix) + std::string(c.name) + "=" + v;
    } else if (at.section >= 0) {
        const auto after = static_cast<std::size_t>(at.lastEntry);
        if (p.lines[after].eol.empty())
            p.lines[after].eol = eol;
        p.lines.insert(p.lines.begin() + static_cast<std::ptrdiff_t>(after) + 1, Line{k + "=" + v, eol});
    } else {
        if (!p.lines.empty() && p.lines.back().eol.empty())
            p.lines.back().eol = eol;
        p.lines.push_back(Line{"[" + sec + "]", eol});
        p.lines.push_back(Line{k + "=" + v, eol});
    }

    std::string data;
    for (const Line& l : p.lines) {
        data += l.text;
        data += l.eol;
    }
    if (p.encoding == Encoding::Utf16LE || p.encoding == Encoding::Utf16BE) {
        // Back to UTF-16 behind its own byte-order mark.
        const bool be = p.encoding == Encoding::Utf16BE;
        data =
            std::string(be ? "\xFE\xFF" : "\xFF\xFE") + utf8ToUtf16(std::string_view(data).substr(kUtf8Bom.size()), be);
    }

    replaceAtomically(file, target, data);
}

}  // namespace vdmq
