"""Started where no session bus is set, the program starts and ends without leaving a
process behind: no D-Bus session bus is launched for it (libdbus would autolaunch one,
and it would outlive the program)."""
import os
import signal

import harness as h

TITLE = "澄桐工作管理"


def bus_processes():
    """dbus-daemon and dbus-launch processes on this journey's display."""
    mine = "DISPLAY=" + os.environ["DISPLAY"]
    found = set()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                cmd = f.read().split(b"\0")[0].decode(errors="replace")
            if os.path.basename(cmd) not in ("dbus-daemon", "dbus-launch"):
                continue
            with open("/proc/%s/environ" % pid, "rb") as f:
                env = f.read().decode(errors="replace").split("\0")
        except OSError:
            continue
        if mine in env:
            found.add((int(pid), cmd))
    return found


def journey(bindir):
    before = bus_processes()
    for round_ in range(2):
        with h.Program(bindir) as p:
            p.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
            p.start()
            h.eventually(lambda: h.desktop_windows(TITLE),
                         "start %d without a session bus shows the main window" % (round_ + 1),
                         20)
            # A second start is answered once the first has started up and runs its events;
            # it starts without a bus too.
            code = p.start_second()
            h.check(code == 0, "a second start finds it and ends (exit %d)" % code)
            # Ended as a desktop ends it: the program alone, not its process group (a
            # launched bus's dbus-launch would take its bus down with it).
            os.kill(p.proc.pid, signal.SIGTERM)
            code = p.proc.wait(timeout=10)
            h.check(code == 0, "it ends cleanly (exit %d)" % code)
    # A bus that libdbus launches is up before the call that launched it returns.
    left = bus_processes() - before
    for pid, _ in left:
        try:
            os.kill(pid, signal.SIGTERM)
        except OSError:
            pass
    h.check(not left, "no bus process is left behind: %s" % sorted(left))


if __name__ == "__main__":
    h.main(journey)
