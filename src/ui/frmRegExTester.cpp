#include "ui/frmRegExTester.h"

#include "ui/Placeholders.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesk::ui {

namespace {

const QColor kDarkRed(128, 0, 0);
const QColor kGreen(0, 128, 0);

} // namespace

frmRegExTester::frmRegExTester(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("frmRegExTester");
    setWindowTitle("{APP} - Regular Expression Tester");
    txtRegEx = new QLineEdit(this);
    txtSample = new QLineEdit(this);
    txtRegEx->setMinimumWidth(320);
    lblResult = new QLabel(this);
    lblResult->setMinimumHeight(40);
    lblResult->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The engine is built into the console, so its version is always one the console works with.
    lblDLLInfo
        = new QLabel(QString::fromStdString("RegEx V." + routing::PatternMatcher::EngineVersion()), this);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Expression :", this), 0, 0);
    grid->addWidget(txtRegEx, 0, 1);
    grid->addWidget(new QLabel("Sample Text :", this), 1, 0);
    grid->addWidget(txtSample, 1, 1);
    grid->addWidget(new QLabel("Result :", this), 2, 0, Qt::AlignTop);
    grid->addWidget(lblResult, 2, 1);

    cmdTest = new QPushButton("&Test", this);
    cmdUse = new QPushButton("&Use", this);
    cmdClose = new QPushButton("&Close", this);
    cmdTest->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblDLLInfo, 1);
    buttons->addWidget(cmdTest);
    buttons->addWidget(cmdUse);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);

    connect(cmdTest, &QPushButton::clicked, this, [this] { cmdTest_Click(); });
    connect(cmdUse, &QPushButton::clicked, this, [this] {
        m_expression = txtRegEx->text();
        accept();
    });
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    ApplyPlaceholders(*this);

    if (!m_matcher.IsRegEx())
        showResult("The Regular Expression Parser Did Not Load", kDarkRed);
}

void frmRegExTester::SetExpression(const QString& expression)
{
    txtRegEx->setText(expression);
}

void frmRegExTester::cmdTest_Click()
{
    if (txtRegEx->text().isEmpty()) {
        QApplication::beep();
        txtRegEx->setFocus();
        return;
    }
    const std::string found
        = m_matcher.TestDebug(txtRegEx->text().toStdString(), txtSample->text().toStdString());
    if (found.empty())
        showResult("NO MATCH", kDarkRed);
    else
        showResult("MATCHED\n" + QString::fromStdString(found), kGreen);
    txtRegEx->setFocus();
}

void frmRegExTester::showResult(const QString& text, const QColor& colour)
{
    QPalette palette = lblResult->palette();
    palette.setColor(QPalette::WindowText, colour);
    lblResult->setPalette(palette);
    lblResult->setText(text);
}

} // namespace vesk::ui
