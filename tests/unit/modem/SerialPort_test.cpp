#include "modem/SerialPort.h"

#include "Pty.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <termios.h>

using vesk::modem::SerialPort;

namespace {

struct Pty : vesk::testing::Pty
{
    termios attributes() const
    {
        termios t {};
        tcgetattr(spare, &t);
        return t;
    }
};

} // namespace

TEST(SerialPort, ComNamesMapToOnBoardDevices)
{
    EXPECT_EQ(SerialPort::DevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(SerialPort::DevicePath("com12"), "/dev/ttyS11");
    EXPECT_EQ(SerialPort::DevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialPort::DevicePath("COM0"), "COM0");
    EXPECT_EQ(SerialPort::DevicePath("COMx"), "COMx");
}

TEST(SerialPort, OnlyTerminalsOpen)
{
    vesk::testing::TempDir dir;
    vesk::testing::WriteFile(dir.file("plain"), "x");
    SerialPort port;
    EXPECT_FALSE(port.Open(dir.file("plain")));
    EXPECT_FALSE(port.Open(dir.file("missing")));
    EXPECT_FALSE(port.Open(""));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Write("AT\r"), 0);
    EXPECT_EQ(port.ReadAll(), "");
    EXPECT_FALSE(port.SetSettings("9600,N,8,1"));
}

TEST(SerialPort, OpensRawAndRestoresTheLineOnClose)
{
    Pty pty;
    const termios before = pty.attributes();
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.path)); // raw: every simulator run reads CR LF and the "> " prompt as sent
    port.Close();
    EXPECT_EQ(pty.attributes().c_lflag, before.c_lflag);
    ASSERT_TRUE(port.Open(pty.path)); // the exclusive hold ends with the close
}

TEST(SerialPort, SettingsStringSetsTheLineAndSaysWhatItDidNotUnderstand)
{
    Pty pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.path));
    struct Case
    {
        const char* settings;
        bool understood;
        speed_t speed;
        tcflag_t parity;
        bool twoStops;
    };
    const Case cases[] = {
        {"9600,N,8,1", true, B9600, 0, false},
        {"115200,E,7,2", true, B115200, PARENB, true},
        {"O,8,1", true, B115200, PARENB | PARODD, false}, // no speed: the last one stays
        {"14400,N,8,1", false, B115200, 0, false}, // no such line speed here
        {"9600,Q,8,1", false, B9600, 0, false},
        {"garbage", false, B9600, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        EXPECT_EQ(port.SetSettings(c.settings), c.understood);
        const termios t = pty.attributes();
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        // A pseudo-terminal always keeps 8 data bits without parity; only odd/even shows.
        EXPECT_EQ(t.c_cflag & PARODD, c.parity & PARODD);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStops);
    }
}
