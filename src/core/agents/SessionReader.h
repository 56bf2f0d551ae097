#pragma once

#include "status/StateRecord.h"

#include <QStringList>

namespace korvane {

// Reads an agent's own files for what its hooks do not report (a turn that
// failed or was interrupted, a process that is gone). The store calls it for
// the records of its agent, without knowing which agent that is. Another
// program's files: anything unexpected tells nothing, so that the hooks decide.
class SessionReader {
public:
    virtual ~SessionReader() = default;

    // Folders, and files rewritten in place, whose changes call for a pass.
    virtual QStringList watchedPaths() const { return {}; }
    // Once per pass, before the records are reviewed.
    virtual void scan(double now) { (void)now; }
    // Corrects one record of this agent; false when its conversation is over
    // (its state file is then removed, as the hook does at the session's end).
    virtual bool review(StateRecord& record) = 0;
    // Once per pass, after the reviews.
    virtual void sweep() {}
};

} // namespace korvane
