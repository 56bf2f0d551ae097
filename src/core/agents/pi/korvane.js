// Korvane's extension for pi, which loads it from ~/.pi/agent/extensions: it records what pi is doing
// in ~/.cursor/signalwick/state/<conversation>.json, as Korvane's hook script does for the other agents
// (the same file names and members). It runs inside pi: it uses Node's built-ins only, returns nothing
// (a value would change pi's prompt or tools), never throws and prints nothing.
// events: session_start agent_start turn_start tool_execution_start agent_end session_shutdown
import { closeSync, mkdirSync, openSync, readFileSync, renameSync, unlinkSync, writeSync } from "node:fs";

// The hook script's name for a conversation id: lower-case letters, digits and "-" stay, every other
// byte of its JSON text becomes _XX, and long names keep a prefix and a hash of the whole id.
function fileName(id) {
    const bytes = Buffer.from(JSON.stringify(id).slice(1, -1), "utf8");
    if (bytes.length === 0) return "_";
    let name = "";
    for (const b of bytes) {
        const c = String.fromCharCode(b);
        name += /[a-z0-9-]/.test(c) ? c : "_" + b.toString(16).toUpperCase().padStart(2, "0");
    }
    if (name.length <= 120) return name;
    let h1 = 0, h2 = 7;
    for (const b of bytes) {
        h1 = (h1 * 257 + b + 1) % 2147483647;
        h2 = (h2 * 263 + b + 1) % 2147483629;
    }
    const hex = (h) => h.toString(16).padStart(8, "0");
    return name.slice(0, 96) + "~" + hex(h1) + hex(h2);
}

// Where the agent runs, for Korvane to take the user there, as the hook script records it: this
// process and those above it, its terminal, and what the terminal, tmux or the editor told it.
const PLACE_VARS = ["TMUX", "TMUX_PANE", "STY", "WINDOWID", "KITTY_WINDOW_ID", "KITTY_LISTEN_ON", "KITTY_PID",
    "WEZTERM_PANE", "WEZTERM_UNIX_SOCKET", "GNOME_TERMINAL_SCREEN", "GNOME_TERMINAL_SERVICE",
    "KONSOLE_DBUS_SERVICE", "KONSOLE_DBUS_SESSION", "KONSOLE_DBUS_WINDOW", "TERM_PROGRAM", "VSCODE_IPC_HOOK_CLI",
    "VSCODE_GIT_ASKPASS_NODE", "CURSOR_TRACE_ID", "DISPLAY", "WAYLAND_DISPLAY"];
function placeOf() {
    const where = {}, chain = [];
    for (let pid = process.pid; chain.length < 6 && pid > 1;) {
        let stat;
        try {
            stat = readFileSync("/proc/" + pid + "/stat", "latin1");
        } catch {
            break;
        }
        const f = stat.slice(stat.lastIndexOf(")") + 2).split(" ");
        if (!chain.length && Number(f[4]) > 0) where.tty_nr = Number(f[4]);
        chain.push([pid, stat.slice(stat.indexOf("(") + 1, stat.lastIndexOf(")"))]);
        pid = Number(f[1]);
    }
    if (chain.length) where.chain = chain;
    for (const k of PLACE_VARS) if (process.env[k]) where[k] = process.env[k];
    return where;
}

// pi's own process, which Korvane watches: its start time (field 22 of /proc/self/stat) tells a
// reused pid apart. Read once; nothing where there is no /proc.
let processMembers;
function processOf() {
    if (processMembers === undefined) {
        processMembers = {};
        try {
            const stat = readFileSync("/proc/self/stat", "latin1");
            const start = stat.slice(stat.lastIndexOf(")") + 2).split(" ")[19];
            if (/^[0-9]+$/.test(start)) processMembers = { pid: process.pid, proc_start: start };
            const where = placeOf();
            if (Object.keys(where).length) processMembers.where = where;
        } catch {}
    }
    return processMembers;
}

// state "-" removes the conversation's record.
function record(ctx, state) {
    try {
        const home = process.env.HOME || "";
        const id = ctx.sessionManager.getSessionId();
        if (!home.startsWith("/") || typeof id !== "string") return;
        const dir = home + "/.cursor/signalwick/state";
        const file = dir + "/" + fileName(id);
        if (state === "-") {
            unlinkSync(file + ".json");
            return;
        }
        mkdirSync(dir, { recursive: true, mode: 0o700 });
        const workspace = typeof ctx.cwd === "string" ? ctx.cwd : null;
        const text = JSON.stringify({ state, ts: Date.now() / 1000, workspace, conversation_id: id,
                                      agent: "pi", ...processOf() }) + "\n";
        // Written aside and renamed, so that Korvane never reads a part.
        const aside = dir + "/" + process.pid + "-" + fileName(id) + ".tmp";
        const fd = openSync(aside, "w", 0o600);
        try {
            writeSync(fd, text);
        } finally {
            closeSync(fd);
        }
        renameSync(aside, file + ".json");
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
