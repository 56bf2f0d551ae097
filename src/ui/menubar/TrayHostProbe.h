#pragma once

#include <QObject>

class QTimer;

namespace korvane {

// Whether a tray host is there to show an icon. Qt chooses between a
// StatusNotifierItem and an XEmbed icon once per process, when the first icon
// is made; made before any host exists, it would never show on a
// StatusNotifierItem-only host (waybar, Plasma on Wayland) that starts later.
// So on X11 the icon waits until this probe has seen a host: an owner of the
// XEmbed tray selection or a registered StatusNotifierItem host. Qt announces
// no host that appears later (GNOME enabling its tray extension), hence a poll.
class TrayHostProbe : public QObject {
    Q_OBJECT

public:
    static constexpr int kPollMs = 1500;
    static constexpr int kHostQuestionTimeoutMs = 1000;

    explicit TrayHostProbe(QObject* parent = nullptr);

    // Whether an icon may be made now; true where Qt's choice cannot go wrong.
    // Blocks up to kHostQuestionTimeoutMs on the session bus, as Qt itself does at start.
    static bool hostNow();

    // Polls from now on; hostAppeared() once while waiting, then trayAvailabilityChanged().
    void start(bool hostSeen);
    // Whether the host seen last time said it shows icons.
    bool trayAvailable() const { return m_available; }

Q_SIGNALS:
    void hostAppeared();
    void trayAvailabilityChanged(bool available);

private:
    void poll();
    void seen();
    void askForStatusNotifierHost();

    QTimer* m_timer;
    bool m_hostSeen = false;
    bool m_available = false;
#ifdef KORVANE_HAVE_DBUS
    bool m_asking = false;
#endif
};

} // namespace korvane
