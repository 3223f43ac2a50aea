#pragma once

#include <optional>
#include <string>

namespace vesk::core {

struct Context;

// The questions start-up asks before the console runs. The window answers them with message
// boxes and dialogs; the headless front end from its command line, with a clear message.
class StartupPrompts
{
public:
    enum class FolderAnswer {
        RunWizard, // the user chose to run the setup wizard
        Ready, // the folder holds the data files now
        End, // stop here
    };

    virtual ~StartupPrompts() = default;
    // The data folder is set but holds no data files.
    virtual FolderAnswer folderWithoutDataFiles(const std::string& folder) = 0;
    // Whether the setup wizard can be shown at all.
    virtual bool canRunWizard() const = 0;
    // Runs the wizard; false when the user gave up.
    virtual bool runWizard() = 0;
    // The wizard ran, yet the folder still holds no data files.
    virtual void invalidOutboxFolder() = 0;
    // No data folder at all: the create-outbox dialog; the folder it filled, nothing when cancelled.
    virtual std::optional<std::string> createOutbox() = 0;
    // The main window appears (with its stored rectangle checked against the screen).
    virtual void showMainWindow() = 0;
};

enum class StartResult {
    Running, // the timer may start ticking
    Ended, // stopped before running
};

StartResult Main(Context& ctx, StartupPrompts& prompts);
void ShutDown(Context& ctx);

// True when the folder holds the outbox or the contacts database.
bool FolderHasDataFiles(const std::string& folder);
// The start-up lines about the outbox, the limits and the filter.
void LogStartupSummary(Context& ctx);

// Answers for the console without a window: --data-folder and --create-outbox stand in for the
// wizard and the create-outbox dialog; every refusal leaves its reason in message().
class HeadlessPrompts final : public StartupPrompts
{
public:
    HeadlessPrompts(Context& ctx, bool createOutbox)
        : m_ctx(ctx)
        , m_createOutbox(createOutbox)
    {
    }

    FolderAnswer folderWithoutDataFiles(const std::string& folder) override;
    bool canRunWizard() const override { return false; }
    bool runWizard() override { return false; }
    void invalidOutboxFolder() override { }
    std::optional<std::string> createOutbox() override;
    void showMainWindow() override { }

    const std::string& message() const { return m_message; }

private:
    Context& m_ctx;
    bool m_createOutbox;
    std::string m_message;
};

} // namespace vesk::core
