// Password-protected workbooks: the XOR obfuscation, RC4 and RC4 CryptoAPI
// encryption of .xls files, and the ECMA-376 Standard and Agile encryption
// of .xlsx packages.  Ciphers and hashes are Nettle's; what is written here
// is how each scheme derives its keys from the password and lays out its
// bytes.  Every password tried, every key and every decrypted byte lives in
// memory that is wiped when it is given back.
#include "platform/roster_internal.h"

#include <glib.h>
#include <libxml/xmlreader.h>
#include <nettle/aes.h>
#include <nettle/arcfour.h>
#include <nettle/cbc.h>
#include <nettle/md5.h>
#include <nettle/nettle-meta.h>
#include <nettle/sha1.h>
#include <nettle/sha2.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <optional>

namespace vdmq::roster::detail {

std::string reasonPasswordNeeded() { return "工作簿设置了打开密码，需要输入密码才能读取"; }
std::string reasonPasswordWrong() { return "密码不正确，无法打开工作簿"; }

namespace {

// What Excel encrypts a workbook with when it is saved protected (for
// instance with a password to modify only) but without a password to open.
constexpr std::string_view kDefaultPassword = "VelvetSweatshop";

[[noreturn]] void unsupported(const std::string& what)
{
    throw RosterError("工作簿使用了不支持的加密方式（" + what + "），请在Excel中取消密码后另存");
}

[[noreturn]] void damaged() { throwCorrupt("加密信息不完整"); }

std::string hex(std::uint32_t v)
{
    char b[16];
    std::snprintf(b, sizeof b, "0x%04X", v);
    return b;
}

std::uint16_t le16(std::span<const std::uint8_t> d, std::size_t i)
{
    if (i + 2 > d.size())
        damaged();
    return static_cast<std::uint16_t>(d[i] | (d[i + 1] << 8));
}

std::uint32_t le32(std::span<const std::uint8_t> d, std::size_t i)
{
    if (i + 4 > d.size())
        damaged();
    return d[i] | (d[i + 1] << 8) | (d[i + 2] << 16) | (static_cast<std::uint32_t>(d[i + 3]) << 24);
}

std::span<const std::uint8_t> sub(std::span<const std::uint8_t> d, std::size_t at, std::size_t n)
{
    if (at > d.size() || n > d.size() - at)
        damaged();
    return d.subspan(at, n);
}

void putLe32(std::uint8_t* p, std::uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        p[k] = static_cast<std::uint8_t>(v >> (8 * k));
}

// The password as UTF-16LE code units, as every scheme hashes it.
SecretBytes utf16(std::string_view utf8)
{
    SecretBytes out;
    out.reserve(utf8.size() * 2 + 4);
    auto put = [&](std::uint32_t u) {
        out.push_back(static_cast<std::uint8_t>(u));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    };
    for (std::size_t i = 0; i < utf8.size();) {
        auto c = static_cast<unsigned char>(utf8[i]);
        std::uint32_t cp;
        int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > utf8.size()) {
            cp = 0xFFFD;
            len = 1;
        } else {
            cp = len == 1 ? c : (c & (0x7F >> len));
            for (int k = 1; k < len; ++k)
                cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        i += static_cast<std::size_t>(len);
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        } else {
            put(cp > 0x10FFFF ? 0xFFFD : cp);
        }
    }
    return out;
}

// The passwords to try, Excel's built-in one first.
std::vector<std::string_view> candidates(const Password* given)
{
    std::vector<std::string_view> c{kDefaultPassword};
    if (given && given->utf8() != kDefaultPassword)
        c.push_back(given->utf8());
    return c;
}

[[noreturn]] void noPasswordFits(const Password* given)
{
    if (given)
        throw PasswordError(reasonPasswordWrong(), true);
    throw PasswordError(reasonPasswordNeeded(), false);
}

// ---- primitives over Nettle ----------------------------------------------------

class Hash {
public:
    explicit Hash(const nettle_hash* h) : h_(h), ctx_(h->context_size) { h_->init(ctx_.data()); }
    Hash& add(std::span<const std::uint8_t> d)
    {
        h_->update(ctx_.data(), d.size(), d.data());
        return *this;
    }
    Hash& add32(std::uint32_t v)
    {
        std::uint8_t b[4];
        putLe32(b, v);
        return add(b);
    }
    SecretBytes digest()
    {
        SecretBytes out(h_->digest_size);
        h_->digest(ctx_.data(), out.size(), out.data());
        h_->init(ctx_.data());
        return out;
    }
    // Digest into `out` (digest_size bytes), ready for the next round.
    void digestInto(std::uint8_t* out) { h_->digest(ctx_.data(), h_->digest_size, out); }
    std::size_t size() const { return h_->digest_size; }

private:
    const nettle_hash* h_;
    SecretBytes ctx_;
};

const nettle_hash* hashByName(const std::string& name)
{
    std::string n;
    for (char c : name)
        if (c != '-')
            n += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (n == "SHA1")
        return &nettle_sha1;
    if (n == "SHA256")
        return &nettle_sha256;
    if (n == "SHA384")
        return &nettle_sha384;
    if (n == "SHA512")
        return &nettle_sha512;
    if (n == "MD5")
        return &nettle_md5;
    return nullptr;
}

class Rc4 {
public:
    explicit Rc4(std::span<const std::uint8_t> key) { arcfour_set_key(&ctx_, key.size(), key.data()); }
    ~Rc4() { wipe(&ctx_, sizeof ctx_); }
    void crypt(std::uint8_t* dst, const std::uint8_t* src, std::size_t n) { arcfour_crypt(&ctx_, n, dst, src); }
    SecretBytes crypt(std::span<const std::uint8_t> src)
    {
        SecretBytes out(src.size());
        crypt(out.data(), src.data(), src.size());
        return out;
    }

private:
    arcfour_ctx ctx_{};
};

class Aes {
public:
    explicit Aes(std::span<const std::uint8_t> key) : bits_(key.size() * 8)
    {
        switch (key.size()) {
        case 16: aes128_set_decrypt_key(&c128_, key.data()); break;
        case 24: aes192_set_decrypt_key(&c192_, key.data()); break;
        case 32: aes256_set_decrypt_key(&c256_, key.data()); break;
        default: unsupported("AES密钥长度" + std::to_string(key.size() * 8));
        }
    }
    ~Aes()
    {
        wipe(&c128_, sizeof c128_);
        wipe(&c192_, sizeof c192_);
        wipe(&c256_, sizeof c256_);
    }
    // Whole blocks only; `n` is cut to a multiple of 16.
    void ecb(std::uint8_t* dst, const std::uint8_t* src, std::size_t n) const
    {
        n -= n % AES_BLOCK_SIZE;
        switch (bits_) {
        case 128: aes128_decrypt(&c128_, n, dst, src); break;
        case 192: aes192_decrypt(&c192_, n, dst, src); break;
        default: aes256_decrypt(&c256_, n, dst, src); break;
        }
    }
    void cbc(std::span<const std::uint8_t> iv, std::uint8_t* dst, const std::uint8_t* src, std::size_t n) const
    {
        n -= n % AES_BLOCK_SIZE;
        std::uint8_t v[AES_BLOCK_SIZE];
        std::memcpy(v, iv.data(), AES_BLOCK_SIZE);
        const void* ctx = bits_ == 128   ? static_cast<const void*>(&c128_)
                          : bits_ == 192 ? static_cast<const void*>(&c192_)
                                         : static_cast<const void*>(&c256_);
        nettle_cipher_func* f = bits_ == 128   ? reinterpret_cast<nettle_cipher_func*>(aes128_decrypt)
                                : bits_ == 192 ? reinterpret_cast<nettle_cipher_func*>(aes192_decrypt)
                                               : reinterpret_cast<nettle_cipher_func*>(aes256_decrypt);
        cbc_decrypt(ctx, f, AES_BLOCK_SIZE, v, n, dst, src);
    }
    SecretBytes cbc(std::span<const std::uint8_t> iv, std::span<const std::uint8_t> src) const
    {
        SecretBytes out(src.size() - src.size() % AES_BLOCK_SIZE);
        cbc(iv, out.data(), src.data(), out.size());
        return out;
    }

private:
    std::size_t bits_;
    aes128_ctx c128_{};
    aes192_ctx c192_{};
    aes256_ctx c256_{};
};

bool sameBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b, std::size_t n)
{
    if (a.size() < n || b.size() < n)
        return false;
    unsigned diff = 0;
    for (std::size_t i = 0; i < n; ++i)
        diff |= a[i] ^ b[i];
    return diff == 0;
}

// The check of the RC4 schemes: the verifier, decrypted with the key of
// block 0, hashes to the verifier hash decrypted after it (as many bytes as
// the hash gives).
bool rc4Verifies(const SecretBytes& key, std::span<const std::uint8_t> verifier,
                 std::span<const std::uint8_t> verifierHash, const nettle_hash* hash)
{
    Rc4 rc(key);
    SecretBytes v = rc.crypt(verifier);
    SecretBytes vh = rc.crypt(verifierHash);
    SecretBytes want = Hash(hash).add(v).digest();
    return sameBytes(want, vh, hash->digest_size);
}

// ---- .xls -------------------------------------------------------------------------

// Calls `f(from, to, recordSize)` for every run of stream bytes that the
// scheme encrypts: the data of every record except those that stay plain,
// and of BOUNDSHEET all but the sheet's position.
template <class F>
void encryptedRuns(std::span<const std::uint8_t> s, F&& f)
{
    std::size_t pos = 0;
    while (pos + 4 <= s.size()) {
        std::uint16_t type = static_cast<std::uint16_t>(s[pos] | (s[pos + 1] << 8));
        std::size_t len = static_cast<std::size_t>(s[pos + 2] | (s[pos + 3] << 8));
        std::size_t data = pos + 4;
        if (len > s.size() - data)
            break;  // truncated: the reader reports it
        switch (type) {
        case rBOF:
        case rFILEPASS:
        case rUSREXCL:
        case rFILELOCK:
        case rINTERFACEHDR:
        case rRRDINFO:
        case rRRDHEAD: break;
        case rBOUNDSHEET:
            if (len > 4)
                f(data + 4, data + len, len);
            break;
        default:
            if (len > 0)
                f(data, data + len, len);
        }
        pos = data + len;
    }
}

// RC4 over the stream: a new key every 1024 bytes (the block number is the
// stream offset / 1024), the key stream running over the record headers
// and plain records too.
template <class BlockKey>
SecretBytes rc4Stream(std::span<const std::uint8_t> s, BlockKey&& blockKey)
{
    SecretBytes out(s.begin(), s.end());
    constexpr std::size_t kBlock = 1024;
    std::uint8_t ks[kBlock];
    std::size_t current = SIZE_MAX;
    encryptedRuns(s, [&](std::size_t from, std::size_t to, std::size_t) {
        for (std::size_t p = from; p < to; ++p) {
            std::size_t b = p / kBlock;
            if (b != current) {
                SecretBytes key = blockKey(static_cast<std::uint32_t>(b));
                Rc4 rc(key);
                std::memset(ks, 0, kBlock);
                rc.crypt(ks, ks, kBlock);
                current = b;
            }
            out[p] ^= ks[p % kBlock];
        }
    });
    wipe(ks, kBlock);
    return out;
}

// Office binary RC4: MD5 of the password and the salt.
struct Rc4Std {
    std::span<const std::uint8_t> salt, verifier, verifierHash;

    SecretBytes baseKey(std::string_view pw) const
    {
        SecretBytes u = utf16(pw);
        SecretBytes h0 = Hash(&nettle_md5).add(u).digest();
        Hash h(&nettle_md5);
        for (int i = 0; i < 16; ++i)
            h.add(std::span<const std::uint8_t>(h0.data(), 5)).add(salt);
        SecretBytes h1 = h.digest();
        h1.resize(5);
        return h1;
    }
    static SecretBytes blockKey(const SecretBytes& base, std::uint32_t block)
    {
        return Hash(&nettle_md5).add(base).add32(block).digest();
    }
    bool verify(const SecretBytes& base) const
    {
        return rc4Verifies(blockKey(base, 0), verifier, verifierHash, &nettle_md5);
    }
};

// RC4 CryptoAPI: SHA-1 of the salt and the password; a 40-bit key is
// padded with zeros to 128 bits.
struct Rc4CryptoApi {
    std::span<const std::uint8_t> salt, verifier, verifierHash;
    std::size_t keyBytes = 5;

    SecretBytes baseKey(std::string_view pw) const
    {
        SecretBytes u = utf16(pw);
        return Hash(&nettle_sha1).add(salt).add(u).digest();
    }
    SecretBytes blockKey(const SecretBytes& base, std::uint32_t block) const
    {
        SecretBytes h = Hash(&nettle_sha1).add(base).add32(block).digest();
        h.resize(keyBytes);
        if (keyBytes == 5)
            h.resize(16, 0);
        return h;
    }
    bool verify(const SecretBytes& base) const
    {
        return rc4Verifies(blockKey(base, 0), verifier, verifierHash, &nettle_sha1);
    }
};

// XOR obfuscation (Excel 95 and "weak" Excel 97-2003 encryption).
struct XorObfuscation {
    std::uint16_t verifier = 0;

    static constexpr std::uint16_t kInitialCode[15] = {0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C, 0x0E10, 0xF1CE, 0x313E,
                                                       0x1872, 0xE139, 0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3};
    static constexpr std::uint16_t kXorMatrix[105] = {
        0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7, 0x9DCF, 0x2BBF,
        0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375, 0x06EA, 0x0DD4, 0x1BA8, 0x3750, 0x6EA0, 0xDD40,
        0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5, 0x6F45, 0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A,
        0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC, 0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0,
        0xB861, 0x60E3, 0xC1C6, 0x93AD, 0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10,
        0xAA51, 0x4483, 0x8906, 0x022D, 0x045A, 0x08B4, 0x1168, 0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C,
        0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373, 0x06E6, 0x0DCC,
        0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4};
    static constexpr std::uint8_t kPad[15] = {0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80,
                                              0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00};

    // The password as the scheme takes it: one byte per character (its low
    // byte, or its high byte when the low one is 0), at most 15.
    static std::optional<SecretBytes> bytes(std::string_view pw)
    {
        SecretBytes u = utf16(pw);
        SecretBytes b;
        for (std::size_t i = 0; i + 1 < u.size(); i += 2)
            b.push_back(u[i] ? u[i] : u[i + 1]);
        if (b.empty() || b.size() > 15)
            return std::nullopt;
        return b;
    }
    static std::uint16_t makeVerifier(const SecretBytes& pw)
    {
        std::uint16_t v = 0;
        auto step = [&](std::uint8_t byte) {
            v = static_cast<std::uint16_t>((((v >> 14) & 1) | ((v << 1) & 0x7FFF)) ^ byte);
        };
        for (std::size_t i = pw.size(); i-- > 0;)
            step(pw[i]);
        step(static_cast<std::uint8_t>(pw.size()));
        return static_cast<std::uint16_t>(v ^ 0xCE4B);
    }
    static std::uint16_t makeKey(const SecretBytes& pw)
    {
        std::uint16_t key = kInitialCode[pw.size() - 1];
        int element = 0x68;
        for (std::size_t i = pw.size(); i-- > 0;) {
            std::uint8_t ch = pw[i];
            for (int j = 0; j < 7; ++j, --element) {
                if (ch & 0x40)
                    key ^= kXorMatrix[element];
                ch = static_cast<std::uint8_t>(ch << 1);
            }
        }
        return key;
    }
    static std::uint8_t rotr1(std::uint8_t b) { return static_cast<std::uint8_t>((b >> 1) | (b << 7)); }
    static std::array<std::uint8_t, 16> makeArray(const SecretBytes& pw)
    {
        std::uint16_t key = makeKey(pw);
        auto hi = static_cast<std::uint8_t>(key >> 8), lo = static_cast<std::uint8_t>(key & 0xFF);
        std::array<std::uint8_t, 16> a{};
        std::size_t index = pw.size();
        if (index % 2 == 1) {
            a[index] = rotr1(kPad[0] ^ hi);
            --index;
            a[index] = rotr1(pw[pw.size() - 1] ^ lo);
        }
        while (index > 0) {
            --index;
            a[index] = rotr1(pw[index] ^ hi);
            --index;
            a[index] = rotr1(pw[index] ^ lo);
        }
        index = 15;
        int pad = 15 - static_cast<int>(pw.size());
        while (pad > 0) {
            a[index] = rotr1(kPad[pad] ^ hi);
            --index;
            --pad;
            a[index] = rotr1(kPad[pad] ^ lo);
            --index;
            --pad;
        }
        return a;
    }

    static SecretBytes decrypt(std::span<const std::uint8_t> s, const std::array<std::uint8_t, 16>& a)
    {
        SecretBytes out(s.begin(), s.end());
        encryptedRuns(s, [&](std::size_t from, std::size_t to, std::size_t size) {
            for (std::size_t p = from; p < to; ++p) {
                auto v = static_cast<std::uint8_t>(out[p] ^ a[(p + size) % 16]);
                out[p] = static_cast<std::uint8_t>((v >> 5) | (v << 3));
            }
        });
        return out;
    }
};

}  // namespace

SecretBytes decryptBiff(std::span<const std::uint8_t> stream, std::size_t filePass, bool biff8,
                        const Password* password)
{
    std::size_t len = le16(stream, filePass + 2);
    std::span<const std::uint8_t> fp = sub(stream, filePass + 4, len);
    // BIFF5 knows only XOR obfuscation, without a type field.
    std::uint16_t type = biff8 ? le16(fp, 0) : 0;
    std::size_t at = biff8 ? 2 : 0;
    if (type == 0) {
        XorObfuscation x;
        le16(fp, at);  // the key: implied by the password
        x.verifier = le16(fp, at + 2);
        for (std::string_view pw : candidates(password)) {
            auto bytes = XorObfuscation::bytes(pw);
            if (!bytes || XorObfuscation::makeVerifier(*bytes) != x.verifier)
                continue;
            return XorObfuscation::decrypt(stream, XorObfuscation::makeArray(*bytes));
        }
        noPasswordFits(password);
    }
    if (type != 1)
        unsupported("加密类型" + std::to_string(type));
    std::uint16_t major = le16(fp, 2), minor = le16(fp, 4);
    if (major == 1 && minor == 1) {
        Rc4Std r{sub(fp, 6, 16), sub(fp, 22, 16), sub(fp, 38, 16)};
        for (std::string_view pw : candidates(password)) {
            SecretBytes base = r.baseKey(pw);
            if (!r.verify(base))
                continue;
            return rc4Stream(stream, [&](std::uint32_t b) { return Rc4Std::blockKey(base, b); });
        }
        noPasswordFits(password);
    }
    if (major >= 2 && major <= 4 && minor == 2) {
        std::uint32_t headerSize = le32(fp, 10);
        std::span<const std::uint8_t> header = sub(fp, 14, headerSize);
        std::span<const std::uint8_t> ver = fp.subspan(14 + headerSize);
        std::uint32_t algId = le32(header, 8);
        std::uint32_t keyBits = le32(header, 16);
        if (algId != 0x6801 && algId != 0)
            unsupported("算法" + hex(algId));
        if (keyBits == 0)
            keyBits = 40;
        if (keyBits < 40 || keyBits > 128 || keyBits % 8)
            unsupported("RC4密钥长度" + std::to_string(keyBits));
        std::uint32_t saltSize = le32(ver, 0);
        if (saltSize != 16)
            damaged();
        Rc4CryptoApi r{sub(ver, 4, 16), sub(ver, 20, 16), sub(ver, 40, 20), keyBits / 8};
        for (std::string_view pw : candidates(password)) {
            SecretBytes base = r.baseKey(pw);
            if (!r.verify(base))
                continue;
            return rc4Stream(stream, [&](std::uint32_t b) { return r.blockKey(base, b); });
        }
        noPasswordFits(password);
    }
    unsupported("版本" + std::to_string(major) + "." + std::to_string(minor));
}

// ---- .xlsx -------------------------------------------------------------------------

namespace {

constexpr std::size_t kSegment = 4096;

// The size the package claims, and its encrypted bytes.
std::pair<std::uint64_t, std::span<const std::uint8_t>> packageParts(std::span<const std::uint8_t> package)
{
    if (package.size() < 8)
        damaged();
    std::uint64_t size = le32(package, 0) | (static_cast<std::uint64_t>(le32(package, 4)) << 32);
    std::span<const std::uint8_t> body = package.subspan(8);
    if (size > body.size())
        throwCorrupt("加密的工作簿不完整");
    return {size, body};
}

SecretBytes decryptStandard(std::span<const std::uint8_t> info, const Password* password)
{
    // Version, flags, header size, header, verifier.
    std::uint32_t headerSize = le32(info, 8);
    std::span<const std::uint8_t> header = sub(info, 12, headerSize);
    std::span<const std::uint8_t> ver = info.subspan(12 + headerSize);
    std::uint32_t algId = le32(header, 8), algHash = le32(header, 12), keyBits = le32(header, 16);
    if (algId != 0x660E && algId != 0x660F && algId != 0x6610)
        unsupported("算法" + hex(algId));
    if (algHash != 0x8004 && algHash != 0)
        unsupported("散列算法");
    if (keyBits != 128 && keyBits != 192 && keyBits != 256)
        unsupported("AES密钥长度" + std::to_string(keyBits));
    if (le32(ver, 0) != 16)
        damaged();
    std::span<const std::uint8_t> salt = sub(ver, 4, 16), encVerifier = sub(ver, 20, 16);
    std::uint32_t hashSize = le32(ver, 36);
    if (hashSize != 20)
        damaged();
    std::span<const std::uint8_t> encHash = sub(ver, 40, 32);

    for (std::string_view pw : candidates(password)) {
        SecretBytes u = utf16(pw);
        SecretBytes h = Hash(&nettle_sha1).add(salt).add(u).digest();
        Hash sha(&nettle_sha1);
        for (std::uint32_t i = 0; i < 50000; ++i) {
            sha.add32(i).add(h);
            sha.digestInto(h.data());
        }
        SecretBytes hfinal = sha.add(h).add32(0).digest();
        SecretBytes b1(64, 0x36), b2(64, 0x5C);
        for (std::size_t i = 0; i < hfinal.size(); ++i) {
            b1[i] ^= hfinal[i];
            b2[i] ^= hfinal[i];
        }
        SecretBytes key = Hash(&nettle_sha1).add(b1).digest();
        SecretBytes x2 = Hash(&nettle_sha1).add(b2).digest();
        key.insert(key.end(), x2.begin(), x2.end());
        key.resize(keyBits / 8);
        Aes aes(key);
        std::uint8_t v[16], vh[32];
        aes.ecb(v, encVerifier.data(), 16);
        aes.ecb(vh, encHash.data(), 32);
        SecretBytes want = Hash(&nettle_sha1).add(std::span<const std::uint8_t>(v, 16)).digest();
        bool ok = sameBytes(want, std::span<const std::uint8_t>(vh, 32), 20);
        wipe(v, sizeof v);
        wipe(vh, sizeof vh);
        if (!ok)
            continue;
        return SecretBytes(key.begin(), key.end());
    }
    noPasswordFits(password);
}

// Attributes of the Agile description that matter.
struct AgileParams {
    std::string hash, cipher, chaining;
    std::size_t keyBits = 0, blockSize = 0, hashSize = 0, saltSize = 0;
    SecretBytes salt;
};
struct AgileInfo {
    AgileParams data, key;
    std::uint32_t spinCount = 0;
    SecretBytes encVerifierInput, encVerifierValue, encKeyValue;
    bool haveKey = false;
};

SecretBytes base64(const std::string& s)
{
    gsize n = 0;
    guchar* b = g_base64_decode(s.c_str(), &n);
    SecretBytes out(b, b + n);
    wipe(b, n);
    g_free(b);
    return out;
}

AgileInfo parseAgile(std::span<const std::uint8_t> xml)
{
    AgileInfo a;
    xmlTextReaderPtr r =
        xmlReaderForMemory(reinterpret_cast<const char*>(xml.data()), static_cast<int>(xml.size()), nullptr, nullptr,
                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!r)
        damaged();
    auto attr = [&](const char* name) {
        xmlChar* v = xmlTextReaderGetAttribute(r, reinterpret_cast<const xmlChar*>(name));
        std::string out = v ? reinterpret_cast<const char*>(v) : "";
        xmlFree(v);
        return out;
    };
    auto number = [&](const char* name) -> std::size_t {
        std::string v = attr(name);
        char* e = nullptr;
        unsigned long n = std::strtoul(v.c_str(), &e, 10);
        if (v.empty() || *e || n > 100000000ul)
            damaged();
        return n;
    };
    auto params = [&](AgileParams& p) {
        p.hash = attr("hashAlgorithm");
        p.cipher = attr("cipherAlgorithm");
        p.chaining = attr("cipherChaining");
        p.keyBits = number("keyBits");
        p.blockSize = number("blockSize");
        p.hashSize = number("hashSize");
        p.saltSize = number("saltSize");
        p.salt = base64(attr("saltValue"));
    };
    int ret;
    try {
        while ((ret = xmlTextReaderRead(r)) == 1) {
            if (xmlTextReaderNodeType(r) == XML_READER_TYPE_DOCUMENT_TYPE)
                damaged();
            if (xmlTextReaderNodeType(r) != XML_READER_TYPE_ELEMENT)
                continue;
            const char* local = reinterpret_cast<const char*>(xmlTextReaderConstLocalName(r));
            if (!local)
                continue;
            if (std::strcmp(local, "keyData") == 0) {
                params(a.data);
            } else if (std::strcmp(local, "encryptedKey") == 0 && !a.haveKey && !attr("spinCount").empty()) {
                params(a.key);
                a.spinCount = static_cast<std::uint32_t>(number("spinCount"));
                a.encVerifierInput = base64(attr("encryptedVerifierHashInput"));
                a.encVerifierValue = base64(attr("encryptedVerifierHashValue"));
                a.encKeyValue = base64(attr("encryptedKeyValue"));
                a.haveKey = true;
            }
        }
    } catch (...) {
        xmlFreeTextReader(r);
        throw;
    }
    xmlFreeTextReader(r);
    if (ret < 0)
        damaged();
    if (!a.haveKey)
        unsupported("没有按密码加密的密钥");
    return a;
}

// Truncated, or padded with 0x36, to `n` bytes.
SecretBytes fit(SecretBytes b, std::size_t n)
{
    b.resize(n, 0x36);
    return b;
}

void checkParams(const AgileParams& p)
{
    if (p.cipher != "AES")
        unsupported(p.cipher.empty() ? std::string("未知算法") : p.cipher);
    if (p.chaining != "ChainingModeCBC")
        unsupported(p.chaining);
    if (!hashByName(p.hash))
        unsupported(p.hash);
    if (p.keyBits != 128 && p.keyBits != 192 && p.keyBits != 256)
        unsupported("AES密钥长度" + std::to_string(p.keyBits));
    if (p.blockSize != 16)
        damaged();
    if (p.salt.size() < 1 || p.salt.size() > 64)
        damaged();
}

SecretBytes agileKey(std::span<const std::uint8_t> info, const Password* password, AgileInfo& a)
{
    if (info.size() < 8)
        damaged();
    a = parseAgile(info.subspan(8));
    checkParams(a.data);
    checkParams(a.key);
    // Excel's own limit; more would only make the open hang.
    if (a.spinCount > 10000000)
        damaged();
    const nettle_hash* hk = hashByName(a.key.hash);
    static const std::uint8_t kInput[8] = {0xfe, 0xa7, 0xd2, 0x76, 0x3b, 0x4b, 0x9e, 0x79};
    static const std::uint8_t kValue[8] = {0xd7, 0xaa, 0x0f, 0x6d, 0x30, 0x61, 0x34, 0x4e};
    static const std::uint8_t kKey[8] = {0x14, 0x6e, 0x0b, 0xe7, 0xab, 0xac, 0xd0, 0xd6};
    const std::size_t keyBytes = a.key.keyBits / 8;
    SecretBytes iv = fit(SecretBytes(a.key.salt.begin(), a.key.salt.end()), a.key.blockSize);

    for (std::string_view pw : candidates(password)) {
        SecretBytes u = utf16(pw);
        SecretBytes h = Hash(hk).add(a.key.salt).add(u).digest();
        Hash hash(hk);
        for (std::uint32_t i = 0; i < a.spinCount; ++i) {
            hash.add32(i).add(h);
            hash.digestInto(h.data());
        }
        auto keyFor = [&](const std::uint8_t(&block)[8]) { return fit(Hash(hk).add(h).add(block).digest(), keyBytes); };
        SecretBytes input = Aes(keyFor(kInput)).cbc(iv, a.encVerifierInput);
        if (input.size() < a.key.saltSize)
            damaged();
        input.resize(a.key.saltSize);
        SecretBytes want = Hash(hk).add(input).digest();
        SecretBytes value = Aes(keyFor(kValue)).cbc(iv, a.encVerifierValue);
        if (!sameBytes(want, value, want.size()))
            continue;
        SecretBytes secret = Aes(keyFor(kKey)).cbc(iv, a.encKeyValue);
        if (secret.size() < a.data.keyBits / 8)
            damaged();
        secret.resize(a.data.keyBits / 8);
        return secret;
    }
    noPasswordFits(password);
}

}  // namespace

SecretBytes decryptPackage(std::span<const std::uint8_t> info, std::span<const std::uint8_t> package,
                           const Password* password)
{
    std::uint16_t major = le16(info, 0), minor = le16(info, 2);
    if (major == 4 && minor == 4) {
        AgileInfo a;
        SecretBytes key = agileKey(info, password, a);
        auto [size, body] = packageParts(package);
        Aes aes(key);
        const nettle_hash* hd = hashByName(a.data.hash);
        SecretBytes out(body.size() - body.size() % 16);
        for (std::size_t seg = 0, at = 0; at < out.size(); ++seg, at += kSegment) {
            SecretBytes iv =
                fit(Hash(hd).add(a.data.salt).add32(static_cast<std::uint32_t>(seg)).digest(), a.data.blockSize);
            std::size_t n = std::min(kSegment, out.size() - at);
            aes.cbc(iv, out.data() + at, body.data() + at, n);
        }
        if (size > out.size())
            throwCorrupt("加密的工作簿不完整");
        out.resize(static_cast<std::size_t>(size));
        return out;
    }
    if ((major == 2 || major == 3 || major == 4) && minor == 2) {
        SecretBytes key = decryptStandard(info, password);
        auto [size, body] = packageParts(package);
        Aes aes(key);
        SecretBytes out(body.size() - body.size() % 16);
        aes.ecb(out.data(), body.data(), out.size());
        if (size > out.size())
            throwCorrupt("加密的工作簿不完整");
        out.resize(static_cast<std::size_t>(size));
        return out;
    }
    if (minor == 3 && (major == 3 || major == 4))
        unsupported("可扩展加密");
    unsupported("版本" + std::to_string(major) + "." + std::to_string(minor));
}

}  // namespace vdmq::roster::detail
