#include "webhooks/Signing.h"

#include "api/WebhookSecret.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace vesk::webhooks {

std::string Signature(
    std::string_view keyBytes, std::string_view id, std::int64_t timestamp, std::string_view body)
{
    const std::string content = std::string(id) + "." + std::to_string(timestamp) + "." + std::string(body);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!HMAC(EVP_sha256(), keyBytes.data(), static_cast<int>(keyBytes.size()),
            reinterpret_cast<const unsigned char*>(content.data()), content.size(), digest, &size))
        return {};
    return "v1," + api::Base64(std::string_view(reinterpret_cast<const char*>(digest), size));
}

std::string SignatureHeader(const std::vector<std::string>& secrets, std::string_view id,
    std::int64_t timestamp, std::string_view body)
{
    std::string header;
    for (const std::string& secret : secrets) {
        const auto key = api::SecretKeyBytes(secret);
        if (!key)
            continue;
        const std::string signature = Signature(*key, id, timestamp, body);
        if (!signature.empty())
            header += (header.empty() ? "" : " ") + signature;
    }
    return header;
}

} // namespace vesk::webhooks
