#!/usr/bin/env python3
"""A fake Anthropic Messages API on 127.0.0.1 with scripted, streamed replies.

  fake_api.py SCENARIO PORT_FILE LOG_FILE CWD

A request with tools is a step of the agent loop, numbered by the assistant
messages it already holds, so retries get the same reply; side queries (titles
and such, no tools) get a short text. Each request is logged as one JSON line.
"""
import json
import os
import select
import socket
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

TOOL = {"bash": ("Bash", {"command": "echo hi", "description": "Print hi"}),
        "write": ("Write", {"file_path": "{cwd}/hello.txt", "content": "hello\n"})}
SCENARIOS = {
    "text": [{"text": "Hello from the fake model."}],
    "bash": [{"tool": "bash"}, {"text": "The command printed hi."}],
    "write": [{"tool": "write"}, {"text": "I created hello.txt."}],
    "slow": [{"text": "This answer took a while.", "delay": 8}],
    "error": [{"error": 529}],
}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    steps, log, cwd = [], None, ""

    def log_message(self, *args):
        pass

    def record(self, **entry):
        with open(self.log, "a", encoding="utf-8") as fh:
            fh.write(json.dumps(dict(entry, t=round(time.time(), 3), path=self.path)) + "\n")

    def do_GET(self):
        self.reply(200, b"{}")

    do_HEAD = do_GET

    def reply(self, status, data, kind="application/json"):
        self.send_response(status)
        self.send_header("content-type", kind)
        self.send_header("content-length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_POST(self):
        body = json.loads(self.rfile.read(int(self.headers.get("content-length") or 0)) or b"{}")
        if not self.path.startswith("/v1/messages") or self.path.startswith("/v1/messages/count"):
            return self.reply(200, b'{"input_tokens": 10}')
        step = {"text": "Fake session"}
        if body.get("tools"):
            n = sum(m.get("role") == "assistant" for m in body.get("messages", []))
            step = self.steps[n] if n < len(self.steps) else {"text": "Done."}
        if not self.client_waits(step.get("delay", 0)):
            return self.record(step=step, gone=True)
        if "error" in step:
            error = {"type": "error", "error": {"type": "overloaded_error", "message": "Overloaded"}}
            self.record(step=step)
            return self.reply(step["error"], json.dumps(error).encode())
        self.stream(body.get("model", "fake"), step)
        self.record(step=step, stop_reason="tool_use" if "tool" in step else "end_turn")

    def client_waits(self, seconds):
        """Sleeps; False as soon as the client hangs up (an interrupted turn)."""
        end = time.time() + seconds
        while time.time() < end:
            if select.select([self.connection], [], [], 0.1)[0]:
                try:
                    if not self.connection.recv(1, socket.MSG_PEEK):
                        return False
                except OSError:
                    return False
        return True

    def stream(self, model, step):
        self.send_response(200)
        self.send_header("content-type", "text/event-stream")
        self.send_header("connection", "close")
        self.end_headers()
        self.close_connection = True
        send = lambda kind, **data: self.wfile.write(
            ("event: %s\ndata: %s\n\n" % (kind, json.dumps(dict(data, type=kind)))).encode())
        usage = {"input_tokens": 50, "output_tokens": 10}
        send("message_start", message={"id": "msg_fake", "type": "message", "role": "assistant",
                                       "model": model, "content": [], "stop_reason": None, "usage": usage})
        blocks = [{"type": "text", "text": step.get("text", "I will use a tool.")}]
        if "tool" in step:
            name, args = TOOL[step["tool"]]
            args = {k: v.replace("{cwd}", self.cwd) for k, v in args.items()}
            blocks.append({"type": "tool_use", "id": "toolu_fake_%d" % time.time_ns(), "name": name,
                           "input": args})
        for i, block in enumerate(blocks):
            if block["type"] == "text":
                send("content_block_start", index=i, content_block={"type": "text", "text": ""})
                delta = {"type": "text_delta", "text": block["text"]}
            else:
                send("content_block_start", index=i, content_block=dict(block, input={}))
                delta = {"type": "input_json_delta", "partial_json": json.dumps(block["input"])}
            send("content_block_delta", index=i, delta=delta)
            send("content_block_stop", index=i)
        stop = "tool_use" if "tool" in step else "end_turn"
        send("message_delta", delta={"stop_reason": stop, "stop_sequence": None}, usage=usage)
        send("message_stop")


def main():
    scenario, port_file, Handler.log, Handler.cwd = sys.argv[1:5]
    Handler.steps = SCENARIOS[scenario]
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    with open(port_file + ".tmp", "w") as fh:
        fh.write("%d\n" % server.server_address[1])
    os.replace(port_file + ".tmp", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
