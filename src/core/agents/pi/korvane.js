// Korvane's extension for pi, which loads it from ~/.pi/agent/extensions: it records what pi is doing
// in ~/.cursor/signalwick/state/<conversation>.json, as Korvane's hook script does for the other agents
// (the same file names and members). It runs inside pi: it uses Node's built-ins only, returns nothing
// (a value would change pi's prompt or tools), never throws and prints nothing.
// events: session_start agent_start turn_start tool_execution_start agent_end session_shutdown
//@frame@ resources/hooks/plugin-frame.js: stateDir, fileName, writeRecord, removeRecord

// state "-" removes the conversation's record.
function record(ctx, state) {
    try {
        const dir = stateDir();
        const id = ctx.sessionManager.getSessionId();
        if (!dir || typeof id !== "string") return;
        if (state === "-") removeRecord(dir, id);
        else writeRecord(dir, id, state, typeof ctx.cwd === "string" ? ctx.cwd : null, "pi");
    } catch {}
}

// How the last run of the model ended: "error" for a failed request; an Esc gives "aborted".
function ending(event) {
    try {
        const last = event.messages.findLast((m) => m.role === "assistant");
        return last.stopReason === "error" ? "error" : "idle";
    } catch {
        return "idle";
    }
}

export default function (pi) {
    try {
        pi.on("session_start", (_, ctx) => void record(ctx, "idle"));
        pi.on("agent_start", (_, ctx) => void record(ctx, "working"));
        pi.on("turn_start", (_, ctx) => void record(ctx, "working"));
        pi.on("tool_execution_start", (_, ctx) => void record(ctx, "working"));
        pi.on("agent_end", (event, ctx) => void record(ctx, ending(event)));
        // Quit, or a switch to another session (whose session_start follows); a reload keeps it.
        pi.on("session_shutdown", (event, ctx) => void (event?.reason !== "reload" && record(ctx, "-")));
    } catch {}
}
