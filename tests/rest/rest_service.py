#!/usr/bin/env python3
"""Test REST service of one fabric-attached enclosure.

Serves the Query, the device document, its eight sub-resources and the Full
document, the firmware upload and jobs, log collection and the management
ports, on 127.0.0.1 only, on a free port.

    rest_service.py [--config FILE] [--log FILE] [--port-file FILE]

The port is printed on standard output (one line) and written to --port-file.
Every request received is appended to --log as one JSON line:
    {"method", "path", "headers": {lower-case name: value}, "body" (latin-1
     text), "parts": [{"name", "filename", "data_hex", "headers"}]}
The configuration (JSON object) may set, all optional:
    device_name, slot, user, password, etag, etag_header ("Etag"),
    port_ids (list), job_step (percent per poll), job_never_finishes,
    rotate_etag_after_put, logs_already_running, logs_polls_in_progress,
    logs_never_finish, log_bytes,
    overrides: {"METHOD path": {"status", "body" (text or JSON), "headers"}},
    drop: ["METHOD path", ...]   (connection closed without an answer),
    slow: {"METHOD path": seconds},
    omit: {"resource key": [member names]} (removed from every member).
"""
import argparse
import base64
import email.parser
import email.policy
import http.server
import os
import json
import sys
import time


def default_config():
    return {
        "device_name": "enc01",
        "slot": 3,
        "user": "admin",
        "password": "tovek",
        "etag": "0123456789abcdef0123456789abcdef",
        "etag_header": "Etag",
        "port_ids": ["IOM1-MGMT"],
        "job_step": 50,
        "job_never_finishes": False,
        "rotate_etag_after_put": False,
        "logs_already_running": False,
        "logs_polls_in_progress": 1,
        "logs_never_finish": False,
        "log_bytes": 3000,
        "overrides": {},
        "drop": [],
        "slow": {},
        "omit": {},
    }


def status(health_id=5, health="OK", state="Enabled"):
    return {"State": {"ID": 2, "Name": state}, "Health": [{"ID": health_id, "Name": health}]}


def resources(cfg):
    """The sub-resource documents, keyed by resource key."""
    docs = {
        "Adapters": {"Members": [
            {"ID": "ADP0", "Name": "SAS adapter 0", "Status": status()},
            {"ID": "ADP1", "Name": "SAS adapter 1", "Status": status()},
        ]},
        "Controllers": {"Members": [
            {"ID": "CTL1", "Name": "IOM A", "Status": status(), "Rebootable": True},
            {"ID": "CTL2", "Name": "IOM B", "Status": status(3, "Warning", "Degraded"), "Rebootable": False},
        ]},
        "CoolingDevices": {"Members": [
            {"ID": "FAN1", "Name": "Fan 1", "Status": status()},
            {"ID": "FAN2", "Name": "Fan 2", "Status": status(9, "Critical", "Failed")},
        ]},
        "Media": {"Members": [
            {"ID": "DISK00", "Name": "Slot 0", "Status": status(), "Model": "KV16TB", "SerialNumber": "ZL00A1",
             "Version": "SN04", "Protocol": {"ID": 1, "Name": "SAS"}, "Capacity": 16000900661248},
            {"ID": "DISK01", "Name": "Slot 1", "Status": status(), "Model": "KV1TB", "SerialNumber": "ZL00A2",
             "Version": "SN04", "Protocol": {"ID": 1, "Name": "SAS"}, "Capacity": 999999499},
        ]},
        "Ports": {"Members": [port_member(cfg, pid, i) for i, pid in enumerate(cfg["port_ids"])]},
        "PowerSupplies": {"Members": [
            {"ID": "PSU1", "Name": "Power supply 1", "Status": status(), "PartNumber": "PS-1200",
             "SerialNumber": "PSN001"},
        ]},
        "Sensors": {"Members": [
            {"ID": "TEMP1", "Name": "Inlet", "Status": status(), "SensorType": {"ID": 2, "Name": "Temperature"},
             "CurrentReading": 31, "BaseUnits": {"ID": 2, "Name": "Degrees C"}},
        ]},
        "SystemClock": {"Date": "2026-12-06", "Time": "20:15:07", "TimeZone": "UTC",
                        "Runtime": {"Days": 412, "Hours": 7, "Minutes": 5, "Seconds": 9},
                        "Uptime": {"Days": 3, "Hours": 23, "Minutes": 59, "Seconds": 0}},
    }
    for key, names in cfg["omit"].items():
        doc = docs.get(key, {})
        for m in doc.get("Members", []):
            for n in names:
                m.pop(n, None)
        if key in docs and "Members" not in docs[key]:
            for n in names:
                docs[key].pop(n, None)
    return docs


def port_member(cfg, pid, index):
    settings = STATE["ports"].setdefault(pid, {"origin": 3, "address": "10.1.2.%d" % (30 + index)})
    origin_name = "DHCP" if settings["origin"] == 65536 else "Static"
    return {"ID": pid, "Name": "Management port %d" % (index + 1), "Status": status(),
            "IPv4Address": settings["address"], "IPv4Gateway": "10.1.2.1",
            "MACAddress": "00:50:56:0a:0b:%02x" % (12 + index), "NetworkType": {"ID": 1, "Name": "Ethernet"},
            "AddressOrigin": {"ID": settings["origin"], "Name": origin_name}, "MTUBytes": 1500}


STATE = {"ports": {}, "image": None, "jobs": {}, "port_etags": {}, "logs": "idle", "log_polls": 0}
CFG = default_config()
LOG_PATH = None


def error_doc(code, message):
    return {"error": {"code": code, "message": message}}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "ShelfREST/1.0"

    def log_message(self, fmt, *args):  # quiet
        pass

    # -- plumbing -----------------------------------------------------------
    def read_body(self):
        if self.headers.get("Transfer-Encoding", "").lower() == "chunked":
            data = b""
            while True:
                size = int(self.rfile.readline().strip() or b"0", 16)
                if size == 0:
                    self.rfile.readline()
                    return data
                data += self.rfile.read(size)
                self.rfile.readline()
        length = int(self.headers.get("Content-Length", "0") or "0")
        return self.rfile.read(length) if length else b""

    def record(self, body, parts):
        if not LOG_PATH:
            return
        entry = {"method": self.command, "path": self.path,
                 "headers": {k.lower(): v for k, v in self.headers.items()},
                 "body": body.decode("latin-1"), "parts": parts}
        with open(LOG_PATH, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry) + "\n")

    def send(self, code, payload, headers=None, content_type="application/json"):
        if isinstance(payload, (dict, list)):
            data = json.dumps(payload).encode()
        elif isinstance(payload, str):
            data = payload.encode("latin-1")
        else:
            data = payload
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        for k, v in (headers or {}).items():
            self.send_header(k, v)
        self.end_headers()
        self.wfile.write(data)

    def authorized(self):
        auth = self.headers.get("Authorization", "")
        expected = "Basic " + base64.b64encode(("%s:%s" % (CFG["user"], CFG["password"])).encode()).decode()
        return auth == expected

    def handle_any(self):
        body = self.read_body()
        parts = []
        ctype = self.headers.get("Content-Type", "")
        if ctype.startswith("multipart/form-data"):
            msg = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
                b"Content-Type: " + ctype.encode() + b"\r\n\r\n" + body)
            for p in msg.iter_parts():
                data = p.get_payload(decode=True) or b""
                parts.append({"name": p.get_param("name", header="content-disposition"),
                              "filename": p.get_filename(), "data_hex": data.hex(),
                              "headers": {k.lower(): str(v) for k, v in p.items()}})
        self.record(body, parts)
        key = "%s %s" % (self.command, self.path)
        if key in CFG["slow"]:
            time.sleep(float(CFG["slow"][key]))
        if key in CFG["drop"]:
            self.close_connection = True
            self.wfile.flush()
            self.connection.shutdown(2)
            return
        if key in CFG["overrides"]:
            o = CFG["overrides"][key]
            self.send(o.get("status", 200), o.get("body", ""), o.get("headers"))
            return
        self.route(body, parts)

    do_GET = handle_any
    do_PUT = handle_any
    do_POST = handle_any

    # -- resources ----------------------------------------------------------
    def route(self, body, parts):
        path = self.path
        dev = CFG["device_name"]
        base = "/Storage/Devices/%s" % dev
        if self.command == "GET" and path == "/Query/":
            return self.send(200, {"Devices": {"Members": [{
                "Name": dev, "SlotNumber": CFG["slot"], "Model": "Arcadeon Shelf 4U84",
                "SerialNumber": "SHF0042", "OperatingSystem": {"Version": "3.1.7"}}]}})
        if not self.authorized():
            return self.send(401, error_doc("Unauthorized", "Invalid credentials"))
        docs = resources(CFG)
        if path in (base, base + "/"):
            if self.command == "GET":
                doc = {"ID": dev, "Status": status(), "TotalCapacity": 7999999999500}
                for k in docs:
                    doc[k] = {"Link": "%s/%s/" % (base, k)}
                for k in CFG["omit"].get("Device", []):
                    doc.pop(k, None)
                return self.send(200, doc, {CFG["etag_header"]: CFG["etag"]})
            if self.command == "PUT":
                return self.put_device(body)
        if self.command == "GET" and path == base + "/Full/":
            return self.send(200, docs)
        if self.command == "POST" and path == base + "/OperatingSystem/":
            fw = [p for p in parts if p["name"] == "FirmwareFile"]
            if not fw or not fw[0]["data_hex"]:
                STATE["image"] = None
                return self.send(400, error_doc("BadRequest", "No firmware image in the request"))
            STATE["image"] = fw[0]["data_hex"]
            return self.send(200, {"Uploaded": len(fw[0]["data_hex"]) // 2})
        if self.command == "GET" and path.startswith(base + "/Jobs/"):
            name = path[len(base + "/Jobs/"):].rstrip("/")
            if name not in STATE["jobs"]:
                return self.send(404, error_doc("NotFound", "No such job"))
            if not CFG["job_never_finishes"]:
                STATE["jobs"][name] = min(100, STATE["jobs"][name] + int(CFG["job_step"]))
            return self.send(200, {"ID": name, "PercentComplete": STATE["jobs"][name]})
        if self.command == "GET" and path == base + "/LogsStatus":
            if STATE["logs"] == "running" and not CFG["logs_never_finish"]:
                STATE["log_polls"] += 1
                if STATE["log_polls"] > int(CFG["logs_polls_in_progress"]):
                    STATE["logs"] = "done"
            running = CFG["logs_already_running"] or STATE["logs"] == "running"
            return self.send(200, {"InProgress": running})
        if self.command == "GET" and path == base + "/LogsStart":
            STATE["logs"] = "running"
            STATE["log_polls"] = 0
            return self.send(200, {"Started": True})
        if self.command == "GET" and path == base + "/LogsFetch":
            data = bytes((i * 7 + 3) % 256 for i in range(int(CFG["log_bytes"])))
            return self.send(200, data, content_type="application/octet-stream")
        if self.command == "GET" and path in (base + "/Ports/", base + "/Ports/?controllerid=1"):
            return self.send(200, docs["Ports"])
        if path.startswith(base + "/Ports/"):
            pid = path[len(base + "/Ports/"):]
            if pid in CFG["port_ids"]:
                tag = STATE["port_etags"].setdefault(pid, "%032x" % (0xabc000 + len(pid)))
                if self.command == "GET":
                    index = CFG["port_ids"].index(pid)
                    return self.send(200, port_member(CFG, pid, index), {CFG["etag_header"]: tag})
                if self.command == "PUT":
                    return self.put_port(pid, tag, body)
        for k in docs:
            if self.command == "GET" and path == "%s/%s/" % (base, k):
                return self.send(200, docs[k])
        return self.send(404, error_doc("NotFound", "Resource not found"))

    def json_body(self, body):
        if self.headers.get("Content-Type") != "application/json":
            return None
        try:
            return json.loads(body.decode())
        except ValueError:
            return None

    def put_device(self, body):
        if self.headers.get("If-Match") != CFG["etag"]:
            return self.send(412, error_doc("PreconditionFailed", "ETag does not match"))
        doc = self.json_body(body)
        if not isinstance(doc, dict):
            return self.send(400, error_doc("BadRequest", "Body is not a JSON object"))
        if doc.get("FirmwareUpdate") is True:
            if STATE["image"] is None:
                return self.send(409, error_doc("Conflict", "No firmware image uploaded"))
            STATE["jobs"]["FirmwareUpdate"] = 0
        elif doc.get("FirmwareActivate") is True:
            if STATE["jobs"].get("FirmwareUpdate") != 100:
                return self.send(409, error_doc("Conflict", "No installed firmware to activate"))
            STATE["jobs"]["FirmwareActivate"] = 0
        else:
            return self.send(400, error_doc("BadRequest", "Unknown request"))
        if CFG["rotate_etag_after_put"]:
            CFG["etag"] = "%032x" % (int(CFG["etag"], 16) + 1 if all(
                c in "0123456789abcdef" for c in CFG["etag"]) else 1)
        return self.send(202, {"Accepted": True})

    def put_port(self, pid, tag, body):
        if self.headers.get("If-Match") != tag:
            return self.send(412, error_doc("PreconditionFailed", "ETag does not match"))
        doc = self.json_body(body)
        origin = doc.get("AddressOrigin", {}).get("ID") if isinstance(doc, dict) else None
        settings = STATE["ports"][pid]
        if origin == 65536:
            settings["origin"] = 65536
        elif origin == 3 and isinstance(doc.get("IPv4Address"), str):
            settings["origin"] = 3
            settings["address"] = doc["IPv4Address"]
        else:
            return self.send(400, error_doc("BadRequest", "Invalid port settings"))
        STATE["port_etags"][pid] = "%032x" % (int(tag, 16) + 1)
        return self.send(200, port_member(CFG, pid, CFG["port_ids"].index(pid)))


def die_with_parent():
    """Ends the service when the test that started it ends, even by a crash."""
    try:
        import ctypes
        import signal
        libc = ctypes.CDLL(None, use_errno=True)
        libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass


def main():
    global LOG_PATH
    parent = os.getppid()
    die_with_parent()
    if os.getppid() != parent:
        return 1
    parser = argparse.ArgumentParser()
    parser.add_argument("--config")
    parser.add_argument("--log")
    parser.add_argument("--port-file")
    args = parser.parse_args()
    if args.config:
        with open(args.config, encoding="utf-8") as f:
            CFG.update(json.load(f))
    LOG_PATH = args.log
    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    port = server.server_address[1]
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write("%d\n" % port)
        os.replace(args.port_file + ".tmp", args.port_file)
    print(port, flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
