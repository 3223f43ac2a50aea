#include "core/Headless.h"

#include "core/Context.h"
#include "core/Engine.h"
#include "core/ServiceMonitor.h"
#include "core/SettingsReload.h"

#include <csignal>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace vesk::core {
namespace {

constexpr std::chrono::milliseconds kTick {1000};

} // namespace

HeadlessConsole::HeadlessConsole()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_signalFd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    m_nextTick = std::chrono::steady_clock::now() + kTick;
}

HeadlessConsole::~HeadlessConsole()
{
    if (m_signalFd >= 0)
        ::close(m_signalFd);
}

void HeadlessConsole::Unload()
{
    if (m_ctx)
        m_ctx->stopRequested = true;
}

void HeadlessConsole::takeSignals(int waitMs)
{
    if (m_signalFd < 0) {
        if (waitMs > 0)
            ::usleep(static_cast<useconds_t>(waitMs) * 1000);
        return;
    }
    pollfd p {m_signalFd, POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0)
        return;
    signalfd_siginfo info {};
    while (::read(m_signalFd, &info, sizeof info) == sizeof info) {
        if (!m_ctx)
            continue;
        if (info.ssi_signo == SIGUSR1) {
            TogglePause(*m_ctx);
        } else if (info.ssi_signo == SIGHUP) {
            m_reloadRequested = true; // taken up between passes
        } else {
            m_ctx->app.Log(icon::kInfo, "", "Stop requested by signal " + std::to_string(info.ssi_signo));
            m_ctx->stopRequested = true;
        }
    }
}

void HeadlessConsole::Signal(int percent)
{
    if (m_monitor)
        m_monitor->setSignal(percent);
}

void HeadlessConsole::tick()
{
    m_nextTick = std::chrono::steady_clock::now() + kTick;
    if (m_monitor)
        m_monitor->tick();
    OnTick(*m_ctx);
}

void HeadlessConsole::runPending()
{
    takeSignals(0);
    if (m_ctx && std::chrono::steady_clock::now() >= m_nextTick)
        tick();
}

void HeadlessConsole::run()
{
    while (m_ctx && !m_ctx->stopRequested) {
        if (m_reloadRequested && !m_ctx->tickRunning) {
            m_reloadRequested = false;
            ReloadSettings(*m_ctx);
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= m_nextTick) {
            tick();
            continue;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(m_nextTick - now);
        takeSignals(static_cast<int>(wait.count()) + 1);
    }
    if (m_ctx)
        m_ctx->app.setMode(mode::kStopping);
    if (m_monitor)
        m_monitor->stopping();
}

} // namespace vesk::core
