#include "ui/frmMigrateStatus.h"

#include "ui/Placeholders.h"

#include <QLabel>
#include <QVBoxLayout>

namespace vesk::ui {

frmMigrateStatus::frmMigrateStatus(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("frmMigrateStatus");
    setWindowTitle("{APP} - Import Data");
    lblStatus = new QLabel("Import data - please wait...", this);
    lblStatus->setMinimumWidth(320);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblStatus);
    ApplyPlaceholders(*this);
}

void frmMigrateStatus::setStatus(const QString& text)
{
    lblStatus->setText(text);
    lblStatus->repaint();
}

} // namespace vesk::ui
