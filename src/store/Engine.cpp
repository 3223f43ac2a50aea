#include "store/Engine.h"

#include <cctype>

namespace vesk::store {

bool RepairUtf8(std::string& text)
{
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::size_t i = 0;
    // Most text is valid: look first, copy only when something must change.
    const auto sequenceLength = [&](std::size_t at) -> std::size_t {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
        const unsigned char c = b(at);
        if (c < 0x80)
            return 1;
        std::size_t n = 0;
        unsigned min = 0;
        unsigned code = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            n = 2;
            code = c & 0x1F;
            min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 3;
            code = c & 0x0F;
            min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 4;
            code = c & 0x07;
            min = 0x10000;
        } else {
            return 0;
        }
        if (at + n > text.size())
            return 0;
        for (std::size_t k = 1; k < n; ++k) {
            if ((b(at + k) & 0xC0) != 0x80)
                return 0;
            code = (code << 6) | (b(at + k) & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return 0;
        return n;
    };
    while (i < text.size()) {
        const std::size_t n = sequenceLength(i);
        if (n == 0)
            break;
        i += n;
    }
    if (i == text.size())
        return false;
    std::string out = text.substr(0, i);
    while (i < text.size()) {
        const std::size_t n = sequenceLength(i);
        if (n == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    text = std::move(out);
    return true;
}

} // namespace vesk::store
