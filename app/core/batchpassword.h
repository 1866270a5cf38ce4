#pragma once
// Where vdmq-print gets the password of an encrypted roster: the first line
// of a file (--password-file), or the terminal when standard input is one.
// Never the command line, which other users of the machine can read.
#include "platform/roster.h"
#include <functional>
#include <string>

namespace vdmq {

class TBatchPasswordPrompt : public roster::PasswordPrompt {
public:
    // `file`: the password file, "-" for standard input, empty for none.
    // `inFd`: where a typed password is read; `terminal`: whether that is
    // a terminal the user types at (then echo is turned off while typing).
    TBatchPasswordPrompt(std::string file, int inFd, bool terminal);
    // Reads the password file: its first line, without a UTF-8 byte-order
    // mark (Notepad puts one before it).  A file other users can read is
    // read, with a warning through Say.  Returns an error text (local
    // 8-bit), empty when it was read or there is none.
    std::string Load();
    Answer Ask(const std::string& path, bool wrong, roster::Password& out) override;
    // Why no password opened the roster (UTF-8: the password was wrong, or
    // none could be had), once Ask has given up; empty before.
    const std::string& Failure() const { return failure_; }

    // Messages for the user (the tool writes them to stderr).
    std::function<void(const std::string& utf8)> Say;
    // Tries at the terminal before giving up.
    int TerminalTries = 3;

private:
    bool readLine(int fd, roster::Password& out, bool echoOff, bool dropBom = false);
    std::string file_;
    std::string failure_;
    int inFd_;
    bool terminal_;
    roster::Password filePassword_;
    bool haveFile_ = false, fileTried_ = false;
    int asked_ = 0;
};

}  // namespace vdmq
