#include "hooks/GeminiConfig.h"

#include "hooks/HookGroups.h"
#include "hooks/HookInstaller.h"

#include <QDir>
#include <QFileInfo>

namespace korvane {

bool GeminiConfig::available()
{
    const QFileInfo info(QDir::homePath() + QStringLiteral("/.gemini"));
    return info.exists() || info.isSymLink();
}

QString GeminiConfig::settingsPath()
{
    return QDir::homePath() + QStringLiteral("/.gemini/settings.json");
}

bool GeminiConfig::install(const QString& script, QString* error)
{
    const nlohmann::json handler = {{"type", "command"},
                                    {"command", HookInstaller::claudeCommand(script.toStdString())},
                                    {"name", kHookName}};
    // Gemini CLI reads its settings with comments allowed.
    return HookGroups::mergeFile(settingsPath(), kEvents, handler, true, error);
}

} // namespace korvane
