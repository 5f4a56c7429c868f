"""A stored name longer than the 10 characters that can be typed is shown whole, by a
click in the list and by stepping, and the change and delete questions name it whole;
typing past the limit is refused."""
import harness as h

TITLE = "澄桐工作管理"
FAKETIME_LIB = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
LONG = "阿卜杜勒·穆罕默德·伊本·拉"  # 14 characters


def coded(name):
    return "".join(chr(ord(c) ^ 0x3B) for c in name)


def journey(bindir):
    env = {"LD_PRELOAD": FAKETIME_LIB, "FAKETIME": "@2026-12-08 10:01:00",
           "DONT_FAKE_MONOTONIC": "1"}
    with h.Program(bindir, env=env) as p:
        p.sql("insert into daily_tab values('2026-12-07', 'a');"
              "insert into daily_tab values('2026-12-08', 'b');"
              "insert into cardtab (full_nam, o_phone) values ('%s', '1');"
              "insert into cardtab (full_nam, o_phone) values ('%s', '2');"
              % (coded("张三"), coded(LONG)))
        p.start()
        app = p.app()
        main = h.desktop_window(TITLE)
        frame = h.window(app, TITLE, role="frame")
        h.press(h.menu_item(frame, "功能模块", "名片管理"))
        h.desktop_window("名片管理")
        dlg = h.window(app, "名片管理")
        name = h.find(dlg, "text", "姓  名")

        h.press(h.find(dlg, "push button", "名片查询"))
        h.press(h.find(dlg, "push button", "查  找"))
        grid = h.find(dlg, "table", "名片列表")
        cell = h.wait_for(lambda: (lambda c: c if c.name == LONG else None)(
            grid.queryTable().getAccessibleAt(1, 1)), 10, "the long name in the list")
        x, y, w, hh = cell.queryComponent().getExtents(h.pyatspi.DESKTOP_COORDS)
        h.Atspi.generate_mouse_event(x + w // 2, y + hh // 2, "b1c")
        h.wait_for(lambda: h.text_of(name) == LONG, 10, "the long name in its box")
        h.check(True, "a click shows the 14-character name whole")

        h.press(h.find(dlg, "page tab", "基本资料"))
        def question(button):
            h.press(h.find(dlg, "push button", button))
            box = h.desktop_window(TITLE, other_than=(main,))
            text = h.answer(app, TITLE, "取消")
            h.wait_for(lambda: box not in h.stacking(), 10, "the question to close")
            return text

        h.check(question("名片修改") == "确定修改：%s 的通讯地址！" % LONG,
                "the change question names it whole")
        h.check(question("删除名片") == "确定删除名片—姓名：%s" % LONG,
                "the delete question names it whole")

        h.press(h.find(dlg, "push button", "上一条"))
        h.wait_for(lambda: h.text_of(name) == "张三", 10, "the first card")
        h.press(h.find(dlg, "push button", "下一条"))
        h.wait_for(lambda: h.text_of(name) == LONG, 10, "the long name again")
        h.check(True, "stepping shows it whole")

        h.focus(name)
        h.key("End")
        h.type_text("x")
        h.check(h.text_of(name) == LONG, "typing cannot lengthen it")
        h.key("BackSpace")
        h.type_text("xy")
        h.check(h.text_of(name) == LONG[:13], "nor lengthen it again once shortened: %r"
                % h.text_of(name))
        h.key("ctrl+a", "BackSpace")
        h.type_text("Abdul Karim Ali")
        h.check(h.text_of(name) == "Abdul Kari", "ten typed characters, no more: %r"
                % h.text_of(name))


if __name__ == "__main__":
    h.main(journey)
