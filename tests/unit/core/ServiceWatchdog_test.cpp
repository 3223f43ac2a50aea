// The service manager's watchdog as the console feeds it, on the injected clock: the test owns the
// notify socket and counts the WATCHDOG=1 datagrams.
#include "core/Context.h"
#include "core/HeadlessView.h"
#include "core/ServiceMonitor.h"
#include "core/SettingsStore.h"

#include "FakeClock.h"
#include "ScriptedPump.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace std::chrono_literals;
using namespace vesk;

TEST(ServiceWatchdog, FedThroughTheWaitsOfAPassUntilItOutlastsItsLimit)
{
    vesk::testing::TempDir dir;
    const std::string path = dir.file("notify");
    const int manager = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    path.copy(addr.sun_path, sizeof addr.sun_path - 1);
    ASSERT_EQ(bind(manager, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    setenv("NOTIFY_SOCKET", path.c_str(), 1);
    setenv("WATCHDOG_USEC", "6000000", 1);
    const auto feeds = [&] {
        int n = 0;
        char buffer[512];
        for (ssize_t got; (got = recv(manager, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
            n += std::string(buffer, static_cast<std::size_t>(got)).find("WATCHDOG=1") != std::string::npos;
        return n;
    };

    vesk::testing::FakeClock clock;
    vesk::testing::ScriptedPump pump;
    core::SettingsStore settings(dir.file("console.conf"));
    settings.set("Service", "WatchdogPassLimit", "3");
    core::Context ctx(clock, pump, settings, dir.folder());
    std::ostringstream out;
    core::HeadlessView view(out);
    core::ServiceMonitor monitor(view, view);
    monitor.configure(ctx, "");

    const auto waitInPass = [&](std::chrono::milliseconds span) {
        for (auto waited = 0ms; waited < span; waited += 100ms) {
            clock.advance(100ms);
            monitor.waiting();
        }
    };
    monitor.tick(); // the pass starts on a timer tick
    waitInPass(2900ms);
    EXPECT_EQ(feeds(), 3) << "about once a second while the pass is within its limit";
    waitInPass(20s);
    EXPECT_EQ(feeds(), 0) << "a pass past its limit is taken for hung";
    monitor.tick();
    EXPECT_EQ(feeds(), 1) << "the next tick feeds it again";

    unsetenv("NOTIFY_SOCKET");
    unsetenv("WATCHDOG_USEC");
    close(manager);
}
