#include "modem/ModemGuide.h"

#include "modem/GSMModem.h"
#include "support/Convert.h"
#include "support/Platform.h"

#include <fstream>

namespace vesk::modem {

std::optional<std::vector<std::string>> LookupModem(const std::string& model)
{
    return LookupModem(model, ProgramFolder() + kModemListName);
}

std::optional<std::vector<std::string>> LookupModem(const std::string& model, const std::string& listPath)
{
    std::ifstream in(listPath);
    if (!in)
        return std::nullopt;
    const std::string wanted = ToLower(model);
    std::string line;
    while (std::getline(in, line)) {
        line = Trim(line);
        // A blank line has an empty model; it must not answer a modem that gave no model.
        if (line.empty() || line.front() == ';')
            continue;
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (;;) {
            const auto bar = line.find('|', start);
            fields.push_back(line.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
            if (bar == std::string::npos)
                break;
            start = bar + 1;
        }
        if (ToLower(fields.front()) != wanted)
            continue;
        if (fields.size() < kModemListFieldCount)
            fields.resize(kModemListFieldCount);
        return fields;
    }
    return std::nullopt;
}

std::string DetectModemModel(Clock& clock, EventPump& pump, const std::string& alsoTry)
{
    GSMModem modem(clock, pump);
    modem.PortName = alsoTry; // the search always tries the named port as well
    const std::string port = modem.FindModem("", nullptr);
    if (port.empty() || !modem.OpenPort(port, ""))
        return {};
    std::string model = modem.Model();
    modem.ClosePort();
    return model;
}

} // namespace vesk::modem
