#include "ui/DataFolderSetup.h"

#include "store/Migrate.h"
#include "ui/frmMigrateStatus.h"
#include "ui/frmOverwiteOBWarning.h"

namespace vesk::ui {

bool RebuildDataFolder(QWidget* parent, const std::string& folder, const std::string& templateFolder,
    Clock& clock, EventPump& pump)
{
    frmOverwiteOBWarning warning(parent);
    warning.exec();
    if (!warning.IsOverwrite()) {
        store::ResetSystemFlags(folder, clock, pump);
        return false;
    }
    frmMigrateStatus status(parent);
    status.show();
    pump.runPending();
    store::RetireDataFiles(folder);
    std::string errorLines;
    store::CopyTemplates(folder, templateFolder, errorLines);
    store::MigrateData(folder, clock, pump, [&](const std::string& text) {
        status.setStatus(QString::fromStdString(text));
        pump.runPending();
    });
    status.hide();
    return true;
}

} // namespace vesk::ui
