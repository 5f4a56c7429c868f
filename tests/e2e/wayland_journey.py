"""On a Wayland desktop. With a Wayland and an X display and no platform chosen the
program runs through X, its main window an X window with the designed title; asked for
Wayland it is no X window and its reminder tick runs without a fault; with Wayland alone
the meeting reminder also reaches the desktop's notification service, word for word."""
import ctypes
import json
import os
import select
import signal
import subprocess
import sys

import harness as h

TITLE = "澄桐工作管理"
# Ten times as fast: the tick at 9:20 comes about 6 s of real time after the start.
CLOCK = "@2026-12-08 09:19:05 x10"
REMINDER = "\n1、请您在 9： 30分钟，参加项目评审！"
HERE = os.path.dirname(os.path.abspath(__file__))


def _die_with_parent():
    # The compositor and the stand-in service end with this journey, however it ends.
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class Child:
    """A helper process of the journey, ended with its process group when left."""

    def __init__(self, cmd, env=None):
        self.proc = subprocess.Popen(cmd, env=env, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, start_new_session=True,
                                     preexec_fn=_die_with_parent)

    def alive(self):
        return self.proc.poll() is None

    def output(self):
        self.stop()
        return self.proc.stdout.read().decode(errors="replace")

    def stop(self):
        if self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class Weston(Child):
    """Weston with its headless back end: a Wayland display and nothing else."""

    def __init__(self):
        self.socket = "wayland-ct"
        path = os.path.join(os.environ["XDG_RUNTIME_DIR"], self.socket)
        super().__init__(["weston", "--backend=headless-backend.so", "--idle-time=0",
                          "--socket=" + self.socket])
        try:
            h.wait_for(lambda: os.path.exists(path) or not self.alive(), 30,
                       "weston's socket")
            if not self.alive():
                raise h.Failure("weston ended: " + self.output())
        except BaseException:
            self.stop()
            raise


class Notifications(Child):
    """The stand-in notification service on this journey's private session bus."""

    def __init__(self):
        self.file = os.path.join(os.environ["XDG_RUNTIME_DIR"], "notes.jsonl")
        super().__init__([sys.executable, os.path.join(HERE, "notifyd.py"), self.file])
        try:
            ready, _, _ = select.select([self.proc.stdout], [], [], 30)
            if not ready or self.proc.stdout.readline().strip() != b"ready":
                raise h.Failure("the stand-in notification service did not start")
        except BaseException:
            self.stop()
            raise

    def notes(self):
        if not os.path.exists(self.file):
            return []
        with open(self.file, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.endswith("\n")]

    def wait_for(self, body, after, what):
        """The first note past the `after` first ones with this body."""
        return h.eventually(lambda: next((n for n in self.notes()[after:]
                                          if n["body"] == body), None), what, 45)


def program(bindir, wayland, env):
    p = h.Program(bindir, faketime=CLOCK, env=dict(env, WAYLAND_DISPLAY=wayland.socket,
                                                   XDG_SESSION_TYPE="wayland"))
    p.env.pop("QT_QPA_PLATFORM")  # the program chooses, as on a desktop
    p.env.update(env)
    p.sql("insert into daily_tab values('2026-12-07', 'a');"
          "insert into daily_tab values('2026-12-08', 'b');"
          "insert into meet_tab(record_date, meet_cont, meet_addr, meet_date, go_hour, go_second)"
          " values('2026-12-01', '项目评审', '三楼', '2026-12-08', 9, 30);")
    return p


def journey(bindir):
    signal.signal(signal.SIGTERM, lambda *a: sys.exit(1))  # clean up when stopped
    with Weston() as wayland, Notifications() as notes:
        # Both displays, nothing chosen: an X window with the designed title.
        with program(bindir, wayland, {}) as p:
            p.start()
            main = h.desktop_window(TITLE, 30)
            h.check(h.wm_name(main) == TITLE,
                    "with both displays the main window is an X window titled %r" % TITLE)
            h.check(wayland.alive(), "the compositor still runs")

        # Wayland asked for: no X window, and the reminder tick runs without a fault.
        with program(bindir, wayland, {"QT_QPA_PLATFORM": "wayland"}) as p:
            seen = len(notes.notes())
            p.start()
            notes.wait_for(REMINDER, seen, "asked for Wayland, the tick sends the reminder")
            app = p.app()
            h.check(h.answer(app, TITLE) == REMINDER, "and shows it in its box")
            h.check(not h.desktop_windows(TITLE), "the program has no X window")
            h.check(p.proc.poll() is None, "the program still runs after the tick")

        # Wayland alone: the reminder goes out as a notification with the box's text.
        with program(bindir, wayland, {}) as p:
            p.env.pop("DISPLAY")
            seen = len(notes.notes())
            p.start()
            note = notes.wait_for(REMINDER, seen, "with Wayland alone the reminder reaches "
                                  "the notification service")
            h.check(note["summary"] == TITLE and note["app"] == TITLE,
                    "the note comes from %r: %r" % (TITLE, note))
            h.check(p.proc.poll() is None, "the program still runs")


if __name__ == "__main__":
    h.main(journey)
