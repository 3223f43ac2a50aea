#include "api/WebhookSecret.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <vector>

namespace vesk::api {

std::string Base64(std::string_view bytes)
{
    std::vector<unsigned char> out(4 * ((bytes.size() + 2) / 3) + 1);
    const int n = EVP_EncodeBlock(
        out.data(), reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    return std::string(reinterpret_cast<const char*>(out.data()), static_cast<std::size_t>(std::max(n, 0)));
}

std::string NewWebhookSecret()
{
    unsigned char bytes[kSecretBytes];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        return {};
    return std::string(kSecretPrefix)
        + Base64(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

std::optional<std::string> SecretKeyBytes(std::string_view secret)
{
    if (secret.rfind(kSecretPrefix, 0) != 0)
        return std::nullopt;
    const std::string_view text = secret.substr(kSecretPrefix.size());
    if (text.empty() || text.size() % 4 != 0 || text.size() > 1024
        || text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=")
            != std::string_view::npos)
        return std::nullopt;
    std::vector<unsigned char> out(text.size());
    const int n = EVP_DecodeBlock(
        out.data(), reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    if (n < 0)
        return std::nullopt;
    // The decoder counts the padding as bytes.
    const std::size_t padding = text.size() - text.find_last_not_of('=') - 1;
    if (padding > 2 || static_cast<std::size_t>(n) < padding)
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(out.data()), static_cast<std::size_t>(n) - padding);
}

} // namespace vesk::api
