// plugin-host.mjs PLUGIN: loads an agent's plugin as its client does and hands it the events on stdin;
// fails where a handler throws or returns a value, which would change the client.
//   OpenCode's shape (export Korvane): a JSON array of events, "dispose" where the client quits;
//   pi's shape (export default): a JSON a line ({"session_id", "cwd", "event"}).
import { readFileSync } from "node:fs";
const source = encodeURIComponent(readFileSync(process.argv[2], "utf8"));
const plugin = await import("data:text/javascript," + source), input = readFileSync(0, "utf8");
if (plugin.Korvane) {
    const hooks = await plugin.Korvane({ directory: "/home/user/project" });
    for (const e of JSON.parse(input))
        if ((await (e === "dispose" ? hooks.dispose() : hooks.event({ event: e }))) !== undefined) process.exit(3);
} else {
    const handlers = {};
    plugin.default({ on: (name, f) => (handlers[name] ??= []).push(f) });
    for (const p of input.split("\n").filter(Boolean).map(JSON.parse)) {
        const ctx = { cwd: p.cwd, hasUI: true, sessionManager: { getSessionId: () => p.session_id } };
        for (const handler of handlers[p.event?.type] ?? [])
            if (handler(p.event, ctx) !== undefined) process.exit(3);
    }
}
