#pragma once

#include <QObject>

class QSocketNotifier;

namespace vesk::ui {

// SIGTERM and SIGINT close the window (the console stops in order, as with Exit); SIGUSR1 asks
// for pause or resume. The signals are read through a descriptor, so no handler state is global.
// Construct before any thread starts, so every thread leaves the signals to this descriptor.
class SignalWatcher final : public QObject
{
    Q_OBJECT

public:
    SignalWatcher();
    ~SignalWatcher() override;
    // Starts watching; call once the event loop objects exist.
    void watch();

signals:
    void stopRequested();
    void pauseRequested();

private:
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace vesk::ui
