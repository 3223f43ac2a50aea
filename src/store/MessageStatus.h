#pragma once

#include <cstdint>
#include <string>

namespace vesk::store {

// Where an outbox row stands; the numbers are what msgStatus stores.
enum class MessageStatus : std::uint8_t {
    Pending = 0,
    Owned = 1, // claimed by a console that is sending it
    Failed = 2, // cancelled, retries exhausted or expired
    Sent = 3,
    Delivered = 5,
    DeliveryUnconfirmed = 6,
    NotDelivered = 7,
};

// The stored number, as it goes into a statement.
inline std::string StatusSql(MessageStatus s)
{
    return std::to_string(static_cast<int>(s));
}

inline MessageStatus StatusFromStored(int stored)
{
    return static_cast<MessageStatus>(static_cast<std::uint8_t>(stored));
}

// The TP-Status of a delivery report, as the network sends it and msgDeliveryStatus stores it:
// 0 received by the phone, 1 forwarded but unconfirmed, 2 replaced; 32 and up still trying or
// failed.
namespace report {
inline constexpr int kReceived = 0;
inline constexpr int kUnconfirmed = 1;
inline constexpr int kReplaced = 2;
} // namespace report

} // namespace vesk::store
