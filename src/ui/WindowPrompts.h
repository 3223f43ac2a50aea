#pragma once

#include "core/Startup.h"

namespace vesk::core {
struct Context;
}

namespace vesk::ui {

class frmMain;

// Start-up questions answered with message boxes, the setup wizard and the create-outbox dialog.
class WindowPrompts final : public core::StartupPrompts
{
public:
    WindowPrompts(core::Context& ctx, frmMain& window)
        : m_ctx(ctx)
        , m_window(window)
    {
    }

    FolderAnswer folderWithoutDataFiles(const std::string& folder) override;
    bool canRunWizard() const override { return true; }
    bool runWizard() override;
    void invalidOutboxFolder() override;
    std::optional<std::string> createOutbox() override;
    void showMainWindow() override;

private:
    core::Context& m_ctx;
    frmMain& m_window;
};

} // namespace vesk::ui
