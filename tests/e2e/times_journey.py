"""Departure times typed with real key strokes are stored exactly as typed: 1 and 5 stay
1 and 5 (the hour and minute boxes complete nothing); picking from their lists still
works."""
import harness as h

TITLE = "澄桐工作管理"
WINDOW = "会议/约会"
FAKETIME_LIB = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"


def journey(bindir):
    env = {"LD_PRELOAD": FAKETIME_LIB, "FAKETIME": "@2026-12-08 10:01:00",
           "DONT_FAKE_MONOTONIC": "1"}
    with h.Program(bindir, env=env) as p:
        p.sql("insert into daily_tab values('2026-12-07', 'a');"
              "insert into daily_tab values('2026-12-08', 'b');")
        p.start()
        app = p.app()
        main = h.desktop_window(TITLE)
        frame = h.window(app, TITLE, role="frame")
        h.press(h.menu_item(frame, "功能模块", "会议约会"))
        dlg = h.window(app, WINDOW)
        h.desktop_window(WINDOW)
        hour = h.find(dlg, "text", "出发时间：")
        minute = h.find(dlg, "text", "出发时间（分）")

        def add(topic, want_hour, want_minute):
            h.set_text(h.find(dlg, "text", "会议主题："), topic)
            h.set_text(h.find(dlg, "text", "会议日期："), "2026-12-09")
            h.check(h.text_of(hour) == want_hour and h.text_of(minute) == want_minute,
                    "the boxes read %r and %r" % (h.text_of(hour), h.text_of(minute)))
            h.press(h.find(dlg, "push button", "新  增"))
            h.desktop_window(TITLE, other_than=(main,))
            h.check(h.answer(app, TITLE) == "纪录增加成功！", "the meeting %s is added" % topic)
            h.wait_for(lambda: h.text_of(hour) == "", 10, "the emptied hour box")

        h.focus(hour)
        h.typed(hour, "1")
        h.focus(minute)
        h.typed(minute, "5")
        add("typed", "1", "5")

        h.focus(hour)
        h.typed(hour, "12")
        h.key_moving_focus(dlg, "Tab")  # on to the minute box
        h.check(h.focused(minute), "Tab goes on to the minute box")
        h.typed(minute, "3")
        add("typed two", "12", "3")

        # From the lists: the third hour and the fourth minute.
        h.focus(hour)
        h.key("F4", "Home", "Down", "Down", "Return")
        h.wait_for(lambda: h.text_of(hour) != "", 10, "an hour picked")
        h.focus(minute)
        h.key("F4", "Home", "Down", "Down", "Down", "Return")
        h.wait_for(lambda: h.text_of(minute) != "", 10, "a minute picked")
        add("picked", "8", "15")

        rows = p.sql("select meet_cont || '|' || go_hour || '|' || go_second from meet_tab"
                     " order by meet_serno;")
        h.check(rows.split("\n") == ["typed|1|5", "typed two|12|3", "picked|8|15"],
                "stored as typed and as picked: %r" % rows)


if __name__ == "__main__":
    h.main(journey)
