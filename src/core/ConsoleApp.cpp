#include "core/ConsoleApp.h"

#include "core/CConfig.h"
#include "core/ConsoleView.h"
#include "core/SettingsStore.h"

namespace vesk::core {

std::string ModeText(int m)
{
    switch (m) {
    case mode::kInitialising:
        return "Initialising...";
    case mode::kIdle:
        return "Idle";
    case mode::kPaused:
        return "Paused";
    case mode::kBusy:
        return "Busy...";
    case mode::kSending:
        return "Sending...";
    case mode::kStopping:
        return "Stopping";
    case mode::kTimerPass:
        return "Idle";
    default:
        return "";
    }
}

int ModeIcon(int m)
{
    switch (m) {
    case mode::kInitialising:
    case mode::kBusy:
    case mode::kStopping:
        return modeImage::kBusy;
    case mode::kIdle:
    case mode::kTimerPass:
        return modeImage::kIdle;
    case mode::kPaused:
        return modeImage::kPaused;
    case mode::kSending:
        return modeImage::kSending;
    default:
        return modeImage::kUnchanged;
    }
}

ConsoleApp::ConsoleApp(const Clock& clock, SettingsStore& settings)
    : m_log(clock)
    , m_settings(settings)
{
}

void ConsoleApp::Log(int icon, const std::string& address, const std::string& text)
{
    m_log.Log(icon, address, text);
}

void ConsoleApp::panel(int index, const std::string& text)
{
    if (m_view)
        m_view->setPanelText(index, text);
}

bool ConsoleApp::AppPause()
{
    if (m_mode != mode::kIdle)
        return false;
    m_mode = mode::kPaused; // the caller redraws
    return true;
}

bool ConsoleApp::AppResume()
{
    if (m_mode != mode::kPaused)
        return false;
    m_mode = mode::kIdle;
    return true;
}

void ConsoleApp::setMode(int newMode)
{
    m_mode = newMode;
    ModeShow();
}

void ConsoleApp::QueueSize(long count)
{
    panel(4, std::to_string(count));
    if (m_view)
        m_view->refreshStatus();
}

void ConsoleApp::ModeShow()
{
    panel(2, ModeText(m_mode));
    if (m_view) {
        if (const int image = ModeIcon(m_mode); image > 0)
            m_view->setModeIcon(image);
        m_view->refreshStatus();
    }
}

void ConsoleApp::setFeedback(const std::string& text)
{
    m_feedback = text;
    panel(3, text);
}

void ConsoleApp::PushMode(int newMode, const std::string& feedback)
{
    m_modeStack.emplace_back(m_mode, m_feedback);
    setMode(newMode);
    setFeedback(feedback);
}

void ConsoleApp::PopMode()
{
    if (m_modeStack.empty())
        return;
    auto [oldMode, oldFeedback] = std::move(m_modeStack.back());
    m_modeStack.pop_back();
    if (oldMode != m_mode)
        setMode(oldMode);
    if (oldFeedback != m_feedback)
        setFeedback(oldFeedback);
}

void ConsoleApp::PushFeedback(const std::string& text)
{
    // The pushed text is shown only; Feedback keeps the text it had.
    m_feedbackStack.push_back(m_feedback);
    panel(3, text);
    if (m_view)
        m_view->refreshStatus();
}

void ConsoleApp::PopFeedback()
{
    if (m_feedbackStack.empty())
        return;
    std::string text = std::move(m_feedbackStack.back());
    m_feedbackStack.pop_back();
    setFeedback(text);
}

std::string ConsoleApp::LoadParameter(
    const std::string& section, const std::string& key, const std::string& fallback) const
{
    return m_settings.get(section, key).value_or(fallback);
}

void ConsoleApp::SaveParameter(const std::string& section, const std::string& key, const std::string& value)
{
    if (!m_settings.set(section, key, value))
        Log(icon::kError, "", m_settings.lastError());
}

} // namespace vesk::core
