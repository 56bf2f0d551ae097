// Korvane's plugin for OpenCode: records what each session is doing in
// ~/.cursor/signalwick/state/<conversation>.json, as Korvane's hook script does for the other
// agents, named by the same rule. It only listens: the agent never waits on it, it throws nothing
// and prints nothing, and it imports nothing but the runtime's own modules, so the agent has
// nothing to install for it.
// events: session.created session.updated session.status session.idle session.error session.deleted permission.asked permission.replied question.asked question.replied question.rejected
import fs from "node:fs";
import os from "node:os";

// The conversation id as the script names its file: the id's JSON text, in which lower-case
// letters, digits and "-" stay and every other byte becomes _XX; a long one keeps a prefix and
// a hash of the whole.
function fileName(text) {
  const bytes = Buffer.from(text, "utf8");
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

// This process is the agent's: Korvane forgets its sessions once it is gone, even killed. Its
// start time (field 22 of /proc/<pid>/stat) tells a reused pid apart; without /proc, no process.
function processFields() {
  try {
    const stat = fs.readFileSync("/proc/self/stat", "latin1");
    const start = stat.slice(stat.lastIndexOf(")") + 2).split(" ")[19];
    const where = placeOf();
    return (/^[0-9]+$/.test(start) ? `,"pid":${process.pid},"proc_start":"${start}"` : "") +
      (Object.keys(where).length ? `,"where":${JSON.stringify(where)}` : "");
  } catch {
    return "";
  }
}

export const Korvane = async (ctx) => {
  let dir = ""; // without a usable home, nothing is recorded
  try {
    const home = process.env.HOME || os.homedir();
    if (home.startsWith("/")) dir = home + "/.cursor/signalwick/state";
  } catch {}
  const own = processFields();
  const where = ctx?.directory || ctx?.worktree || "";
  // By session: what the light shows, whether its turn failed, the prompts open, where it works.
  const sessions = new Map();
  const parents = new Map(); // a subagent's session: its parent's

  const session = (id) => {
    if (!sessions.has(id)) sessions.set(id, { state: "", failed: false, asked: new Set(), ws: where, shown: "" });
    return sessions.get(id);
  };
  const pathOf = (id) => dir + "/" + fileName(JSON.stringify(id).slice(1, -1));

  const show = (id, state) => {
    const s = session(id);
    s.state = state;
    const rest = `,"workspace":${s.ws ? JSON.stringify(s.ws) : "null"},` +
      `"conversation_id":${JSON.stringify(id)},"agent":"opencode"${own}}\n`;
    if (!dir || state + rest === s.shown) return;
    // Aside first, then in place in one step: Korvane never reads half a record.
    const file = pathOf(id);
    const aside = dir + "/" + process.pid + "-" + file.slice(dir.length + 1) + ".tmp";
    try {
      fs.mkdirSync(dir, { recursive: true, mode: 0o700 });
      fs.writeFileSync(aside, `{"state":"${state}","ts":${Date.now() / 1000}` + rest, { mode: 0o600 });
      fs.renameSync(aside, file + ".json");
      s.shown = state + rest;
    } catch {
      try {
        fs.rmSync(aside, { force: true });
      } catch {}
    }
  };
  const forget = (id) => {
    if (sessions.get(id)?.shown)
      try {
        fs.rmSync(pathOf(id) + ".json", { force: true });
      } catch {}
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
