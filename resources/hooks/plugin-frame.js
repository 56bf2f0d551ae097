// What every plugin of Korvane's shares with the hook script: where the records live, the name of a
// conversation's file, the members that tell Korvane where the agent runs, and the one writer.
import fs from "node:fs";
import os from "node:os";

// The folder of the records; "" without a usable home, where nothing is recorded.
function stateDir() {
    try {
        const home = process.env.HOME || os.homedir();
        return home.startsWith("/") ? home + "/.cursor/signalwick/state" : "";
    } catch {
        return "";
    }
}

// The script's name for a conversation id: lower-case letters, digits and "-" stay, every other byte
// of its JSON text becomes _XX, and a long name keeps a prefix and a hash of the whole id.
function fileName(id) {
    const bytes = Buffer.from(JSON.stringify(id).slice(1, -1), "utf8");
    let out = "";
    for (const b of bytes)
        out += (b >= 0x61 && b <= 0x7a) || (b >= 0x30 && b <= 0x39) || b === 0x2d
            ? String.fromCharCode(b)
            : "_" + b.toString(16).toUpperCase().padStart(2, "0");
    if (out === "") return "_";
    if (out.length <= 120) return out;
    let h1 = 0, h2 = 7;
    for (const b of bytes) {
        h1 = (h1 * 257 + b + 1) % 2147483647;
        h2 = (h2 * 263 + b + 1) % 2147483629;
    }
    const hex = (n) => n.toString(16).padStart(8, "0");
    return out.slice(0, 96) + "~" + hex(h1) + hex(h2);
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
            stat = fs.readFileSync("/proc/" + pid + "/stat", "latin1");
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

// This process is the agent's: Korvane forgets its conversations once it is gone, even killed. Its
// start time (field 22 of /proc/self/stat) tells a reused pid apart. Read once; nothing without /proc.
let processMembers;
function processOf() {
    if (processMembers === undefined) {
        processMembers = {};
        try {
            const stat = fs.readFileSync("/proc/self/stat", "latin1");
            const start = stat.slice(stat.lastIndexOf(")") + 2).split(" ")[19];
            if (/^[0-9]+$/.test(start)) processMembers = { pid: process.pid, proc_start: start };
            const where = placeOf();
            if (Object.keys(where).length) processMembers.where = where;
        } catch {}
    }
    return processMembers;
}

// Aside first, then in place in one step: Korvane never reads half a record. False where it could not.
function writeRecord(dir, id, state, workspace, agent) {
    const name = fileName(id), aside = dir + "/" + process.pid + "-" + name + ".tmp";
    try {
        const text = JSON.stringify({ state, ts: Date.now() / 1000, workspace, conversation_id: id, agent,
                                      ...processOf() }) + "\n";
        fs.mkdirSync(dir, { recursive: true, mode: 0o700 });
        fs.writeFileSync(aside, text, { mode: 0o600 });
        fs.renameSync(aside, dir + "/" + name + ".json");
        return true;
    } catch {
        try {
            fs.rmSync(aside, { force: true });
        } catch {}
        return false;
    }
}

function removeRecord(dir, id) {
    try {
        fs.rmSync(dir + "/" + fileName(id) + ".json", { force: true });
    } catch {}
}
