#include "update/verification.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <fstream>
#include <memory>
#include <vector>

namespace tavrin {

// Given by the build (the TAVRIN_UPDATE_PUBLIC_KEY option).
const char* const kBuiltInUpdateKey = TAVRIN_UPDATE_PUBLIC_KEY;

std::string ChooseUpdateKey(const std::string& configured) {
    const std::string builtIn = kBuiltInUpdateKey;
    return builtIn.empty() ? configured : builtIn;
}

bool ParseExpiry(const std::string& text, std::int64_t& secondsSince1970) {
    // The number in `count` digits at `at`, or -1.
    const auto number = [&text](std::size_t at, std::size_t count) {
        int value = 0;
        for (std::size_t i = at; i < at + count; ++i) {
            if (i >= text.size() || std::isdigit(static_cast<unsigned char>(text[i])) == 0) {
                return -1;
            }
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const bool dayOnly = text.size() == 10;
    const bool withTime = text.size() == 20 && text[10] == 'T' && text[13] == ':' &&
                          text[16] == ':' && text[19] == 'Z';
    if ((!dayOnly && !withTime) || text[4] != '-' || text[7] != '-') {
        return false;
    }
    const std::chrono::year_month_day date{std::chrono::year(number(0, 4)),
                                           std::chrono::month(number(5, 2)),
                                           std::chrono::day(number(8, 2))};
    const int hour = withTime ? number(11, 2) : 0;
    const int minute = withTime ? number(14, 2) : 0;
    const int second = withTime ? number(17, 2) : 0;
    if (number(0, 4) < 0 || number(5, 2) < 0 || number(8, 2) < 0 || !date.ok() || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
        return false;
    }
    secondsSince1970 = std::chrono::sys_days(date).time_since_epoch().count() * 86400LL +
                       hour * 3600 + minute * 60 + second;
    return true;
}

namespace {

constexpr std::size_t kKeyBytes = 32;
constexpr std::size_t kSignatureBytes = 64;

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

std::string ToHex(const unsigned char* bytes, std::size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 15];
    }
    return hex;
}

// Exactly `size` bytes from 2 * size hex digits; false for anything else.
bool FromHex(const std::string& hex, std::size_t size, std::vector<unsigned char>& bytes) {
    if (hex.size() != size * 2 ||
        !std::all_of(hex.begin(), hex.end(), [](unsigned char c) { return std::isxdigit(c); })) {
        return false;
    }
    bytes.resize(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<unsigned char>(std::stoi(hex.substr(i * 2, 2), nullptr, 16));
    }
    return true;
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::string FileSha256(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    MdCtxPtr ctx(EVP_MD_CTX_new());
    if (!file || !ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) {
        return {};
    }
    std::vector<char> buffer(256 * 1024);
    while (file) {
        file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto n = static_cast<std::size_t>(file.gcount());
        if (n > 0 && EVP_DigestUpdate(ctx.get(), buffer.data(), n) != 1) {
            return {};
        }
    }
    if (!file.eof()) {
        return {};  // a read error, not the end
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &size) != 1) {
        return {};
    }
    return ToHex(digest, size);
}

bool IsSha256Hex(const std::string& text) {
    std::vector<unsigned char> bytes;
    return FromHex(text, 32, bytes);
}

bool SameDigest(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string SignatureAddress(const std::string& descriptionAddress) {
    std::string address = descriptionAddress;
    const std::size_t query = address.find_first_of("?#");
    address.insert(query == std::string::npos ? address.size() : query, ".sig");
    return address;
}

bool VerifyUpdateSignature(const std::string& publicKeyHex, const std::string& message,
                           const std::string& signatureText) {
    std::vector<unsigned char> key;
    std::vector<unsigned char> signature;
    if (!FromHex(publicKeyHex, kKeyBytes, key) ||
        !FromHex(Trimmed(signatureText), kSignatureBytes, signature)) {
        return false;
    }
    KeyPtr publicKey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()));
    MdCtxPtr ctx(EVP_MD_CTX_new());
    if (!publicKey || !ctx ||
        EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, publicKey.get()) != 1) {
        return false;
    }
    return EVP_DigestVerify(ctx.get(), signature.data(), signature.size(),
                            reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}

bool SignUpdateDescription(const std::string& privateKeyPem, const std::string& message,
                           std::string& signatureHex, std::string& publicKeyHex,
                           std::string& error) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(privateKeyPem.data(), static_cast<int>(privateKeyPem.size())), &BIO_free);
    KeyPtr key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) {
        error = "not an Ed25519 private key in PEM form";
        return false;
    }
    unsigned char publicKey[kKeyBytes];
    std::size_t publicSize = sizeof publicKey;
    unsigned char signature[kSignatureBytes];
    std::size_t signatureSize = sizeof signature;
    MdCtxPtr ctx(EVP_MD_CTX_new());
    if (EVP_PKEY_get_raw_public_key(key.get(), publicKey, &publicSize) != 1 || !ctx ||
        EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(ctx.get(), signature, &signatureSize,
                       reinterpret_cast<const unsigned char*>(message.data()),
                       message.size()) != 1) {
        error = "signing failed";
        return false;
    }
    signatureHex = ToHex(signature, signatureSize);
    publicKeyHex = ToHex(publicKey, publicSize);
    return true;
}

}  // namespace tavrin
