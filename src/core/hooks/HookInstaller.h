#pragma once

#include <QString>

namespace korvane {

class Agent;

// Connects the agents to Korvane: deploys the hook script to
// ~/.cursor/hooks/signalwick.sh and merges an entry that runs it into the hook
// configuration of every agent in AgentList that is installed here. No state:
// every call works on the files under QDir::homePath() afresh.
class HookInstaller {
public:
    HookInstaller() = delete;

    // Linked into the program that deploys it, not into every user of the core.
    static constexpr const char* kScriptResource = ":/hooks/signalwick.sh";
    static constexpr const char* kHelperResource = ":/hooks/signalwick-ask";

    // Deploys the script (mode 0755) and merges every available agent's
    // configuration. False when a step failed; that is logged, except a missing
    // script resource. Steps already done stay done. Without `answering`, the
    // events that hold a prompt for the desktop's answer get no entry of Korvane's
    // (and lose the one they have).
    static bool install(bool answering = true);
    // The script is deployed and every available agent's events carry an entry,
    // of this version or an earlier one.
    static bool isInstalled(bool answering = true);
    static bool isInstalled(const Agent& agent, bool answering = true);

    static QString scriptPath(); // ~/.cursor/hooks/signalwick.sh
    static QString helperPath(); // beside it: what the script runs to ask Korvane to answer a prompt

    // One agent's entries, merged into its configuration (HookMerge::mergeFile), or its plugin.
    static bool merge(const Agent& agent, QString* error, bool answering = true);

private:
    static bool deploy(const QByteArray& bytes, const QString& destination, QString* error);
};

} // namespace korvane
