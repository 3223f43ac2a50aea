#include "modem/AtReplies.h"
#include "modem/GSMModem.h"

namespace vesk::modem {

std::optional<std::vector<GSMMessage>> GSMModem::ReadMessages()
{
    m_lastListingError.clear();
    m_unreadable.clear();
    if (!IsPortOpen())
        return std::vector<GSMMessage> {};
    WriteCommand(m_textMode ? "AT+CMGL=\"ALL\"" : "AT+CMGL=4");
    std::string listing = StripCRLF(WaitForResult(ListMessageTimeout));
    if (listing.size() < 2 || listing.compare(listing.size() - 2, 2, "OK") != 0) {
        m_lastListingError = "The message listing did not end in OK: " + StripAllCRLF(listing);
        return std::nullopt;
    }
    listing.resize(listing.size() - 2);
    while (listing.size() >= 2 && listing.compare(listing.size() - 2, 2, "\r\n") == 0)
        listing.resize(listing.size() - 2);
    if (listing.empty())
        return std::vector<GSMMessage> {};
    try {
        return m_textMode ? ReadTextMode(listing, &m_unreadable)
                          : ReadPDUMode(listing, &m_unreadable, FullDecoding);
    } catch (const std::exception& e) {
        m_lastListingError = std::string("The message listing could not be read: ") + e.what();
        return std::nullopt;
    }
}

bool GSMModem::DeleteMessage(std::int16_t memoryIndex)
{
    WriteCommand("AT+CMGD=" + std::to_string(memoryIndex));
    const std::string reply = WaitForResult(DeleteMessageTimeout);
    WriteLog(reply);
    const std::string text = StripCRLF(reply);
    return text.size() >= 2 && text.compare(text.size() - 2, 2, "OK") == 0;
}

} // namespace vesk::modem
