#include "ui/WindowPrompts.h"

#include "core/Context.h"
#include "ui/MessageBoxes.h"
#include "ui/WindowPlacement.h"
#include "ui/frmCreateOB.h"
#include "ui/frmMain.h"
#include "ui/frmWizard.h"

#include <QGuiApplication>
#include <QScreen>

namespace vesk::ui {

core::StartupPrompts::FolderAnswer WindowPrompts::folderWithoutDataFiles(const std::string& folder)
{
    const bool yes = AskYesNoCritical(nullptr,
        "Folder does not contain the Pellmar data files:\n" + QString::fromStdString(folder)
            + "\nDo you wish to run the Setup Wizard");
    return yes ? FolderAnswer::RunWizard : FolderAnswer::End;
}

bool WindowPrompts::runWizard()
{
    // The wizard stores its settings itself; start-up reads them back afterwards.
    frmWizard wizard(m_ctx, m_window.isVisible() ? &m_window : nullptr);
    wizard.exec();
    return !wizard.IsCanceled();
}

void WindowPrompts::invalidOutboxFolder()
{
    ShowCritical(nullptr, "Invalid outbox folder");
}

std::optional<std::string> WindowPrompts::createOutbox()
{
    frmCreateOB dialog(m_ctx.outbox.templateFolder, m_window.isVisible() ? &m_window : nullptr);
    dialog.exec();
    if (dialog.IsCanceled())
        return std::nullopt;
    return dialog.Folder();
}

void WindowPrompts::showMainWindow()
{
    m_window.show();
    core::CConfig& config = m_ctx.config;
    if (!HasStoredPlacement(config))
        return;
    const QScreen* screen = m_window.screen() ? m_window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    ScreenTwips twips;
    twips.width = float(screen->geometry().width() * kTwipsPerPixel);
    twips.height = float(screen->geometry().height() * kTwipsPerPixel);
    CheckWindowPlacement(config, twips);
    m_window.move(int(config.WindowLeft) / kTwipsPerPixel, int(config.WindowTop) / kTwipsPerPixel);
    m_window.resize(int(config.WindowWidth) / kTwipsPerPixel, int(config.WindowHeight) / kTwipsPerPixel);
}

} // namespace vesk::ui
