"""Every window and box reaches the window manager with its title exactly as designed
(_NET_WM_NAME, as the desktop shows it), with and without a database."""
import os

import harness as h

TITLE = "澄桐工作管理"


def check_title(title, other_than=()):
    wid = h.desktop_window(title, other_than=other_than)
    h.check(h.wm_name(wid) == title, "the desktop shows %r" % title)
    return wid


def leave_by_button(app, window, button):
    h.press(h.find(h.window(app, window), "push button", button))
    h.no_desktop_window(window)


def journey(bindir):
    with h.Program(bindir) as p:
        p.sql("insert into daily_tab values('2000-01-01', 'x');")
        p.start()
        app = p.app()
        frame = h.window(app, TITLE, role="frame")
        main = check_title(TITLE)

        h.press(h.menu_item(frame, "功能模块", "名片管理"))
        check_title("名片管理")
        dlg = h.window(app, "名片管理")
        h.press(h.find(dlg, "push button", "添加名片"))  # nothing typed: the boxes say so
        for text in ("姓名不能为空", "单位联系电话不能为空！", "名片未保存，清重新输入相关信息！"):
            box = check_title(TITLE, (main,))
            h.check(h.answer(app, TITLE) == text, "box %r under the default title" % text)
            h.wait_for(lambda: box not in h.stacking(), 10, "the box to close")
        leave_by_button(app, "名片管理", "退  出")

        h.press(h.menu_item(frame, "功能模块", "会议约会"))
        check_title("会议/约会")
        leave_by_button(app, "会议/约会", "退  出")

        h.press(h.menu_item(frame, "功能模块", "日志纪录"))
        # Yesterday's entry is missing: the system-modal box comes first.
        check_title(TITLE, (main,))
        h.answer(app, TITLE)
        check_title("工作日志")
        h.close_window("工作日志")
        h.no_desktop_window("工作日志")

        h.press(h.menu_item(frame, "帮助", "操作指南"))
        check_title("澄桐工作管理软件使用说明书")
        h.close_window("澄桐工作管理软件使用说明书")
        h.no_desktop_window("澄桐工作管理软件使用说明书")

        h.press(h.menu_item(frame, "帮助", "版本信息"))
        check_title("关于 澄桐工作管理")
        leave_by_button(app, "关于 澄桐工作管理", "确定")
        names = [h.wm_name(w) for w in h.stacking()]
        h.check(names == [TITLE], "only the main window is left: %s" % names)

    with h.Program(bindir, create_db=False) as p:
        p.start()
        app = p.app()
        check_title("Connection Error")
        h.screenshot(os.path.join(os.environ.get("CT_E2E_SHOTS", "/tmp"), "titles-box.png"))
        h.answer(app, "Connection Error")
        check_title(TITLE)  # the box: the main window is shown after it
        h.check(h.answer(app, TITLE) == "数据连接错误", "then 数据连接错误")
        frame = h.window(app, TITLE, role="frame")
        h.press(h.menu_item(frame, "功能模块", "名片管理"))
        check_title("Connection Error")
        h.answer(app, "Connection Error")
        check_title("Database not found!")
        h.answer(app, "Database not found!")
        check_title("名片管理")


if __name__ == "__main__":
    h.main(journey)
