#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::webhooks {

// Standard Webhooks signatures: HMAC-SHA256 over "<id>.<timestamp>.<body>" with the secret's key
// bytes, as "v1,<base64>".
std::string Signature(
    std::string_view keyBytes, std::string_view id, std::int64_t timestamp, std::string_view body);
// The webhook-signature header: one signature per secret ("whsec_..."), separated by spaces;
// a secret that is not one is left out.
std::string SignatureHeader(const std::vector<std::string>& secrets, std::string_view id,
    std::int64_t timestamp, std::string_view body);

} // namespace vesk::webhooks
