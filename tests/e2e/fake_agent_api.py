#!/usr/bin/env python3
"""Fake model APIs on 127.0.0.1 for the Codex CLI (OpenAI Responses) and the Gemini CLI. TURNFILE names the
next turn: "tool" asks to run a command, "fail" gets HTTP 400, "slow" waits 60 s, others FAKE_DELAY s.
Prints its port. usage: fake_agent_api.py TURNFILE"""
import json, os, sys, time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

COMMAND = "touch korvane-tool-ran"


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def reply(self, code, body, sse=False):
        data = body.encode()
        self.send_response(code)
        self.send_header("Content-Type", "text/event-stream" if sse else "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_POST(self):
        raw = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        kind = open(sys.argv[1]).read().strip()
        if kind == "tool" and (b'"function_call_output"' in raw or b'"functionResponse"' in raw):
            kind = "text"  # the command has run: the turn ends
        if self.path.endswith("/responses"):
            call = {"type": "function_call", "name": "exec_command", "call_id": "call_1", "arguments": json.dumps(
                {"cmd": COMMAND, "sandbox_permissions": "require_escalated", "justification": "Create a file"})}
            text = {"type": "message", "role": "assistant", "content": [{"type": "output_text", "text": "Hello."}]}
            events = [("response.output_item.done", {"item": call if kind == "tool" else text}),
                      ("response.completed", {"response": {"id": "r1", "usage": {"input_tokens": 1,
                                                           "output_tokens": 1, "total_tokens": 2}}})]
            answer = "".join("event: %s\ndata: %s\n\n" % (e, json.dumps(dict(d, type=e))) for e, d in events)
        elif ":streamGenerateContent" in self.path:
            part = {"functionCall": {"name": "run_shell_command", "args": {"command": COMMAND}}} \
                if kind == "tool" else {"text": "Hello."}
            answer = "data: %s\n\n" % json.dumps({"candidates": [{"content": {"role": "model", "parts": [part]},
                                                                  "finishReason": "STOP"}]})
        else:  # the Gemini CLI's own side questions (model routing, who speaks next)
            kind, answer = "side", json.dumps({"candidates": [{"content": {"role": "model", "parts": [{"text": json.dumps(
                {"reasoning": "-", "next_speaker": "user", "complexity_reasoning": "-", "complexity_score": 1})}]}}]})
        sys.stderr.write("%.3f %s %s\n" % (time.time(), self.path, kind))
        if kind == "fail":
            return self.reply(400, '{"error": {"code": 400, "message": "fake failure", "status": "INVALID_ARGUMENT"}}')
        time.sleep({"slow": 60, "side": 0}.get(kind, float(os.environ.get("FAKE_DELAY", "2"))))
        self.reply(200, answer, kind != "side")


server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
