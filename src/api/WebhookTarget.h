#pragma once

#include "api/AddressRange.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::api {

// Where webhooks may go. A URL must be https, or http to a loopback host; the addresses a host
// name stands for are checked again when the connection is made (names can change what they
// point at), and addresses of the machine itself or of private, shared or link-local networks
// are refused unless [Webhooks] Allow lists them.

struct TargetUrl
{
    std::string scheme; // "https" or "http"
    std::string host; // without brackets
    bool loopbackHost = false; // "localhost", 127.0.0.0/8 or ::1
};

// The URL's parts, or why it is no URL a webhook goes to.
std::optional<TargetUrl> ParseTargetUrl(std::string_view url, std::string& why);
// The URL as it may be shown to someone who may only look: without a user name or password, and
// with its query (where receivers often take a token) and fragment cut to "?…".
std::string ShownUrl(std::string_view url);
// Whether an address (as text) is one of the machine's own or a private, shared or link-local one.
bool IsInternalAddress(std::string_view address);
// Whether a connection to this address may be made.
bool AddressAllowed(std::string_view address, const std::vector<AddressRange>& allow);

} // namespace vesk::api
