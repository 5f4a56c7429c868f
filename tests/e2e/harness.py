"""Drives the real program through the accessibility bus, as a screen reader sees it.

Each journey gets a fresh directory holding a copy of the program and a new database
made by ctdb, so journeys never share data.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402
import pyatspi  # noqa: E402

APP_NAME = "ctwork"


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)
    print("ok -", what, flush=True)


def eventually(fn, what, timeout=10.0):
    """A check that may take a moment to hold: waits for it, bounded, and reports it."""
    v = wait_for(fn, timeout, what)
    print("ok -", what, flush=True)
    return v


def wait_for(fn, timeout=10.0, what="condition"):
    end = time.monotonic() + timeout
    last_exc = None
    while time.monotonic() < end:
        try:
            v = fn()
            if v:
                return v
        except Exception as e:  # the tree changes under us while windows open
            last_exc = e
        time.sleep(0.1)
    raise Failure("timed out waiting for %s%s" % (what, " (%s)" % last_exc if last_exc else ""))


class Program:
    """A copy of ctwork in its own directory, with a fresh database beside it."""

    def __init__(self, bindir, create_db=True, faketime=None, env=None):
        self.bindir = bindir
        self.dir = tempfile.mkdtemp(prefix="ct-e2e-")
        for name in ("ctwork", "ctdb", "help.htm"):
            src = os.path.join(bindir, name)
            if os.path.exists(src):
                shutil.copy2(src, self.dir)
        for extra in ("images",):
            src = os.path.join(bindir, extra)
            if os.path.isdir(src):
                shutil.copytree(src, os.path.join(self.dir, extra))
        if create_db:
            subprocess.run([os.path.join(self.dir, "ctdb"), "init", self.dir], check=True,
                           stdout=subprocess.DEVNULL)
        self.faketime = faketime
        self.env = dict(os.environ)
        self.env.update({"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "QT_ACCESSIBILITY": "1",
                         "QT_QPA_PLATFORM": "xcb"})
        if env:
            self.env.update(env)
        self.proc = None

    @property
    def db(self):
        return os.path.join(self.dir, "ctsource.mdb")

    def sql(self, statements):
        """Runs statements on the database with the sqlcipher command line; returns output."""
        script = "PRAGMA key='q4u4-b7d7-h252';\nPRAGMA cipher_page_size=4096;\n" + statements
        r = subprocess.run(["sqlcipher", "-batch", self.db], input=script.encode(),
                           capture_output=True, check=True)
        return r.stdout.decode().strip()

    def command(self):
        cmd = [os.path.join(self.dir, "ctwork")]
        if self.faketime:
            cmd = ["faketime", "-f", self.faketime] + cmd
        return cmd

    def start(self):
        # A process group of its own, so that stop() also ends faketime's child.
        self.proc = subprocess.Popen(self.command(), env=self.env, cwd=self.dir,
                                     start_new_session=True)
        return self

    def start_second(self):
        """Starts another copy and returns its exit code (it should end at once)."""
        p = subprocess.Popen(self.command(), env=self.env, cwd=self.dir)
        try:
            return p.wait(timeout=15)
        except subprocess.TimeoutExpired:
            p.kill()
            raise Failure("a second start did not end")

    def app(self, timeout=20):
        # faketime runs the program as its child: any copy on the bus is ours then.
        pid = self.proc.pid if self.proc and not self.faketime else None
        return wait_for(lambda: find_app(pid), timeout,
                        "the program on the accessibility bus")

    def stop(self):
        if self.proc:
            try:
                os.killpg(self.proc.pid, signal.SIGTERM)
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def apps():
    desktop = pyatspi.Registry.getDesktop(0)
    out = []
    for i in range(desktop.childCount):
        a = desktop.getChildAtIndex(i)
        if a is not None and a.name == APP_NAME:
            out.append(a)
    return out


def find_app(pid=None):
    for a in apps():
        try:
            if pid is None or a.get_process_id() == pid:
                return a
        except Exception:
            continue
    return None


def walk(acc, depth=0, limit=40):
    if acc is None or depth > limit:
        return
    yield acc
    try:
        n = acc.childCount
    except Exception:
        return
    for i in range(n):
        try:
            c = acc.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(c, depth + 1, limit)


def matches(acc, role, name):
    try:
        return (role is None or acc.getRoleName() == role) and (name is None or acc.name == name)
    except Exception:
        return False


def find_now(root, role=None, name=None):
    for a in walk(root):
        if matches(a, role, name):
            return a
    return None


def find(root, role=None, name=None, timeout=10.0):
    return wait_for(lambda: find_now(root, role, name), timeout,
                    "%s %r" % (role or "accessible", name))


def find_all(root, role=None, name=None):
    return [a for a in walk(root) if matches(a, role, name)]


def windows(app):
    return [app.getChildAtIndex(i) for i in range(app.childCount)]


def window(app, name, timeout=10.0, role=None):
    """A top-level window (frame, dialog or alert) by its caption."""
    def look():
        for w in windows(app):
            if w is not None and w.name == name and (role is None or w.getRoleName() == role):
                return w
        return None
    return wait_for(look, timeout, "window %r" % name)


def no_window(app, name, timeout=10.0):
    wait_for(lambda: all(w is None or w.name != name for w in windows(app)), timeout,
             "window %r to close" % name)


def press(acc):
    """Runs an accessible's default action without waiting for what it opens to close."""
    Atspi.set_timeout(800, 800)
    try:
        acc.queryAction().doAction(0)
    except Exception:
        pass  # a modal window opened inside the action holds the reply back
    finally:
        Atspi.set_timeout(25000, 25000)


def menu_items(frame, menu):
    """The items of a top-level menu of the window's menu bar, as accessibles."""
    bar = find(frame, "menu bar")
    top = wait_for(lambda: next((bar.getChildAtIndex(i) for i in range(bar.childCount)
                                 if bar.getChildAtIndex(i).name == menu), None),
                   10, "menu %r" % menu)
    popup = top.getChildAtIndex(0)
    return [popup.getChildAtIndex(i) for i in range(popup.childCount)]


def menu_item(frame, menu, item):
    for a in menu_items(frame, menu):
        if a.name == item:
            return a
    raise Failure("no item %r in menu %r" % (item, menu))


def set_text(acc, text):
    acc.queryEditableText().setTextContents(text)


def text_of(acc):
    t = acc.queryText()
    return t.getText(0, -1)


def alert_text(alert):
    """The main text of a message box: its labels' texts joined."""
    parts = []
    for a in walk(alert):
        if a.getRoleName() == "label" and a.name:
            parts.append(a.name)
    return "\n".join(parts)


def answer(app, title, button="确定", timeout=15.0):
    """Waits for a message box with the given title, returns its text, presses a button."""
    box = window(app, title, timeout, role="alert")
    text = alert_text(box)
    press(find(box, "push button", button))
    return text


def screenshot(path):
    subprocess.run(["import", "-window", "root", path], check=False)


def main(journey):
    bindir = sys.argv[1]
    try:
        journey(bindir)
    except Failure as f:
        print("FAIL -", f, flush=True)
        sys.exit(1)
    print("journey passed", flush=True)



# ---- the desktop as the window manager (openbox) shows it ------------------------------

def _xprop(*args):
    r = subprocess.run(["xprop"] + list(args), capture_output=True, timeout=10)
    return r.stdout.decode("utf-8", "replace").strip() if r.returncode == 0 else ""


def _window_ids(text):
    """The window ids of an xprop WINDOW property line."""
    if "window id" not in text:
        return []
    ids = text.split("#", 1)[1]
    return [int(x.strip(), 16) for x in ids.split(",") if x.strip().startswith("0x")]


def stacking():
    """The managed windows from bottom to top (_NET_CLIENT_LIST_STACKING)."""
    return _window_ids(_xprop("-root", "_NET_CLIENT_LIST_STACKING"))


def active_window():
    ids = _window_ids(_xprop("-root", "_NET_ACTIVE_WINDOW"))
    return ids[0] if ids else None


def wm_name(wid):
    """The title as the desktop shows it (_NET_WM_NAME), exactly."""
    line = _xprop("-id", hex(wid), "_NET_WM_NAME")
    if "=" not in line:
        return None
    value = line.split("=", 1)[1].strip()
    if not (value.startswith('"') and value.endswith('"')):
        return None
    return value[1:-1].replace('\\"', '"').replace("\\\\", "\\")


def transient_for(wid):
    ids = _window_ids(_xprop("-id", hex(wid), "WM_TRANSIENT_FOR"))
    return ids[0] if ids else None


def net_wm_state(wid):
    line = _xprop("-id", hex(wid), "_NET_WM_STATE")
    return set(x.strip() for x in line.split("=", 1)[1].split(",")) if "=" in line else set()


def desktop_windows(title):
    """The managed windows whose title is exactly `title`, bottom to top."""
    return [w for w in stacking() if wm_name(w) == title]


def desktop_window(title, timeout=15.0, other_than=()):
    """The top-most managed window titled `title`, leaving out the given ids."""
    return wait_for(lambda: ([w for w in desktop_windows(title) if w not in other_than]
                             or [None])[-1], timeout, "the desktop to show %r" % title)


def no_desktop_window(title, timeout=10.0):
    wait_for(lambda: not desktop_windows(title), timeout, "%r to leave the desktop" % title)


def frame(wid):
    """The window's rectangle with the window manager's frame: (x, y, width, height)."""
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", str(wid)],
                         capture_output=True, timeout=10).stdout.decode()
    g = dict(line.split("=", 1) for line in out.split() if "=" in line)
    x, y, w, hh = int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])
    line = _xprop("-id", hex(wid), "_NET_FRAME_EXTENTS")
    left = right = top = bottom = 0
    if "=" in line:
        left, right, top, bottom = (int(v) for v in line.split("=", 1)[1].split(","))
    return (x - left, y - top, w + left + right, hh + top + bottom)


def screen_size():
    out = subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True,
                         timeout=10).stdout.decode().split()
    return int(out[0]), int(out[1])


def key(*keys):
    """Real key strokes (XTEST) to the window that has the keyboard focus. They reach the
    program some time later: the caller waits for their effect."""
    subprocess.run(["xdotool", "key", "--delay", "60"] + list(keys), check=True, timeout=20)


def type_text(text):
    """Types text with real key strokes; the caller waits for it to arrive."""
    subprocess.run(["xdotool", "type", "--delay", "60", text], check=True, timeout=30)


def activate(wid):
    """Makes the window the active one, as a click on it would."""
    subprocess.run(["xdotool", "windowactivate", "--sync", str(wid)], check=False, timeout=10)
    wait_for(lambda: active_window() == wid, 10, "window %#x to be active" % wid)


def close_window(title):
    """Closes the window by its frame's close command, as Alt+F4 does under openbox."""
    activate(desktop_window(title))
    key("alt+F4")


def focus(acc):
    """Gives a control the keyboard focus, as a click or Tab would, and waits for it to
    have it (its window active): keys typed next reach it."""
    def got():
        if not focused(acc):
            acc.queryComponent().grabFocus()
        return focused(acc)
    wait_for(got, 10, "the focus in %r" % acc.name)


def focused(acc):
    return acc.getState().contains(pyatspi.STATE_FOCUSED)


def focused_in(root):
    """The control of a window that has the keyboard focus, or None."""
    return next((a for a in walk(root) if a.getRoleName() not in ("dialog", "frame")
                 and focused(a)), None)


def identity(acc):
    """What tells one control of a window from another across look-ups."""
    return (acc.getRoleName(), acc.name, acc.queryComponent().getExtents(pyatspi.WINDOW_COORDS))


def key_moving_focus(root, *keys):
    """Real key strokes that move the focus on (Tab): waits for another control of the
    window to have it and returns that control. Keys typed before are then handled."""
    before = focused_in(root)
    was = identity(before) if before is not None else None
    key(*keys)
    return wait_for(lambda: (lambda a: a if a is not None and identity(a) != was else None)(
        focused_in(root)), 10, "the focus to move on from %r" % (before and before.name))


def typed(acc, text, want=None):
    """Types text into the focused control acc and waits until it reads want (by default
    what it read with text added)."""
    if want is None:
        want = text_of(acc) + text
    type_text(text)
    wait_for(lambda: text_of(acc) == want, 10, "%r to read %r" % (acc.name, want))


def selected(acc):
    return acc.getState().contains(pyatspi.STATE_SELECTED)


def showing(acc):
    """On screen: its window shown and, on a tabbed window, its page the current one."""
    return acc.getState().contains(pyatspi.STATE_SHOWING)
