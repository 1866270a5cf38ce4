#include "platform/gbtext.h"

#include <QStringDecoder>

#include <cerrno>
#include <iconv.h>
#include <stdexcept>
#include <string>

namespace vdmq {
namespace {

// U+FFFD in the two encodings we emit when the input is malformed.
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";
constexpr std::string_view kReplacementGb = "\x84\x31\xA4\x37";

// One iconv descriptor per direction and thread: conversions run for every
// caption of every form, so opening a descriptor per call would dominate.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (ok())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of `in`.  A byte sequence the source encoding does not
    // define becomes `replacement`, and conversion goes on after it
    // (`skip` bytes at a time, the code unit of the source encoding).
    std::string run(std::string_view in, std::string_view replacement, std::size_t skip)
    {
        std::string out;
        out.reserve(in.size() * 3 / 2 + 8);
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char buf[1024];
        while (srcLeft > 0) {
            char* dst = buf;
            std::size_t dstLeft = sizeof buf;
            std::size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buf, static_cast<std::size_t>(dst - buf));
            if (r != static_cast<std::size_t>(-1))
                break;
            if (errno == E2BIG)
                continue;
            // EILSEQ (invalid) or EINVAL (incomplete at the end).
            out.append(replacement);
            std::size_t n = skip < srcLeft ? skip : srcLeft;
            src += n;
            srcLeft -= n;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        // Flush any shift state (none for the encodings used here).
        char* dst = buf;
        std::size_t dstLeft = sizeof buf;
        iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
        out.append(buf, static_cast<std::size_t>(dst - buf));
        return out;
    }

private:
    iconv_t cd_;
};

Converter& utf8ToGb()
{
    thread_local Converter c("GB18030", "UTF-8");
    return c;
}

Converter& gbToUtf8()
{
    thread_local Converter c("UTF-8", "GB18030");
    return c;
}

bool isAscii(std::string_view s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// The iconv name of a Windows code page as BIFF CODEPAGE records give it.
std::string iconvName(int codepage, std::size_t& unit)
{
    unit = 1;
    switch (codepage) {
    case 936: return "GB18030";  // a superset of code page 936
    case 1200: unit = 2; return "UTF-16LE";
    case 1201: unit = 2; return "UTF-16BE";
    case 65001: return "UTF-8";
    case 367:
    case 20127: return "ASCII";
    case 10000:
    case 32768: return "MACINTOSH";
    case 32769: return "CP1252";  // BIFF's own alias for Windows Latin 1
    case 28591: return "ISO-8859-1";
    case 54936: return "GB18030";
    default:
        if (codepage <= 0)
            return {};
        return "CP" + std::to_string(codepage);
    }
}

}  // namespace

std::string gbFromUtf8(std::string_view utf8)
{
    if (isAscii(utf8))
        return std::string(utf8);
    return utf8ToGb().run(utf8, kReplacementGb, 1);
}

std::string utf8FromGb(std::string_view gb)
{
    if (isAscii(gb))
        return std::string(gb);
    return gbToUtf8().run(gb, kReplacementUtf8, 1);
}

std::string toGb(const QString& text) { return gbFromUtf8(text.toUtf8().toStdString()); }

QString fromGb(std::string_view gb)
{
    if (isAscii(gb))
        return QString::fromLatin1(gb.data(), static_cast<qsizetype>(gb.size()));
    std::string u = utf8FromGb(gb);
    return QString::fromUtf8(u.data(), static_cast<qsizetype>(u.size()));
}

std::string utf8FromCodepage(std::string_view bytes, int codepage)
{
    std::size_t unit = 1;
    std::string name = iconvName(codepage, unit);
    if (name.empty())
        throw std::runtime_error("unknown code page " + std::to_string(codepage));
    if (codepage == 936 || codepage == 54936)
        return utf8FromGb(bytes);
    // Code pages are rare and vary per workbook; a descriptor per call is fine.
    Converter c("UTF-8", name.c_str());
    if (!c.ok())
        throw std::runtime_error("unknown code page " + std::to_string(codepage));
    if (unit == 1 && codepage != 65001 && isAscii(bytes))
        return std::string(bytes);
    return c.run(bytes, kReplacementUtf8, unit);
}

bool isGbEncoded(const std::exception& e) { return dynamic_cast<const GbEncoded*>(&e) != nullptr; }

QString errorText(const std::exception& e) { return isGbEncoded(e) ? fromGb(e.what()) : QString::fromUtf8(e.what()); }

std::string errorTextGb(const std::exception& e)
{
    return isGbEncoded(e) ? std::string(e.what()) : gbFromUtf8(e.what());
}

std::string errorTextGb(const std::exception_ptr& e)
{
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& x) {
        return errorTextGb(x);
    } catch (...) {
        return gbFromUtf8("未知错误");
    }
}

QString errorText(const std::exception_ptr& e) { return fromGb(errorTextGb(e)); }

TGbPrefix gbPrefix(QStringView text, qsizetype maxBytes)
{
    TGbPrefix taken;
    if (text.isEmpty() || maxBytes <= 0)
        return taken;
    // Each character is one character of the GB18030 text, so the two are
    // walked side by side.
    const std::string gb = toGb(text.toString());
    std::size_t at = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype units = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const std::size_t bytes = gbCharLength(gb, at);
        if (taken.bytes + qsizetype(bytes) > maxBytes)
            break;
        taken.bytes += qsizetype(bytes);
        taken.chars += units;
        at += bytes;
        i += units;
    }
    return taken;
}

QString decodeTextFile(const QByteArray& bytes)
{
    if (auto enc = QStringConverter::encodingForData(bytes);
        enc && (*enc == QStringConverter::Utf16LE || *enc == QStringConverter::Utf16BE)) {
        QStringDecoder dec(*enc);
        return dec(bytes);
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString s = utf8(bytes);
    if (!utf8.hasError())
        return s;
    return fromGb(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

std::size_t gbCharLength(std::string_view s, std::size_t i)
{
    if (i >= s.size())
        return 0;
    const std::size_t left = s.size() - i;
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const auto lead = [](unsigned char c) { return c >= 0x81 && c <= 0xFE; };
    const auto digit = [](unsigned char c) { return c >= 0x30 && c <= 0x39; };
    if (!lead(b(0)))
        return 1;
    if (left >= 4 && digit(b(1)) && lead(b(2)) && digit(b(3)))
        return 4;
    // A lead byte owns the byte after it, whatever its value.
    return left >= 2 ? 2 : 1;
}

}  // namespace vdmq
