"""The reminder tick in the real program under a set wall clock: a meeting due soon is
announced, and a missing entry for yesterday opens the diary window by itself, where it
is written."""
import os
import subprocess

import harness as h

# Ten times as fast: a tick every 3 s of real time.
CLOCK = "@2026-12-08 09:19:05 x10"
TITLE = "澄桐工作管理"


def reminder(bindir):
    with h.Program(bindir, faketime=CLOCK) as p:
        p.sql("insert into daily_tab values('2026-12-07', 'a');"
              "insert into daily_tab values('2026-12-08', 'b');"
              "insert into meet_tab(record_date, meet_cont, meet_addr, meet_date, go_hour, go_second)"
              " values('2026-12-01', '项目评审', '三楼', '2026-12-08', 9, 30);"
              "insert into meet_tab(record_date, meet_cont, meet_addr, meet_date, go_hour, go_second)"
              " values('2026-12-01', '下午的会', '三楼', '2026-12-08', 14, 0);")
        p.start()
        app = p.app()
        h.window(app, TITLE, role="frame")
        text = h.answer(app, TITLE, timeout=45)
        h.check(text == "\n1、请您在 9： 30分钟，参加项目评审！",
                "the tick at 9:20 announces the 9:30 meeting: %r" % text)


def yesterday(bindir):
    # Sixty times as fast (a tick every half second, a reminder minute every ten
    # seconds), so that later ticks come soon.
    with h.Program(bindir, faketime="@2026-12-08 09:19:05 x60") as p:
        p.start()
        app = p.app()
        text = h.answer(app, TITLE, timeout=45)
        h.check(text == "请记昨天的工作日记！", "a tick asks for yesterday's entry: %r" % text)
        diary = h.window(app, "工作日志", role="dialog")
        date = h.find(diary, "text", "日 期：")
        h.check(h.text_of(date) == "2026-12-07", "the diary window shows yesterday's date")
        h.check(h.find(diary, "radio button", "昨日").getState().contains(h.pyatspi.STATE_CHECKED),
                "昨日 is chosen")
        h.check(not h.find(diary, "radio button", "新增").getState().contains(
            h.pyatspi.STATE_ENABLED), "新增 is disabled")
        h.set_text(h.find(diary, "text", "日记内容"), "补写昨天：拜访客户 O'Brien")
        h.press(h.find(diary, "push button", "确   定"))
        text = h.answer(app, TITLE)
        h.check(text == "日记记录成功！", "saved: %r" % text)
        h.wait_for(lambda: h.text_of(date) == "2026-12-08", 5, "today's date after saving")
        rows = p.sql("select daily_date || '|' || daily_desc from daily_tab;")
        h.check(rows == "2026-12-07|补写昨天：拜访客户 O'Brien", "the row is stored: %r" % rows)
        # Closed, it stays closed: later ticks find the entry. Meetings due all day make
        # the tick of each reminder minute show a box before its diary check; once the
        # second such box is up, the tick of the first has made its check too.
        h.close_window("工作日志")
        h.no_window(app, "工作日志")
        # The main window is told apart before any reminder can come up with its title.
        main = h.desktop_window(TITLE)
        p.sql("".join("insert into meet_tab(record_date, meet_cont, meet_addr, meet_date,"
                      " go_hour, go_second) values('2026-12-08', '例会', '三楼', '2026-12-08',"
                      " %d, %d);" % (hour, minute) for hour in range(9, 24)
                      for minute in range(0, 60, 10)))
        for n in (1, 2):
            box = h.desktop_window(TITLE, 60, other_than=(main,))
            h.check(all(w.name != "工作日志" for w in h.windows(app)),
                    "no diary window once written (reminder %d)" % n)
            h.answer(app, TITLE)
            h.wait_for(lambda: box not in h.stacking(), 10, "the reminder to close")


def today(bindir):
    """Reopened in the evening, the diary shows today's entry; what is typed is added to it,
    and the text it replaces stays in the history that ctdb lists."""
    with h.Program(bindir, faketime="@2026-12-08 18:40:00") as p:
        p.sql("insert into daily_tab values('2026-12-07', 'a');"
              "insert into daily_tab values('2026-12-08', 'am: weekly report');")
        p.start()
        app = p.app()
        frame = h.window(app, TITLE, role="frame")
        h.press(h.menu_item(frame, "功能模块", "日志纪录"))
        diary = h.window(app, "工作日志", role="dialog")
        log = h.find(diary, "text", "日记内容")
        h.eventually(lambda: h.text_of(log) == "am: weekly report",
                     "the diary opens with today's stored entry")
        h.eventually(lambda: h.focused(log), "the focus is in the diary text")
        h.key("ctrl+End", "Return")
        h.typed(log, "pm: meeting", "am: weekly report\npm: meeting")
        h.press(h.find(diary, "push button", "确   定"))
        text = h.answer(app, TITLE)
        h.check(text == "日记记录成功！", "saved: %r" % text)
        rows = p.sql("select daily_desc from daily_tab where daily_date = '2026-12-08';")
        h.check(rows == "am: weekly report\npm: meeting", "the whole edited entry is stored: %r"
                % rows)
        listing = subprocess.run([os.path.join(p.dir, "ctdb"), "history", "2026-12-08", p.dir],
                                 capture_output=True, timeout=30).stdout.decode()
        h.check("第 1 号" in listing and "am: weekly report" in listing,
                "ctdb history lists the text it replaced: %r" % listing)


def journey(bindir):
    reminder(bindir)
    yesterday(bindir)
    today(bindir)


if __name__ == "__main__":
    h.main(journey)
