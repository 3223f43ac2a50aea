#pragma once

#include <QDialog>

class QLabel;

namespace vesk::ui {

// Shows how far the import into fresh data files has come.
class frmMigrateStatus final : public QDialog
{
    Q_OBJECT

public:
    explicit frmMigrateStatus(QWidget* parent = nullptr);
    void setStatus(const QString& text);

    QLabel* lblStatus = nullptr;
};

} // namespace vesk::ui
