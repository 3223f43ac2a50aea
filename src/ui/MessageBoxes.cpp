#include "ui/MessageBoxes.h"

#include "core/ConsoleApp.h"
#include "support/Convert.h"

#include <QMessageBox>

namespace vesk::ui {

bool AskYesNoCritical(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kAppTitle.data(), int(kAppTitle.size())), text,
        QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName("criticalQuestion");
    return box.exec() == QMessageBox::Yes;
}

void ShowCritical(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kAppTitle.data(), int(kAppTitle.size())), text,
        QMessageBox::Ok, parent);
    box.setObjectName("criticalMessage");
    box.exec();
}

void ShowExclamation(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kAppTitle.data(), int(kAppTitle.size())), text,
        QMessageBox::Ok, parent);
    box.setObjectName("exclamationMessage");
    box.exec();
}

} // namespace vesk::ui
