#include "menubar/MenuCommands.h"

#include "platform/LoginItem.h"
#include "platform/SystemLog.h"
#include "settings/AppSettings.h"

#include <cmath>

namespace korvane {

namespace {

void run(const std::function<void()>& action)
{
    if (action)
        action();
}

} // namespace

MenuCommands::MenuCommands(AppSettings& settings, LoginItem& loginItem, Alerts& alerts, Actions actions)
    : m_settings(settings), m_loginItem(loginItem), m_alerts(alerts), m_actions(std::move(actions))
{}

bool MenuCommands::overlayShown() const
{
    return m_settings.overlayVisible();
}

bool MenuCommands::launchAtLogin() const
{
    return m_loginItem.status() == LoginItem::Status::Enabled;
}

bool MenuCommands::hooksInstalled() const
{
    return m_actions.hooksInstalled && m_actions.hooksInstalled();
}

double MenuCommands::steppedScale(double scale, double step)
{
    return std::round((scale + step) * 100.0) / 100.0;
}

void MenuCommands::toggleOverlay()
{
    run(m_actions.toggleOverlay);
}

void MenuCommands::selectMode(OverlayMode mode)
{
    m_settings.setOverlayMode(mode);
}

void MenuCommands::selectOrientation(OverlayOrientation orientation)
{
    m_settings.setOrientation(orientation);
}

void MenuCommands::togglePerTab()
{
    m_settings.setPerTab(!m_settings.perTab());
}

void MenuCommands::toggleAnswerPermissionPrompts()
{
    m_settings.setAnswerPermissionPrompts(!m_settings.answerPermissionPrompts());
}

void MenuCommands::toggleAnswerFromNotifications()
{
    m_settings.setAnswerFromNotifications(!m_settings.answerFromNotifications());
}

void MenuCommands::toggleNotify()
{
    m_settings.setNotifyWhenAgentNeedsYou(!m_settings.notifyWhenAgentNeedsYou());
}

void MenuCommands::decreaseSize()
{
    m_settings.setScale(steppedScale(m_settings.scale(), -0.25));
}

void MenuCommands::increaseSize()
{
    m_settings.setScale(steppedScale(m_settings.scale(), 0.25));
}

void MenuCommands::selectScale(double scale)
{
    m_settings.setScale(scale);
}

void MenuCommands::openSettings()
{
    run(m_actions.showSettings);
}

void MenuCommands::toggleLaunchAtLogin()
{
    QString error;
    const bool ok = launchAtLogin() ? m_loginItem.unregisterItem(&error) : m_loginItem.registerItem(&error);
    if (!ok)
        SystemLog::instance().write(QStringLiteral("Korvane: launch-at-login toggle failed: ") + error);
}

void MenuCommands::checkForUpdates()
{
    run(m_actions.checkForUpdates);
}

void MenuCommands::reinstallHooks()
{
    const bool ok = m_actions.installHooks && m_actions.installHooks();
    m_alerts.run(
        HooksReport::request(ok, m_actions.agents ? m_actions.agents() : QList<HooksReport::Agent>()));
}

} // namespace korvane
