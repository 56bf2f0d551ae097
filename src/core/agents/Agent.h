#pragma once

#include "hooks/HookMerge.h"

#include <QString>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

class SessionReader;

// Everything that is one agent's: how users call it, where its hook
// configuration lives and how to tell it is installed, the events Korvane
// registers (from its hook.awk, the rules the script runs for it) and the
// readers of its own files. The agents are listed in AgentList.
class Agent {
public:
    virtual ~Agent() = default;

    // The script's argument in Korvane's entries and the "agent" of its records.
    virtual QString id() const = 0;
    virtual QString displayName() const = 0;
    // Below the home: the agent's folder, whose presence says it is installed.
    virtual QString folder() const = 0;
    // Below the home: the JSON file that holds its hook entries.
    virtual QString configFile() const = 0;
    virtual HookLayout layout() const = 0;
    // The resource of a plugin Korvane owns that the agent loads instead of entries in a file of its
    // own (configFile() is then where the plugin goes); "" for an agent hooked by entries.
    virtual QString plugin() const { return {}; }

    virtual bool available() const;
    // How a running agent takes new hooks up, as a clause ("… reloads hooks on save");
    // "" where its sessions must be restarted.
    virtual QString pickUp() const { return {}; }
    // A step left to the user once its hooks are installed, as a sentence; "" for none.
    virtual QString nextStep() const { return {}; }
    // The command of Korvane's entry for the deployed script, and the commands
    // its earlier versions wrote, which count as installed too.
    virtual std::string command(const QString& script) const;
    virtual std::vector<std::string> olderCommands(const QString& script) const;
    // What installing takes besides the entries; false with *error.
    virtual bool finishInstall(QString* error) const;
    // Reads the agent's own files for what its hooks do not report; none by default.
    virtual std::unique_ptr<SessionReader> makeReader() const;

    // The events Korvane registers, in the order they are merged.
    std::vector<std::string> events() const;
    QString configPath() const;

    // The script's path as /bin/sh -c takes it: as it is, or single-quoted when
    // the shell would split or expand it.
    static std::string shellWord(const std::string& text);
};

} // namespace korvane
