#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vesk::api {

// Webhook signing secrets as receivers hold them: "whsec_" and the base64 of 32 random bytes.
// The outbox keeps them as they are: they sign, so a hash would not do.
inline constexpr std::string_view kSecretPrefix = "whsec_";
inline constexpr std::size_t kSecretBytes = 32;

// A new secret; empty when the system has no randomness to give.
std::string NewWebhookSecret();
// Bytes as standard base64 with padding.
std::string Base64(std::string_view bytes);
// The key bytes of a secret (the base64 after the prefix); nothing for text that is not one.
std::optional<std::string> SecretKeyBytes(std::string_view secret);

} // namespace vesk::api
