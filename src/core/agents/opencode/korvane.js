// Korvane's plugin for OpenCode: records what each session is doing in
// ~/.cursor/signalwick/state/<conversation>.json, as Korvane's hook script does for the other
// agents, named by the same rule. It only listens: the agent never waits on it, it throws nothing
// and prints nothing, and it imports nothing but the runtime's own modules, so the agent has
// nothing to install for it.
// events: session.created session.updated session.status session.idle session.error session.deleted permission.asked permission.replied question.asked question.replied question.rejected
//@frame@ resources/hooks/plugin-frame.js: stateDir, fileName, writeRecord, removeRecord

export const Korvane = async (ctx) => {
    const dir = stateDir();
    const where = ctx?.directory || ctx?.worktree || "";
    // By session: what the light shows, whether its turn failed, the prompts open, where it works.
    const sessions = new Map();
    const parents = new Map(); // a subagent's session: its parent's

    const session = (id) => {
        if (!sessions.has(id))
            sessions.set(id, { state: "", failed: false, asked: new Set(), ws: where, shown: "" });
        return sessions.get(id);
    };
    // A record only where its state or workspace changed: the agent repeats itself.
    const show = (id, state) => {
        const s = session(id);
        s.state = state;
        const shown = state + "\n" + s.ws;
        if (dir && shown !== s.shown && writeRecord(dir, id, state, s.ws || null, "opencode")) s.shown = shown;
    };
    const forget = (id) => {
        if (sessions.get(id)?.shown) removeRecord(dir, id);
        sessions.delete(id);
    };

    const handle = (type, p) => {
        if (!/^(session|permission|question)\./.test(type)) return; // most are a reply's parts as they stream
        // Other events carry an "info" too: a message's, whose parent is another message.
        const info = type.startsWith("session.") ? p.info || {} : {};
        const raw = p.sessionID ?? info.id;
        if (typeof raw !== "string") return;
        if (typeof info.parentID === "string") parents.set(raw, info.parentID);
        // A subagent's prompts are its parent's; its turns are part of the parent's.
        const id = parents.get(raw) || raw;
        const child = id !== raw;
        const s = session(id);
        if (!child && typeof info.directory === "string" && info.directory) s.ws = info.directory;
        const status = type === "session.status" ? p.status?.type : "";
        if (status === "busy" && !child) {
            s.failed = false;
            if (s.asked.size === 0) show(id, "working");
        } else if (type === "permission.asked" || type === "question.asked") {
            s.asked.add(p.id);
            show(id, "waiting");
        } else if (type === "permission.replied" || type === "question.replied" || type === "question.rejected") {
            s.asked.delete(p.requestID);
            if (s.asked.size === 0 && s.state === "waiting") show(id, "working");
        } else if (type === "session.error" && !child) {
            // An interrupt ends the turn as an error would: that is the user's doing, not a failure.
            if (p.error?.name !== "MessageAbortedError") s.failed = true;
        } else if ((status === "idle" || type === "session.idle") && !child) {
            s.asked.clear();
            show(id, s.failed ? "error" : "idle");
        } else if (type === "session.deleted" && !child) {
            forget(id);
        }
    };

    return {
        event: async ({ event }) => {
            try {
                handle(event.type, event.properties || {});
            } catch {}
        },
        // The agent quits: its sessions end with it.
        dispose: async () => {
            try {
                for (const id of [...sessions.keys()]) forget(id);
            } catch {}
        },
    };
};
