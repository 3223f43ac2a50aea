#include "api/MessageView.h"

#include "api/Keys.h"
#include "api/Times.h"
#include "api/Validation.h"
#include "store/MessageStatus.h"

namespace vesk::api {

namespace {

using Reason = store::MessageFilter::Reason;
using store::MessageStatus;

struct StatusName
{
    std::string_view name;
    std::initializer_list<MessageStatus> codes;
    Reason reason;
};

// The one table between the outbox's codes and the API's names.
const StatusName kStatuses[] = {
    {"queued", {MessageStatus::Pending}, Reason::Any},
    {"sending", {MessageStatus::Owned}, Reason::Any},
    {"sent", {MessageStatus::Sent}, Reason::Any},
    {"delivered", {MessageStatus::Delivered, MessageStatus::DeliveryUnconfirmed}, Reason::Any},
    {"undelivered", {MessageStatus::NotDelivered}, Reason::Any},
    {"failed", {MessageStatus::Failed}, Reason::Other},
    {"expired", {MessageStatus::Failed}, Reason::Expired},
    {"canceled", {MessageStatus::Failed}, Reason::Canceled},
};

Reason failureOf(const std::string& reason)
{
    if (reason == store::kExpiredReason || reason == store::kMessageExpiredReason)
        return Reason::Expired;
    if (reason.rfind(store::kApiCancelReason, 0) == 0)
        return Reason::Canceled;
    return Reason::Other;
}

nlohmann::json textOrNull(const std::string& text)
{
    return text.empty() ? nlohmann::json(nullptr) : nlohmann::json(text);
}

constexpr std::string_view kCursorMark = "m";

} // namespace

std::string_view ApiStatus(const store::MessageRecord& m)
{
    const Reason reason
        = m.status == static_cast<int>(MessageStatus::Failed) ? failureOf(m.errorReason) : Reason::Any;
    for (const StatusName& s : kStatuses)
        for (MessageStatus code : s.codes)
            if (static_cast<int>(code) == m.status && s.reason == reason)
                return s.name;
    return "failed"; // a code no console writes
}

bool FilterByStatus(std::string_view name, store::MessageFilter& filter)
{
    for (const StatusName& s : kStatuses) {
        if (s.name != name)
            continue;
        filter.statuses.clear();
        for (MessageStatus code : s.codes)
            filter.statuses.push_back(static_cast<int>(code));
        filter.reason = s.reason;
        return true;
    }
    return false;
}

nlohmann::json TimeJson(DateTime local)
{
    return local.isZero() ? nlohmann::json(nullptr) : nlohmann::json(Rfc3339(UnixFromLocal(local)));
}

nlohmann::json MessageJson(const store::MessageRecord& m)
{
    nlohmann::json report = nullptr;
    if (m.deliveryStatus >= 0)
        report = {{"status", m.deliveryStatus}, {"time", TimeJson(m.deliveryTime)},
            {"confirmed", m.status == static_cast<int>(MessageStatus::Delivered)}};
    return {{"id", m.id}, {"to", m.address}, {"name", textOrNull(m.recipient)}, {"text", m.text},
        {"status", ApiStatus(m)}, {"client_ref", textOrNull(m.clientRef)},
        {"created_at", m.created > 0 ? nlohmann::json(Rfc3339(m.created)) : nlohmann::json(nullptr)},
        {"send_at", TimeJson(m.sendTime)}, {"expires_at", TimeJson(m.expires)},
        {"claimed_at", m.status == static_cast<int>(MessageStatus::Owned) ? TimeJson(m.claimedAt) : nullptr},
        {"attempts", m.attempts}, {"parts", m.fragments > 0 ? m.fragments : EstimateParts(m.text)},
        {"modem_response", textOrNull(m.modemResponse)}, {"error_reason", textOrNull(m.errorReason)},
        {"delivery_report", report}};
}

nlohmann::json InboundJson(const store::InboundRecord& m)
{
    return {{"id", m.id}, {"from", m.address}, {"text", m.text}, {"received_at", TimeJson(m.time)}};
}

std::string CursorText(RowId below)
{
    // Encoded, so that clients pass it back rather than build their own.
    return Base64Url(std::string(kCursorMark) + std::to_string(below));
}

std::optional<RowId> CursorValue(std::string_view cursor)
{
    std::string raw;
    std::uint32_t buffer = 0;
    int bits = 0;
    for (const char c : cursor) {
        int v = -1;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '-')
            v = 62;
        else if (c == '_')
            v = 63;
        if (v < 0 || raw.size() > 32)
            return std::nullopt;
        buffer = (buffer << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            raw += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    if (raw.rfind(kCursorMark, 0) != 0)
        return std::nullopt;
    return IdValue(std::string_view(raw).substr(kCursorMark.size()));
}

std::optional<RowId> IdValue(std::string_view text)
{
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    const RowId id = std::stoll(std::string(text));
    return id > 0 ? std::optional<RowId>(id) : std::nullopt;
}

} // namespace vesk::api
