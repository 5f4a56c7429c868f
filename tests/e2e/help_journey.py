"""The manual and the About box in the real program; the logout inhibitor it holds on a
desktop whose session manager speaks D-Bus (a stand-in on this journey's private bus)."""
import os
import subprocess
import time

import harness as h

STANDIN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "app", "sm_standin.py")


def journey(bindir):
    with h.Program(bindir) as p:
        p.start()
        app = p.app()
        frame = h.window(app, "澄桐工作管理", role="frame")
        h.press(h.menu_item(frame, "帮助", "操作指南"))
        helpwin = h.window(app, "澄桐工作管理软件使用说明书")
        doc = h.wait_for(lambda: next((a for a in h.walk(helpwin)
                                       if a.name == "使用说明书"), None), 10, "the viewer")
        text = h.wait_for(lambda: h.text_of(doc), 10, "the manual's text")
        h.check("数据库文件与备份" in text and "ctdb backup" in text,
                "the viewer shows the manual beside the program")
        h.check(not frame.getState().contains(h.pyatspi.STATE_ICONIFIED),
                "the main window is not minimised for the manual")
        p.proc.terminate()
        p.proc.wait(timeout=10)

    with h.Program(bindir) as p:
        p.start()
        app = p.app()
        frame = h.window(app, "澄桐工作管理", role="frame")
        h.press(h.menu_item(frame, "帮助", "版本信息"))
        about = h.window(app, "关于 澄桐工作管理")
        labels = [a.name for a in h.find_all(about, "label")]
        h.check("版本 1.0.0" in labels and "澄桐工作管理" in labels,
                "About shows the title and 版本 1.0.0: %s" % labels)
        h.find(about, "push button", "系统信息(S)...")
        h.press(h.find(about, "push button", "确定"))
        h.eventually(lambda: all(w is None or w.name != "关于 澄桐工作管理" for w in h.windows(app)),
                     "确定 closes the About box")

    log = os.path.join(os.environ["XDG_RUNTIME_DIR"], "sm.log")
    sm = subprocess.Popen(["/usr/bin/python3", STANDIN, log])
    try:
        h.wait_for(lambda: os.path.exists(log) and "ready" in open(log).read(), 10,
                   "the stand-in session manager")
        with h.Program(bindir, faketime="@2026-12-08 17:30:00",
                       env={"DONT_FAKE_MONOTONIC": "1"}) as p:
            p.sql("insert into daily_tab values('2026-12-07','昨天的日记');")
            p.start()
            line = h.wait_for(lambda: next((l for l in open(log, encoding="utf-8")
                                            if l.startswith("Inhibit")), None), 20,
                              "an Inhibit call")
            parts = line.split()
            h.check(parts[1] == "ctwork" and parts[3] == "请写今天工作日记" and parts[4] == "1",
                    "17:30 without today's entry: logout inhibited: %s" % line.strip())
            h.check(int(parts[2]) != 0, "the inhibitor names the main window (xid %s)" % parts[2])
            p.sql("insert into daily_tab values('2026-12-08','今天的日记');")
            h.eventually(lambda: any(l.startswith("Uninhibit")
                                     for l in open(log, encoding="utf-8")),
                         "today's entry written: released at the next tick", 90)
    finally:
        sm.terminate()
        sm.wait(timeout=10)


if __name__ == "__main__":
    h.main(journey)
