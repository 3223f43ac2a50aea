#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace vesk::ui {

// Tells the operator that a setting makes the modem send additional, chargeable messages.
class frmCharges final : public QDialog
{
    Q_OBJECT

public:
    explicit frmCharges(QWidget* parent = nullptr);

    // The note, with its "\p", "\n" and "\t" sequences turned into line breaks and blanks.
    void SetInfo(const QString& text);

    QLabel* lblInfo = nullptr;
    QPushButton* cmdOK = nullptr;
};

} // namespace vesk::ui
