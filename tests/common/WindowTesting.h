#pragma once

// What every window test needs: Qt Test, the widgets, and an answer to the modal windows.

#include <QtTest>
#include <QtWidgets>

#include <functional>

namespace vesk::testing {

// Answers every modal window that opens while it lives, polling because a modal window opens
// only once the click that shows it runs. A message box gets the chosen button (or its only one)
// and its text is kept; any other modal window is handed to `other`.
class ModalAnswers
{
public:
    explicit ModalAnswers(
        std::function<void(QWidget&)> other = {}, QMessageBox::StandardButton answer = QMessageBox::Ok)
        : m_other(std::move(other))
        , m_answer(answer)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start(5);
    }

    QStringList texts;

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            texts << box->text();
            QAbstractButton* button = box->button(m_answer);
            (button ? button : box->buttons().first())->click();
        } else if (modal && m_other) {
            m_other(*modal);
        }
    }

    std::function<void(QWidget&)> m_other;
    QMessageBox::StandardButton m_answer;
    QTimer m_timer;
};

} // namespace vesk::testing
