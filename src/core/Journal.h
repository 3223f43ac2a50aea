#pragma once

#include "modem/GSMMessage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vesk::core {

// Units taken out of a nearly full modem while the outbox is out of reach: an append-only private
// file in the data folder. A unit is written and synced before it leaves the modem; once it is
// stored in the outbox a "done" line follows it, and a file whose units are all done is emptied.
//
//   unit <seq> <type> <id> <status> <binary> <time> <delivery time> <address> <text>
//   done <seq>
//
// Times are serial seconds; address and text are percent-escaped so a line holds one unit.
class ModemJournal
{
public:
    struct Entry
    {
        std::uint64_t seq = 0;
        modem::GSMMessage unit;
    };

    explicit ModemJournal(std::string path = {});

    const std::string& path() const { return m_path; }
    void setPath(std::string path);

    // Appends the unit and syncs the file; false with the reason when it could not be made safe.
    bool Append(const modem::GSMMessage& unit, std::string& error);
    // The units not yet done, oldest first (reads the file; an unreadable line is reported in
    // `error` and skipped).
    std::vector<Entry> Pending(std::string& error);
    // Every unit the file holds, done or not: what may still be in the modem.
    std::vector<modem::GSMMessage> Written();
    bool MarkDone(std::uint64_t seq, std::string& error);
    // How many units wait in the file (as of the last read or write).
    long Waiting() const { return m_waiting; }

    // One line of the file and back.
    static std::string UnitLine(std::uint64_t seq, const modem::GSMMessage& unit);
    static bool ParseUnitLine(const std::string& line, Entry& entry);

private:
    bool appendLine(const std::string& line, std::string& error);
    void scan(std::vector<Entry>* pending, std::vector<modem::GSMMessage>* written, std::string* error);

    std::string m_path;
    std::uint64_t m_nextSeq = 0; // 0: not read yet
    long m_waiting = 0;
};

inline constexpr const char* kJournalFile = "modem-journal";

} // namespace vesk::core
