#include "SimLoop.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vesk::modemsim {

void writeAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    int rounds = 0;
    while (done < data.size() && rounds < 1000) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            ++rounds;
            usleep(1000);
        } else
            break;
    }
}

SimLoop::SimLoop(ModemSimulator& sim, OpenLine openLine, int listener, Now now)
    : m_sim(sim)
    , m_openLine(std::move(openLine))
    , m_listener(listener)
    , m_now(std::move(now))
    , m_lastDue(m_now())
{
}

SimLoop::~SimLoop()
{
    for (auto& c : m_clients)
        close(c.fd);
    if (m_listener >= 0)
        close(m_listener);
    closeLine();
}

void SimLoop::closeLine()
{
    if (m_line.master >= 0)
        close(m_line.master);
    if (m_line.spare >= 0)
        close(m_line.spare);
    m_line = LineEnds {};
}

int SimLoop::waitMs(int maxWaitMs) const
{
    const auto now = m_now();
    auto until = [&](ModemSimulator::TimePoint due, long long extra) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count() + extra;
        return static_cast<int>(std::clamp<long long>(ms, 0, maxWaitMs));
    };
    int timeout = m_queue.empty() ? maxWaitMs : until(m_queue.front().due, 0);
    if (auto due = m_sim.nextDue())
        timeout = std::min(timeout, until(*due, 1));
    return timeout;
}

bool SimLoop::step(int maxWaitMs)
{
    if (m_sim.quitRequested() || m_lineLost)
        return false;
    std::vector<pollfd> fds;
    fds.push_back({m_line.master, POLLIN, 0});
    if (m_listener >= 0)
        fds.push_back({m_listener, POLLIN, 0});
    for (const auto& c : m_clients)
        fds.push_back({c.fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), waitMs(maxWaitMs)) < 0 && errno != EINTR)
        return false;
    std::size_t k = 0;
    if (fds[k++].revents & POLLIN)
        readLine();
    if (m_listener >= 0 && (fds[k++].revents & POLLIN)) {
        const int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0)
            addClient(fd);
    }
    // Clients accepted just now have no entry in fds yet; they are read next time.
    for (std::size_t c = 0; c < m_clients.size() && k < fds.size(); ++c, ++k)
        if ((fds[k].revents & (POLLIN | POLLHUP)) && !readClient(m_clients[c]))
            return false;
    std::erase_if(m_clients, [](const Client& c) { return c.fd < 0; });
    m_sim.tick();
    for (auto& indication : m_sim.takeUnsolicited())
        m_queue.push_back({std::max(m_now(), m_lastDue), indication});
    const auto now = m_now();
    while (!m_queue.empty() && m_queue.front().due <= now) {
        writeAll(m_line.master, m_queue.front().bytes);
        m_queue.pop_front();
    }
    return !m_sim.quitRequested();
}

void SimLoop::readLine()
{
    char buffer[4096];
    const ssize_t n = read(m_line.master, buffer, sizeof buffer);
    if (n <= 0)
        return;
    for (auto& out : m_sim.receive(std::string_view(buffer, static_cast<std::size_t>(n)))) {
        // Replies keep their order even when one of them is slow.
        auto due = std::max(m_now() + out.delay, m_lastDue);
        if (out.delay.count() > 0 && !m_queue.empty())
            due = std::max(due, m_queue.back().due + out.delay);
        m_lastDue = due;
        m_queue.push_back({due, std::move(out.bytes)});
    }
}

// Answers each complete line of a control connection; false when a dropped line cannot be replaced.
bool SimLoop::readClient(Client& client)
{
    char buffer[4096];
    const ssize_t n = read(client.fd, buffer, sizeof buffer);
    if (n <= 0) {
        close(client.fd);
        client.fd = -1;
        return true;
    }
    client.input.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t eol; (eol = client.input.find('\n')) != std::string::npos;) {
        std::string command = client.input.substr(0, eol);
        client.input.erase(0, eol + 1);
        if (!command.empty() && command.back() == '\r')
            command.pop_back();
        writeAll(client.fd, m_sim.control(command));
        if (m_sim.takeDropRequest()) {
            m_queue.clear();
            closeLine();
            if (!m_openLine(m_line)) {
                m_lineLost = true;
                return false;
            }
        }
    }
    return true;
}

} // namespace vesk::modemsim
