#include "app/core/batchpassword.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace vdmq {

TBatchPasswordPrompt::TBatchPasswordPrompt(std::string file, int inFd, bool terminal)
    : file_(std::move(file)), inFd_(inFd), terminal_(terminal)
{
}

bool TBatchPasswordPrompt::readLine(int fd, roster::Password& out, bool echoOff, bool dropBom)
{
    termios saved{};
    const bool restore = echoOff && ::tcgetattr(fd, &saved) == 0;
    if (restore) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    // Byte by byte up to the end of the line, into a buffer that is wiped:
    // no copy of the password is left behind.
    char buf[roster::Password::kMaxBytes + 1];
    std::size_t n = 0;
    bool any = false;
    for (;;) {
        char c;
        ssize_t r = ::read(fd, &c, 1);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        any = true;
        if (c == '\n')
            break;
        if (n < sizeof buf)
            buf[n++] = c;
    }
    if (restore)
        ::tcsetattr(fd, TCSAFLUSH, &saved);
    while (n > 0 && buf[n - 1] == '\r')
        --n;
    std::string_view line(buf, n);
    if (dropBom && line.substr(0, 3) == "\xEF\xBB\xBF")
        line.remove_prefix(3);
    out.assign(line);
    explicit_bzero(buf, sizeof buf);
    return any;
}

std::string TBatchPasswordPrompt::Load()
{
    if (file_.empty())
        return {};
    int fd = file_ == "-" ? STDIN_FILENO : ::open(file_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "--password-file：无法读取 " + file_ + "（" + std::strerror(errno) + "）";
    struct stat st {};
    if (fd != STDIN_FILENO && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & (S_IRGRP | S_IROTH)) &&
        Say) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        Say("警告：密码文件 " + file_ + " 别的用户也能读取（权限 " + mode + "），请用 chmod 600 " + file_ +
            " 改为只有自己能读");
    }
    bool got = readLine(fd, filePassword_, false, true);
    if (fd != STDIN_FILENO)
        ::close(fd);
    if (!got)
        return "--password-file：" + file_ + " 是空的";
    haveFile_ = true;
    return {};
}

roster::PasswordPrompt::Answer TBatchPasswordPrompt::Ask(const std::string& path, bool wrong, roster::Password& out)
{
    auto say = [&](const std::string& s) {
        if (Say)
            Say(s);
    };
    if (haveFile_) {
        if (!fileTried_) {
            fileTried_ = true;
            out = filePassword_.clone();
            return Answer::Given;
        }
        failure_ = "密码不正确：密码文件 " + file_ + " 中的密码打不开花名册 " + path;
        return Answer::None;
    }
    if (!terminal_) {
        failure_ = "花名册设置了打开密码，请用 --password-file 文件 给出密码：" + path;
        return Answer::None;
    }
    if (wrong)
        say("密码不正确");
    if (asked_ >= TerminalTries) {
        failure_ = "密码不正确（试了 " + std::to_string(asked_) + " 次），花名册没有打开：" + path;
        return Answer::None;
    }
    ++asked_;
    say("花名册“" + path + "”设置了打开密码，请输入密码（输入时不显示）：");
    if (!readLine(inFd_, out, true))
        return Answer::Cancelled;
    return Answer::Given;
}

}  // namespace vdmq
