#pragma once

#include "ModemSimulator.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace vesk::modemsim {

// The simulator's ends of its line: where it reads and writes, and a spare descriptor that keeps a
// pseudo-terminal's slave side open between the driver's opens (-1 where there is none).
struct LineEnds
{
    int master = -1;
    int spare = -1;
};

// Writes all of `data` to a non-blocking descriptor, waiting briefly while it is full.
void writeAll(int fd, const std::string& data);

// The simulator at work: it reads the line and the control connections, plays the replies back at
// their time and opens a fresh line after "fault drop". It owns every descriptor it is given.
class SimLoop
{
public:
    using Now = ModemSimulator::Now;
    using OpenLine = std::function<bool(LineEnds&)>; // at start and after each "fault drop"

    SimLoop(
        ModemSimulator& sim, OpenLine openLine, int listener = -1,
        Now now = [] { return std::chrono::steady_clock::now(); });
    ~SimLoop();
    SimLoop(const SimLoop&) = delete;
    SimLoop& operator=(const SimLoop&) = delete;

    bool start() { return m_openLine(m_line); }
    void addClient(int fd) { m_clients.push_back({fd, {}}); }
    // Waits at most maxWaitMs for input or for a reply that falls due, and handles what came. False
    // when the loop is over: "quit", a failed wait, or a line that could not be opened again.
    bool step(int maxWaitMs);
    bool lineLost() const { return m_lineLost; }

private:
    struct Client
    {
        int fd;
        std::string input;
    };
    struct Pending
    {
        ModemSimulator::TimePoint due;
        std::string bytes;
    };

    int waitMs(int maxWaitMs) const;
    void readLine();
    bool readClient(Client& client);
    void closeLine();

    ModemSimulator& m_sim;
    OpenLine m_openLine;
    int m_listener;
    Now m_now;
    LineEnds m_line;
    std::vector<Client> m_clients;
    std::deque<Pending> m_queue;
    ModemSimulator::TimePoint m_lastDue;
    bool m_lineLost = false;
};

} // namespace vesk::modemsim
