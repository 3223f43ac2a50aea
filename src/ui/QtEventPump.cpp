#include "ui/QtEventPump.h"

#include <QCoreApplication>

namespace vesk::ui {

void QtEventPump::runPending()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace vesk::ui
