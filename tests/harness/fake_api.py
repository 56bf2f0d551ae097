#!/usr/bin/env python3
"""A fake Anthropic Messages API on 127.0.0.1: fake_api.py SCENARIO PORT_FILE LOG CWD

A request with tools is a step of the agent loop, numbered by the assistant messages it
holds, so a retry gets the same reply; side queries get a short text. LOG gets a line a reply.
"""
import json
import os
import select
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

WRITE = {"name": "Write", "input": {"file_path": "{cwd}/hello.txt", "content": "hello\n"}}
SCENARIOS = {
    "text": [{"text": "Hello from the fake model."}],
    "write": [{"tool": WRITE}, {"text": "I created hello.txt."}],
    "fail": [{"tool": {"name": "Bash", "input": {"command": "exit 3", "description": "Fail"}}}, {"text": "It failed."}],
    "slow": [{"text": "This answer took a while.", "delay": 8}],
    "error": [{"error": 529}],
}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_POST(self):
        body = json.loads(self.rfile.read(int(self.headers.get("content-length") or 0)) or b"{}")
        step = {"text": "Fake session"}
        if body.get("tools"):
            n = sum(m.get("role") == "assistant" for m in body.get("messages", []))
            step = STEPS[n] if n < len(STEPS) else {"text": "Done."}
        # A slow reply ends early when the client hangs up: the user interrupted the turn.
        end = time.time() + step.get("delay", 0)
        while time.time() < end and not select.select([self.connection], [], [], 0.1)[0]:
            pass
        outcome = "gone" if time.time() < end else "error" if "error" in step else "tool_use" if "tool" in step else "end_turn"
        if outcome == "error":
            data = json.dumps({"type": "error", "error": {"type": "overloaded_error", "message": "Overloaded"}})
            self.send_response(step["error"])
            self.send_header("content-length", str(len(data)))
            self.end_headers()
            self.wfile.write(data.encode())
        elif outcome != "gone":
            self.stream(body.get("model", "fake"), step, outcome)
        with open(LOG, "a", encoding="utf-8") as fh:
            fh.write(json.dumps({"t": time.time(), "step": step, "stop": outcome}) + "\n")

    def stream(self, model, step, stop):
        self.send_response(200)
        self.send_header("content-type", "text/event-stream")
        self.send_header("connection", "close")
        self.end_headers()
        self.close_connection = True
        usage = {"input_tokens": 50, "output_tokens": 10}
        events = [("message_start", {"message": {"id": "msg_fake", "type": "message", "role": "assistant",
                                                 "model": model, "content": [], "usage": usage}})]
        blocks = [({"type": "text", "text": ""}, {"type": "text_delta", "text": step.get("text", "Let me.")})]
        if "tool" in step:
            tool = json.loads(json.dumps(step["tool"]).replace("{cwd}", CWD))
            block = {"type": "tool_use", "id": "toolu_fake_%d" % time.time_ns(), "name": tool["name"], "input": {}}
            blocks.append((block, {"type": "input_json_delta", "partial_json": json.dumps(tool["input"])}))
        for i, (start, delta) in enumerate(blocks):
            events += [("content_block_start", {"index": i, "content_block": start}),
                       ("content_block_delta", {"index": i, "delta": delta}),
                       ("content_block_stop", {"index": i})]
        events += [("message_delta", {"delta": {"stop_reason": stop}, "usage": usage}), ("message_stop", {})]
        self.wfile.write("".join("event: %s\ndata: %s\n\n" % (kind, json.dumps(dict(data, type=kind)))
                                 for kind, data in events).encode())


if __name__ == "__main__":
    STEPS, PORT_FILE, LOG, CWD = SCENARIOS[sys.argv[1]], sys.argv[2], sys.argv[3], sys.argv[4]
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    with open(PORT_FILE + ".tmp", "w") as fh:
        fh.write("%d\n" % server.server_address[1])
    os.replace(PORT_FILE + ".tmp", PORT_FILE)
    server.serve_forever()
