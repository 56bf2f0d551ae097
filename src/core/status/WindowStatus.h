#pragma once

#include "status/AgentState.h"

#include <QList>
#include <QMetaType>
#include <QString>

namespace korvane {

// One status row: an editor window (id = workspace key) or a tab (id = conversation key).
struct WindowStatus {
    QString id;
    QString name;
    AgentState state = AgentState::Unknown;
    double lastActivity = 0; // seconds since 1970
    // The agent whose record gave the row its state (its AgentList id); "" when the record does not say.
    QString agent = {};
    // A conversation of the row waits for the user or failed, whatever the row's own state.
    bool needsYou = false;

    friend bool operator==(const WindowStatus&, const WindowStatus&) = default;

    // Whether `a` calls for the user before `b`: the rows that need you first, then the most recent.
    static bool callsFirst(const WindowStatus& a, const WindowStatus& b)
    {
        return a.needsYou != b.needsYou ? a.needsYou : a.lastActivity > b.lastActivity;
    }
};

using WindowStatusList = QList<WindowStatus>;

} // namespace korvane

Q_DECLARE_METATYPE(korvane::WindowStatus)
