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
class LightRows;
class OverlayPanel;
class UserDefaults;

// Owns the floating lights: which panels the user's layout calls for, shown
// while AppSettings::overlayVisible is set, and keeping them in step with the
// preferences and with the rows the lights show.
class TrafficLightOverlay : public QObject {
    Q_OBJECT

public:
    // Shows nothing until rebuild(), toggle() or a change of a preference.
    TrafficLightOverlay(const LightRows& rows, AppSettings& settings, UserDefaults& defaults,
                        QObject* parent = nullptr);
    ~TrafficLightOverlay() override;

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

    QStringList currentRowIDs() const;

    void handleWindowsChanged();
    void syncWindowPanels();
    void resizeRowPanelIfNeeded();

Q_SIGNALS:
    // A click on a row's light or dot (its id), or on the combined light ("").
    void takeMeThereRequested(const QString& rowId);

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

    // What the panels are built from: a change of any of it builds them anew.
    struct Layout {
        bool visible;
        OverlayMode mode;
        OverlayOrientation orientation;
        bool perTab;
        QStringList order;
        bool showLabels;
        double scale;
        friend bool operator==(const Layout&, const Layout&) = default;
    };
    Layout layout() const;

    const LightRows& m_rows;
    AppSettings& m_settings;
    UserDefaults& m_defaults;
    Layout m_built;

    OverlayPanel* m_combinedPanel = nullptr;
    OverlayPanel* m_rowPanel = nullptr;
    QStringList m_rowWindowIDs;
    QHash<QString, OverlayPanel*> m_windowPanels;
    QHash<QString, double> m_windowPanelScale;

    QPointer<QMenu> m_menu;
};

} // namespace korvane
