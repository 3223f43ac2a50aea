#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace vesk::modem {

// One serial line over POSIX termios: the roles the modem driver needs and nothing more.
// Port names are device paths; "COMn" is taken as /dev/ttyS(n-1).
class SerialPort
{
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Takes effect at the next Open (or at the next settings string without a speed).
    void SetSpeed(int bitsPerSecond) { m_speed = bitsPerSecond; }
    int Speed() const { return m_speed; }

    bool Open(const std::string& name);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // "9600,N,8,1" or "N,8,1": speed (optional), parity letter, data bits, stop bits.
    // False when the port is closed or a part of the text is not understood (the rest still applies).
    bool SetSettings(const std::string& settings);

    int Write(const std::string& data);
    int WaitingCount() const;
    std::string ReadAll();
    void Flush();
    // Drops what is still waiting to be sent, never what has been received.
    void FlushOutput();

    // Serial devices that exist, plus any extra paths given; the driver counts them from 1 and
    // index 0 names no port.
    int PortCount() const;
    std::string PortName(int index) const;
    // Replaces the discovered list (a user's explicit device list, or the test's pseudo-terminals).
    void SetPortList(std::vector<std::string> paths)
    {
        m_portList = std::move(paths);
        m_listGiven = true;
    }
    void AddPortPath(const std::string& path)
    {
        if (std::find(m_extraPaths.begin(), m_extraPaths.end(), path) == m_extraPaths.end())
            m_extraPaths.push_back(path);
    }

    static std::string DevicePath(const std::string& name);

private:
    std::vector<std::string> ports() const;
    bool applySpeed(int speed);

    int m_fd = -1;
    int m_speed = 9600;
    bool m_savedValid = false;
    std::vector<unsigned char> m_saved; // termios to restore on close
    std::vector<std::string> m_portList;
    std::vector<std::string> m_extraPaths;
    bool m_listGiven = false;
};

// Lists the serial devices present: USB adapters, ACM modems, on-board ports with a driver.
std::vector<std::string> ListSerialDevices();

} // namespace vesk::modem
