"""The designed geometry reads well: the windows' text is one Song face at 9 points, the
meeting grid's designed columns hold a date and a departure time whole, the manual needs
no sideways scroll bar. Screenshots of the grid and of a box with a short text (its title
shown whole) are left in CT_E2E_SHOTS (default /tmp) to look at."""
import os
import subprocess

import harness as h

TITLE = "澄桐工作管理"
FAKETIME_LIB = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
SHOTS = os.environ.get("CT_E2E_SHOTS", "/tmp")
# The face the windows ask for; the unit tests check that it is found as one Song face.
SONG = "宋体"


def face(acc):
    """The font of a text's first character, as the accessibility bus reports it."""
    raw = acc.queryText().getAttributes(0)[0]
    pairs = raw.split(";") if isinstance(raw, str) else list(raw)
    attrs = dict(p.strip().split(":", 1) for p in pairs if ":" in p)
    return attrs.get("family-name", "").strip('"'), attrs.get("size")


def journey(bindir):
    env = {"LD_PRELOAD": FAKETIME_LIB, "FAKETIME": "@2026-12-08 10:01:00",
           "DONT_FAKE_MONOTONIC": "1"}
    with h.Program(bindir, env=env) as p:
        p.sql("insert into daily_tab values('2026-12-07', 'a');"
              "insert into daily_tab values('2026-12-08', 'b');"
              "insert into meet_tab(record_date, meet_cont, meet_addr, meet_date, go_hour,"
              " go_second) values('2026-12-08', '年终总结', '三楼', '2026-12-28', 23, 55);")
        p.start()
        app = p.app()
        main = h.desktop_window(TITLE)
        frame = h.window(app, TITLE, role="frame")

        h.press(h.menu_item(frame, "功能模块", "会议约会"))
        h.desktop_window("会议/约会")
        dlg = h.window(app, "会议/约会")
        h.press(h.find(dlg, "radio button", "会议主题"))
        h.set_text(h.find(dlg, "text", "会议主题："), "总结")
        h.press(h.find(dlg, "push button", "查  找"))
        grid = h.find(dlg, "table", "会议列表")
        h.wait_for(lambda: grid.queryTable().getAccessibleAt(0, 5).name == "23：55", 10,
                   "the found meeting")
        x, y, w, hh = grid.queryComponent().getExtents(h.pyatspi.DESKTOP_COORDS)

        def shoot(name):
            shot = os.path.join(SHOTS, name)
            h.screenshot(shot)
            subprocess.run(["convert", shot, "-crop", "%dx%d+%d+%d" % (w, hh, x, y), "+repage",
                            shot], check=False)

        shoot("fonts-grid-left.png")
        # Over to the departure time, as the arrow keys go.
        cx, cy, cw, ch = grid.queryTable().getAccessibleAt(0, 3).queryComponent().getExtents(
            h.pyatspi.DESKTOP_COORDS)
        h.Atspi.generate_mouse_event(cx + cw // 2, cy + ch // 2, "b1c")
        h.key("Right", "Right")
        h.wait_for(lambda: h.selected(grid.queryTable().getAccessibleAt(0, 5)), 10,
                   "the departure time's cell chosen")
        shoot("fonts-grid-right.png")
        h.press(h.find(dlg, "push button", "退  出"))
        h.no_desktop_window("会议/约会")

        h.press(h.menu_item(frame, "功能模块", "日志纪录"))
        diary = h.window(app, "工作日志")
        text = h.find(diary, "text", "日记内容")
        h.set_text(text, "今天")
        family, size = face(text)
        h.check(family == SONG and size == "9", "the diary writes in %s at %s" % (family, size))
        h.close_window("工作日志")
        h.no_desktop_window("工作日志")

        h.press(h.menu_item(frame, "帮助", "操作指南"))
        helpwin = h.window(app, "澄桐工作管理软件使用说明书")
        viewer = h.wait_for(lambda: next((a for a in h.walk(helpwin) if a.name == "使用说明书"),
                                         None), 10, "the viewer")
        family, _ = face(viewer)  # the page sets its own sizes
        h.check(family in (SONG, "Noto Serif CJK SC"), "the manual shows in %s" % family)
        # Down to the end of the manual, so that every page of it has been laid out.
        def bars():
            return [a for a in h.walk(helpwin) if a.getRoleName() == "scroll bar"
                    and a.getState().contains(h.pyatspi.STATE_SHOWING)]

        def tall(bar):
            e = bar.queryComponent().getExtents(h.pyatspi.DESKTOP_COORDS)
            return e[3] > e[2]
        bar = h.wait_for(lambda: next((b for b in bars() if tall(b)), None), 10,
                         "the manual's scroll bar")

        def at_end():
            """True once the bar stays at its end: the page laid out below it as well."""
            v = bar.queryValue()
            if v.maximumValue > 0 and v.currentValue == v.maximumValue:
                return True
            v.currentValue = v.maximumValue  # as dragging the bar down does
            return False
        h.wait_for(at_end, 20, "the manual shown to its end")
        h.screenshot(os.path.join(SHOTS, "fonts-help-end.png"))
        shown = bars()
        sideways = [a for a in shown if (lambda e: e[2] > e[3])(
            a.queryComponent().getExtents(h.pyatspi.DESKTOP_COORDS))]
        h.check(shown and not sideways,
                "the manual scrolls up and down only (%d bars)" % len(shown))
        h.close_window("澄桐工作管理软件使用说明书")
        h.no_desktop_window("澄桐工作管理软件使用说明书")

        h.press(h.menu_item(frame, "功能模块", "名片管理"))
        card = h.window(app, "名片管理")
        remarks = h.find(card, "text", " 备  注")
        h.set_text(remarks, "备注")
        family, size = face(remarks)
        h.check(family == SONG and size == "9", "the card remarks in %s at %s" % (family, size))
        # A box whose text is shorter than its title.
        h.press(h.find(card, "push button", "添加名片"))
        h.desktop_window(TITLE, other_than=(main,))
        h.screenshot(os.path.join(SHOTS, "fonts-box.png"))
        for _ in range(3):
            box = h.desktop_window(TITLE, other_than=(main,))
            h.answer(app, TITLE)
            h.wait_for(lambda: box not in h.stacking(), 10, "the box to close")


if __name__ == "__main__":
    h.main(journey)
