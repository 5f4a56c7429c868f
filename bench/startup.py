#!/usr/bin/env python3
"""Start-up time: process start to main window shown, median of N runs, for ctwork and for
a bare Qt window program built with the same flags.

    bench/startup.py BUILD_DIR [RUNS]

Runs under its own Xvfb when no DISPLAY is set.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def measure(cmd, cwd, env, runs):
    times = []
    for _ in range(runs):
        t0 = time.perf_counter()
        p = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        line = p.stdout.readline()
        t1 = time.perf_counter()
        p.wait(timeout=30)
        if not line.startswith(b"shown"):
            raise SystemExit("%s did not report its window: %r" % (cmd[0], line))
        times.append((t1 - t0) * 1000.0)
    return times


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 15
    work = tempfile.mkdtemp(prefix="ct-startup-")
    xvfb = None
    env = dict(os.environ)
    try:
        if not env.get("DISPLAY"):
            n = 180 + os.getpid() % 100
            xvfb = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                    stderr=subprocess.DEVNULL)
            env["DISPLAY"] = ":%d" % n
            time.sleep(1.0)
        env["XDG_RUNTIME_DIR"] = work
        env["QT_QPA_PLATFORM"] = "xcb"
        shutil.copy2(os.path.join(build, "bench", "ctwork_probe"), work)
        subprocess.run([os.path.join(build, "bin", "ctdb"), "init", work], check=True, stdout=subprocess.DEVNULL)
        bare = os.path.join(build, "bench", "bare_window")
        measure([bare], work, env, 2)  # warm the file cache
        measure([os.path.join(work, "ctwork_probe")], work, env, 2)
        ours = measure([os.path.join(work, "ctwork_probe")], work, env, runs)
        base = measure([bare], work, env, runs)
        mo, mb = statistics.median(ours), statistics.median(base)
        print("runs: %d" % runs)
        print("ctwork      median %.1f ms  (min %.1f, max %.1f)" % (mo, min(ours), max(ours)))
        print("bare window median %.1f ms  (min %.1f, max %.1f)" % (mb, min(base), max(base)))
        print("difference  %.1f ms (target <= 60 ms)" % (mo - mb))
    finally:
        if xvfb:
            xvfb.terminate()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
