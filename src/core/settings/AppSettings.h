#pragma once

#include "platform/UserDefaults.h"
#include "settings/OverlayMode.h"
#include "settings/OverlayOrientation.h"
#include "status/WindowStatus.h"

#include <QObject>
#include <QSet>
#include <QStringList>

namespace korvane {

// The user's choices for the floating lights (their keys, defaults and limits
// are in DefaultsKeys). Read from the user defaults once,
// at construction; every assignment is stored at once and announced, also when
// the value did not change (subscribers drop repeats themselves).
class AppSettings : public QObject {
    Q_OBJECT

public:
    explicit AppSettings(UserDefaults& defaults, QObject* parent = nullptr);

    // The one instance of the application, over UserDefaults::standard().
    static AppSettings& shared();

    OverlayMode overlayMode() const { return m_overlayMode; }
    OverlayOrientation orientation() const { return m_orientation; }
    bool showLabels() const { return m_showLabels; }
    bool perTab() const { return m_perTab; }
    double scale() const { return m_scale; }
    const QStringList& lightOrder() const { return m_lightOrder; }
    // A desktop notification when a light turns red.
    bool notifyWhenAgentNeedsYou() const { return m_notify; }
    // Korvane offers the choices of an agent's permission prompt (in the menu); off, it
    // registers no hook that holds a prompt for its answer.
    bool answerPermissionPrompts() const { return m_answerPermissionPrompts; }
    // A permission prompt's notification offers its choices as buttons.
    bool answerFromNotifications() const { return m_answerFromNotifications; }
    // Whether the floating lights are shown; kept across launches.
    bool overlayVisible() const { return m_overlayVisible; }

    void setOverlayMode(OverlayMode mode);
    void setOrientation(OverlayOrientation orientation);
    void setShowLabels(bool show);
    void setPerTab(bool perTab);
    // Out-of-range values are announced, then corrected and announced again;
    // only the corrected value is stored.
    void setScale(double scale);
    void setLightOrder(const QStringList& order);
    void setNotifyWhenAgentNeedsYou(bool notify);
    void setAnswerPermissionPrompts(bool answer);
    void setAnswerFromNotifications(bool answer);
    void setOverlayVisible(bool visible);

    // Rows whose id is in `order` first, in that order (an id listed twice
    // takes its last position); the others after them in their own order.
    static WindowStatusList order(const WindowStatusList& rows, const QStringList& order);
    // Rewrites lightOrder after the user dragged the rows at `fromOffsets` of
    // the displayed list to `toOffset` (the usual list-move convention).
    void move(const WindowStatusList& rows, const QSet<int>& fromOffsets, int toOffset);

    UserDefaults& defaults() const { return m_defaults; }

Q_SIGNALS:
    void overlayModeChanged(korvane::OverlayMode mode);
    void orientationChanged(korvane::OverlayOrientation orientation);
    void showLabelsChanged(bool showLabels);
    void perTabChanged(bool perTab);
    void scaleChanged(double scale);
    void lightOrderChanged(const QStringList& lightOrder);
    void notifyWhenAgentNeedsYouChanged(bool notify);
    void answerPermissionPromptsChanged(bool answer);
    void overlayVisibleChanged(bool visible);
    // After any assignment.
    void changed();

private:
    // Stores a switch, then announces it (its own signal, when it has one, and changed()).
    void setSwitch(bool& member, const DefaultsKey<bool>& key, bool on, void (AppSettings::*signal)(bool));

    UserDefaults& m_defaults;
    OverlayMode m_overlayMode = OverlayMode::Combined;
    OverlayOrientation m_orientation = OverlayOrientation::Vertical;
    bool m_showLabels = true;
    bool m_perTab = false;
    double m_scale = 1.0;
    QStringList m_lightOrder;
    bool m_notify = false;
    bool m_answerPermissionPrompts = true;
    bool m_answerFromNotifications = true;
    bool m_overlayVisible = false;
};

} // namespace korvane
