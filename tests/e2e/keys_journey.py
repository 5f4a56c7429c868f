"""Keys as on the designed desktop, by real key strokes under a window manager: Esc
closes none of the card, meeting and diary windows; Enter on a focused button presses it
and does nothing in a text box; the diary opens with the focus in its text, where Tab
moves the focus on; the meeting grid hidden under its picture takes no focus.

A key that should do nothing is followed by one whose effect shows (a typed letter, a Tab):
once that effect is seen, the program has handled the key before it."""
import harness as h

TITLE = "澄桐工作管理"
FAKETIME_LIB = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"


def stays(title, wid, what):
    """After a key and the one after it that shows it was handled."""
    h.check(wid in h.desktop_windows(title), "%s: %s stays open" % (what, title))


def journey(bindir):
    env = {"LD_PRELOAD": FAKETIME_LIB, "FAKETIME": "@2026-12-08 10:01:00",
           "DONT_FAKE_MONOTONIC": "1"}
    with h.Program(bindir, env=env) as p:
        p.sql("insert into daily_tab values('2026-12-07', 'a');")
        p.start()
        app = p.app()
        main = h.desktop_window(TITLE)
        frame = h.window(app, TITLE, role="frame")

        # Enter on the focused card shortcut of the main window opens the card window.
        h.activate(main)
        h.focus(h.find(frame, "push button", "名片管理"))
        h.key("Return")
        card = h.eventually(lambda: h.desktop_windows("名片管理"),
                            "Enter on the focused shortcut opens the card window")[-1]
        dlg = h.window(app, "名片管理")
        name = h.find(dlg, "text", "姓  名")
        h.focus(name)
        h.typed(name, "Li")
        h.key("Escape")
        h.typed(name, "x")
        stays("名片管理", card, "Esc in a text box")
        h.check(h.text_of(name) == "Lix", "the typed name is kept")
        h.key("Return")
        h.typed(name, "y")
        stays("名片管理", card, "Enter in a text box")
        h.check(h.desktop_windows(TITLE) == [main], "Enter in a text box shows no box")
        leave = h.find(dlg, "push button", "退  出")
        h.focus(leave)
        h.key("Escape")
        h.key_moving_focus(dlg, "Tab")
        stays("名片管理", card, "Esc on a button")
        h.focus(leave)
        h.key("Return")
        h.eventually(lambda: not h.desktop_windows("名片管理"),
                     "Enter on the focused 退  出 closes the card window")

        h.press(h.menu_item(frame, "功能模块", "会议约会"))
        meet = h.desktop_window("会议/约会")
        dlg = h.window(app, "会议/约会")
        grid = h.find(dlg, "table", "会议列表")
        h.focus(h.find(dlg, "text", "会议主题："))
        roles = [h.key_moving_focus(dlg, "Tab").getRoleName() for _ in range(22)]
        h.check(not h.focused(grid) and not any(r.startswith("table") for r in roles),
                "Tab goes round the meeting window without the hidden grid: %s" % roles)
        h.key("Escape")
        h.key_moving_focus(dlg, "Tab")
        stays("会议/约会", meet, "Esc")
        h.focus(h.find(dlg, "push button", "退  出"))
        h.key("Return")
        h.eventually(lambda: not h.desktop_windows("会议/约会"),
                     "Enter on the focused 退  出 closes the meeting window")

        h.press(h.menu_item(frame, "功能模块", "日志纪录"))
        diary = h.desktop_window("工作日志")
        dlg = h.window(app, "工作日志")
        text = h.find(dlg, "text", "日记内容")
        h.eventually(lambda: h.active_window() == diary and h.focused(text),
                     "the diary opens with the focus in its text")
        h.typed(text, "morning")
        h.key_moving_focus(dlg, "Tab")
        h.check(h.text_of(text) == "morning" and not h.focused(text),
                "Tab moves the focus on and types nothing: %r" % h.text_of(text))
        h.key("Escape")
        h.key_moving_focus(dlg, "Tab")
        stays("工作日志", diary, "Esc")
        h.close_window("工作日志")
        h.eventually(lambda: not h.desktop_windows("工作日志"), "the close box closes the diary window")

if __name__ == "__main__":
    h.main(journey)
