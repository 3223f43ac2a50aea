#pragma once

#include "core/AppLog.h"
#include "support/LogSink.h"

#include <string>
#include <utility>
#include <vector>

namespace vesk {
class Clock;
}

namespace vesk::core {

struct CConfig;
class SettingsStore;
class StatusView;

// Operating modes.
namespace mode {
inline constexpr int kInitialising = 1;
inline constexpr int kIdle = 2; // only this mode lets the timer start a pass
inline constexpr int kPaused = 3;
inline constexpr int kBusy = 4;
inline constexpr int kSending = 5;
inline constexpr int kWorking = 6; // no mode text
inline constexpr int kStopping = 7;
inline constexpr int kTimerPass = 8; // shown as idle, but not idle
} // namespace mode

// The pictures of the mode panel.
namespace modeImage {
inline constexpr int kUnchanged = 0; // the icon stays as it is
inline constexpr int kIdle = 1;
inline constexpr int kPaused = 2;
inline constexpr int kSending = 3;
inline constexpr int kBusy = 6;
} // namespace modeImage

std::string ModeText(int mode);
int ModeIcon(int mode);

// The application object: modes and their stacks, the status bar, the activity log and the
// only way to the settings store.
class ConsoleApp final : public LogSink
{
public:
    ConsoleApp(const Clock& clock, SettingsStore& settings);

    void setView(StatusView* view) { m_view = view; }
    StatusView* view() const { return m_view; }
    AppLog& log() { return m_log; }

    void LogClear() { m_log.Clear(); }
    void LogResize() { m_log.AutoSizeLastColumn(); }
    void Log(int icon, const std::string& address, const std::string& text) override;

    bool AppPause();
    bool AppResume();
    int mode() const { return m_mode; }
    void setMode(int mode);
    void QueueSize(long count);
    void ModeShow();
    const std::string& Feedback() const { return m_feedback; }
    void setFeedback(const std::string& text);
    bool IsPaused() const { return m_mode == mode::kPaused; }
    bool IsIdle() const { return m_mode == mode::kIdle; }
    void PushMode(int newMode, const std::string& feedback);
    void PopMode();
    void PushFeedback(const std::string& text);
    void PopFeedback();
    bool PauseRequest() const { return m_pauseRequest; }
    void setPauseRequest(bool request) { m_pauseRequest = request; }

    std::string LoadParameter(
        const std::string& section, const std::string& key, const std::string& fallback) const;
    void SaveParameter(const std::string& section, const std::string& key, const std::string& value);
    // Reads every machine setting in order; a value that does not convert stops the load there,
    // leaving that key and the ones after it as they were. False when it stopped early. A key with
    // a fixed set of values takes its default for any other value, with a warning in the log.
    bool LoadEnvironment(CConfig& config, std::string& dataFolder);
    void SaveEnviroment(const CConfig& config, const std::string& dataFolder);

private:
    void panel(int index, const std::string& text);

    AppLog m_log;
    SettingsStore& m_settings;
    StatusView* m_view = nullptr;
    int m_mode = mode::kInitialising;
    std::vector<std::pair<int, std::string>> m_modeStack;
    std::vector<std::string> m_feedbackStack;
    std::string m_feedback;
    bool m_pauseRequest = false;
};

// Pushes a mode for a scope and pops it on every way out.
class ModeGuard
{
public:
    ModeGuard(ConsoleApp& app, int mode, const std::string& feedback)
        : m_app(app)
    {
        m_app.PushMode(mode, feedback);
    }
    ~ModeGuard() { m_app.PopMode(); }
    ModeGuard(const ModeGuard&) = delete;
    ModeGuard& operator=(const ModeGuard&) = delete;

private:
    ConsoleApp& m_app;
};

} // namespace vesk::core
