"""Servers, a fault proxy, a keyring and "the phone" for the sync tests.

Every process started here is in a process group of its own and dies with the Python
process that started it (PR_SET_PDEATHSIG), so a test killed by ctest's timeout leaves
no server behind; stop_all() runs at exit and on SIGTERM/SIGINT/SIGHUP as well.
Readiness is a TCP connect that succeeds, polled with a bounded deadline.

What the two servers do differently (Debian 12: Radicale 3.1.8, Xandikos 0.2.8), found
with PROPFIND/REPORT/PUT by hand; the sync client copes with both:
- /.well-known/carddav|caldav: Radicale 301, Xandikos 302, both to "/". current-user-
  principal on "/": Radicale "/USER/", Xandikos "/user/" (--current-user-principal).
- home sets: Radicale gives the principal "/USER/" for addressbook-home-set and for
  calendar-home-set; Xandikos "/user/contacts/" and "/user/calendars/".
- Xandikos answers 415 to a PROPFIND or REPORT without a Content-Type of XML;
  Radicale does not care. Xandikos names every namespace ns0, ns1, ...
- extended MKCOL (RFC 5689) makes address books on both (201). MKCALENDAR with
  supported-calendar-component-set VEVENT+VJOURNAL: Radicale keeps exactly that set;
  Xandikos answers 201 with the property 404 (not settable) and its calendars take
  VEVENT, VTODO, VJOURNAL and VFREEBUSY. So one calendar holds both kinds on both.
- sync-collection (RFC 6578) on both, with supported-report-set saying so. Tokens:
  Radicale "http://radicale.org/ns/sync/<sha256>", Xandikos a bare git sha. The
  token is before the responses on Radicale, after them on Xandikos. An unknown token:
  Radicale 403 <valid-sync-token/>, Xandikos 500 (an internal error). Deleted members
  come as a response with status 404 on both.
- PUT answers 201 (new) with an ETag on both; a replacement 201 on Radicale, 204 on
  Xandikos, both with ETag. Xandikos's ETag is a hash of the text, so two equal texts
  at two hrefs have one ETag. If-Match with a stale ETag and If-None-Match: * on an
  existing href give 412 on both, for PUT and DELETE.
- One UID at a second href: Radicale 409 <no-uid-conflict/>, Xandikos takes it.
- addressbook-multiget / calendar-multiget: 207 with one response per href, a missing
  href as a response with status 404 (Radicale lists it first, Xandikos in order).
- A wrong password: Radicale 401 (auth delay set to 0 here); Xandikos has no auth.
"""

import asyncio
import ctypes
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

PR_SET_PDEATHSIG = 1
_live = []  # processes to stop at exit


def _preexec():
    # Own process group (killpg reaches the server's children too), and die with us.
    os.setsid()
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def stop_process(p, grace=5.0):
    if p.poll() is None:
        try:
            os.killpg(p.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            p.wait(grace)
        except subprocess.TimeoutExpired:
            try:
                os.killpg(p.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            p.wait()
    if p in _live:
        _live.remove(p)


def stop_all():
    for p in list(_live):
        stop_process(p)


def _on_signal(sig, _frame):
    stop_all()
    os._exit(128 + sig)


def install_cleanup():
    import atexit
    atexit.register(stop_all)
    for s in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(s, _on_signal)


install_cleanup()


def spawn(args, env=None, log=None, **kw):
    p = subprocess.Popen(args, env=env, stdin=subprocess.DEVNULL,
                         stdout=log or subprocess.DEVNULL, stderr=subprocess.STDOUT,
                         preexec_fn=_preexec, **kw)
    _live.append(p)
    return p


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_port(port, proc=None, timeout=30.0, what="server"):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if proc is not None and proc.poll() is not None:
            raise RuntimeError(f"{what} exited with {proc.returncode} before listening")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return
        except OSError:
            time.sleep(0.05)  # polling interval, the condition is the connect
    raise RuntimeError(f"{what} did not listen on {port} within {timeout} s")


class Server:
    """Base: self.url is the root URL; self.user/self.password None without auth."""
    name = "?"
    user = None
    password = None
    scheme = "http"

    def __init__(self, workdir=None):
        self._own = workdir is None
        self.dir = workdir or tempfile.mkdtemp(prefix=f"ct-{self.name}-")
        self.port = free_port()
        self.proc = None
        self.log = None

    @property
    def url(self):
        return f"{self.scheme}://127.0.0.1:{self.port}/"

    def start(self):
        self.log = open(os.path.join(self.dir, "server.log"), "ab")
        self.proc = spawn(self.command(), log=self.log, env=self.env())
        wait_port(self.port, self.proc, what=self.name)
        return self

    def env(self):
        e = dict(os.environ)
        e["PYTHONDONTWRITEBYTECODE"] = "1"
        return e

    def stop(self):
        if self.proc:
            stop_process(self.proc)
            self.proc = None
        if self.log:
            self.log.close()
            self.log = None

    def close(self):
        self.stop()
        if self._own:
            shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *a):
        self.close()


class Radicale(Server):
    name = "radicale"
    user = "tong"
    password = "p&ss wörd:1"

    def __init__(self, workdir=None, tls=False):
        super().__init__(workdir)
        self.tls = tls
        if tls:
            self.scheme = "https"
            self.cert, self.key = make_certificate(self.dir)

    def command(self):
        storage = os.path.join(self.dir, "collections")
        users = os.path.join(self.dir, "users")
        with open(users, "w") as f:
            f.write(f"{self.user}:{self.password}\n")
        conf = os.path.join(self.dir, "config")
        lines = [
            "[server]", f"hosts = 127.0.0.1:{self.port}", "max_connections = 20",
            "[auth]", "type = htpasswd", f"htpasswd_filename = {users}",
            "htpasswd_encryption = plain", "delay = 0",
            "[storage]", f"filesystem_folder = {storage}",
            "[logging]", "level = warning", "mask_passwords = True",
            "[web]", "type = none",
        ]
        if self.tls:
            lines[3:3] = ["ssl = True", f"certificate = {self.cert}", f"key = {self.key}"]
        with open(conf, "w") as f:
            f.write("\n".join(lines) + "\n")
        # -C only: no /etc/radicale/config and no ~/.config/radicale read.
        return ["/usr/bin/python3", "-m", "radicale", "-C", conf]

    def env(self):
        e = super().env()
        e["RADICALE_CONFIG"] = os.path.join(self.dir, "config")
        return e


class Xandikos(Server):
    """No authentication of its own: any user name and password are taken."""
    name = "xandikos"
    user = "user"
    password = "unused"

    def command(self):
        return ["/usr/bin/python3", "-m", "xandikos", "-d", os.path.join(self.dir, "data"),
                "-l", "127.0.0.1", "-p", str(self.port), "--autocreate",
                "--current-user-principal", "/user/"]


def make_certificate(folder, cn="127.0.0.1"):
    """A self-signed certificate for 127.0.0.1 and localhost; returns (cert, key)."""
    cert = os.path.join(folder, "cert.pem")
    key = os.path.join(folder, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes",
                    "-keyout", key, "-out", cert, "-days", "2", "-subj", f"/CN={cn}",
                    "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


# ---------------------------------------------------------------- the fault proxy

class FaultProxy:
    """An HTTP proxy of our own between client and server (plain HTTP both sides).

    Requests are counted from 1 over the proxy's life. rules maps a request number to
    a fault, or a callable rule(n, method, path) returns a fault or None. Faults:
      "drop"       close the client's connection without an answer
      500 / 503    answer that status (the request is not forwarded)
      ("delay", s) forward after s seconds
      "truncate"   forward, then send the headers and half of the body and close
      "garbage"    forward, then replace the body with text that is not XML
    Every request goes to the server on a connection of its own; the answer reaches
    the client de-chunked with a Content-Length, on the client's kept-alive connection.
    """

    def __init__(self, upstream_port):
        self.upstream = upstream_port
        self.port = free_port()
        self.rules = {}
        self.rule = None
        self.count = 0
        self.log = []  # (n, method, path, status or fault)
        self._loop = asyncio.new_event_loop()
        self._ready = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)

    @property
    def url(self):
        return f"http://127.0.0.1:{self.port}/"

    def start(self):
        self._thread.start()
        if not self._ready.wait(10):
            raise RuntimeError("fault proxy did not start")
        return self

    def stop(self):
        if self._thread.is_alive():
            asyncio.run_coroutine_threadsafe(self._close(), self._loop).result(10)
            self._loop.call_soon_threadsafe(self._loop.stop)
            self._thread.join(10)

    async def _close(self):
        self._server.close()
        me = asyncio.current_task()
        tasks = [t for t in asyncio.all_tasks() if t is not me]
        for t in tasks:
            t.cancel()
        await asyncio.gather(*tasks, return_exceptions=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *a):
        self.stop()

    def set(self, rules=None, rule=None, reset=True):
        """New faults; with reset the request count starts again."""
        self.rules = dict(rules or {})
        self.rule = rule
        if reset:
            self.count = 0

    def _run(self):
        asyncio.set_event_loop(self._loop)
        self._server = self._loop.run_until_complete(
            asyncio.start_server(self._client, "127.0.0.1", self.port))
        self._ready.set()
        self._loop.run_forever()
        self._loop.close()

    def _fault(self, n, method, path):
        if n in self.rules:
            return self.rules[n]
        if self.rule:
            return self.rule(n, method, path)
        return None

    async def _client(self, reader, writer):
        try:
            while True:
                req = await _read_message(reader, request=True)
                if req is None:
                    break
                start, headers, body = req
                method, path = start.split(" ")[0:2]
                self.count += 1
                n = self.count
                fault = self._fault(n, method, path)
                if fault == "drop":
                    self.log.append((n, method, path, "drop"))
                    break
                if isinstance(fault, int):
                    self.log.append((n, method, path, fault))
                    msg = b"fault proxy\n"
                    writer.write(b"HTTP/1.1 %d Fault\r\nContent-Type: text/plain\r\n"
                                 b"Content-Length: %d\r\n\r\n" % (fault, len(msg)) + msg)
                    await writer.drain()
                    continue
                if isinstance(fault, tuple) and fault[0] == "delay":
                    await asyncio.sleep(fault[1])
                status, rheaders, rbody = await self._forward(start, headers, body)
                self.log.append((n, method, path, fault or status))
                if fault == "garbage":
                    rbody = b"<?xml version='1.0'?><multistatus><<<not xml"
                    rheaders = [h for h in rheaders if h[0].lower() != "content-encoding"]
                out = [status]
                for k, v in rheaders:
                    if k.lower() in ("transfer-encoding", "content-length", "connection"):
                        continue
                    out.append(f"{k}: {v}")
                out.append(f"Content-Length: {len(rbody)}")
                head = ("\r\n".join(out) + "\r\n\r\n").encode("latin-1")
                if fault == "truncate":
                    writer.write(head + rbody[: len(rbody) // 2])
                    await writer.drain()
                    break
                writer.write(head + rbody)
                await writer.drain()
        except (ConnectionError, asyncio.IncompleteReadError):
            pass
        finally:
            writer.close()

    async def _forward(self, start, headers, body):
        r, w = await asyncio.open_connection("127.0.0.1", self.upstream)
        lines = [start]
        for k, v in headers:
            if k.lower() in ("connection", "keep-alive", "content-length",
                             "transfer-encoding"):
                continue
            lines.append(f"{k}: {v}")
        lines += ["Connection: close", f"Content-Length: {len(body)}"]
        w.write(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + body)
        await w.drain()
        resp = await _read_message(r, request=False, method=start.split(" ")[0])
        w.close()
        return resp


async def _read_message(reader, request, method=None):
    head = b""
    try:
        head = await reader.readuntil(b"\r\n\r\n")
    except asyncio.IncompleteReadError as e:
        if not e.partial.strip():
            return None
        raise
    lines = head.decode("latin-1").split("\r\n")
    start = lines[0]
    headers = []
    for line in lines[1:]:
        if ":" in line:
            k, v = line.split(":", 1)
            headers.append((k.strip(), v.strip()))
    h = {k.lower(): v for k, v in headers}
    body = b""
    if "chunked" in h.get("transfer-encoding", "").lower():
        while True:
            size = int((await reader.readuntil(b"\r\n")).split(b";")[0], 16)
            if size == 0:
                await reader.readuntil(b"\r\n")
                break
            body += await reader.readexactly(size)
            await reader.readexactly(2)
    elif "content-length" in h:
        body = await reader.readexactly(int(h["content-length"]))
    elif not request and method != "HEAD":
        status = int(start.split(" ")[1])
        if status not in (204, 304) and status >= 200:
            body = await reader.read()
    return start, headers, body


# ---------------------------------------------------------------- the keyring

class Keyring:
    """A private session bus with gnome-keyring-daemon's Secret Service, unlocked."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="ct-keyring-")
        self.bus = None
        self.env = None

    def start(self):
        home = os.path.join(self.dir, "home")
        os.makedirs(os.path.join(home, ".local/share/keyrings"), mode=0o700)
        rt = os.path.join(self.dir, "run")
        os.makedirs(rt, mode=0o700)
        addr_r, addr_w = os.pipe()
        self.bus = spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                          f"--print-address={addr_w}"], pass_fds=(addr_w,))
        os.close(addr_w)
        with os.fdopen(addr_r) as f:
            address = f.readline().strip()
        if not address:
            raise RuntimeError("dbus-daemon gave no address")
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=address, HOME=home,
                   XDG_RUNTIME_DIR=rt, XDG_DATA_HOME=os.path.join(home, ".local/share"))
        env.pop("GNOME_KEYRING_CONTROL", None)
        # --unlock reads the login keyring's password from stdin and creates it.
        kr = subprocess.Popen(["gnome-keyring-daemon", "--unlock", "--components=secrets",
                               "--daemonize"], env=env, stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              preexec_fn=_preexec)
        out, _ = kr.communicate(b"keyring-test\n", timeout=30)
        self.env = env
        for line in out.decode().splitlines():
            if "=" in line:
                k, v = line.split("=", 1)
                self.env[k] = v
        return self

    def stop(self):
        # The daemonised keyring leaves the bus when the bus ends; then it exits.
        if self.bus:
            stop_process(self.bus)
            self.bus = None
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *a):
        self.stop()


# ---------------------------------------------------------------- the phone

class Phone:
    """The other client: python3-caldav for events and journal entries, plain HTTP
    with ETags for vCards, python3-vobject to read what the sync put there."""

    def __init__(self, server, verify=None):
        import caldav
        import requests
        self.server = server
        self.http = requests.Session()
        self.http.auth = (server.user, server.password)
        if verify is not None:
            self.http.verify = verify
        self.dav = caldav.DAVClient(server.url, username=server.user,
                                    password=server.password,
                                    ssl_verify_cert=verify if verify is not None else True)

    def abs(self, href):
        return href if "://" in href else self.server.url.rstrip("/") + href

    # vCards over plain HTTP
    def listing(self, collection):
        """{href: etag} of a collection (PROPFIND Depth 1)."""
        import xml.etree.ElementTree as ET
        body = ('<?xml version="1.0"?><d:propfind xmlns:d="DAV:"><d:prop><d:getetag/>'
                '<d:resourcetype/></d:prop></d:propfind>')
        r = self.http.request("PROPFIND", self.abs(collection), data=body,
                              headers={"Depth": "1", "Content-Type": "application/xml"})
        r.raise_for_status()
        out = {}
        for resp in ET.fromstring(r.content).iter("{DAV:}response"):
            href = resp.findtext("{DAV:}href")
            if resp.find(".//{DAV:}collection") is not None:
                continue
            out[href] = resp.findtext(".//{DAV:}getetag")
        return out

    def get(self, href):
        r = self.http.get(self.abs(href))
        r.raise_for_status()
        return r.headers.get("ETag"), r.content.decode("utf-8")

    def put(self, href, text, etag=None, create=False, ctype="text/vcard; charset=utf-8"):
        h = {"Content-Type": ctype}
        if create:
            h["If-None-Match"] = "*"
        elif etag:
            h["If-Match"] = etag
        r = self.http.put(self.abs(href), data=text.encode("utf-8"), headers=h)
        return r.status_code, r.headers.get("ETag")

    def delete(self, href, etag=None):
        h = {"If-Match": etag} if etag else {}
        return self.http.delete(self.abs(href), headers=h).status_code

    def cards(self, collection):
        """{UID: vobject vCard} of every card in an address book."""
        import vobject
        out = {}
        for href in self.listing(collection):
            card = vobject.readOne(self.get(href)[1])
            out[card.uid.value] = card
        return out

    # events and journal entries through python3-caldav
    def calendar(self, url):
        return self.dav.calendar(url=self.abs(url))

    def add_event(self, cal, ics):
        return self.calendar(cal).save_event(ics)

    def add_journal(self, cal, ics):
        return self.calendar(cal).save_journal(ics)

    def components(self, cal, name):
        """{UID: vobject component} of the VEVENTs or VJOURNALs of a calendar."""
        out = {}
        c = self.calendar(cal)
        objs = c.events() if name == "VEVENT" else c.journals()
        for o in objs:
            comp = getattr(o.vobject_instance, name.lower())
            out[comp.uid.value] = comp
        return out
