"""Screenshots of the real windows for the user manual (help/help.htm).

Run after a build, from the top of the source tree:

    tests/e2e/run.sh build/bin help/shots.py      (or: help/shots.sh)

It starts build/bin/ctwork under its own Xvfb and accessibility bus with a fresh database
holding a few sample records, opens each window through the menus and writes
help/images/<name>.png, cropped to the window. A window that this build does not have is
skipped and said so. For every image made, a placeholder comment in help.htm of the form
<!-- shot NAME.png CAPTION --> is turned into the picture, so the manual only ever refers
to images that exist. Run it again at any time: it overwrites the images.
"""
import datetime
import os
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import harness as h  # noqa: E402

IMAGES = os.path.join(HERE, "images")
MANUAL = os.path.join(HERE, "help.htm")
made = []


def namcode(s):
    return "".join(chr(ord(c) ^ 0x3B) for c in s)


def q(s):
    return "'" + s.replace("'", "''") + "'"


def sample_data(p, day):
    """A few cards, meetings and diary entries; `day` is the program's today."""
    yest = day - datetime.timedelta(days=1)
    cards = [
        ("张伟", "澄桐科技有限公司", "项目经理", "男", "汉", "36", "A",
         "北京市海淀区中关村大街1号", "010-62512345", "13801012345", "zhangwei@example.com"),
        ("李娜", "华信会计师事务所", "审计师", "女", "汉", "29", "O",
         "上海市浦东新区世纪大道88号", "021-58881234", "13912345678", "lina@example.com"),
        ("王芳", "市第一中学", "教师", "女", "回", "41", "B",
         "杭州市西湖区文三路12号", "0571-88012345", "13705711234", "wangfang@example.com"),
    ]
    st = []
    for n, off, status, sex, nation, age, blood, addr, phone, mobile, mail in cards:
        st.append("insert into cardtab (full_nam,off_nam,Status,glender,nation,age,blood_typ,"
                  "off_addr,o_phone,mobile,mail_addr) values(%s);" % ",".join(
                      q(v) for v in (namcode(n), off, status, sex, nation, age, blood, addr,
                                     phone, mobile, mail)))
    meetings = [("项目周例会", "公司三楼会议室", day, 10, 20),
                ("客户拜访", "华信会计师事务所", day, 10, 25),
                ("季度总结会", "市会展中心", day + datetime.timedelta(days=2), 14, 0)]
    for topic, place, d, hh, mm in meetings:
        st.append("insert into meet_tab (record_date,meet_cont,meet_addr,meet_date,go_hour,"
                  "go_second) values(%s,%s,%s,%s,%d,%d);" % (
                      q(yest.isoformat()), q(topic), q(place), q(d.isoformat()), hh, mm))
    st.append("insert into daily_tab values(%s,%s);" % (
        q(yest.isoformat()), q("上午整理客户名片，下午参加项目周例会。")))
    p.sql("\n".join(st))


def extents(acc):
    e = acc.queryComponent().getExtents(h.pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


def capture(acc, name):
    """Writes images/NAME.png: the screen cropped to the accessible's window."""
    time.sleep(0.8)  # let it paint
    x, y, w, hgt = extents(acc)
    x, y = max(x, 0), max(y, 0)
    out = os.path.join(IMAGES, name)
    subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, hgt, x, y),
                    "+repage", out], check=True)
    made.append(name)
    print("made", out, flush=True)


def try_window(app, frame, menu, item, caption, name, timeout=8.0):
    """Opens a window through the menu and captures it; None when this build lacks it."""
    h.press(h.menu_item(frame, menu, item))
    try:
        win = h.window(app, caption, timeout)
    except h.Failure:
        print("skipped", name, "- no window", repr(caption), "in this build", flush=True)
        return None
    capture(win, name)
    return win


def run(bindir, faketime=None, day=None, today_entry=True):
    # Only the wall clock is set; timers and the bus keep the real monotonic clock.
    p = h.Program(bindir, faketime=faketime, env={"DONT_FAKE_MONOTONIC": "1"})
    day = day or datetime.date.today()
    sample_data(p, day)
    if today_entry:
        p.sql("insert into daily_tab values(%s,%s);" % (q(day.isoformat()), q("今天的日记。")))
    return p


def windows_pass(bindir):
    # Today's entry is there and no meeting is due: no reminder interrupts the pictures.
    p = run(bindir)
    p.sql("update meet_tab set meet_date='2000-01-01';")
    try:
        p.start()
        app = p.app()
        frame = h.window(app, "澄桐工作管理", role="frame")
        capture(frame, "mainfrm.png")
        shots = [("帮助", "操作指南", "澄桐工作管理软件使用说明书", "helpfrm.png"),
                 ("帮助", "版本信息", "关于 澄桐工作管理", "frmabout.png"),
                 ("功能模块", "名片管理", "名片管理", "cardmain.png"),
                 ("功能模块", "会议约会", "会议/约会", "meetfrm.png"),
                 ("功能模块", "日志纪录", "工作日志", "dailyfrm.png")]
        for menu, item, caption, name in shots:
            # A fresh copy for each window: every window starts as it opens.
            p.stop() if p.proc else None
            p = run(bindir)
            p.sql("update meet_tab set meet_date='2000-01-01';")
            p.start()
            app = p.app()
            frame = h.window(app, "澄桐工作管理", role="frame")
            win = try_window(app, frame, menu, item, caption, name)
            if win is not None and name == "cardmain.png":
                try:
                    h.press(h.find(win, "page tab", "名片总览", timeout=3))
                    capture(win, "cardlist.png")
                except h.Failure:
                    print("skipped cardlist.png - no page 名片总览", flush=True)
    finally:
        p.stop()


def alert_pass(bindir, start, name, today_entry):
    """Starts at a chosen time; the first tick 30 s later shows a box that is captured."""
    when = datetime.datetime.strptime(start, "%Y-%m-%d %H:%M:%S")
    p = run(bindir, faketime="@" + start, day=when.date(), today_entry=today_entry)
    try:
        p.start()
        # faketime runs the program as its child: find it by name, not by process id.
        app = h.wait_for(lambda: h.find_app(None), 20, "the program on the accessibility bus")
        box = h.window(app, "澄桐工作管理", 60, role="alert")
        capture(box, name)
    finally:
        p.stop()


def update_manual():
    """Turns the placeholder of every image made into the picture itself."""
    with open(MANUAL, encoding="utf-8") as f:
        html = f.read()

    def repl(m):
        name, caption = m.group(1), m.group(2).strip()
        if name not in made and not os.path.exists(os.path.join(IMAGES, name)):
            return m.group(0)
        return ('<p class="shot"><img src="images/%s" alt="%s"><br>%s</p>'
                % (name, caption, caption))
    new = re.sub(r"<!-- shot (\S+\.png) (.*?) -->", repl, html)
    if new != html:
        with open(MANUAL, "w", encoding="utf-8") as f:
            f.write(new)
        print("updated", MANUAL, flush=True)
    left = re.findall(r"<!-- shot (\S+\.png)", new)
    if left:
        print("still without a picture:", " ".join(left), flush=True)


def main():
    bindir = sys.argv[1]
    os.makedirs(IMAGES, exist_ok=True)
    if not os.environ.get("CT_SHOTS_ALERTS_ONLY"):
        windows_pass(bindir)
    alert_pass(bindir, "2026-12-08 09:59:45", "remind.png", today_entry=True)
    alert_pass(bindir, "2026-12-08 17:24:45", "evening.png", today_entry=False)
    update_manual()


if __name__ == "__main__":
    try:
        main()
    except h.Failure as e:
        print("FAIL -", e, flush=True)
        sys.exit(1)
