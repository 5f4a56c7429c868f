"""With Qt's scale factor 2 on a 1280×800 screen every window and box of the program lies
wholly on the screen, frame and close box included."""
# screen: 1280x800x24
import os

import harness as h

TITLE = "澄桐工作管理"
FAKETIME_LIB = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
SHOTS = os.environ.get("CT_E2E_SHOTS", "/tmp")


def on_screen(title, wid=None):
    wid = wid or h.desktop_window(title)
    sw, sh = h.screen_size()
    x, y, w, hh = h.wait_for(lambda: (lambda f: f if f[2] > 1 else None)(h.frame(wid)), 10,
                             "the frame of %r" % title)
    h.check(x >= 0 and y >= 0 and x + w <= sw and y + hh <= sh,
            "%s lies on the %dx%d screen: %d,%d %dx%d" % (title, sw, sh, x, y, w, hh))
    return wid


def journey(bindir):
    env = {"LD_PRELOAD": FAKETIME_LIB, "FAKETIME": "@2026-12-08 10:01:00",
           "DONT_FAKE_MONOTONIC": "1", "QT_SCALE_FACTOR": "2"}
    with h.Program(bindir, env=env) as p:
        p.sql("insert into daily_tab values('2026-12-07', 'a');"
              "insert into daily_tab values('2026-12-08', 'b');")
        p.start()
        app = p.app()
        h.check(h.screen_size() == (1280, 800), "the screen is 1280x800")
        main = on_screen(TITLE)
        h.screenshot(os.path.join(SHOTS, "hidpi-main.png"))
        frame = h.window(app, TITLE, role="frame")

        for menu, item, title, leave in (
                ("功能模块", "名片管理", "名片管理", "退  出"),
                ("功能模块", "会议约会", "会议/约会", "退  出"),
                ("功能模块", "日志纪录", "工作日志", None),
                ("帮助", "操作指南", "澄桐工作管理软件使用说明书", None),
                ("帮助", "版本信息", "关于 澄桐工作管理", "确定")):
            h.press(h.menu_item(frame, menu, item))
            on_screen(title)
            if title == "名片管理":
                dlg = h.window(app, title)
                h.press(h.find(dlg, "push button", "添加名片"))
                box = h.desktop_window(TITLE, other_than=(main,))
                on_screen("the box 姓名不能为空", box)
                h.screenshot(os.path.join(SHOTS, "hidpi-box.png"))
                for _ in range(3):
                    box = h.desktop_window(TITLE, other_than=(main,))
                    h.answer(app, TITLE)
                    h.wait_for(lambda: box not in h.stacking(), 10, "the box to close")
            if title == "澄桐工作管理软件使用说明书":
                h.screenshot(os.path.join(SHOTS, "hidpi-help.png"))
            if leave:
                h.press(h.find(h.window(app, title), "push button", leave))
            else:
                h.close_window(title)
            h.no_desktop_window(title)


if __name__ == "__main__":
    h.main(journey)
