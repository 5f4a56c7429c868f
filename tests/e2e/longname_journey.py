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

        grid = h.find(dlg, "table", "名片列表")

        def lookup(typed, rows):
            """A look-up by name; waits for the list it fills (a row count it did not have)."""
            h.press(h.find(dlg, "push button", "名片查询"))
            h.wait_for(lambda: h.showing(grid), 10, "the list's page")
            h.set_text(h.find(dlg, "text", "姓名："), typed)
            h.press(h.find(dlg, "push button", "查  找"))
            h.wait_for(lambda: grid.queryTable().nRows == len(rows) and [
                grid.queryTable().getAccessibleAt(r, 1).name for r in range(len(rows))] == rows,
                10, "the list %s" % rows)

        h.check(grid.queryTable().nRows == 2, "the window opens with both cards listed")
        lookup("阿卜", [LONG])
        cell = grid.queryTable().getAccessibleAt(0, 1)
        x, y, w, hh = cell.queryComponent().getExtents(h.pyatspi.DESKTOP_COORDS)
        h.Atspi.generate_mouse_event(x + w // 2, y + hh // 2, "b1c")
        h.eventually(lambda: h.text_of(name) == LONG, "a click shows the 14-character name whole")

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

        lookup("", ["张三", LONG])
        h.press(h.find(dlg, "push button", "上一条"))
        h.wait_for(lambda: h.text_of(name) == "张三", 10, "the first card")
        h.press(h.find(dlg, "push button", "下一条"))
        h.eventually(lambda: h.text_of(name) == LONG, "stepping shows it whole")

        # Each check below types one more key after those it is about, whose effect shows
        # that the program has handled them.
        h.press(h.find(dlg, "page tab", "基本资料"))
        h.focus(name)
        h.key("End")
        h.type_text("x")
        h.key("BackSpace")  # takes the x away, if it went in
        h.eventually(lambda: h.text_of(name) == LONG[:13], "typing cannot lengthen it")
        h.type_text("xy")
        h.key("BackSpace")
        h.eventually(lambda: h.text_of(name) == LONG[:12],
                     "nor lengthen it again once shortened")
        h.key("ctrl+a", "BackSpace")
        h.type_text("Abdul Karim Ali")
        h.key("BackSpace")
        h.type_text("Z")
        h.eventually(lambda: h.text_of(name) == "Abdul KarZ", "ten typed characters, no more")

if __name__ == "__main__":
    h.main(journey)
