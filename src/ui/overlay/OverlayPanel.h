#pragma once

#include <QPoint>
#include <QPointF>
#include <QString>
#include <QWidget>

class QTimer;

namespace korvane {

class UserDefaults;

// A borderless floating window for one light: above other windows on every
// desktop, never focused, out of task bars, dragged by its background. Its
// top-left corner is saved under its origin key when the user drops it and when
// the program moves it.
//
// Qt can report a stale position right after a window is shown (some window
// managers send a move to (0, 0)); the panel therefore keeps its own idea of
// where it is meant to be (origin()), never saves from a move notification, and
// puts itself there again shortly after showing.
class OverlayPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int kResyncDelayMs = 300;

    // Takes ownership of `content`, which fills the panel. Placed at `origin`
    // (not saved), not shown.
    OverlayPanel(QWidget* content, QSize size, double cornerRadius, QString originKey, QPoint origin,
                 UserDefaults& defaults);

    QPoint origin() const { return m_origin; }

    // A move by the program; saved.
    void moveTo(QPoint topLeft);
    // Takes a new size and place; not saved, so the place the user chose stays.
    void setFrame(QPoint topLeft, QSize size);
    // Shows the panel above other windows without taking focus.
    void orderFront();
    void orderOut();

Q_SIGNALS:
    void contextMenuRequested(QPoint globalPos);
    // A left press and release without a drag, at this point of the panel.
    void clicked(QPoint pos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void saveOrigin();
    void updateShape();

    QWidget* m_content;
    double m_cornerRadius;
    QString m_originKey;
    QPoint m_origin;
    UserDefaults& m_defaults;
    QTimer* m_resync;
    bool m_hinted = false;
    bool m_dragging = false;
    bool m_dragged = false;
    QPointF m_pressOffset;
    QPointF m_pressGlobal;
    bool m_wandered = false; // moved further than a click allows
};

} // namespace korvane
