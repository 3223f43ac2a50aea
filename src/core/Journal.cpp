#include "core/Journal.h"

#include "support/PrivateFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>

namespace vesk::core {

namespace {

std::string escaped(const std::string& text)
{
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || c == '%' || u == 0x7F) {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    return out.empty() ? "%" : out; // "%" alone stands for the empty text
}

bool unescaped(const std::string& text, std::string& out)
{
    out.clear();
    if (text == "%")
        return true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        const auto hex = [](char c) {
            return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        };
        const int hi = hex(text[i + 1]), lo = hex(text[i + 2]);
        if (hi < 0 || lo < 0)
            return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

} // namespace

ModemJournal::ModemJournal(std::string path)
    : m_path(std::move(path))
{
}

void ModemJournal::setPath(std::string path)
{
    if (path == m_path)
        return;
    m_path = std::move(path);
    m_nextSeq = 0;
    m_waiting = 0;
}

std::string ModemJournal::UnitLine(std::uint64_t seq, const modem::GSMMessage& unit)
{
    std::ostringstream line;
    line << "unit " << seq << ' ' << unit.MessageType << ' ' << unit.id << ' ' << unit.DeliveryStatus << ' '
         << (unit.Binary ? 1 : 0) << ' ' << unit.Time.serialSeconds() << ' '
         << unit.DeliveryTime.serialSeconds() << ' ' << escaped(unit.Address) << ' ' << escaped(unit.Text);
    return line.str();
}

bool ModemJournal::ParseUnitLine(const std::string& line, Entry& entry)
{
    std::istringstream in(line);
    std::string word, address, text;
    int binary = 0;
    std::int64_t time = 0, delivery = 0;
    modem::GSMMessage& unit = entry.unit;
    if (!(in >> word) || word != "unit")
        return false;
    if (!(in >> entry.seq >> unit.MessageType >> unit.id >> unit.DeliveryStatus >> binary >> time >> delivery
            >> address >> text))
        return false;
    std::string rest;
    if (in >> rest)
        return false;
    unit.Binary = binary != 0;
    unit.Time = DateTime::fromSerialSeconds(time);
    unit.DeliveryTime = DateTime::fromSerialSeconds(delivery);
    unit.ErrorCode = static_cast<std::int16_t>(unit.DeliveryStatus);
    return unescaped(address, unit.Address) && unescaped(text, unit.Text);
}

void ModemJournal::scan(
    std::vector<Entry>* pending, std::vector<modem::GSMMessage>* written, std::string* error)
{
    std::ifstream file(m_path);
    std::map<std::uint64_t, Entry> units;
    std::uint64_t highest = 0;
    int bad = 0;
    for (std::string line; std::getline(file, line);) {
        if (line.empty())
            continue;
        Entry entry;
        if (line.rfind("done ", 0) == 0) {
            try {
                const std::uint64_t seq = std::stoull(line.substr(5));
                units.erase(seq);
                highest = std::max(highest, seq);
            } catch (const std::exception&) {
                ++bad;
            }
        } else if (ParseUnitLine(line, entry)) {
            highest = std::max(highest, entry.seq);
            if (written)
                written->push_back(entry.unit);
            units[entry.seq] = std::move(entry);
        } else {
            ++bad; // a line cut short by a crash mid-write: its unit is still in the modem
        }
    }
    m_nextSeq = highest + 1;
    m_waiting = static_cast<long>(units.size());
    if (pending)
        for (auto& [seq, entry] : units)
            pending->push_back(std::move(entry));
    if (error && bad > 0)
        *error = std::to_string(bad) + " unreadable line(s) in " + m_path + " skipped";
}

std::vector<ModemJournal::Entry> ModemJournal::Pending(std::string& error)
{
    std::vector<Entry> pending;
    scan(&pending, nullptr, &error);
    return pending;
}

std::vector<modem::GSMMessage> ModemJournal::Written()
{
    std::vector<modem::GSMMessage> written;
    scan(nullptr, &written, nullptr);
    return written;
}

bool ModemJournal::appendLine(const std::string& line, std::string& error)
{
    const int fd = OpenPrivateFile(m_path, O_RDWR | O_APPEND);
    if (fd < 0) {
        error = m_path + ": " + std::strerror(errno);
        return false;
    }
    // A line cut short by a crash gets its end first, so the new line stays whole.
    std::string text = line + "\n";
    char last = '\n';
    if (::lseek(fd, -1, SEEK_END) >= 0 && ::read(fd, &last, 1) == 1 && last != '\n')
        text.insert(text.begin(), '\n');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    const bool synced = done == text.size() && ::fdatasync(fd) == 0;
    if (!synced)
        error = m_path + ": " + std::strerror(errno);
    ::close(fd);
    return synced;
}

bool ModemJournal::Append(const modem::GSMMessage& unit, std::string& error)
{
    if (m_nextSeq == 0)
        scan(nullptr, nullptr, nullptr);
    if (!appendLine(UnitLine(m_nextSeq, unit), error))
        return false;
    ++m_nextSeq;
    ++m_waiting;
    return true;
}

bool ModemJournal::MarkDone(std::uint64_t seq, std::string& error)
{
    if (!appendLine("done " + std::to_string(seq), error))
        return false;
    if (m_waiting > 0)
        --m_waiting;
    // Nothing waits any more: start the file afresh (the numbers go on from where they were).
    if (m_waiting == 0) {
        const int fd = OpenPrivateFile(m_path, O_WRONLY | O_TRUNC);
        if (fd >= 0) {
            ::fdatasync(fd);
            ::close(fd);
        }
    }
    return true;
}

} // namespace vesk::core
