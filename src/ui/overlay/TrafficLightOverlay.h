#pragma once

#include "settings/OverlayMode.h"
#include "settings/OverlayOrientation.h"
#include "status/WindowStatus.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QStringList>

class QMenu;
class QWidget;

namespace korvane {

class AppSettings;
class OverlayPanel;
class StatusStore;
class UserDefaults;

// Owns the floating lights: whether they are shown (a flag that outlives the
// process), which panels the user's layout calls for, and keeping them in step
// with the preferences and with the windows and tabs of the store.
class TrafficLightOverlay : public QObject {
    Q_OBJECT

public:
    // Shows nothing until rebuild(), toggle() or a change of a preference.
    TrafficLightOverlay(StatusStore& store, AppSettings& settings, UserDefaults& defaults,
                        QObject* parent = nullptr);
    ~TrafficLightOverlay() override;

    // The persistent visibility flag, read afresh each time.
    bool isVisibleFlagSet() const;
    void toggle();
    // Removes every panel, then builds those of the current layout if the flag is set.
    void rebuild();
    void teardown();

    // The menu a right click on a light opens (the tray's); not owned.
    void setContextMenu(QMenu* menu);

    // Panel sizes for the current fonts; the caption line height is measured on every call.
    static QSize housingSize(double scale, bool hasLabel, OverlayOrientation orientation);
    static QSize rowSize(double scale, int count, bool hasLabel, OverlayOrientation orientation);

    OverlayPanel* combinedPanel() const { return m_combinedPanel; }
    OverlayPanel* rowPanel() const { return m_rowPanel; }
    const QHash<QString, OverlayPanel*>& windowPanels() const { return m_windowPanels; }
    int panelCount() const;

    // The units the lights show (windows, or tabs when per-tab), in the user's order.
    WindowStatusList currentUnits() const;
    QStringList currentRowIDs() const;

    void handleWindowsChanged();
    void syncWindowPanels();
    void resizeRowPanelIfNeeded();

private:
    OverlayPanel* makePanel(QWidget* content, QSize size, double cornerRadius, const QString& originKey,
                            int defaultIndex);
    OverlayPanel* makeCombinedPanel();
    OverlayPanel* makeWindowPanel(const QString& id, int defaultIndex);
    OverlayPanel* makeRowPanel();
    void dropPanel(OverlayPanel* panel);
    // The available area of every screen.
    static QList<QRect> availableAreas();
    void showContextMenu(QPoint globalPos);
    void subscribe();

    StatusStore& m_store;
    AppSettings& m_settings;
    UserDefaults& m_defaults;

    OverlayPanel* m_combinedPanel = nullptr;
    OverlayPanel* m_rowPanel = nullptr;
    QStringList m_rowWindowIDs;
    QHash<QString, OverlayPanel*> m_windowPanels;
    QHash<QString, double> m_windowPanelScale;

    // The last value seen of each preference, so that equal assignments are dropped.
    OverlayMode m_lastMode;
    OverlayOrientation m_lastOrientation;
    bool m_lastPerTab;
    QStringList m_lastOrder;
    bool m_lastShowLabels;
    double m_lastScale;

    QPointer<QMenu> m_menu;
};

} // namespace korvane
