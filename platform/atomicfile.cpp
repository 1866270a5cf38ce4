#include "platform/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vdmq {

namespace {

QByteArray folderOf(const QByteArray& path)
{
    const int slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArray(".");
    if (slash == 0)
        return QByteArray("/");
    return path.left(slash);
}

QByteArray nameOf(const QByteArray& path)
{
    const int slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.mid(slash + 1);
}

// The file a write to `path` replaces: symbolic links followed (also a
// dangling one, whose target the write then creates).
QByteArray resolveTarget(const QByteArray& path)
{
    char buf[PATH_MAX];
    if (::realpath(path.constData(), buf))
        return QByteArray(buf);
    QByteArray at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(at.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return at;
        const ssize_t n = ::readlink(at.constData(), buf, sizeof buf - 1);
        if (n <= 0)
            return at;
        const QByteArray link(buf, n);
        at = link.startsWith('/') ? link : folderOf(at) + '/' + link;
    }
    return at;
}

// `name` in the folder of `path`.
QByteArray besides(const QByteArray& path, const QByteArray& name)
{
    const int slash = path.lastIndexOf('/');
    return slash < 0 ? name : path.left(slash + 1) + name;
}

// A file name is at most this many bytes on the file systems offices use
// (ext4, xfs, btrfs, vfat and NTFS through their Linux drivers).
constexpr int kNameMax = NAME_MAX;
// ".tmp" and the six random hex digits.
constexpr int kTempSuffix = 10;

quint32 nameHash(const QByteArray& name)
{
    quint32 h = 2166136261u;  // FNV-1a
    for (const char c : name) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

bool writeAllBytes(int fd, const char* data, std::size_t size, int& error)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        if (n == 0) {
            error = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The temporaries being written, for the interrupt handler: fixed slots,
// so that the handler touches no allocation and no lock (0 free, 1 in
// use, 2 being filled).
constexpr int kSlots = 16;
char tempSlots[kSlots][PATH_MAX];
std::atomic<int> slotState[kSlots];
static_assert(std::atomic<int>::is_always_lock_free);

int registerTemp(const QByteArray& path)
{
    if (path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int free = 0;
        if (slotState[i].compare_exchange_strong(free, 2)) {
            std::memcpy(tempSlots[i], path.constData(), std::size_t(path.size()) + 1);
            slotState[i] = 1;
            return i;
        }
    }
    return -1;
}

void unregisterTemp(int& slot)
{
    if (slot >= 0)
        slotState[slot] = 0;
    slot = -1;
}

extern "C" void removeTempsAndEnd(int sig)
{
    for (int i = 0; i < kSlots; ++i)
        if (slotState[i] == 1)
            ::unlink(tempSlots[i]);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

}  // namespace

void RemoveTemporariesOnInterrupt()
{
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL || (old.sa_flags & SA_SIGINFO))
            continue;
        struct sigaction now {};
        now.sa_handler = removeTempsAndEnd;
        sigemptyset(&now.sa_mask);
        ::sigaction(sig, &now, nullptr);
    }
}

void IgnoreFileSizeSignal()
{
    struct sigaction old {};
    if (::sigaction(SIGXFSZ, nullptr, &old) == 0 && old.sa_handler == SIG_DFL && !(old.sa_flags & SA_SIGINFO))
        ::signal(SIGXFSZ, SIG_IGN);
}

// ---- files no output may replace ------------------------------------------

namespace {

struct ProtectedKind {
    QString what;
    QStringList paths;
};

std::mutex protectedLock;
std::vector<ProtectedKind>& protectedFiles()
{
    static std::vector<ProtectedKind> files;
    return files;
}

bool statFollowing(const QString& path, struct stat& st)
{
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

}  // namespace

bool SameFile(const QString& a, const QString& b)
{
    struct stat sa {
    }, sb{};
    return statFollowing(a, sa) && statFollowing(b, sb) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void ProtectFromOutput(const QString& what, const QStringList& paths)
{
    const std::lock_guard<std::mutex> hold(protectedLock);
    auto& files = protectedFiles();
    for (auto it = files.begin(); it != files.end(); ++it)
        if (it->what == what) {
            files.erase(it);
            break;
        }
    QStringList kept;
    for (const QString& p : paths)
        if (!p.isEmpty())
            kept << p;
    if (!kept.isEmpty())
        files.push_back({what, kept});
}

QString OutputConflict(const QString& target)
{
    struct stat out {};
    if (!statFollowing(target, out))
        return {};  // a new file replaces nothing
    const std::lock_guard<std::mutex> hold(protectedLock);
    for (const ProtectedKind& kind : protectedFiles())
        for (const QString& path : kind.paths) {
            struct stat in {};
            if (statFollowing(path, in) && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
                return QStringLiteral("不能写入“%1”：它就是%2“%3”（同一个文件），写入会毁掉%2。请另选一个文件名。")
                    .arg(QDir::toNativeSeparators(target), kind.what, QDir::toNativeSeparators(path));
        }
    return {};
}

// ---- TAtomicFile -------------------------------------------------------------

TAtomicFile::TAtomicFile(const QString& target, bool output) : target_(target), output_(output) {}

TAtomicFile::~TAtomicFile()
{
    if (!committed_)
        Discard();
}

QString TAtomicFile::WorkingPath() const { return QFile::decodeName(direct_ || temp_.isEmpty() ? real_ : temp_); }

bool TAtomicFile::fail(const char* stage, int error)
{
    if (errno_ == 0) {
        errno_ = error ? error : EIO;
        stage_ = stage;
    }
    return false;
}

bool TAtomicFile::refuse(const QString& message)
{
    if (errno_ == 0) {
        errno_ = EPERM;
        refused_ = message;
    }
    return false;
}

QString TAtomicFile::ErrorText() const
{
    if (errno_ == 0)
        return {};
    if (!refused_.isEmpty())
        return refused_;
    QString reason = QString::fromLocal8Bit(std::strerror(errno_));
    if (errno_ == ENOSPC)
        reason += QStringLiteral("（磁盘已满？）");
    if (errno_ == EFBIG)
        reason += QStringLiteral("（超过了文件大小的限制）");
    return QString::fromUtf8(stage_) + QStringLiteral("：") + reason;
}

QByteArray TAtomicFile::TemporaryPrefix(const QByteArray& targetName)
{
    if (targetName.size() + kTempSuffix <= kNameMax)
        return targetName + ".tmp";
    // "<first bytes>~<hash of the whole name>.tmp": the first bytes end on
    // a whole UTF-8 character, the hash keeps long names that begin alike
    // apart.
    qsizetype keep = kNameMax - kTempSuffix - 9;
    while (keep > 0 && (static_cast<unsigned char>(targetName[keep]) & 0xC0) == 0x80)
        --keep;
    char hash[16];
    std::snprintf(hash, sizeof hash, "~%08x", nameHash(targetName));
    return targetName.left(keep) + hash + ".tmp";
}

bool TAtomicFile::IsTemporaryName(const QString& targetName, const QString& fileName)
{
    const QByteArray name = QFile::encodeName(targetName), file = QFile::encodeName(fileName);
    // Writers before the short form named every temporary "<name>.tmp…".
    for (const QByteArray& prefix : {TemporaryPrefix(name), name + ".tmp"}) {
        if (!file.startsWith(prefix))
            continue;
        const QByteArray rest = file.mid(prefix.size());
        if (rest.isEmpty() || rest.size() > 6)
            continue;
        bool hex = true;
        for (const char c : rest)
            hex = hex && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
        if (hex)
            return true;
    }
    return false;
}

int TAtomicFile::RemoveStaleTemporaries(const QString& target)
{
    const QByteArray real = resolveTarget(QFile::encodeName(target));
    const QByteArray folder = folderOf(real);
    const QString name = QFile::decodeName(nameOf(real));
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return 0;
    int removed = 0;
    const uid_t me = ::geteuid();
    while (const dirent* e = ::readdir(dir)) {
        if (!IsTemporaryName(name, QFile::decodeName(e->d_name)))
            continue;
        const QByteArray path = folder + '/' + e->d_name;
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        // Ours: a plain file of this user.  Stale: nobody holds its lock
        // (a writer holds it from creation until the rename or removal;
        // the kernel lets go of it when the writer dies).
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == me && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            struct stat now {};
            // Still the same file under that name, then gone while locked: a
            // writer that opened it meanwhile finds it unlinked and retries.
            if (::lstat(path.constData(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino &&
                ::unlink(path.constData()) == 0)
                ++removed;
        }
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

bool TAtomicFile::Open()
{
    if (fd_ >= 0)
        return true;
    IgnoreFileSizeSignal();
    errno_ = 0;
    refused_.clear();
    committed_ = false;
    written_ = 0;
    direct_ = false;
    if (const QString conflict = output_ ? OutputConflict(target_) : QString(); !conflict.isEmpty())
        return refuse(conflict);
    const QByteArray given = QFile::encodeName(target_);

    struct stat old {};
    bool exists = ::stat(given.constData(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        return fail("这是一个文件夹", EISDIR);
    if (exists && !S_ISREG(old.st_mode)) {
        // A terminal, a pipe, a device (/dev/stdout among them): written in
        // place.
        direct_ = true;
        real_ = given;
        fd_ = ::open(given.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0)
            return fail("无法打开", errno);
        return true;
    }
    real_ = resolveTarget(given);
    exists = ::stat(real_.constData(), &old) == 0;
    if (exists && ::access(real_.constData(), W_OK) != 0)
        return fail("文件是只读的", errno);

    RemoveStaleTemporaries(QFile::decodeName(real_));
    const QByteArray prefix = besides(real_, TemporaryPrefix(nameOf(real_)));
    for (int attempt = 0; attempt < 100; ++attempt) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%06x", QRandomGenerator::global()->generate() & 0xFFFFFF);
        temp_ = prefix + hex;
        const int fd = ::open(temp_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            const int e = errno;
            temp_.clear();
            return fail("无法在文件所在的文件夹中创建临时文件", e);
        }
        // Held until the rename: a cleaner that took the lock first has
        // unlinked the file, and then another name is taken.
        if (::flock(fd, LOCK_EX) == 0) {
            struct stat st {};
            if (::fstat(fd, &st) == 0 && st.st_nlink == 0) {
                ::close(fd);
                continue;
            }
        }
        fd_ = fd;
        slot_ = registerTemp(temp_);
        break;
    }
    if (fd_ < 0) {
        temp_.clear();
        return fail("无法在文件所在的文件夹中创建临时文件", EEXIST);
    }
    if (exists) {
        // The replacement keeps the file's permissions (and owner, where
        // this user may give it).
        if (::fchmod(fd_, old.st_mode & 07777) != 0) {
            const int e = errno;
            Discard();
            return fail("无法设置文件权限", e);
        }
        if (::fchown(fd_, old.st_uid, old.st_gid) != 0) { /* not ours to give: keep ours */
        }
    }
    return true;
}

bool TAtomicFile::Write(const char* data, std::size_t size)
{
    if (errno_ != 0)
        return false;
    if (fd_ < 0)
        return fail("文件没有打开", EBADF);
    int e = 0;
    if (!writeAllBytes(fd_, data, size, e))
        return fail("写入失败", e);
    written_ += static_cast<qint64>(size);
    return true;
}

bool TAtomicFile::Commit()
{
    if (committed_)
        return true;
    if (fd_ < 0)
        return errno_ == 0 ? fail("文件没有打开", EBADF) : false;
    if (errno_ != 0) {
        Discard();
        return false;
    }
    if (direct_) {
        // Devices and pipes may not sync; what matters is that every write
        // went through.
        if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS && errno != ENOTSUP) {
            const int e = errno;
            ::close(fd_);
            fd_ = -1;
            return fail("同步到磁盘失败", e);
        }
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR)
            return fail("关闭文件失败", errno);
        committed_ = true;
        return true;
    }
    // The lock lives on in a second handle while the first one is closed
    // (a network file system reports late write errors at close), so that
    // no cleaner takes the file before the rename.
    const int lock = ::dup(fd_);
    if (::fsync(fd_) != 0) {
        const int e = errno;
        if (lock >= 0)
            ::close(lock);
        Discard();
        return fail("同步到磁盘失败", e);
    }
    const int fd = fd_;
    fd_ = lock;
    if (::close(fd) != 0 && errno != EINTR) {
        const int e = errno;
        Discard();
        return fail("关闭文件失败", e);
    }
    if (::rename(temp_.constData(), real_.constData()) != 0) {
        const int e = errno;
        Discard();
        return fail("无法替换原文件", e);
    }
    committed_ = true;
    unregisterTemp(slot_);
    temp_.clear();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    // Make the rename itself durable.
    const int dfd = ::open(folderOf(real_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

void TAtomicFile::Discard()
{
    if (!direct_ && !temp_.isEmpty())
        ::unlink(temp_.constData());
    unregisterTemp(slot_);
    temp_.clear();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

}  // namespace vdmq
