#!/usr/bin/env python3
"""Scripted HTTP server on 127.0.0.1 for the monitoring-server client tests.

    http_peer.py [--port N] --save-dir DIR

Binds 127.0.0.1 (port N, or an ephemeral one), prints "READY <port>", then
one line per request received:

    REQ {"seq": 1, "method": "POST", "path": "...", "headers": {...},
         "body_len": n, "body_sha256": "...", "json_ok": true, "json": {...},
         "multipart": [...], "action": "reply"}

Bodies sent as application/json are parsed with json.loads, strictly (NaN and
Infinity are refused). multipart/form-data bodies are split with the email
package; each part is listed with its name, filename, content type, size and
SHA-256, a file part is saved to DIR/upload-<seq>-<filename> and each of its
lines is parsed with json.loads too ("lines": time, samplingRate,
intervalMs, dataType, deviceType, count, first and last value).

Commands on stdin, one per line, answered "ok <line>" or "error <why>":

    route {"path": "/x", "status": 200, "body_hex": "7b7d", "content_type":
           "application/json", "action": "reply", "delay_ms": 0,
           "read_chunk": 0, "read_pause_ms": 0, "count": -1}
        Adds a rule for the path. A rule with count n > 0 serves the next n
        requests (counted rules in the order given) and is then dropped; a
        rule with count -1 serves every request after them and replaces the
        path's previous such rule. Actions: "reply" (after delay_ms), "hang" (never
        answer; the connection stays open until the client gives up or the
        peer stops), "close" (drop the connection without an answer), "hold"
        (the request is read and listed, then answered as "reply" once a
        release for its path comes). read_chunk / read_pause_ms read the
        request body slowly.
    release /x   lets one held request of the path be answered
    clear        forgets every rule
    quit         stops the server

A path without a rule gets 404 with a small HTML page.
"""

import argparse
import email.parser
import email.policy
import hashlib
import json
import os
import signal
import socket
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

print_lock = threading.Lock()
rules_lock = threading.Lock()
rules = {}
releases_lock = threading.Lock()
releases = {}
seq_counter = [0]
stopping = threading.Event()
save_dir = "."


def emit(line):
    with print_lock:
        sys.stdout.write(line + "\n")
        sys.stdout.flush()


def strict_json(data):
    def refuse(name):
        raise ValueError("non-finite number " + name)

    return json.loads(data, parse_constant=refuse)


def summarise_line(text):
    try:
        o = strict_json(text)
        sd = o["sensorData"]
        values = sd["values"]
        return {
            "ok": True,
            "deviceType": o.get("deviceType"),
            "time": o["time"],
            "dataType": sd.get("dataType"),
            "samplingRate": sd["samplingRate"],
            "intervalMs": sd["intervalMs"],
            "count": len(values),
            "first": values[0] if values else None,
            "last": values[-1] if values else None,
            "nulls": sum(1 for v in values if v is None),
        }
    except Exception as e:  # reported, not raised: the test decides
        return {"ok": False, "error": str(e), "text": text[:200]}


def parse_multipart(content_type, body, seq):
    msg = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
        b"Content-Type: " + content_type.encode("latin-1") + b"\r\n\r\n" + body
    )
    if not msg.is_multipart():
        return None
    parts = []
    for part in msg.iter_parts():
        payload = part.get_payload(decode=True) or b""
        entry = {
            "name": part.get_param("name", header="content-disposition"),
            "filename": part.get_filename(),
            "content_type": part.get_content_type(),
            "disposition": part.get("content-disposition"),
            "size": len(payload),
            "sha256": hashlib.sha256(payload).hexdigest(),
        }
        if entry["filename"]:
            path = os.path.join(save_dir, "upload-%d-%s" % (seq, os.path.basename(entry["filename"])))
            with open(path, "wb") as f:
                f.write(payload)
            entry["saved"] = path
            text = payload.decode("utf-8", errors="replace")
            entry["ends_with_newline"] = text.endswith("\n")
            entry["lines"] = [summarise_line(l) for l in text.split("\n") if l != ""]
        else:
            entry["text"] = payload.decode("utf-8", errors="replace")
        parts.append(entry)
    return parts


def release_gate(path):
    with releases_lock:
        return releases.setdefault(path, threading.Semaphore(0))


def take_rule(path):
    with rules_lock:
        queue = rules.get(path)
        if not queue:
            return None
        rule = queue[0]
        if rule.get("count", -1) > 0:
            rule["count"] -= 1
            if rule["count"] == 0:
                queue.pop(0)
        return dict(rule)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, fmt, *args):
        pass

    def read_body(self, rule):
        length = int(self.headers.get("Content-Length") or 0)
        chunk = int(rule.get("read_chunk", 0)) if rule else 0
        pause = int(rule.get("read_pause_ms", 0)) if rule else 0
        parts = []
        left = length
        while left > 0:
            n = min(left, chunk) if chunk > 0 else left
            data = self.rfile.read(n)
            if not data:
                break
            parts.append(data)
            left -= len(data)
            if chunk > 0 and pause > 0 and left > 0:
                time.sleep(pause / 1000.0)
        return b"".join(parts)

    def handle_any(self):
        rule = take_rule(self.path)
        body = self.read_body(rule)
        with print_lock:
            seq_counter[0] += 1
            seq = seq_counter[0]
        ctype = self.headers.get("Content-Type", "")
        record = {
            "seq": seq,
            "method": self.command,
            "path": self.path,
            "headers": {k.lower(): v for k, v in self.headers.items()},
            "body_len": len(body),
            "body_sha256": hashlib.sha256(body).hexdigest(),
            "action": rule.get("action", "reply") if rule else "unrouted",
            "time": time.time(),
        }
        if ctype.startswith("application/json"):
            try:
                record["json"] = strict_json(body.decode("utf-8"))
                record["json_ok"] = True
            except Exception as e:
                record["json_ok"] = False
                record["json_error"] = str(e)
                record["body_text"] = body.decode("utf-8", errors="replace")[:2000]
        elif ctype.startswith("multipart/form-data"):
            try:
                record["multipart"] = parse_multipart(ctype, body, seq)
            except Exception as e:
                record["multipart_error"] = str(e)
        emit("REQ " + json.dumps(record))

        if rule is None:
            page = b"<html><body><h1>404 Not Found</h1></body></html>"
            self.send_response(404)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(page)))
            self.end_headers()
            self.wfile.write(page)
            return
        action = rule.get("action", "reply")
        if action == "hang":
            while not stopping.wait(0.1):
                pass
            return
        if action == "close":
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            return
        if action == "hold":
            gate = release_gate(self.path)
            while not gate.acquire(timeout=0.1):
                if stopping.is_set():
                    return
        delay = int(rule.get("delay_ms", 0))
        if delay > 0:
            time.sleep(delay / 1000.0)
        payload = bytes.fromhex(rule.get("body_hex", ""))
        self.send_response(int(rule.get("status", 200)))
        self.send_header("Content-Type", rule.get("content_type", "application/json"))
        self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        self.wfile.write(payload)

    do_POST = handle_any
    do_GET = handle_any


def main():
    global save_dir
    ap = argparse.ArgumentParser()
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--save-dir", required=True)
    args = ap.parse_args()
    save_dir = args.save_dir

    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True

    def on_term(signum, frame):
        stopping.set()
        sys.stdout.flush()
        os._exit(0)

    signal.signal(signal.SIGTERM, on_term)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    emit("READY %d" % server.server_address[1])

    for raw in sys.stdin:
        line = raw.rstrip("\r\n")
        if not line:
            continue
        cmd, _, arg = line.partition(" ")
        try:
            if cmd == "route":
                rule = json.loads(arg)
                with rules_lock:
                    queue = rules.setdefault(rule["path"], [])
                    if rule.get("count", -1) < 0:
                        # A lasting rule replaces the path's lasting rule.
                        queue[:] = [r for r in queue if r.get("count", -1) > 0] + [rule]
                    else:
                        # Counted rules serve first, in the order given.
                        at = next((i for i, r in enumerate(queue) if r.get("count", -1) < 0), len(queue))
                        queue.insert(at, rule)
            elif cmd == "release":
                release_gate(arg).release()
            elif cmd == "clear":
                with rules_lock:
                    rules.clear()
            elif cmd == "quit":
                emit("ok " + line)
                break
            else:
                raise ValueError("unknown command " + cmd)
            emit("ok " + line)
        except Exception as e:
            emit("error %s" % e)
    stopping.set()
    server.shutdown()
    return 0


if __name__ == "__main__":
    sys.exit(main())
