// plugin-host.mjs PLUGIN: loads a plugin as its client does and hands it the events on stdin, a JSON a line
// ({"session_id", "cwd", "event"}); fails where it throws or returns a value, which would change the client.
import { readFileSync } from "node:fs";
const handlers = {}, source = encodeURIComponent(readFileSync(process.argv[2], "utf8"));
(await import("data:text/javascript," + source)).default({ on: (name, f) => (handlers[name] ??= []).push(f) });
for (const p of readFileSync(0, "utf8").split("\n").filter(Boolean).map(JSON.parse)) {
    const ctx = { cwd: p.cwd, hasUI: true, sessionManager: { getSessionId: () => p.session_id } };
    for (const handler of handlers[p.event?.type] ?? [])
        if (handler(p.event, ctx) !== undefined) process.exit(3);
}
