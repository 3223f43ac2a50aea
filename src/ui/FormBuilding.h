#pragma once

// Building forms in code: widgets carry the names that tests and the settings binding look them up
// by, and a label with its fields makes one row.

#include <QBoxLayout>
#include <QLabel>
#include <QWidget>

#include <initializer_list>
#include <utility>

namespace vesk::ui {

template<class W> W* named(W* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

// A new widget of type W with the given constructor arguments, its parent last, and its name.
template<class W, class... Args> W* make(QWidget* parent, const char* name, Args&&... args)
{
    return named(new W(std::forward<Args>(args)..., parent), name);
}

// Widgets side by side; the one at `wide` (when there is one) takes the spare width.
inline QHBoxLayout* row(std::initializer_list<QWidget*> widgets, int wide = -1)
{
    auto* layout = new QHBoxLayout;
    int i = 0;
    for (QWidget* w : widgets)
        layout->addWidget(w, i++ == wide ? 1 : 0);
    return layout;
}

// "Label :" followed by its fields; the first field takes the spare width unless `wide` says otherwise.
inline QHBoxLayout* labelledRow(
    QWidget* parent, const QString& label, std::initializer_list<QWidget*> fields, int wide = 0)
{
    auto* layout = new QHBoxLayout;
    layout->addWidget(new QLabel(label, parent));
    int i = 0;
    for (QWidget* w : fields)
        layout->addWidget(w, i++ == wide ? 1 : 0);
    return layout;
}

} // namespace vesk::ui
