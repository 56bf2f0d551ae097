#pragma once

#include <QString>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <vector>

namespace korvane {

// How an agent's JSON configuration holds hook entries.
struct HookLayout {
    enum class Shape {
        Entries, // {"hooks": {"<event>": [{"command": ...}]}}
        Groups,  // {"hooks": {"<Event>": [{"matcher": ..., "hooks": [{"type": "command", "command": ...}]}]}}
    };
    Shape shape = Shape::Groups;
    nlohmann::json defaults = nlohmann::json::object();   // top-level members a file gets when it lacks them
    nlohmann::json entry = {{"type", "command"}};         // the members of Korvane's entry besides "command"
    bool comments = false;                                // the agent reads the file with comments allowed
    nlohmann::json eventEntry = nlohmann::json::object(); // event -> members its entry gets besides those
    // Entries of earlier versions get the new command; otherwise they stay as
    // they are (an agent that makes the user trust a changed hook again).
    bool upgradeOlder = true;
    // Events whose entry holds a prompt while the desktop is asked for its answer. Left out,
    // and Korvane's entry taken away, when the user answers prompts only where the agent runs.
    std::vector<std::string> answerEvents = {};
};

// The one merge of Korvane's entries into an agent's JSON configuration.
class HookMerge {
public:
    HookMerge() = delete;

    struct Entry {
        std::string command;                     // what Korvane's entry runs
        std::span<const std::string> older = {}; // what earlier versions' entries ran
    };

    // Adds Korvane's entry to each event that runs neither its command nor an
    // older one; older commands are upgraded in place when the layout says so.
    // Everything else stays, except a value of the wrong shape where an entry
    // belongs, which is replaced: true when that happened.
    static bool merge(nlohmann::json& root, std::span<const std::string> events, const HookLayout& layout,
                      const Entry& entry);
    // Takes Korvane's entries (the command or an older one) out of these events; a group
    // or an event left empty by that goes too. True when anything was taken.
    static bool withdraw(nlohmann::json& root, std::span<const std::string> events, const HookLayout& layout,
                         const Entry& entry);
    // Whether every event runs the command or an older one.
    static bool isMerged(const nlohmann::json& root, std::span<const std::string> events,
                         const HookLayout& layout, const Entry& entry);

    // merge() on the file at `path`, and withdraw() of `withdrawn`. Before anything of the user's is replaced
    // (a damaged file, or a value of the wrong shape), the file is copied aside
    // as <name>.korvane-backup[.N] with a log line. Links stay links; the file is
    // written only when its bytes change. False with *error.
    static bool mergeFile(const QString& path, std::span<const std::string> events, const HookLayout& layout,
                          const Entry& entry, QString* error, std::span<const std::string> withdrawn = {});

    // A link into a folder that is gone cannot be written through: the link is
    // kept aside like a damaged file, and a plain file takes its place.
    static bool setAsideDanglingLink(const QString& path, QString* error);
};

} // namespace korvane
