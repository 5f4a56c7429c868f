"""The meeting window as a person uses it: add a meeting with a short typed date, find it
by its date, pick it, change its place in modify mode, find it by topic; then, on its
day, the reminder of the main window names it."""
import pyatspi

import harness as h

TITLE = "澄桐工作管理"
WINDOW = "会议/约会"
FAKETIME_LIB = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"


def open_meetings(app, frame):
    h.press(h.menu_item(frame, "功能模块", "会议约会"))
    return h.window(app, WINDOW, role="dialog")


def answer(app, button="确定"):
    """Answers the next message box and waits for it to go; returns its text."""
    text = h.answer(app, TITLE, button)

    def gone():
        return all(w is None or w.getRoleName() != "alert" or h.alert_text(w) != text
                   for w in h.windows(app))
    h.wait_for(gone, 10, "the box %r to close" % text)
    return text


def click(acc):
    x, y, w, hh = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    h.Atspi.generate_mouse_event(x + w // 2, y + hh // 2, "b1c")


def combo_edit(dlg, name):
    """The edit of a combo box (the combo itself is named by its text on this desktop)."""
    return h.find(dlg, "text", name)


def cell(dlg, row, col):
    grid = h.find(dlg, "table", "会议列表")
    return h.wait_for(lambda: grid.queryTable().getAccessibleAt(row, col), 10,
                      "cell %d,%d of the meeting list" % (row, col))


def cell_reads(dlg, row, col, want, what):
    """Waits until the cell reads want, and reports what that shows."""
    return h.eventually(lambda: (lambda c: c if c.name == want else None)(cell(dlg, row, col)),
                        "%s (cell %d,%d reads %r)" % (what, row, col, want))


def field(dlg, label):
    return h.text_of(h.find(dlg, "text", label))


def clock(at):
    """The wall clock the program sees, starting at the given time (libfaketime preloaded
    into the program itself, so its process is the one the harness looks for)."""
    return {"LD_PRELOAD": FAKETIME_LIB, "FAKETIME": "@" + at, "DONT_FAKE_MONOTONIC": "1"}


def journey(bindir):
    # Yesterday's diary is written, so no tick opens the diary window.
    diary = "insert into daily_tab values ('2026-12-07', '已写');"
    with h.Program(bindir, env=clock("2026-12-08 14:01:00")) as p:
        p.sql(diary)
        p.start()
        app = p.app()
        frame = h.window(app, TITLE, role="frame")
        dlg = open_meetings(app, frame)
        h.check(dlg is not None, "the meeting window opens from 会议约会")
        h.check(field(dlg, "纪录日期：") == "2026-12-08", "the record date is today")
        h.check(h.find(dlg, "table", "会议列表", 2) is not None, "the grid is there")

        h.set_text(h.find(dlg, "text", "会议主题："), "项目评审")
        h.set_text(h.find(dlg, "text", "会议地点："), "二号楼")
        h.set_text(h.find(dlg, "text", "会议日期："), "2026-12-8")
        h.set_text(combo_edit(dlg, "出发时间："), "14")
        h.set_text(combo_edit(dlg, "出发时间（分）"), "20")
        h.press(h.find(dlg, "push button", "新  增"))
        text = answer(app)
        h.check(text == "纪录增加成功！", "the meeting is added: %r" % text)
        h.wait_for(lambda: field(dlg, "会议主题：") == "", 10, "an empty topic box")
        h.check(field(dlg, "纪录日期：") == "2026-12-08", "the record date stays")

        h.press(h.find(dlg, "push button", "查  找"))
        text = answer(app)
        h.check(text == "请选择一种查询方式！", "a search needs a kind: %r" % text)

        h.press(h.find(dlg, "radio button", "会议日期"))
        h.set_text(h.find(dlg, "text", "会议日期："), "2026-12-08")
        h.press(h.find(dlg, "push button", "查  找"))
        cell_reads(dlg, 0, 2, "项目评审", "the date search lists the meeting typed as 2026-12-8")
        cell_reads(dlg, 0, 5, "14：20", "it leaves at 14：20")

        click(cell(dlg, 0, 3))
        h.wait_for(lambda: field(dlg, "会议主题：") == "项目评审", 10, "the picked meeting")
        h.check(h.text_of(combo_edit(dlg, "出发时间（分）")) == "20", "the minute is picked too")
        h.press(h.find(dlg, "check box", "修改记录"))
        topic = h.find(dlg, "text", "会议主题：")
        h.wait_for(lambda: not topic.getState().contains(pyatspi.STATE_ENABLED), 10,
                   "the topic box disabled in modify mode")
        h.set_text(h.find(dlg, "text", "会议地点："), "三号楼 301")
        h.press(h.find(dlg, "push button", "修  改"))
        text = answer(app)
        h.check(text == "成功修改纪录！", "the meeting is changed: %r" % text)

        h.press(h.find(dlg, "radio button", "会议主题"))
        h.press(h.find(dlg, "check box", "修改记录"))
        h.wait_for(lambda: topic.getState().contains(pyatspi.STATE_ENABLED), 10,
                   "the topic box enabled again out of modify mode")
        h.set_text(topic, "评审")
        h.press(h.find(dlg, "push button", "查  找"))
        cell_reads(dlg, 0, 3, "三号楼 301", "a topic search shows the new place")

        h.press(h.find(dlg, "push button", "退  出"))
        h.no_window(app, WINDOW)
        stored = p.sql("select meet_date, go_hour, go_second, meet_addr from meet_tab;")
        h.check(stored == "2026-12-08|14|20|三号楼 301", "the table holds %r" % stored)

        p.proc.terminate()
        p.proc.wait(timeout=10)

        # The same file on the meeting's day, shortly before minute 0: the tick reminds.
        p.env.update(clock("2026-12-08 13:59:45"))
        p.start()
        app = p.app()
        box = h.window(app, TITLE, 60, role="alert")
        text = h.alert_text(box)
        h.check("项目评审" in text, "the reminder names the meeting: %r" % text)
        h.press(h.find(box, "push button", "确定"))


if __name__ == "__main__":
    h.main(journey)
