#pragma once

#include "focus/JumpPlan.h"
#include "status/StateRecord.h"

#include <QObject>
#include <QString>

namespace korvane {

class ProcessRunner;
class ProcessTable;
class WindowSystem;

// Brings forward the place an agent runs: its tmux pane, then the terminal
// window that shows it (X11 and XWayland by the window manager's own request,
// sway by its IPC, Plasma's Wayland windows by a KWin script), kitty's and
// WezTerm's own tab where their remote control is on, or the editor window of
// its workspace. What cannot be reached is described instead.
class TakeMeThere : public QObject {
    Q_OBJECT

public:
    TakeMeThere(ProcessRunner& runner, WindowSystem& windows, const ProcessTable& processes,
                QObject* parent = nullptr);

    struct Outcome {
        bool reached = false;
        QString where;   // "tmux work:2.1 in xterm 'TERM-A'"
        QString problem; // why it was not reached, when it is worth saying
    };
    Outcome go(const StateRecord& record);

    // Whether the user looks at it already: its terminal window is the active one
    // and, in tmux, its pane is the active one of a client's session.
    bool isInFront(const StateRecord& record);

    // How long to wait for the window manager to make the window active.
    void setConfirmTimeout(int ms) { m_confirmMs = ms; }

private:
    struct Found {
        quint32 window = 0;
        QString terminal, title;
        int desktop = 0;
    };
    QList<qint64> chainOf(const StateRecord& record) const;
    std::optional<JumpPlan::Tmux> paneOf(const StateRecord::Where& where);
    Found findWindow(quint32 hinted, const QList<std::pair<qint64, QString>>& chain,
                     const QString& workspace) const;
    bool raise(const Found& found);
    bool viaCompositor(const QList<std::pair<qint64, QString>>& chain);

    ProcessRunner& m_runner;
    WindowSystem& m_windows;
    const ProcessTable& m_processes;
    int m_confirmMs = 300;
};

} // namespace korvane
