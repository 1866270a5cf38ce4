#pragma once
// Numbers in the layout table, in workbooks and in messages are written with
// a decimal point whatever the desktop's locale says.  Qt sets the C library's
// locale from the environment at start-up, so a desktop whose numbers use a
// decimal comma reaches every strtod and printf of ours.
#include <clocale>
#include <optional>
#include <string>

namespace testlocale {

// Runs the rest of the scope with a decimal comma for the C library's
// numbers (LC_NUMERIC); ok() is false when no such locale is installed
// (scripts/setup generates de_DE.UTF-8 for this).
class ScopedDecimalComma {
public:
    ScopedDecimalComma()
    {
        if (const char* old = std::setlocale(LC_NUMERIC, nullptr))
            saved_ = old;
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"})
            if (std::setlocale(LC_NUMERIC, name) && *std::localeconv()->decimal_point == ',') {
                ok_ = true;
                break;
            }
    }
    ~ScopedDecimalComma()
    {
        if (saved_)
            std::setlocale(LC_NUMERIC, saved_->c_str());
    }
    ScopedDecimalComma(const ScopedDecimalComma&) = delete;
    ScopedDecimalComma& operator=(const ScopedDecimalComma&) = delete;
    bool ok() const { return ok_; }

private:
    std::optional<std::string> saved_;
    bool ok_ = false;
};

}  // namespace testlocale
