#include "ui/Placeholders.h"

#include "support/Convert.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

namespace vesk::ui {

namespace {

bool replaced(QString& text)
{
    if (!text.contains('{'))
        return false;
    text = QString::fromStdString(ReplacePlaceholders(text.toStdString()));
    return true;
}

template<typename W, typename Get, typename Set> void fix(W* w, Get get, Set set)
{
    QString text = (w->*get)();
    if (replaced(text))
        (w->*set)(text);
}

} // namespace

void ApplyPlaceholders(QWidget& window)
{
    fix(&window, &QWidget::windowTitle, &QWidget::setWindowTitle);
    for (QWidget* w : window.findChildren<QWidget*>()) {
        fix(w, &QWidget::toolTip, &QWidget::setToolTip);
        if (auto* label = qobject_cast<QLabel*>(w))
            fix(label, &QLabel::text, &QLabel::setText);
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            fix(button, &QAbstractButton::text, &QAbstractButton::setText);
        else if (auto* box = qobject_cast<QGroupBox*>(w))
            fix(box, &QGroupBox::title, &QGroupBox::setTitle);
        else if (auto* edit = qobject_cast<QLineEdit*>(w))
            fix(edit, &QLineEdit::text, &QLineEdit::setText);
    }
}

} // namespace vesk::ui
