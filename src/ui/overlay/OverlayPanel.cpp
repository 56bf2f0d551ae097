#include "overlay/OverlayPanel.h"

#include "overlay/OverlayGeometry.h"
#include "platform/UserDefaults.h"
#include "platform/X11Hints.h"

#include <QApplication>
#include <QBitmap>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

namespace korvane {

OverlayPanel::OverlayPanel(QWidget* content, QSize size, double cornerRadius, QString originKey,
                           QPoint origin, UserDefaults& defaults)
    : QWidget(nullptr,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      m_content(content), m_cornerRadius(cornerRadius), m_originKey(std::move(originKey)), m_origin(origin),
      m_defaults(defaults), m_resync(new QTimer(this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_MacAlwaysShowToolWindow);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Korvane"));
    m_content->setParent(this);
    // The content never takes the mouse: a press anywhere starts a drag.
    m_content->setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(size);
    m_content->setGeometry(rect());
    move(m_origin);

    m_resync->setSingleShot(true);
    m_resync->setInterval(kResyncDelayMs);
    connect(m_resync, &QTimer::timeout, this, [this] {
        if (!m_dragging)
            move(m_origin);
    });
}

void OverlayPanel::moveTo(QPoint topLeft)
{
    m_origin = topLeft;
    move(topLeft);
    saveOrigin();
}

void OverlayPanel::setFrame(QPoint topLeft, QSize size)
{
    m_origin = topLeft;
    setFixedSize(size);
    m_content->setGeometry(rect());
    move(m_origin);
}

void OverlayPanel::orderFront()
{
    if (!m_hinted) {
        // Before the first map: the window manager reads the hints then.
        winId();
        X11Hints::keepOffTaskbarOnAllDesktops(this);
        m_hinted = true;
    }
    updateShape();
    move(m_origin);
    show();
    raise();
    m_resync->start();
}

void OverlayPanel::orderOut()
{
    m_resync->stop();
    m_dragging = false;
    hide();
}

void OverlayPanel::saveOrigin()
{
    m_defaults.setString(m_originKey, OverlayGeometry::formatPoint(m_origin));
}

void OverlayPanel::updateShape()
{
    // Without a compositor the translucent corners would show black; cut them.
    if (X11Hints::compositorRunning()) {
        clearMask();
        return;
    }
    QBitmap shape(size());
    shape.fill(Qt::color0);
    QPainter painter(&shape);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::color1);
    // The plate's outline stroke reaches half a pixel outside the content.
    const QRectF plate = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawRoundedRect(plate, m_cornerRadius, m_cornerRadius);
    painter.end();
    setMask(shape);
}

void OverlayPanel::resizeEvent(QResizeEvent*)
{
    if (!mask().isEmpty())
        updateShape();
}

void OverlayPanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    // The offset comes from the local position: pos() may be stale right after show.
    m_pressOffset = event->position();
    m_pressGlobal = event->globalPosition();
    m_dragging = true;
    m_dragged = false;
    m_wandered = false;
    m_resync->stop();
    event->accept();
}

void OverlayPanel::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging || !(event->buttons() & Qt::LeftButton)) {
        event->ignore();
        return;
    }
    m_wandered = m_wandered || (event->globalPosition() - m_pressGlobal).manhattanLength() >=
                                   QApplication::startDragDistance();
    const QPoint target = (event->globalPosition() - m_pressOffset).toPoint();
    if (target != m_origin) {
        m_origin = target;
        m_dragged = true;
        move(target);
    }
    event->accept();
}

void OverlayPanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_dragging) {
        event->ignore();
        return;
    }
    m_dragging = false;
    if (m_dragged)
        saveOrigin();
    event->accept();
    if (!m_wandered)
        Q_EMIT clicked(m_pressOffset.toPoint());
}

void OverlayPanel::contextMenuEvent(QContextMenuEvent* event)
{
    Q_EMIT contextMenuRequested(event->globalPos());
    event->accept();
}

} // namespace korvane
