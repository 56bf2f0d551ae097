#pragma once

#include <QList>
#include <QObject>

class QAction;
class QKeyEvent;
class QMenu;

namespace korvane {

// Qt routes the shortcuts of a menu's items only when the menu hangs in a menu
// bar or a window; a tray or context menu has neither, so while one of these
// menus is open its items' keys are matched here.
class MenuShortcuts : public QObject {
    Q_OBJECT

public:
    MenuShortcuts(QList<QMenu*> menus, QObject* parent = nullptr);

    // The enabled item whose shortcut the key press means, or null.
    QAction* actionFor(const QKeyEvent& event) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<QMenu*> m_menus;
};

} // namespace korvane
