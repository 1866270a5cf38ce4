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
    // Reads the password file.  Returns an error text (local 8-bit), empty
    // when it was read or there is none.
    std::string Load();
    Answer Ask(const std::string& path, bool wrong, roster::Password& out) override;

    // Messages for the user (the tool writes them to stderr).
    std::function<void(const std::string& utf8)> Say;
    // Tries at the terminal before giving up.
    int TerminalTries = 3;

private:
    bool readLine(int fd, roster::Password& out, bool echoOff);
    std::string file_;
    int inFd_;
    bool terminal_;
    roster::Password filePassword_;
    bool haveFile_ = false, fileTried_ = false;
    int asked_ = 0;
};

}  // namespace vdmq
