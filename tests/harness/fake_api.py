#!/usr/bin/env python3
"""A fake model server on 127.0.0.1 for every client the tests drive (fake_api.py OUT CWD): Anthropic
Messages, OpenAI Chat Completions and Responses, Gemini (whose other calls are side questions). OUT/turn
names the scenario; a request is its step numbered by the tool results since the user's last message, so
a retry gets the same reply. Writes OUT/port, a line a reply to OUT/api.jsonl; FAKE_DELAY: seconds a reply.
"""
import json
import os
import select
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

# A tool step names what the command does; each API gets the tool its client knows.
SCENARIOS = {
    "text": [{"text": "Hello from the fake model."}],
    "write": [{"tool": "write"}, {"text": "I created the file."}],
    "fail": [{"tool": "fail"}, {"text": "It failed."}],
    "slow": [{"text": "This answer took a while.", "delay": 30}],
    "error": [{"error": True}],
    "twice": [{"tool": "append"}, {"tool": "append"}, {"text": "Both ran."}],
}
COMMANDS = {"write": "touch korvane-tool-ran", "fail": "exit 3", "append": "sh -c 'echo ran >>ran.txt'"}


def sse(events, named=True):
    return "".join(("event: %s\n" % kind if named else "") + "data: %s\n\n" % json.dumps(data)
                   for kind, data in events).encode()


def user_text(item):  # typed by the user, not a tool's result
    content = item.get("content", item.get("parts"))
    if item.get("role") != "user" or item.get("type", "message") != "message":
        return False
    if isinstance(content, list):
        return not any(isinstance(c, dict) and ({"tool_result", "function_call_output"} & {c.get("type")}
                                                or "functionResponse" in c) for c in content)
    return True


def step_of(body, items, is_result):
    last = max([i for i, m in enumerate(items) if isinstance(m, dict) and user_text(m)], default=-1)
    n = sum(is_result(m) for m in items[last + 1:] if isinstance(m, dict))
    steps = SCENARIOS.get(open(os.path.join(OUT, "turn")).read().strip(), SCENARIOS["text"])
    return steps[n] if n < len(steps) else {"text": "Done."}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_POST(self):
        body = json.loads(self.rfile.read(int(self.headers.get("content-length") or 0)) or b"{}")
        path = self.path.split("?")[0]
        if path.endswith("/messages"):
            api, items = "anthropic", body.get("messages", [])
            step = step_of(body, items, lambda m: str(m.get("content")).count("tool_result")) if body.get("tools") else None
        elif path.endswith("/responses"):
            api, items = "responses", body.get("input", [])
            step = step_of(body, items, lambda m: m.get("type") == "function_call_output")
        elif path.endswith("/chat/completions"):
            api, items = "chat", body.get("messages", [])
            step = step_of(body, items, lambda m: m.get("role") == "tool")
        elif ":streamGenerateContent" in path:
            api, items = "gemini", body.get("contents", [])
            step = step_of(body, items, lambda m: any("functionResponse" in p for p in m.get("parts", [])))
        else:
            api, step = "gemini", None
        step = step or {"text": "Fake session", "side": True}
        # A slow reply ends early when the client hangs up: the user interrupted the turn.
        end = time.time() + step.get("delay", 0 if step.get("side") else float(os.environ.get("FAKE_DELAY", 0)))
        while time.time() < end and not select.select([self.connection], [], [], 0.1)[0]:
            pass
        outcome = "gone" if time.time() < end else "error" if "error" in step else "tool" if "tool" in step \
            else "side" if step.get("side") else "end_turn"
        if outcome == "error":
            code, answer = (529, {"type": "error", "error": {"type": "overloaded_error", "message": "Overloaded"}}) \
                if api == "anthropic" else (400, {"error": {"code": 400, "message": "fake failure",
                                                            "status": "INVALID_ARGUMENT"}})
            self.reply(code, "application/json", json.dumps(answer).encode())
        elif outcome != "gone":
            self.reply(200, "application/json" if api == "gemini" and step.get("side") else "text/event-stream",
                       getattr(self, "api_" + api)(body, step))
        with open(os.path.join(OUT, "api.jsonl"), "a", encoding="utf-8") as fh:
            fh.write(json.dumps({"t": time.time(), "api": api, "step": step, "stop": outcome}) + "\n")

    def reply(self, code, kind, data):
        self.send_response(code)
        self.send_header("content-type", kind)
        self.send_header("content-length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def api_anthropic(self, body, step):
        usage = {"input_tokens": 50, "output_tokens": 10}
        events = [("message_start", {"message": {"id": "msg_fake", "type": "message", "role": "assistant",
                                                 "model": body.get("model"), "content": [], "usage": usage}})]
        blocks = [({"type": "text", "text": ""}, {"type": "text_delta", "text": step.get("text", "Let me.")})]
        if "tool" in step:
            name, args = ("Write", {"file_path": CWD + "/hello.txt", "content": "hello\n"}) if step["tool"] == "write" \
                else ("Bash", {"command": COMMANDS[step["tool"]], "description": "Run it"})
            block = {"type": "tool_use", "id": "toolu_fake_%d" % time.time_ns(), "name": name, "input": {}}
            blocks.append((block, {"type": "input_json_delta", "partial_json": json.dumps(args)}))
        for i, (start, delta) in enumerate(blocks):
            events += [("content_block_start", {"index": i, "content_block": start}),
                       ("content_block_delta", {"index": i, "delta": delta}),
                       ("content_block_stop", {"index": i})]
        stop = "tool_use" if "tool" in step else "end_turn"
        events += [("message_delta", {"delta": {"stop_reason": stop}, "usage": usage}), ("message_stop", {})]
        return sse([(kind, dict(data, type=kind)) for kind, data in events])

    def api_responses(self, body, step):
        if "tool" in step:
            item = {"type": "function_call", "name": "exec_command", "call_id": "call_%d" % time.time_ns(),
                    "arguments": json.dumps({"cmd": COMMANDS[step["tool"]], "sandbox_permissions": "require_escalated",
                                             "justification": "Run it"})}
        else:
            item = {"type": "message", "role": "assistant", "content": [{"type": "output_text", "text": step["text"]}]}
        usage = {"input_tokens": 1, "output_tokens": 1, "total_tokens": 2}
        return sse([(kind, dict(data, type=kind)) for kind, data in [
            ("response.output_item.done", {"item": item}),
            ("response.completed", {"response": {"id": "r1", "usage": usage}})]])

    def api_chat(self, body, step):
        if "tool" in step:
            offered = {t.get("function", {}).get("name") for t in body.get("tools", []) if isinstance(t, dict)}
            name = "bash" if "bash" in offered else "run_shell_command"
            delta = {"role": "assistant", "tool_calls": [{"index": 0, "id": "call_%d" % time.time_ns(), "type": "function",
                                                          "function": {"name": name, "arguments": json.dumps(
                                                              {"command": COMMANDS[step["tool"]], "description": "Run it"})}}]}
        else:
            delta = {"role": "assistant", "content": step["text"]}
        chunk = {"id": "c1", "object": "chat.completion.chunk", "created": int(time.time()), "model": body.get("model")}
        finish = "tool_calls" if "tool" in step else "stop"
        return sse([(None, dict(chunk, choices=[{"index": 0, "delta": delta, "finish_reason": None}])),
                    (None, dict(chunk, choices=[{"index": 0, "delta": {}, "finish_reason": finish}],
                                usage={"prompt_tokens": 1, "completion_tokens": 1, "total_tokens": 2}))],
                   named=False) + b"data: [DONE]\n\n"

    def api_gemini(self, body, step):
        if step.get("side"):  # model routing, who speaks next
            return json.dumps({"candidates": [{"content": {"role": "model", "parts": [{"text": json.dumps(
                {"reasoning": "-", "next_speaker": "user", "complexity_reasoning": "-", "complexity_score": 1})}]}}]}
            ).encode()
        part = {"functionCall": {"name": "run_shell_command", "args": {"command": COMMANDS[step["tool"]]}}} \
            if "tool" in step else {"text": step["text"]}
        return sse([(None, {"candidates": [{"content": {"role": "model", "parts": [part]}, "finishReason": "STOP"}]})],
                   named=False)


if __name__ == "__main__":
    OUT, CWD = sys.argv[1], sys.argv[2]
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    with open(os.path.join(OUT, "port.tmp"), "w") as fh:
        fh.write("%d\n" % server.server_address[1])
    os.replace(os.path.join(OUT, "port.tmp"), os.path.join(OUT, "port"))
    server.serve_forever()
