#include "menubar/HooksReport.h"

namespace korvane {

QString HooksReport::listed(const QStringList& names)
{
    if (names.size() < 2)
        return names.value(0);
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + names.last();
}

Alerts::Request HooksReport::request(bool ok, const QList<Agent>& agents)
{
    Alerts::Request request;
    if (!ok) {
        request.style = Alerts::Style::Warning;
        request.message = QStringLiteral("Could not install hooks");
#ifdef Q_OS_MACOS
        request.informativeText =
            QStringLiteral("Writing to the hooks config failed. Check Console for details.");
#else
        // Unbroken, so that the command can be copied as it stands.
        request.informativeText =
            QStringLiteral("Writing to the hooks config failed. The details are in the "
                           "journal:<p style=\"white-space:pre\">journalctl --user -t korvane</p>");
#endif
        return request;
    }

    QStringList installed, missing, restart, pickUps, nextSteps;
    for (const Agent& agent : agents) {
        if (!agent.installed) {
            if (agent.available)
                missing << agent.name;
            continue;
        }
        installed << agent.name;
        if (agent.pickUp.isEmpty())
            restart << agent.name;
        else
            pickUps << agent.pickUp;
        if (!agent.nextStep.isEmpty())
            nextSteps << agent.nextStep;
    }
    if (!restart.isEmpty())
        pickUps << QStringLiteral("restart %1 sessions to pick up the new hooks").arg(listed(restart));
    QString howToPickUp = pickUps.join(QStringLiteral("; "));
    if (!howToPickUp.isEmpty())
        howToPickUp[0] = howToPickUp[0].toUpper();

    request.style = Alerts::Style::Informational;
    request.message = installed.isEmpty() ? QStringLiteral("No agent to install hooks for was found")
                                          : QStringLiteral("Hooks installed for ") + listed(installed);
    QStringList sentences = {QStringLiteral("The status light updates as the agent works.")};
    if (!howToPickUp.isEmpty())
        sentences << howToPickUp + u'.';
    sentences << nextSteps;
    if (!missing.isEmpty())
        sentences << QStringLiteral("Hooks are not in place for %1.").arg(listed(missing));
    request.informativeText = sentences.join(u' ');
    return request;
}

} // namespace korvane
