#include "modem/AtReplies.h"
#include "modem/EntryText.h"
#include "modem/GSMCharset.h"
#include "modem/GSMModem.h"
#include "modem/GSMText.h"
#include "modem/PduUnits.h"

#include <algorithm>
#include <exception>

namespace vesk::modem {

namespace {
constexpr char kCtrlZ = '\x1A';
constexpr std::int16_t kSingleLimit = 160;
constexpr std::int16_t kPartLimit = 152;
constexpr std::size_t kMostParts = 255;

constexpr const char* kNoCommandState = "The modem did not leave message entry";

// The modem said how the exchange ended (OK or an error), so it is back in command state.
bool hasVerdict(const std::string& reply)
{
    return HasFinalResult(reply) || reply.find(" ERROR:") != std::string::npos;
}
} // namespace

std::int32_t GSMModem::SendSMS(GSMMessage& message)
{
    const std::size_t limit = MaxMessageSize > 0 ? static_cast<std::size_t>(MaxMessageSize) : 0;
    message.Text = std::string(leadingCharacters(TrimSpaces(message.Text), limit));
    message.FragmentCount = 1;
    message.ModemResult.clear();
    m_refusedFull = false;
    message.Address = TrimSpaces(message.Address);
    if (!IsDialableAddress(message.Address)) {
        message.ModemResult = "Invalid destination address";
        return -1;
    }
    if (AutoCoding)
        return SendAuto(message);
    const bool tooLong = GSMLength(message.Text) > kSingleLimit;
    if (!m_textMode)
        return tooLong ? SendLongSMS(message) : SendPDUSMS(message);
    return tooLong ? SendLongInTextMode(message) : SendTextSMS(message);
}

bool GSMModem::SimpleSend(const std::string& destination, const std::string& text)
{
    GSMMessage message;
    message.Address = destination;
    message.Text = text;
    return SendSMS(message) != -1;
}

std::int32_t GSMModem::SendTextSMS(GSMMessage& message)
{
    if (WriteCommand("AT+CMGS=\"" + message.Address + "\"") <= 0) {
        message.ModemResult = kNoCommandState;
        return -1;
    }
    const std::string prompt = WaitForResponse({">"}, CommandTimeout);
    WriteLog(prompt);
    if (TrimSpaces(StripCRLF(prompt)) != ">") {
        m_refusedFull = IsMemoryFullAnswer(prompt);
        if (!hasVerdict(prompt))
            entryMayBeOpen("No prompt for the message");
        return -1;
    }
    std::size_t removed = 0;
    const std::string text = WithoutControlCharacters(message.Text, &removed);
    if (removed > 0)
        WriteLog("[" + std::to_string(removed) + " control characters left out of the text]\r");
    WriteLog(text + "<CTRL-Z>\r");
    m_port->Write(text + kCtrlZ);
    // A text-mode answer is taken as soon as it is complete, an error with its number included.
    const std::string answer = WaitUntil(
        [](const std::string& collected) {
            return hasVerdict(collected) && collected.size() >= 2
                && collected.compare(collected.size() - 2, 2, "\r\n") == 0;
        },
        SendMessageTimeout);
    WriteLog(answer);
    m_refusedFull = IsMemoryFullAnswer(answer);
    if (!hasVerdict(answer))
        entryMayBeOpen("No answer to the message");
    message.ModemResult = StripAllCRLF(answer);
    message.id = ParseSendReference(message.ModemResult);
    return message.id;
}

// The exchange for one unit: length command, prompt, unit and Ctrl-Z, answer.
std::int32_t GSMModem::sendPDU(const std::string& pdu, std::string& answer, bool& prompted)
{
    prompted = false;
    const std::size_t octets = pdu.size() >= 2 ? (pdu.size() - 2) / 2 : 0;
    if (WriteCommand("AT+CMGS=" + std::to_string(octets)) <= 0) {
        answer = kNoCommandState;
        return -1;
    }
    const std::string prompt = WaitForResponse({">"}, CommandTimeout);
    WriteLog(prompt);
    if (TrimSpaces(StripCRLF(prompt)) != ">") {
        m_refusedFull = IsMemoryFullAnswer(prompt);
        if (!hasVerdict(prompt))
            entryMayBeOpen("No prompt for the unit");
        answer = prompt.empty() ? "No prompt from the modem" : StripAllCRLF(prompt);
        return -1;
    }
    prompted = true;
    WriteLog(pdu + "<CTRL-Z>\r");
    if (m_port)
        m_port->Write(pdu + kCtrlZ);
    const std::string reply = WaitForResult(SendMessageTimeout);
    WriteLog(reply);
    m_refusedFull = IsMemoryFullAnswer(reply);
    if (!hasVerdict(reply))
        entryMayBeOpen("No answer to the unit");
    answer = reply.empty() ? "No answer from the modem" : StripAllCRLF(reply);
    return ParseSendReference(answer);
}

std::int32_t GSMModem::SendPDUSMS(GSMMessage& message)
{
    const std::string pdu
        = BuildSubmitPDU(message.Address, ToGSMCharset(message.Text), message.Expires, true, "", CharWidth);
    std::string answer;
    bool prompted = false;
    const std::int32_t reference = sendPDU(pdu, answer, prompted);
    if (!prompted)
        return -1;
    message.ModemResult = answer;
    message.id = reference;
    return reference;
}

std::int16_t GSMModem::SendRawPDU(const std::string& pdu, std::string& modemAnswer)
{
    if (pdu.empty())
        return -1;
    bool prompted = false;
    return static_cast<std::int16_t>(sendPDU(pdu, modemAnswer, prompted));
}

std::string GSMModem::GetFragment(const std::string& text, std::int16_t largestSize) const
{
    const std::size_t size = largestSize > 0 ? static_cast<std::size_t>(largestSize) : 0;
    switch (CharWidth) {
    case 7: {
        std::string piece(leadingCharacters(text, size));
        while (!piece.empty() && GSMLength(piece) > largestSize)
            piece = std::string(leadingCharacters(piece, characterCount(piece) - 1));
        return piece;
    }
    case 8:
        return std::string(leadingCharacters(text, size));
    case 16:
        return "16 bit chars not implemented";
    default:
        return {};
    }
}

std::int32_t GSMModem::SendLongSMS(GSMMessage& message)
{
    if (CharWidth != 7 && CharWidth != 8) {
        message.ModemResult
            = "No coding for long messages with a character width of " + std::to_string(CharWidth);
        return -1;
    }
    std::vector<std::string> parts;
    std::string_view remaining = message.Text;
    while (!remaining.empty()) {
        const std::string piece = GetFragment(std::string(remaining), kPartLimit);
        if (piece.empty())
            break; // a single character wider than a part: nothing more can go
        parts.push_back(ToGSMCharset(piece));
        remaining.remove_prefix(piece.size());
    }
    if (parts.size() > kMostParts) {
        message.ModemResult
            = "Message needs " + std::to_string(parts.size()) + " parts; at most 255 can be joined";
        return -1;
    }
    const int total = static_cast<int>(parts.size());
    std::int32_t reference = -1;
    for (int number = 1; number <= total; ++number) {
        const std::string header = HexByte(5) + "00" + "03" + HexByte(0) + HexByte(total) + HexByte(number);
        const std::string pdu = BuildSubmitPDU(message.Address, parts[static_cast<std::size_t>(number - 1)],
            message.Expires, number == total, header, CharWidth);
        std::string answer;
        reference = SendRawPDU(pdu, answer);
        message.ModemResult = answer;
        if (reference == -1)
            return -1;
    }
    message.FragmentCount = static_cast<std::uint8_t>(total);
    return reference;
}

// Text mode has no concatenation header: such a message goes out in PDU mode, and the modem is
// put back into text mode afterwards.
std::int32_t GSMModem::SendLongInTextMode(GSMMessage& message)
{
    return inPDUMode(message, "Text of " + std::to_string(GSMLength(message.Text)) + " septets",
        [&] { return SendLongSMS(message); });
}

std::int32_t GSMModem::inPDUMode(
    GSMMessage& message, const std::string& what, const std::function<std::int32_t()>& send)
{
    const std::string reply = SendCommand("AT+CMGF=0");
    if (reply.find("OK") == std::string::npos) {
        message.ModemResult = what + " needs PDU mode, which the modem refused: " + StripAllCRLF(reply);
        return -1;
    }
    const std::int32_t reference = send();
    if (SendCommand("AT+CMGF=1").find("OK") == std::string::npos)
        m_textMode = false; // the modem stayed in PDU mode; later sends must speak it
    return reference;
}

std::int32_t GSMModem::SendAuto(GSMMessage& message)
{
    const std::optional<std::string> codes = ToGSMAlphabet(message.Text);
    const bool plain = std::all_of(message.Text.begin(), message.Text.end(),
        [](char c) { return c == '\r' || c == '\n' || (c >= ' ' && c <= '~'); });
    if (m_textMode && codes && plain && codes->size() <= static_cast<std::size_t>(kSingleLimit))
        return SendTextSMS(message);

    const AutoUnits units = BuildAutoSubmitPDUs(message.Address, message.Text, message.Expires);
    const std::vector<std::string>& pdus = units.pdus;
    message.DataCoding = units.coding;
    if (pdus.empty()) {
        message.ModemResult = "Message needs more than 255 parts; at most 255 can be joined";
        return -1;
    }
    if (!m_textMode)
        return sendUnits(message, pdus);
    return inPDUMode(message, message.DataCoding == 8 ? "UCS2 text" : "Text outside plain ASCII",
        [&] { return sendUnits(message, pdus); });
}

// Sends prepared units in order: one alone as a single message, several as the parts of a long
// one, stopping at the first part the modem refuses.
std::int32_t GSMModem::sendUnits(GSMMessage& message, const std::vector<std::string>& pdus)
{
    std::int32_t reference = -1;
    for (const std::string& pdu : pdus) {
        std::string answer;
        bool prompted = false;
        reference = sendPDU(pdu, answer, prompted);
        if (pdus.size() == 1) {
            if (!prompted)
                return -1;
            message.id = reference;
        }
        message.ModemResult = answer;
        if (reference == -1)
            return -1;
    }
    message.FragmentCount = static_cast<std::uint8_t>(pdus.size());
    return reference;
}

} // namespace vesk::modem
