#include "cli/StatusLine.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <algorithm>

namespace korvane {

QString StatusLine::text(AgentState state, const WindowStatusList& windows)
{
    QString line = statusText(state);
    QStringList counts;
    for (AgentState s : kAllAgentStates) {
        const auto n = std::count_if(windows.begin(), windows.end(),
                                     [s](const WindowStatus& row) { return row.state == s; });
        if (n > 0)
            counts.append(QStringLiteral("%1 %2").arg(n).arg(rawValue(s)));
    }
    if (!counts.isEmpty())
        line += QStringLiteral(" (%1)").arg(counts.join(QStringLiteral(", ")));
    return line;
}

QByteArray StatusLine::json(AgentState state, const WindowStatusList& windows)
{
    QStringList tooltip;
    for (const WindowStatus& row : windows)
        tooltip.append(row.name + QStringLiteral(": ") + statusText(row.state));
    if (tooltip.isEmpty())
        tooltip.append(statusText(state));
    // Waybar reads text and tooltip as Pango markup: a folder named "R&D" must not break it.
    const QJsonObject object{
        {QStringLiteral("text"), text(state, windows).toHtmlEscaped()},
        {QStringLiteral("tooltip"), tooltip.join(u'\n').toHtmlEscaped()},
        {QStringLiteral("class"), rawValue(state)},
        {QStringLiteral("alt"), rawValue(state)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace korvane
