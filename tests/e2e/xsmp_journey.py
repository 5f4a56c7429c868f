"""The session end as an X session manager asks it (XSMP), against xsmpsm, a session
manager of our own (CT_XSMPSM names it).

From 17:00 while today's diary entry is missing the program refuses a shutdown when the
session manager lets it ask the user: it shows "请写今天工作日记" and cancels. Without that
leave, before 17:00, or with today's entry, it lets the session end and ends on Die.
"""
import os
import select
import subprocess
import time

import harness as h

TITLE = "澄桐工作管理"
PROMPT = "请写今天工作日记"
DAY = "2026-12-08"
YESTERDAY = "2026-12-07"
RESTART_NEVER = "3"


class SessionManager:
    """xsmpsm as a child: commands go to its standard input, what the client said comes
    back one line at a time. Property lines are kept aside in props."""

    def __init__(self):
        self.proc = subprocess.Popen([os.environ["CT_XSMPSM"], "240"], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, bufsize=0)
        self.buf = b""
        self.props = []
        first = self._line(10)
        if not first or not first.startswith("listening local/"):
            raise h.Failure("the session manager did not start: %r" % first)
        self.address = first.split(" ", 1)[1]

    def _line(self, timeout):
        end = time.monotonic() + timeout
        while b"\n" not in self.buf:
            left = end - time.monotonic()
            if left <= 0:
                return None
            ready, _, _ = select.select([self.proc.stdout], [], [], left)
            if ready:
                data = os.read(self.proc.stdout.fileno(), 4096)
                if not data:
                    return None
                self.buf += data
        line, self.buf = self.buf.split(b"\n", 1)
        line = line.decode()
        if line.startswith("error"):
            raise h.Failure("session manager: " + line)
        return line

    def said(self, timeout):
        """The next thing the client said, properties left aside; None after timeout."""
        end = time.monotonic() + timeout
        while True:
            line = self._line(max(0.0, end - time.monotonic()))
            if line is None or not line.startswith("property "):
                return line
            self.props.append(line[len("property "):])

    def send(self, command):
        self.proc.stdin.write((command + "\n").encode())

    def expect(self, what, *want, timeout=15.0):
        got = []
        for _ in want:
            line = self.said(timeout)
            if line is None:
                break
            got.append(line)
        h.check(got == list(want), "%s: %s" % (what, got))

    def quiet(self, seconds, what):
        line = self.said(seconds)
        h.check(line is None, what if line is None else "%s (client said %r)" % (what, line))

    def prop(self, name):
        values = [p.split(" ", 1)[1] if " " in p else "" for p in self.props
                  if p.split(" ", 1)[0] == name]
        return values[-1] if values else None

    def close(self):
        try:
            self.proc.stdin.close()
            self.proc.wait(timeout=5)
        except Exception:
            self.proc.kill()
            self.proc.wait()


def alerts(app):
    out = []
    for w in h.windows(app):
        try:
            if w is not None and w.getRoleName() == "alert":
                out.append(w)
        except Exception:
            pass
    return out


def box_window():
    """The X window of the message box: the visible dialog with the program's title."""
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % TITLE],
                         capture_output=True, text=True, timeout=10).stdout.split()
    for xid in ids:
        props = subprocess.run(["xprop", "-id", xid, "_NET_WM_WINDOW_TYPE", "_NET_WM_STATE"],
                               capture_output=True, text=True, timeout=10).stdout
        if "_NET_WM_WINDOW_TYPE_DIALOG" in props:
            return xid, props
    return None


class Session:
    """A fresh program directory, the program started under a set wall clock as a client of
    its own session manager, and the first save a session manager asks of a new client."""

    def __init__(self, bindir, clock):
        self.sm = SessionManager()
        self.started = time.monotonic()
        self.p = h.Program(bindir, faketime="@%s %s" % (DAY, clock),
                           env={"SESSION_MANAGER": self.sm.address})

    def start(self, today):
        # Yesterday's entry keeps the diary window from opening on the first tick.
        self.p.sql("insert into daily_tab values('%s','x');" % YESTERDAY)
        if today:
            self.write_today()
        self.p.start()
        self.sm.expect("the program registers with the session manager", "register -")
        self.sm.send("save local 0 none")
        self.sm.expect("first save: done without a shutdown", "save-yourself-done 1")
        self.sm.send("complete")
        h.check(self.sm.prop("RestartStyleHint") == RESTART_NEVER,
                "restart hint: never (%r)" % self.sm.prop("RestartStyleHint"))
        self.app = self.p.app()
        h.window(self.app, TITLE, role="frame")

    def write_today(self):
        self.p.sql("insert into daily_tab values('%s','x');" % DAY)

    def query(self, save_type, style):
        self.sm.send("save %s 1 %s" % (save_type, style))

    def ends(self, what):
        """The session may end: no box, a successful save, and the program ends on Die."""
        self.sm.expect(what + ": no interaction, save done", "save-yourself-done 1")
        h.check(not alerts(self.app), what + ": no box")
        self.dies(what)

    def dies(self, what):
        self.sm.send("die")
        try:
            code = self.p.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            raise h.Failure(what + ": the program still runs after Die")
        h.check(code == 0, what + ": the program ends on Die (exit %d)" % code)
        self.sm.expect(what + ": it closes its session connection", "close")

    def keeps_running(self, what):
        # A save without a shutdown is answered by a client that stays: whatever else it
        # said before that answer (a close) comes first.
        self.sm.send("save local 0 none")
        self.sm.expect(what + ": nothing more from the client, it answers the next save",
                       "save-yourself-done 1")
        self.sm.send("complete")
        h.check(self.p.proc.poll() is None, what + ": the program keeps running")
        h.window(self.app, TITLE, role="frame")

    def close(self):
        self.p.stop()
        self.sm.close()
        return time.monotonic() - self.started


def scenario(title, fn, bindir, clock, today):
    print("# %s" % title, flush=True)
    s = Session(bindir, clock)
    try:
        s.start(today)
        fn(s)
    finally:
        took = s.close()
    print("# %s: %.1f s" % (title, took), flush=True)


def before_five(s, save_type, style):
    # The program's clock started at 16:59:00 after s.started: the query comes before 17:00.
    h.check(time.monotonic() - s.started < 50, "16:59: asked before 17:00")
    s.query(save_type, style)
    s.ends("16:59, style %s" % style)


def refused_then_written(s):
    s.query("global", "any")
    s.sm.expect("17:00 without entry: leave to ask the user", "interact-request normal")
    s.sm.send("interact")
    box = h.window(s.app, TITLE, timeout=15, role="alert")
    text = h.alert_text(box)
    h.check(text == PROMPT, "the box says %s: %r" % (PROMPT, text))
    found = h.wait_for(box_window, 10, "the box's X window")
    xid, props = found
    h.check("_NET_WM_STATE_ABOVE" in props, "the box stays above every window")
    s.sm.quiet(0.5, "no answer while the box is open")
    subprocess.run(["xdotool", "windowfocus", "--sync", xid, "key", "Return"], check=True,
                   timeout=10)
    h.wait_for(lambda: not alerts(s.app), 10, "the box to close")
    s.sm.expect("OK pressed: the shutdown is cancelled", "interact-done cancel",
                "save-yourself-done 0")
    s.sm.send("cancelled")
    s.keeps_running("after the refusal")

    # Once today's entry is written the next query lets the session end.
    s.write_today()
    s.query("both", "any")
    s.ends("17:00 after writing the entry")


def leave_refused(s):
    s.query("both", "any")
    s.sm.expect("17:00 without entry: leave asked", "interact-request normal")
    s.sm.send("cancelled")  # another client cancelled the shutdown: no leave
    s.sm.expect("no leave: saved, not refused", "save-yourself-done 1")
    h.check(not alerts(s.app), "no leave: no box")
    s.keeps_running("no leave, shutdown cancelled by the manager")


def journey(bindir):
    open(os.path.join(os.environ["XDG_RUNTIME_DIR"], "ICEauthority"), "w").close()
    os.environ["ICEAUTHORITY"] = os.path.join(os.environ["XDG_RUNTIME_DIR"], "ICEauthority")
    started = time.monotonic()
    scenario("16:59 without entry, style any", lambda s: before_five(s, "global", "any"),
             bindir, "16:59:00", False)
    scenario("16:59 without entry, style none", lambda s: before_five(s, "both", "none"),
             bindir, "16:59:00", False)
    scenario("17:00 without entry, style any", refused_then_written, bindir, "17:00:00", False)
    scenario("17:00 without entry, style none",
             lambda s: (s.query("global", "none"), s.ends("17:00 without entry, style none")),
             bindir, "17:00:00", False)
    scenario("17:00 without entry, leave refused", leave_refused, bindir, "17:00:00", False)
    scenario("17:00 with entry, style any",
             lambda s: (s.query("both", "any"), s.ends("17:00 with entry, style any")),
             bindir, "17:00:00", True)
    scenario("17:00 with entry, style none",
             lambda s: (s.query("global", "none"), s.ends("17:00 with entry, style none")),
             bindir, "17:00:00", True)
    print("# all scenarios: %.1f s" % (time.monotonic() - started), flush=True)


if __name__ == "__main__":
    h.main(journey)
