#!/usr/bin/env python3
"""A fake of the broadcaster's web service, for PortalLink's tests, later program tests and demos.

Speaks the service's nine SOAP operations over plain HTTP on 127.0.0.1, answering from a small JSON fixture
of accounts (passwords as MD5 hex digests) and their live activities. Every request is recorded byte for byte.
A test can make the service misbehave (faults, other statuses, chunked or connection-delimited bodies,
redirects, slow or dripping answers, closed connections, bodies that are not XML or not JSON, enormous
bodies) through commands on standard input.

Usage: fake_portal.py [--fixture FILE] [--port N] [--no-commands]
Once it accepts connections it prints "LISTENING <port>" on standard output. Then (unless --no-commands, for
demos run in the background of a terminal) it reads commands, one JSON object per line, and answers each with
one JSON line:
  {"cmd": "mode", "mode": "normal"}            how to deliver the following answers (see DELIVERY_MODES),
                                               with the mode's parameters in the same object, and
                                               "form": "plain" | "href" | "nil" | "header" | "charrefs"
                                               for how the result is written into the SOAP envelope
  {"cmd": "result", "op": "Logon", "text": "{...}"}  answer this operation with this result string from now
                                               on ("text": null writes a nil result); {"cmd": "result",
                                               "op": "Logon"} without "text" goes back to the fixture
  {"cmd": "requests"}                          {"requests": [hex of every raw request, oldest first]}
  {"cmd": "stats"}                             {"count": n, "max_inflight": n}
  {"cmd": "lives"}                             {"lives": {activityId: state}} from StartLive/StopLive calls
  {"cmd": "version", "version": "1.2.3"}       how the version service answers from now on (see below)
  {"cmd": "reset"}                             normal mode, no overrides, nothing recorded, default version
End of input leaves the service running; stop it with SIGTERM.

Besides the SOAP operations it answers two plain GETs, which the delivery modes do not touch:
  /pages/version/getVersion.jsp?type=st_client   the version service: {"version": "<v>"} with the fixture's
        "client_version" until a "version" command says otherwise. That command's members (all optional,
        each command replaces the previous one): "version" the text to name; "status" another HTTP status
        (its body is an error page); "delay_ms" a pause before anything is sent; "drip_ms" the body sent one
        byte at a time with this pause between bytes; "body" this text instead of JSON; "size" a JSON body
        padded to exactly this many bytes.
  /portraits/<name>.png   a small real PNG picture (16 x 16, drawn here); /portraits/missing.png answers
        404; /portraits/huge.png streams PNG-looking bytes past 10 MiB without announcing a length.
An account's "portrait" may begin with "{self}", which the service replaces by its own address
(http://127.0.0.1:<port>), so a portrait can be fetched from the fake itself.
"""

import argparse
import json
import os
import socketserver
import sys
import struct
import threading
import time
import urllib.parse
import xml.etree.ElementTree as ET
import zlib

SOAP_ENV = "http://schemas.xmlsoap.org/soap/envelope/"
SOAP_ENC = "http://schemas.xmlsoap.org/soap/encoding/"
XSI = "http://www.w3.org/2001/XMLSchema-instance"
XSD = "http://www.w3.org/2001/XMLSchema"
SERVICE_NS = "http://webservice.brevacast.example/BrevacastPlusService"

RETURN_ELEMENTS = {
    "Logon": "LogonReturn",
    "Version": "VersionReturn",
    "ActivityList": "ActivityListReturn",
    "Prepare": "PrepareReturn",
    "Prepare2": "Prepare2Return",
    "StartLive": "StartLiveReturn",
    "StartLive2": "StartLive2Return",
    "StopLive": None,
    "SetLiveInfo": "SetLiveInfoReturn",
}

DELIVERY_MODES = (
    "normal",         # 200 with Content-Length
    "chunked",        # 200, Transfer-Encoding: chunked; "chunk": piece size, "trailer": send a trailer field
    "eof",            # 200 delimited by closing the connection
    "fault",          # 500 with a SOAP Fault; "faultstring"
    "status",         # "status" with "reason", "body" (text) and "headers" (object)
    "body",           # 200 with "body" (text) or "body_hex" as it is; "length" overrides Content-Length
    "redirect",       # "hops" redirects ("status", "absolute") below /moved, then the normal answer
    "redirect_loop",  # redirects to the same place forever
    "slow",           # the normal answer after "delay_ms"
    "drip",           # a status line and then one byte every "interval_ms", never finishing
    "close",          # closes the connection without answering
    "garbage",        # bytes that are not HTTP
    "huge",           # a 200 answer of "size" bytes
)

MAX_REQUEST = 16 << 20

VERSION_PATH = "/pages/version/getVersion.jsp"
PORTRAIT_PREFIX = "/portraits/"
HUGE_PORTRAIT_BYTES = (10 << 20) + (1 << 20)  # more than the program accepts


def png_picture(width, height):
    """A small RGB PNG: a diagonal gradient, encoded here so that no picture file is needed."""

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    rows = b"".join(b"\x00" + b"".join(bytes(((x * 16) & 0xFF, (y * 16) & 0xFF, ((x + y) * 8) & 0xFF))
                                          for x in range(width))
                    for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) +
            chunk(b"IEND", b""))


PORTRAIT_PNG = png_picture(16, 16)


def xml_escape(text, charrefs):
    out = []
    for ch in text:
        if ch == "&":
            out.append("&amp;")
        elif ch == "<":
            out.append("&lt;")
        elif ch == ">":
            out.append("&gt;")
        elif charrefs and ord(ch) > 0x7E:
            out.append("&#x%X;" % ord(ch))
        else:
            out.append(ch)
    return "".join(out)


def soap_answer(op, result, form):
    ret = RETURN_ELEMENTS.get(op)
    charrefs = form == "charrefs"
    inner = ""
    refs = ""
    if ret is not None:
        if result is None or form == "nil":
            inner = '<%s xsi:nil="true"/>' % ret
        elif form == "href":
            inner = '<%s href="#id0"/>' % ret
            refs = ('<multiRef id="id0" soapenc:root="0" soapenv:encodingStyle="%s" xsi:type="xsd:string">%s'
                    "</multiRef>" % (SOAP_ENC, xml_escape(result, charrefs)))
        else:
            inner = '<%s xsi:type="xsd:string">%s</%s>' % (ret, xml_escape(result, charrefs), ret)
    header = ""
    if form == "header":
        header = '<soapenv:Header><ns2:session xmlns:ns2="urn:fake-session">s-1</ns2:session></soapenv:Header>'
    text = ('<?xml version="1.0" encoding="UTF-8"?>'
            '<soapenv:Envelope xmlns:soapenv="%s" xmlns:xsd="%s" xmlns:xsi="%s" xmlns:soapenc="%s">%s'
            "<soapenv:Body>"
            '<ns1:%sResponse soapenv:encodingStyle="%s" xmlns:ns1="%s">%s</ns1:%sResponse>%s'
            "</soapenv:Body></soapenv:Envelope>"
            % (SOAP_ENV, XSD, XSI, SOAP_ENC, header, op, SOAP_ENC, SERVICE_NS, inner, op, refs))
    return text.encode("utf-8")


def soap_fault(code, text):
    return ('<?xml version="1.0" encoding="UTF-8"?>'
            '<soapenv:Envelope xmlns:soapenv="%s"><soapenv:Body><soapenv:Fault>'
            "<faultcode>%s</faultcode><faultstring>%s</faultstring></soapenv:Fault>"
            "</soapenv:Body></soapenv:Envelope>" % (SOAP_ENV, xml_escape(code, False), xml_escape(text, False))
            ).encode("utf-8")


def parse_request_body(body):
    """The operation name and its parameters (None for nil) from a request envelope."""
    root = ET.fromstring(body)
    soap_body = root.find("{%s}Body" % SOAP_ENV)
    if soap_body is None or len(soap_body) == 0:
        raise ValueError("no operation in the request")
    op_element = soap_body[0]
    op = op_element.tag.split("}")[-1]
    params = {}
    for child in op_element:
        name = child.tag.split("}")[-1]
        if child.get("{%s}nil" % XSI) in ("1", "true"):
            params[name] = None
        else:
            params[name] = child.text or ""
    return op, params


class Portal:
    """The service's state: fixture, behaviour chosen by the test, recorded requests."""

    def __init__(self, fixture):
        self.fixture = fixture
        self.lock = threading.Lock()
        self.port = 0
        self.reset()

    def reset(self):
        self.mode = {"mode": "normal"}
        self.overrides = {}
        self.requests = []
        self.count = 0
        self.inflight = 0
        self.max_inflight = 0
        self.lives = {}
        self.live_info = {}
        self.version_answer = {}

    def own_address(self):
        return "http://127.0.0.1:%d" % self.port

    # Commands from the test -------------------------------------------------------------------------------

    def command(self, cmd):
        name = cmd.get("cmd")
        with self.lock:
            if name == "mode":
                if cmd.get("mode") not in DELIVERY_MODES:
                    return {"ok": False, "error": "unknown mode"}
                self.mode = dict(cmd)
                return {"ok": True}
            if name == "result":
                if "text" in cmd:
                    self.overrides[cmd["op"]] = cmd["text"]
                else:
                    self.overrides.pop(cmd["op"], None)
                return {"ok": True}
            if name == "requests":
                return {"requests": [r.hex() for r in self.requests]}
            if name == "stats":
                return {"count": self.count, "max_inflight": self.max_inflight}
            if name == "lives":
                return {"lives": self.lives, "info": self.live_info}
            if name == "version":
                self.version_answer = {k: v for k, v in cmd.items() if k != "cmd"}
                return {"ok": True}
            if name == "reset":
                self.reset()
                return {"ok": True}
        return {"ok": False, "error": "unknown command"}

    # The operations ---------------------------------------------------------------------------------------

    def account(self, user_id):
        for account in self.fixture.get("accounts", []):
            if account.get("userId") == user_id:
                return account
        return None

    def activity(self, activity_id):
        for account in self.fixture.get("accounts", []):
            for activity in account.get("activities", []):
                if str(activity.get("id")) == str(activity_id).strip():
                    return account, activity
        return None, None

    def operate(self, op, params):
        """The result string of op, or None for an operation without one; raises KeyError when unknown."""
        if op in self.overrides:
            return self.overrides[op]
        if op == "Logon":
            account = self.account(params.get("userId"))
            if account is None:
                answer = {"code": -1}
            elif params.get("password") != account.get("password_md5"):
                answer = {"code": -2}
            else:
                answer = {"code": 0, "msg": account.get("msg", ""), "maxStorage": account.get("maxStorage", 0),
                          "duration": account.get("duration", 0),
                          "portrait": account.get("portrait", "").replace("{self}", self.own_address())}
        elif op == "Version":
            answer = {"version": self.fixture.get("version", "")}
        elif op == "ActivityList":
            account = self.account(params.get("userId"))
            activities = []
            for activity in (account or {}).get("activities", []):
                item = {"id": activity["id"], "title": activity.get("title", "")}
                if "cloudRecord" in activity:
                    item["cloudRecord"] = activity["cloudRecord"]
                activities.append(item)
            answer = {"activities": activities}
        elif op in ("Prepare", "Prepare2"):
            account, activity = self.activity(params.get("activityId"))
            if activity is None:
                answer = {"succeed": False, "msg": "活动不存在"}
            else:
                ingest = self.fixture.get("ingest", {})
                answer = {"succeed": True, "msg": None, "protocol": ingest.get("protocol", "rtmp"),
                          "server": ingest.get("server", "127.0.0.1"), "port": ingest.get("port", 1935),
                          "tube": activity["id"], "liveId": activity["id"] * 10 + 1,
                          "title": activity.get("title", "")}
                if op == "Prepare2":
                    can_record = int(account.get("canRecord", 0))
                    answer["rtmpURL"] = "rtmp://%s:%s/live/%s" % (answer["server"], answer["port"], activity["id"])
                    answer["storageUsed"] = account.get("storageUsed", 0)
                    answer["canRecord"] = can_record
                    wanted = params.get("cloudRecord") == "1"
                    answer["message"] = "当前账号不允许云端录制" if wanted and not can_record else ""
        elif op in ("StartLive", "StartLive2"):
            self.lives[params.get("activityId")] = "started"
            answer = {"code": 0}
        elif op == "StopLive":
            self.lives[params.get("activityId")] = "stopped"
            return None
        elif op == "SetLiveInfo":
            self.live_info[params.get("activityId")] = {k: params.get(k) for k in ("title", "author", "desc")}
            answer = {"code": 0}
        else:
            raise KeyError(op)
        return json.dumps(answer, ensure_ascii=False)


class Handler(socketserver.StreamRequestHandler):
    portal = None  # set before serving

    def read_request(self):
        head = b""
        content_length = 0
        while True:
            line = self.rfile.readline(65537)
            if not line:
                return None
            head += line
            if len(head) > MAX_REQUEST:
                return None
            if line in (b"\r\n", b"\n"):
                break
            name, _, value = line.decode("latin-1").partition(":")
            if name.strip().lower() == "content-length":
                content_length = int(value.strip())
        if content_length > MAX_REQUEST:
            return None
        body = self.rfile.read(content_length)
        if len(body) != content_length:
            return None
        return head, body

    def handle(self):
        portal = self.portal
        request = self.read_request()
        if request is None:
            return
        head, body = request
        request_line = head.split(b"\r\n", 1)[0].decode("latin-1")
        parts = request_line.split(" ")
        target = parts[1] if len(parts) > 1 else "/"
        with portal.lock:
            portal.requests.append(head + body)
            portal.count += 1
            portal.inflight += 1
            portal.max_inflight = max(portal.max_inflight, portal.inflight)
            mode = dict(portal.mode)
            version_answer = dict(portal.version_answer)
        try:
            if parts[0] == "GET":
                answer = self.prepare_get(target, version_answer)
            else:
                answer = self.prepare_answer(mode, target, body)
        finally:
            # The exchange counts as over before the client can have the last byte of the answer.
            with portal.lock:
                portal.inflight -= 1
        if answer is not None:
            try:
                answer()
            except (BrokenPipeError, ConnectionResetError):
                pass

    def send(self, data):
        self.wfile.write(data)
        self.wfile.flush()

    def prepare_answer(self, mode, target, body):
        """Returns a function that writes the answer (None: close without one)."""
        kind = mode.get("mode", "normal")
        if kind == "close":
            return None
        if kind == "garbage":
            return lambda: self.send(b"this is not an HTTP answer\r\n\r\n")
        if kind == "redirect_loop":
            return self.status_writer(302, "Found", b"", {"Location": target})
        if kind == "redirect":
            hops_done = target.count("/moved")
            if hops_done < int(mode.get("hops", 1)):
                location = "/moved" + target
                if mode.get("absolute"):
                    location = "http://127.0.0.1:%d%s" % (self.portal.port, location)
                status = int(mode.get("status", 302))
                return self.status_writer(status, "Moved", b"<html>moved</html>", {"Location": location})
        if kind == "drip":
            return lambda: self.drip(int(mode.get("interval_ms", 50)))
        if kind == "status":
            text = mode.get("body", "").encode("utf-8")
            return self.status_writer(int(mode["status"]), mode.get("reason", "Status"), text,
                                      mode.get("headers", {}))
        if kind == "body":
            data = bytes.fromhex(mode["body_hex"]) if "body_hex" in mode else mode.get("body", "").encode("utf-8")
            length = int(mode.get("length", len(data)))
            return lambda: self.send(b"HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\n"
                                     b"Content-Length: %d\r\nConnection: close\r\n\r\n" % length + data)
        if kind == "huge":
            return lambda: self.huge(int(mode.get("size", 64 << 20)))
        if kind == "fault":
            fault = soap_fault("soapenv:Server", mode.get("faultstring", "internal error"))
            return self.status_writer(500, "Internal Server Error", fault, {})

        try:
            op, params = parse_request_body(body)
            with self.portal.lock:
                result = self.portal.operate(op, params)
            payload = soap_answer(op, result, mode.get("form", "plain"))
        except (ET.ParseError, ValueError, KeyError) as e:
            return self.status_writer(500, "Internal Server Error", soap_fault("soapenv:Client", str(e)), {})
        if kind == "slow":
            # Held as an exchange in progress, so that overlapping calls show in max_inflight.
            time.sleep(int(mode.get("delay_ms", 1000)) / 1000.0)
        if kind == "chunked":
            return lambda: self.chunked(payload, int(mode.get("chunk", 7)), mode.get("trailer", False))
        if kind == "eof":
            return lambda: self.send(b"HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\n"
                                     b"Connection: close\r\n\r\n" + payload)
        return self.status_writer(200, "OK", payload, {})

    def prepare_get(self, target, version_answer):
        """The version service and the portrait pictures; returns a function that writes the answer."""
        path, _, query = target.partition("?")
        if path == VERSION_PATH:
            if urllib.parse.parse_qs(query).get("type") != ["st_client"]:
                return self.status_writer(400, "Bad Request", b"unknown client type", {}, "text/plain")
            return lambda: self.version(version_answer)
        if path.startswith(PORTRAIT_PREFIX):
            name = path[len(PORTRAIT_PREFIX):]
            if name == "huge.png":
                return lambda: self.endless_picture(HUGE_PORTRAIT_BYTES)
            if name != "missing.png" and name.endswith(".png") and "/" not in name:
                return self.status_writer(200, "OK", PORTRAIT_PNG, {}, "image/png")
        return self.status_writer(404, "Not Found", b"<html>not found</html>", {}, "text/html")

    def version(self, answer):
        version = answer.get("version", self.portal.fixture.get("client_version", "1.0.0"))
        status = int(answer.get("status", 200))
        if status != 200:
            data = b"<html>status %d</html>" % status
        elif "body" in answer:
            data = answer["body"].encode("utf-8")
        elif "size" in answer:
            start = ('{"version": "%s", "pad": "' % version).encode("utf-8")
            data = start + b"x" * (int(answer["size"]) - len(start) - 2) + b'"}'
        else:
            data = json.dumps({"version": version}).encode("utf-8")
        time.sleep(int(answer.get("delay_ms", 0)) / 1000.0)
        head = ("HTTP/1.1 %d %s\r\nContent-Type: application/json\r\nContent-Length: %d\r\nConnection: close\r\n\r\n"
                % (status, "OK" if status == 200 else "Status", len(data))).encode("ascii")
        drip_ms = int(answer.get("drip_ms", 0))
        if drip_ms <= 0:
            self.send(head + data)
            return
        self.send(head)
        for i in range(len(data)):
            time.sleep(drip_ms / 1000.0)
            self.send(data[i:i + 1])

    def endless_picture(self, size):
        # No length announced: only counting what arrives can stop the client.
        self.stream(b"HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\n\r\n", PORTRAIT_PNG[:8], size,
                    b"\x00")

    def stream(self, head, start, size, fill):
        """head, then a body of size bytes: start followed by the fill byte."""
        self.send(head + start)
        left = size - len(start)
        block = fill * 65536
        while left > 0:
            n = min(left, len(block))
            self.wfile.write(block[:n])
            left -= n
        self.wfile.flush()

    def status_writer(self, status, reason, data, headers, content_type="text/xml; charset=utf-8"):
        lines = ["HTTP/1.1 %d %s" % (status, reason), "Content-Type: " + content_type,
                 "Content-Length: %d" % len(data), "Connection: close"]
        lines += ["%s: %s" % item for item in headers.items()]
        head = ("\r\n".join(lines) + "\r\n\r\n").encode("utf-8")
        return lambda: self.send(head + data)

    def chunked(self, payload, piece, trailer):
        out = [b"HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nTransfer-Encoding: chunked\r\n"
               b"Connection: close\r\n\r\n"]
        for i in range(0, len(payload), piece):
            chunk = payload[i:i + piece]
            extension = b";part=%d" % i if i == 0 else b""
            out.append(b"%x%s\r\n%s\r\n" % (len(chunk), extension, chunk))
        out.append(b"0\r\n")
        if trailer:
            out.append(b"X-Checksum: none\r\n")
        out.append(b"\r\n")
        self.send(b"".join(out))

    def drip(self, interval_ms):
        self.send(b"HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: 1000000\r\n\r\n")
        deadline = time.monotonic() + 600
        while time.monotonic() < deadline:
            self.send(b" ")
            time.sleep(interval_ms / 1000.0)

    def huge(self, size):
        start = ('<?xml version="1.0" encoding="UTF-8"?><soapenv:Envelope xmlns:soapenv="%s"><soapenv:Body>'
                 "<ns1:LogonResponse xmlns:ns1=\"%s\"><LogonReturn>" % (SOAP_ENV, SERVICE_NS)).encode("utf-8")
        self.stream(b"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: %d\r\n\r\n" % size, start, size, b"x")


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


def read_commands(portal):
    for line in sys.stdin:
        line = line.strip()
        if not line:
            continue
        try:
            reply = portal.command(json.loads(line))
        except (ValueError, KeyError, TypeError) as e:
            reply = {"ok": False, "error": str(e)}
        sys.stdout.write(json.dumps(reply, ensure_ascii=True) + "\n")
        sys.stdout.flush()


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Fake broadcaster web service (SOAP over HTTP) on 127.0.0.1")
    parser.add_argument("--fixture", default=os.path.join(here, "fixture.json"))
    parser.add_argument("--port", type=int, default=0, help="0 picks a free port")
    parser.add_argument("--no-commands", action="store_true", help="do not read commands from standard input")
    args = parser.parse_args()
    with open(args.fixture, encoding="utf-8") as f:
        fixture = json.load(f)
    portal = Portal(fixture)
    Handler.portal = portal
    server = Server(("127.0.0.1", args.port), Handler)
    portal.port = server.server_address[1]
    sys.stdout.write("LISTENING %d\n" % portal.port)
    sys.stdout.flush()
    if not args.no_commands:
        threading.Thread(target=read_commands, args=(portal,), name="commands", daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
