#pragma once

#include <QDialog>

class QPushButton;

namespace vesk::ui {

// Asks whether a folder that already holds data files keeps them or gets fresh ones.
class frmOverwiteOBWarning final : public QDialog
{
    Q_OBJECT

public:
    explicit frmOverwiteOBWarning(QWidget* parent = nullptr);
    bool IsOverwrite() const { return m_overwrite; }

    QPushButton* cmdKeep = nullptr;
    QPushButton* cmdOverwrite = nullptr;

private:
    bool m_overwrite = false;
};

} // namespace vesk::ui
