#include "modem/SerialPort.h"

#include "support/Convert.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace vesk::modem {

namespace {

speed_t speedCode(int speed)
{
    switch (speed) {
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 921600:
        return B921600;
    default:
        return 0;
    }
}

std::vector<std::string> splitCommas(const std::string& text)
{
    std::vector<std::string> parts;
    std::string piece;
    for (char c : text) {
        if (c == ',') {
            parts.push_back(Trim(piece));
            piece.clear();
        } else {
            piece += c;
        }
    }
    parts.push_back(Trim(piece));
    return parts;
}

// A legacy port answers with the type of its UART; an empty slot has none.
bool hasUart(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    serial_struct info {};
    const bool present = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return present;
}

} // namespace

SerialPort::~SerialPort()
{
    Close();
}

std::string SerialPort::DevicePath(const std::string& name)
{
    std::string trimmed = Trim(name);
    if (trimmed.size() > 3 && EqualsNoCase(trimmed.substr(0, 3), "COM")) {
        auto number = ToInt16(trimmed.substr(3));
        if (number && *number >= 1)
            return "/dev/ttyS" + std::to_string(*number - 1);
    }
    return trimmed;
}

bool SerialPort::Open(const std::string& name)
{
    Close();
    const std::string path = DevicePath(name);
    if (path.empty())
        return false;
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (!isatty(fd)) {
        ::close(fd);
        return false;
    }
    ::ioctl(fd, TIOCEXCL);
    termios tio {};
    if (tcgetattr(fd, &tio) != 0) {
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return false;
    }
    m_saved.assign(
        reinterpret_cast<unsigned char*>(&tio), reinterpret_cast<unsigned char*>(&tio) + sizeof tio);
    m_savedValid = true;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~CRTSCTS;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (speedCode(m_speed) != 0) {
        cfsetispeed(&tio, speedCode(m_speed));
        cfsetospeed(&tio, speedCode(m_speed));
    }
    tcsetattr(fd, TCSANOW, &tio);
    tcflush(fd, TCIOFLUSH);
    m_fd = fd;
    return true;
}

void SerialPort::Close()
{
    if (m_fd < 0)
        return;
    if (m_savedValid && m_saved.size() == sizeof(termios)) {
        termios tio {};
        std::memcpy(&tio, m_saved.data(), sizeof tio);
        tcsetattr(m_fd, TCSANOW, &tio);
    }
    // The exclusive flag outlives this descriptor while another holds the line open.
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
    m_fd = -1;
    m_savedValid = false;
}

bool SerialPort::applySpeed(int speed)
{
    const speed_t code = speedCode(speed);
    if (code == 0)
        return false;
    termios tio {};
    if (tcgetattr(m_fd, &tio) != 0)
        return false;
    cfsetispeed(&tio, code);
    cfsetospeed(&tio, code);
    return tcsetattr(m_fd, TCSANOW, &tio) == 0;
}

bool SerialPort::SetSettings(const std::string& settings)
{
    if (m_fd < 0)
        return false;
    std::vector<std::string> parts = splitCommas(settings);
    bool understood = true;
    if (parts.size() == 4) {
        auto speed = ToNumber(parts[0]);
        if (speed && applySpeed(static_cast<int>(*speed)))
            m_speed = static_cast<int>(*speed);
        else
            understood = false;
        parts.erase(parts.begin());
    }
    if (parts.size() != 3)
        return false;
    termios tio {};
    if (tcgetattr(m_fd, &tio) != 0)
        return false;
    const std::string parity = ToUpper(parts[0]);
    tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    tio.c_iflag &= ~INPCK;
    if (parity == "E") {
        tio.c_cflag |= PARENB;
    } else if (parity == "O") {
        tio.c_cflag |= PARENB | PARODD;
    } else if (parity == "M") {
        tio.c_cflag |= PARENB | CMSPAR | PARODD;
    } else if (parity == "S") {
        tio.c_cflag |= PARENB | CMSPAR;
    } else if (parity != "N") {
        understood = false;
    }
    tio.c_cflag &= ~CSIZE;
    if (parts[1] == "5")
        tio.c_cflag |= CS5;
    else if (parts[1] == "6")
        tio.c_cflag |= CS6;
    else if (parts[1] == "7")
        tio.c_cflag |= CS7;
    else {
        tio.c_cflag |= CS8;
        understood = understood && parts[1] == "8";
    }
    if (parts[2] == "2" || parts[2] == "1.5")
        tio.c_cflag |= CSTOPB;
    else {
        tio.c_cflag &= ~CSTOPB;
        understood = understood && parts[2] == "1";
    }
    tcsetattr(m_fd, TCSANOW, &tio);
    return understood;
}

int SerialPort::Write(const std::string& data)
{
    if (m_fd < 0)
        return 0;
    std::size_t done = 0;
    int idleRounds = 0;
    while (done < data.size()) {
        ssize_t n = ::write(m_fd, data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            idleRounds = 0;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN && ++idleRounds < 200) {
            // Output buffer full: let the line drain, up to about two seconds.
            usleep(10000);
        } else {
            break;
        }
    }
    return static_cast<int>(done);
}

int SerialPort::WaitingCount() const
{
    if (m_fd < 0)
        return 0;
    int count = 0;
    if (::ioctl(m_fd, FIONREAD, &count) != 0)
        return 0;
    return count;
}

std::string SerialPort::ReadAll()
{
    std::string data;
    if (m_fd < 0)
        return data;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0)
            data.append(buffer, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break; // EAGAIN, hang-up (EIO) or end of data
    }
    return data;
}

void SerialPort::Flush()
{
    if (m_fd >= 0)
        tcflush(m_fd, TCIOFLUSH);
}

void SerialPort::FlushOutput()
{
    if (m_fd >= 0)
        tcflush(m_fd, TCOFLUSH);
}

std::vector<std::string> ListSerialDevices()
{
    namespace fs = std::filesystem;
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/class/tty", ec)) {
        const std::string name = entry.path().filename().string();
        const bool usb = name.rfind("ttyUSB", 0) == 0;
        const bool acm = name.rfind("ttyACM", 0) == 0;
        const bool onBoard = name.rfind("ttyS", 0) == 0;
        if (!usb && !acm && !onBoard)
            continue;
        // On-board port names exist whether or not there is hardware behind them.
        if (onBoard && (!fs::exists(entry.path() / "device" / "driver", ec) || !hasUart("/dev/" + name)))
            continue;
        if (fs::exists("/dev/" + name, ec))
            found.push_back("/dev/" + name);
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<std::string> SerialPort::ports() const
{
    std::vector<std::string> list = m_listGiven ? m_portList : ListSerialDevices();
    for (const auto& extra : m_extraPaths)
        if (std::find(list.begin(), list.end(), extra) == list.end())
            list.push_back(extra);
    return list;
}

int SerialPort::PortCount() const
{
    return static_cast<int>(ports().size());
}

std::string SerialPort::PortName(int index) const
{
    const auto list = ports();
    if (index < 1 || index > static_cast<int>(list.size()))
        return {};
    return list[static_cast<std::size_t>(index - 1)];
}

} // namespace vesk::modem
