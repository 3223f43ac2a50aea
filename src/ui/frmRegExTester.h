#pragma once

#include "routing/PatternMatcher.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vesk::ui {

// Lets the operator try a pattern on a sample text with the console's own matcher before using
// it as a forwarding keyword or an address filter line.
class frmRegExTester final : public QDialog
{
    Q_OBJECT

public:
    explicit frmRegExTester(QWidget* parent = nullptr);

    // The accepted expression: empty until the operator presses Use.
    QString Expression() const { return m_expression; }
    // Puts an expression into the field to start from.
    void SetExpression(const QString& expression);

    void cmdTest_Click();

    QLineEdit* txtRegEx = nullptr;
    QLineEdit* txtSample = nullptr;
    QLabel* lblResult = nullptr;
    QLabel* lblDLLInfo = nullptr;
    QPushButton* cmdTest = nullptr;
    QPushButton* cmdUse = nullptr;
    QPushButton* cmdClose = nullptr;

private:
    void showResult(const QString& text, const QColor& colour);

    routing::PatternMatcher m_matcher;
    QString m_expression;
};

} // namespace vesk::ui
