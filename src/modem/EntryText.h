#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vesk::modem {

// What may be written between "AT+CMGS" and Ctrl-Z. In text mode the modem takes every byte of
// the message literally, so a Ctrl-Z, ESC or CR in a queued text would end the entry early and
// let the rest run as commands.

// A destination the modem can dial: an optional leading "+" then 1 to 20 digits, "*" or "#".
bool IsDialableAddress(std::string_view address);

// The text without C0 control characters (0x00-0x1F); count receives how many went.
std::string WithoutControlCharacters(std::string_view text, std::size_t* count = nullptr);

} // namespace vesk::modem
