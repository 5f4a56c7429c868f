"""Every message box of the card window's add, change and delete handlers, a run error and
a system-modal reminder stands in front of the top-most card window: transient for it,
above it in the window manager's stacking order, staying on top as it does, and active,
so that real key strokes answer it."""
import os

import harness as h

TITLE = "澄桐工作管理"
FAKETIME_LIB = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
SHOTS = os.environ.get("CT_E2E_SHOTS", "/tmp")


def clock(at):
    return {"LD_PRELOAD": FAKETIME_LIB, "FAKETIME": "@" + at, "DONT_FAKE_MONOTONIC": "1"}


class Desk:
    def __init__(self, app):
        self.app = app
        self.main = h.desktop_window(TITLE)
        self.shots = 0

    def open_cards(self):
        frame = h.window(self.app, TITLE, role="frame")
        h.press(h.menu_item(frame, "功能模块", "名片管理"))
        self.card = h.desktop_window("名片管理")
        self.dlg = h.window(self.app, "名片管理")
        h.check("_NET_WM_STATE_ABOVE" in h.net_wm_state(self.card),
                "the card window stays on top")
        return self.dlg

    def box(self, want, answer="Return", timeout=15, last=False):
        """Waits for the next box, checks where it stands, answers it with a key."""
        wid = h.desktop_window(TITLE, timeout, other_than=(self.main,))
        alert = h.window(self.app, TITLE, timeout, role="alert")
        text = h.alert_text(alert)
        h.check(text == want, "box %r" % text)
        order = h.stacking()
        h.check(h.transient_for(wid) == self.card, "  it is transient for the card window")
        h.check(order.index(wid) > order.index(self.card) and order[-1] == wid,
                "  it stands above the card window, on top of the desktop")
        h.check("_NET_WM_STATE_ABOVE" in h.net_wm_state(wid), "  it stays on top too")
        h.wait_for(lambda: h.active_window() == wid, 5, "the box to be active")
        if self.shots == 0:
            h.screenshot(os.path.join(SHOTS, "boxes-first.png"))
        self.shots += 1
        h.key(answer)
        h.wait_for(lambda: wid not in h.stacking(), 10, "the box to close")
        if last:
            # The handler is done: the keyboard is back in the card window.
            h.wait_for(lambda: h.active_window() == self.card, 10, "the card window active")

    def button(self, caption):
        h.press(h.find(self.dlg, "push button", caption))


def handlers(bindir):
    with h.Program(bindir, env=clock("2026-12-08 10:01:00")) as p:
        p.sql("insert into daily_tab values('2026-12-07', 'a');"
              "insert into daily_tab values('2026-12-08', 'b');"
              "insert into cardtab (full_nam, o_phone) values ('" + "".join(
                  chr(ord(c) ^ 0x3B) for c in "张三") + "', '1');")
        p.start()
        d = Desk(p.app())
        dlg = d.open_cards()

        d.button("添加名片")
        d.box("姓名不能为空")
        d.box("单位联系电话不能为空！")
        d.box("名片未保存，清重新输入相关信息！", last=True)

        h.set_text(h.find(dlg, "text", "姓  名"), "张三")
        h.press(h.find(dlg, "page tab", "联络资料"))
        h.set_text(h.find(dlg, "text", "单位电话"), "010-1234")
        h.press(h.find(dlg, "page tab", "基本资料"))
        d.button("添加名片")
        d.box("相同姓名的人已存在，是否增加！")  # Return: 是
        d.box("纪录被成功增加", last=True)

        d.button("名片查询")
        h.wait_for(lambda: h.showing(h.find(dlg, "table", "名片列表")), 10, "the list's page")
        h.set_text(h.find(dlg, "text", "姓名："), "张")
        d.button("查  找")
        grid = h.find(dlg, "table", "名片列表")
        # The window opened listing the first card alone; the look-up lists both.
        h.wait_for(lambda: grid.queryTable().nRows == 2, 10, "both cards listed")
        cell = grid.queryTable().getAccessibleAt(0, 1)
        x, y, w, hh = cell.queryComponent().getExtents(h.pyatspi.DESKTOP_COORDS)
        h.Atspi.generate_mouse_event(x + w // 2, y + hh // 2, "b1c")
        h.wait_for(lambda: h.text_of(h.find(dlg, "text", "姓  名")) == "张三", 10, "the card")
        d.button("名片修改")
        d.box("确定修改：张三 的通讯地址！", "Escape", last=True)  # 取消: nothing more
        d.button("名片修改")
        d.box("确定修改：张三 的通讯地址！")
        d.box("修改成功！", last=True)
        d.button("删除名片")
        d.box("确定删除名片—姓名：张三")
        d.box("记录被成功删除", last=True)
        serno = h.text_of(h.find(dlg, "text", "序号"))
        d.button("名片修改")  # the card is gone: a run error
        d.box("确定修改：张三 的通讯地址！")
        d.box("程序运行错误：3021没有序号为 %s 的名片，修改未保存。" % serno, last=True)
        d.button("查  找")  # one card is left: stepping on from it reaches the end
        h.wait_for(lambda: grid.queryTable().nRows == 1, 10, "one card listed")
        d.button("下一条")
        d.box("已经是最后一条记录，请重新查询！", last=True)


def reminder(bindir):
    with h.Program(bindir, env=clock("2026-12-08 09:19:45")) as p:
        p.sql("insert into daily_tab values('2026-12-07', 'a');"
              "insert into meet_tab(record_date, meet_cont, meet_addr, meet_date, go_hour,"
              " go_second) values('2026-12-01', '项目评审', '三楼', '2026-12-08', 9, 30);")
        p.start()
        d = Desk(p.app())
        d.open_cards()
        # The tick at 9:20 announces the meeting in a system-modal box.
        d.box("\n1、请您在 9： 30分钟，参加项目评审！", timeout=60)


def journey(bindir):
    handlers(bindir)
    reminder(bindir)


if __name__ == "__main__":
    h.main(journey)
