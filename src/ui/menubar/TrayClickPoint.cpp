#include "menubar/TrayClickPoint.h"

#include <QCursor>
#include <QLoggingCategory>
#include <QStringList>
#include <cstring>
#include <utility>

namespace korvane {

namespace {

constexpr const char* kTrayCategory = "qt.qpa.tray";
QtMessageHandler g_next = nullptr;
bool g_showTrayDebug = false;
std::optional<QPoint> g_point;

void catchClickPoint(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg && context.category && std::strcmp(context.category, kTrayCategory) == 0) {
        // Activate(x, y) writes "x y"; the category's other lines have words in them.
        const QStringList xy = message.split(u' ');
        bool xOk = false;
        bool yOk = false;
        const QPoint point = xy.size() == 2 ? QPoint(xy[0].toInt(&xOk), xy[1].toInt(&yOk)) : QPoint();
        if (xOk && yOk)
            g_point = point;
        if (!g_showTrayDebug)
            return;
    }
    g_next(type, context, message);
}

} // namespace

void TrayClickPoint::install()
{
    if (g_next)
        return;
    g_showTrayDebug = QLoggingCategory(kTrayCategory).isDebugEnabled();
    g_next = qInstallMessageHandler(catchClickPoint);
    QLoggingCategory::setFilterRules(QStringLiteral("qt.qpa.tray.debug=true"));
}

std::optional<QPoint> TrayClickPoint::take()
{
    // Hosts that do not know where they were clicked send 0, 0.
    const std::optional<QPoint> point = std::exchange(g_point, std::nullopt);
    return point && !point->isNull() ? point : std::nullopt;
}

QPoint TrayClickPoint::menuPosition()
{
    return take().value_or(QCursor::pos());
}

} // namespace korvane
