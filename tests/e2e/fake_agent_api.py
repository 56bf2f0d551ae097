#!/usr/bin/env python3
"""Fake model APIs on 127.0.0.1 for the Codex CLI (OpenAI Responses, streamed) and the
Gemini CLI (generateContent / streamGenerateContent). The last user message picks the turn:
"tool" asks to run a shell command, "fail" answers HTTP 400, "slow" answers only after 60 s;
anything else is a short text after FAKE_DELAY seconds. Prints its port, logs requests to stderr.
usage: fake_agent_api.py [PORTFILE]"""
import json, os, sys, time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

DELAY = float(os.environ.get("FAKE_DELAY", "2"))
COMMAND = os.environ.get("FAKE_COMMAND", "touch korvane-tool-ran")


def kind_of(turns):
    """The turn's kind from (text, is_tool_result) pairs: the last user text picks it, and
    once a tool has answered after it the turn is "done"."""
    last, answered = "", False
    for text, result in turns:
        if result:
            answered = True
        elif text and not text.startswith("<"):  # the client's own context blocks
            last, answered = text.lower(), False
    return "done" if answered else next((k for k in ("tool", "fail", "slow") if k in last), "text")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        sys.stderr.write("%.3f %s\n" % (time.time(), fmt % args))

    def reply(self, code, body, sse=False):
        data = body.encode()
        self.send_response(code)
        self.send_header("Content-Type", "text/event-stream" if sse else "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        self.reply(200, '{"models": [], "data": []}')

    def do_POST(self):
        body = json.loads(self.rfile.read(int(self.headers.get("Content-Length", 0))) or b"{}")
        sys.stderr.write("%.3f POST %s\n" % (time.time(), self.path))
        if self.path.endswith("/responses"):
            self.codex(body)
        elif ":countTokens" in self.path:
            self.reply(200, '{"totalTokens": 10}')
        elif ":streamGenerateContent" in self.path or ":generateContent" in self.path:
            self.gemini(body, ":stream" in self.path)
        else:
            self.reply(404, '{"error": {"code": 404, "message": "no such path"}}')

    def turn(self, kind):
        if kind == "fail":
            self.reply(400, '{"error": {"code": 400, "message": "fake bad request", "status": "INVALID_ARGUMENT"}}')
            return False
        time.sleep(60 if kind == "slow" else DELAY)
        return True

    def codex(self, body):
        items = body.get("input", [])
        kind = kind_of((" ".join(c.get("text", "") for c in i.get("content", [])) if i.get("role") == "user" else "",
                        i.get("type") == "function_call_output") for i in items)
        sys.stderr.write("codex turn: %s\n" % kind)
        if not self.turn(kind):
            return
        tools = [t.get("name") for t in body.get("tools", [])]
        if kind == "tool" and "shell_command" in tools:
            item = {"type": "function_call", "name": "shell_command", "call_id": "call_1",
                    "arguments": json.dumps({"command": COMMAND, "sandbox_permissions": "require_escalated",
                                             "justification": "Create a file"})}
        elif kind == "tool":
            item = {"type": "function_call", "name": "exec_command", "call_id": "call_1",
                    "arguments": json.dumps({"cmd": COMMAND, "sandbox_permissions": "require_escalated",
                                             "justification": "Create a file"})}
        else:
            item = {"type": "message", "role": "assistant", "id": "msg_1",
                    "content": [{"type": "output_text", "text": "Hello from the fake model."}]}
        events = [("response.created", {"response": {"id": "resp_1"}}),
                  ("response.output_item.done", {"output_index": 0, "item": item}),
                  ("response.completed", {"response": {"id": "resp_1", "usage": {
                      "input_tokens": 10, "output_tokens": 5, "total_tokens": 15}}})]
        self.reply(200, "".join("event: %s\ndata: %s\n\n" % (e, json.dumps(dict(d, type=e))) for e, d in events), True)

    def gemini(self, body, stream):
        contents = body.get("contents", [])
        turns = [(p.get("text", ""), "functionResponse" in p) for c in contents if c.get("role") == "user"
                 for p in c.get("parts", [])]
        if not stream:  # the client's own side questions (routing, next speaker): short JSON
            part = {"text": json.dumps({"reasoning": "fake", "next_speaker": "user", "model_choice": "flash",
                                       "complexity_reasoning": "fake", "complexity_score": 1})}
        else:
            kind = kind_of(turns)
            sys.stderr.write("gemini turn: %s\n" % kind)
            if not self.turn(kind):
                return
            part = ({"functionCall": {"name": "run_shell_command", "args": {"command": COMMAND}}}
                    if kind == "tool" else {"text": "Hello from the fake model."})
        chunk = {"candidates": [{"content": {"role": "model", "parts": [part]}, "finishReason": "STOP", "index": 0}],
                 "usageMetadata": {"promptTokenCount": 10, "candidatesTokenCount": 5, "totalTokenCount": 15}}
        self.reply(200, "data: %s\n\n" % json.dumps(chunk) if stream else json.dumps(chunk), stream)


server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
port = str(server.server_address[1])
if len(sys.argv) > 1:
    with open(sys.argv[1] + ".tmp", "w") as f:
        f.write(port + "\n")
    os.rename(sys.argv[1] + ".tmp", sys.argv[1])
print(port, flush=True)
server.serve_forever()
