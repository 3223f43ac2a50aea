// The first byte chooses the way in: the modem line (commands, message bodies) or the control
// socket (one command a line). Nothing may throw or crash.

#include "ModemSimulator.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace vesk::modemsim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    ModemSimulator sim {SimOptions {}};
    if (data[0] & 1) {
        sim.receive(input);
        sim.receive("\r\x1A\rAT+CMGL=4\rAT+CMGF=1\rAT+CMGL=\"ALL\"\r");
    } else {
        std::size_t start = 0;
        while (start <= input.size()) {
            const auto end = input.find('\n', start);
            sim.control(input.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        sim.receive("AT+CMGL=4\rAT+CMGF=1\rAT+CMGL=\"ALL\"\rAT+CPMS?\r");
    }
    (void)decodeSubmit(input);
    (void)decodeStored(input);
    return 0;
}
