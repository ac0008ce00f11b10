#include "decrypt/AesCbc.h"

#include <openssl/evp.h>

#include <utility>

namespace iaxcrypto {

AesKey keyFromChallenge(std::string_view challenge, std::string_view secret) {
    AesKey key{};
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    unsigned int length = 0;
    if (md != nullptr && EVP_DigestInit_ex(md, EVP_md5(), nullptr) == 1 &&
        EVP_DigestUpdate(md, challenge.data(), challenge.size()) == 1 &&
        EVP_DigestUpdate(md, secret.data(), secret.size()) == 1) {
        EVP_DigestFinal_ex(md, key.data(), &length);
    }
    EVP_MD_CTX_free(md);
    return key;
}

AesCbc::AesCbc(const AesKey& key, Direction direction) : key_(key), context_(EVP_CIPHER_CTX_new()) {
    auto* context = static_cast<EVP_CIPHER_CTX*>(context_);
    if (context == nullptr) {
        return;
    }
    if (EVP_CipherInit_ex(context, EVP_aes_128_cbc(), nullptr, key.data(), nullptr,
                          direction == Direction::Encrypt ? 1 : 0) != 1) {
        EVP_CIPHER_CTX_free(context);
        context_ = nullptr;
        return;
    }
    EVP_CIPHER_CTX_set_padding(context, 0);
}

AesCbc::~AesCbc() {
    EVP_CIPHER_CTX_free(static_cast<EVP_CIPHER_CTX*>(context_));
}

AesCbc::AesCbc(AesCbc&& other) noexcept
    : key_(other.key_), context_(std::exchange(other.context_, nullptr)) {}

AesCbc& AesCbc::operator=(AesCbc&& other) noexcept {
    if (this != &other) {
        EVP_CIPHER_CTX_free(static_cast<EVP_CIPHER_CTX*>(context_));
        key_ = other.key_;
        context_ = std::exchange(other.context_, nullptr);
    }
    return *this;
}

bool AesCbc::run(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out) {
    auto* context = static_cast<EVP_CIPHER_CTX*>(context_);
    const std::size_t whole = in.size() - in.size() % blockSize;
    out.resize(whole);
    if (context == nullptr) {
        return false;
    }
    if (whole == 0) {
        return true;
    }
    static constexpr std::uint8_t zeroIv[blockSize] = {};
    int written = 0;
    if (EVP_CipherInit_ex(context, nullptr, nullptr, nullptr, zeroIv, -1) != 1 ||
        EVP_CipherUpdate(context, out.data(), &written, in.data(), static_cast<int>(whole)) != 1) {
        return false;
    }
    return static_cast<std::size_t>(written) == whole;
}

} // namespace iaxcrypto
