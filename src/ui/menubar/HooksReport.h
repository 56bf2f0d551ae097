#pragma once

#include "platform/Alerts.h"

#include <QList>
#include <QString>

namespace korvane {

// What the alert after an install says, built from what is true on this machine.
class HooksReport {
public:
    // One agent Korvane serves.
    struct Agent {
        QString name;           // as users know it
        bool available = false; // the agent is on this machine
        bool installed = false; // Korvane's hooks are in its configuration
        // How a running agent takes new hooks up, as a clause ("… reloads hooks on
        // save"); empty when its sessions must be restarted.
        QString pickUp;
        // A step left to the user, as a sentence; empty when none.
        QString nextStep;
    };

    static Alerts::Request request(bool ok, const QList<Agent>& agents);
    // "A", "A and B", "A, B and C".
    static QString listed(const QStringList& names);
};

} // namespace korvane
