#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// AES-128 in CBC mode with an all-zero IV and no padding, as encrypted IAX2
// calls use it, through OpenSSL's libcrypto. The key schedule is made once
// per key; each frame only resets the IV.
namespace iaxcrypto {

using AesKey = std::array<std::uint8_t, 16>;
inline constexpr std::size_t blockSize = 16;

// The call key: MD5 of the challenge followed by the secret.
AesKey keyFromChallenge(std::string_view challenge, std::string_view secret);

class AesCbc final {
public:
    enum class Direction { Decrypt, Encrypt };
    AesCbc(const AesKey& key, Direction direction);
    ~AesCbc();
    AesCbc(const AesCbc&) = delete;
    AesCbc& operator=(const AesCbc&) = delete;
    AesCbc(AesCbc&& other) noexcept;
    AesCbc& operator=(AesCbc&& other) noexcept;

    [[nodiscard]] const AesKey& key() const { return key_; }
    // Runs the whole blocks of `in` (a trailing part block is left out) into
    // `out`, replacing what it held. False where the library fails.
    bool run(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out);

private:
    AesKey key_;
    void* context_; // EVP_CIPHER_CTX, kept out of this header
};

} // namespace iaxcrypto
