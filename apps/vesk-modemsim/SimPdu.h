#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The simulator's own coding of SMS transfer units, independent of the console's codec so that
// what it records "over the air" is a second opinion on what the driver sent.
namespace vesk::modemsim {

// A civil time stamp as carried in a unit: local time and zone in quarter-hours.
struct Stamp
{
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    int zoneQuarters = 0;
};

// UTF-8 text to alphabet codes (an extension character becomes 27 and its code); nullopt when a
// character has no place in the 7-bit alphabet.
std::optional<std::string> toGsm7(std::string_view utf8);
// Alphabet codes back to UTF-8, escape pairs included.
std::string fromGsm7(std::string_view codes);

std::string packSeptets(std::string_view codes, int fillBits);
std::string unpackSeptets(const std::vector<std::uint8_t>& octets, int septets, int fillBits);

std::vector<std::uint8_t> fromHex(std::string_view hex); // empty on any non-hex digit or odd length
std::string toHex(const std::vector<std::uint8_t>& octets);

// One SMS-SUBMIT as a recipient's handset would see it.
struct SubmitUnit
{
    std::string destination;
    bool reportRequested = false;
    int validityFormat = 0; // 0 none, 1 enhanced, 2 relative, 3 absolute
    std::string udhHex;
    int concatReference = 0, concatTotal = 1, concatSequence = 1;
    int dcs = 0;
    int userDataLength = 0; // septets for 7-bit data, octets otherwise
    std::string text; // UTF-8 for 7-bit and UCS2 data, hex for 8-bit data
    int tpduOctets = 0; // octets after the service-centre field
};

// nullopt with the reason when the unit is not a well-formed SMS-SUBMIT.
std::optional<SubmitUnit> decodeSubmit(std::string_view hex, std::string* reason = nullptr);

// Units the simulated network hands to the modem (service-centre field first). A text longer
// than one unit comes as the parts of a concatenated message with the given reference.
std::vector<std::string> encodeDeliverParts(const std::string& smsc, const std::string& originator,
    const std::string& utf8Text, const Stamp& sent, int reference);
// The first unit only.
std::string encodeDeliver(
    const std::string& smsc, const std::string& originator, const std::string& utf8Text, const Stamp& sent);
std::string encodeStatusReport(const std::string& smsc, int reference, const std::string& recipient,
    const Stamp& sent, const Stamp& discharged, int status);

// A stored unit read back for a text-mode listing.
struct StoredUnit
{
    int type = 0; // 0 deliver, 1 submit, 2 status report
    std::string address;
    int typeOfAddress = 129;
    Stamp stamp; // centre time stamp
    Stamp discharge; // status reports
    int reference = 0;
    int status = 0;
    int firstOctet = 0;
    std::string text;
    int tpduOctets = 0;
};
std::optional<StoredUnit> decodeStored(std::string_view hex);

std::string textDate(const Stamp& s); // "yy/MM/dd,hh:mm:ss+zz"

} // namespace vesk::modemsim
