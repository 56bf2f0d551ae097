#pragma once

#include <QObject>
#include <csignal>

class QSocketNotifier;

namespace korvane {

// Turns SIGTERM and SIGINT into quitRequested() on the event loop, so that a
// terminated or interrupted Korvane leaves through the same quit path as the
// menu's Quit. The handler only writes the signal number into a pipe. It is
// armed once per signal: a second one of the same kind ends the process the
// default way, should the quit itself hang.
//
// One instance at a time; the previous handlers come back when it is destroyed.
class SignalQuitter : public QObject {
    Q_OBJECT

public:
    explicit SignalQuitter(QObject* parent = nullptr);
    ~SignalQuitter() override;

Q_SIGNALS:
    void quitRequested(int signalNumber);

private:
    void readSignals();

    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
    struct sigaction m_previousTerm {};
    struct sigaction m_previousInt {};
    bool m_installed = false;
};

} // namespace korvane
