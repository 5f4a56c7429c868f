"""The main window as a screen reader sees it; a second start leaves one copy."""
import harness as h


def journey(bindir):
    with h.Program(bindir) as p:
        p.start()
        app = p.app()
        frame = h.window(app, "澄桐工作管理", role="frame")
        h.check(frame is not None, "main window caption 澄桐工作管理")
        bar = h.find(frame, "menu bar")
        menus = [bar.getChildAtIndex(i).name for i in range(bar.childCount)]
        h.check(menus == ["File", "功能模块", "帮助"], "menus File, 功能模块, 帮助: %s" % menus)
        items = {
            "File": ["Open", "Print", "---------", "退出"],
            "功能模块": ["名片管理", "会议约会", "日志纪录"],
            "帮助": ["操作指南", "版本信息"],
        }
        for menu, want in items.items():
            got = [a.name for a in h.menu_items(frame, menu)]
            h.check(got == want, "items of %s: %s" % (menu, got))
        exit_item = h.menu_item(frame, "File", "退出")
        h.check(not exit_item.getState().contains(h.pyatspi.STATE_ENABLED), "退出 is disabled")
        for caption in ("名片管理", "约会会议", "工作日记"):
            b = h.find(frame, "push button", caption)
            h.check(b.getState().contains(h.pyatspi.STATE_FOCUSABLE),
                    "shortcut %s is a focusable button" % caption)

        code = p.start_second()
        h.check(code == 0, "a second start ends at once (exit %d)" % code)
        h.check(len(h.apps()) == 1, "one copy runs after a second start")
        h.check(p.proc.poll() is None, "the first copy still runs")

        # A desktop without a session manager ends programs with SIGTERM.
        p.proc.terminate()
        code = p.proc.wait(timeout=10)
        h.check(code == 0, "SIGTERM ends the program cleanly (exit %d)" % code)

    with h.Program(bindir, create_db=False) as p:
        p.start()
        app = p.app()
        text = h.answer(app, "Connection Error")
        h.check("ctsource.mdb" in text and "找不到" in text and "ctdb init" in text,
                "missing database: Connection Error names the file and ctdb init: %r" % text)
        text = h.answer(app, "澄桐工作管理")
        h.check(text == "数据连接错误", "then 数据连接错误: %r" % text)
        frame = h.window(app, "澄桐工作管理", role="frame")
        card = h.menu_item(frame, "功能模块", "名片管理")
        h.check(card.getState().contains(h.pyatspi.STATE_ENABLED),
                "the main window opens with 功能模块 usable")


if __name__ == "__main__":
    h.main(journey)
