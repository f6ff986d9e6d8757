#!/usr/bin/env python3
"""Test REST service of one fabric-attached enclosure, on 127.0.0.1 and a free
port, which it prints on standard output once it listens.

    rest_service.py DOCUMENTS CONFIG LOG

DOCUMENTS holds the enclosure's documents (tests/rest/enclosure.json). CONFIG
is a JSON object, every member optional: "user", "password" (the credentials
it accepts) and "answers":
{"METHOD raw-path": answer or list of answers used in turn, the last one
repeated}. An answer has "status", "body", "headers", "delay" (seconds),
"drop" (close without answering), "early" (headers of a 103 Early Hints
response sent first) and "pad" (that many blanks after the body); one with
only a delay, early or pad is answered normally.
Every request is appended to LOG as one line:
    > METHOD raw-path user:password [Name=value of If-Match, Content-Type,
      Expect] [body] [part-name=file-name:size:md5 of each form part]
"""
import base64
import email.parser
import email.policy
import hashlib
import http.server
import json
import os
import sys
import threading
import time
import urllib.parse

DOCS, CFG, LOG = {}, {}, None
STATE = {"jobs": {}, "log_polls": None}
ETAG = "0123456789abcdef0123456789abcdef"


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    pad = 0

    def log_message(self, fmt, *args):
        pass

    def send(self, code, payload, headers=None):
        data = payload if isinstance(payload, bytes) else (
            payload.encode("latin-1") if isinstance(payload, str) else json.dumps(payload).encode())
        data += b" " * self.pad
        self.send_response(code)
        self.send_header("Content-Length", str(len(data)))
        for k, v in (headers or {}).items():
            self.send_header(k, v)
        self.end_headers()
        self.wfile.write(data)

    def record(self, body):
        auth = self.headers.get("Authorization", "-")
        if auth.startswith("Basic "):
            auth = base64.b64decode(auth[6:]).decode("latin-1")
        words = [">", self.command, self.path, auth]
        for name in ("If-Match", "Content-Type", "Expect"):
            if name in self.headers:
                words.append("%s=%s" % (name, self.headers[name].split(";")[0]))
        ctype = self.headers.get("Content-Type", "")
        if ctype.startswith("multipart/form-data"):
            form = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
                b"Content-Type: " + ctype.encode() + b"\r\n\r\n" + body)
            for p in form.iter_parts():
                data = p.get_payload(decode=True) or b""
                words.append("%s=%s:%d:%s" % (p.get_param("name", header="content-disposition"), p.get_filename(),
                                              len(data), hashlib.md5(data).hexdigest()[:12]))
        elif body:
            words.append(body.decode("latin-1").encode("unicode_escape").decode())
        with open(LOG, "a", encoding="utf-8") as f:
            f.write(" ".join(words) + "\n")

    def handle_any(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        self.record(body)
        answers = CFG.get("answers", {}).get("%s %s" % (self.command, self.path))
        if isinstance(answers, list):
            answer = answers.pop(0) if len(answers) > 1 else answers[0]
        else:
            answer = answers or {}
        time.sleep(answer.get("delay", 0))
        self.pad = answer.get("pad", 0)
        if "early" in answer:
            hints = "".join("%s: %s\r\n" % kv for kv in answer["early"].items())
            self.wfile.write(("HTTP/1.1 103 Early Hints\r\n%s\r\n" % hints).encode("latin-1"))
        if answer.get("drop"):
            self.close_connection = True
            return self.connection.shutdown(2)
        if "status" in answer or "body" in answer:
            return self.send(answer.get("status", 200), answer.get("body", ""), answer.get("headers"))
        self.route(body)

    do_GET = do_PUT = do_POST = handle_any

    def route(self, body):
        if self.path == "/Query/":
            return self.send(200, DOCS["Query"])
        expected = "Basic " + base64.b64encode(
            ("%s:%s" % (CFG.get("user", "admin"), CFG.get("password", "tovek"))).encode()).decode()
        if self.headers.get("Authorization") != expected:
            return self.send(401, {"error": "Invalid credentials"})
        # /Storage/Devices/<any device name, encoded>[/rest]
        parts = self.path.split("/", 4)
        if parts[:3] != ["", "Storage", "Devices"] or len(parts) < 4:
            return self.send(404, {"error": "Resource not found"})
        rest = "/" + parts[4] if len(parts) > 4 else ""
        if rest in ("", "/") and self.command == "GET":
            device = dict(DOCS["Device"], **{k: {} for k in DOCS if k not in ("Query", "Device")})
            return self.send(200, device, {"Etag": ETAG})
        if rest == "/" and self.command == "PUT":
            job = next(iter(json.loads(body)))
            STATE["jobs"][job] = 0
            return self.send(202, {"Accepted": job})
        if rest == "/Full/":
            return self.send(200, {k: v for k, v in DOCS.items() if k not in ("Query", "Device")})
        if rest == "/OperatingSystem/":
            return self.send(200, {"Uploaded": True})
        if rest.startswith("/Jobs/") and rest[6:-1] in STATE["jobs"]:
            STATE["jobs"][rest[6:-1]] = min(100, STATE["jobs"][rest[6:-1]] + 50)
            return self.send(200, {"PercentComplete": STATE["jobs"][rest[6:-1]]})
        if rest == "/LogsStart":
            STATE["log_polls"] = 0
            return self.send(200, {})
        if rest == "/LogsStatus":
            running = STATE["log_polls"] is not None and STATE["log_polls"] < 1
            STATE["log_polls"] = None if STATE["log_polls"] is None else STATE["log_polls"] + 1
            return self.send(200, {"InProgress": running})
        if rest == "/LogsFetch":
            return self.send(200, bytes((i * 7 + 3) % 256 for i in range(3000)))
        if rest in ("/Ports/", "/Ports/?controllerid=1"):
            return self.send(200, DOCS["Ports"])
        if rest.startswith("/Ports/"):
            port_id = urllib.parse.unquote(rest[7:])
            return self.send(200, {"ID": port_id}, {"Etag": hashlib.md5(port_id.encode()).hexdigest()})
        if rest[1:-1] in DOCS and rest.endswith("/"):
            return self.send(200, DOCS[rest[1:-1]])
        return self.send(404, {"error": "Resource not found"})


def main():
    global DOCS, CFG, LOG
    with open(sys.argv[1], encoding="utf-8") as f:
        DOCS = json.load(f)
    with open(sys.argv[2], encoding="utf-8") as f:
        CFG = json.load(f)
    LOG = sys.argv[3]
    # Standard input is a pipe from the test: its end (even by a crash) ends the service.
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
