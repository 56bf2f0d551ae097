#include "agents/cursor/CursorAgent.h"

namespace korvane {

namespace {

// Relative to ~/.cursor, the folder of hooks.json, where the script is deployed.
constexpr const char* kScript = "./hooks/signalwick.sh";

} // namespace

HookLayout CursorAgent::layout() const
{
    return {HookLayout::Shape::Entries, {{"version", 1}}, nlohmann::json::object()};
}

std::string CursorAgent::command(const QString&) const
{
    return std::string(kScript) + ' ' + id().toStdString();
}

std::vector<std::string> CursorAgent::olderCommands(const QString&) const
{
    return {kScript};
}

} // namespace korvane
