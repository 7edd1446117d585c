#include "app/md5_checksum.h"

#include <openssl/evp.h>

#include <memory>

#include "app/text_trim.h"
#include "platform/log.h"

namespace {

struct EvpContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

std::string CMD5Checksum::GetMD5(std::string_view bytes) {
    const std::unique_ptr<EVP_MD_CTX, EvpContextDeleter> context(EVP_MD_CTX_new());
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1 ||
        EVP_DigestFinal_ex(context.get(), digest, &size) != 1) {
        // Only a crypto library without MD5 (a FIPS-only configuration) gets here.
        Log(LogLevel::kError, "md5", "the MD5 digest is not available");
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (unsigned int i = 0; i < size; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 0x0F];
    }
    return text;
}

std::string LogonPasswordDigest(std::string_view typed, std::string_view storedEncPassword) {
    if (typed == storedEncPassword) return std::string(typed);
    const std::string_view trimmed = TrimBlanks(typed);
    if (trimmed.empty()) return {};
    return CMD5Checksum::GetMD5(trimmed);
}
