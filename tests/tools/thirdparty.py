#!/usr/bin/python3
"""Files ctdb writes, read by programs we did not write: Python's vobject (vCard), khard
(the vCard address book), icalendar (iCalendar), cmark (the CommonMark reference, for the
diary's Markdown) and csv (UTF-8 with BOM and GB18030); and files they write, read by ctdb.

    thirdparty.py CTDB
"""
import csv
import datetime
import html
import io
import os
import re
import subprocess
import sys
import tempfile

import icalendar
import vobject

CTDB = sys.argv[1]
HEADINGS = ["序号", "姓名", "单位", "职称", "性别", "民族", "年龄", "血型", "单位地址", "办公室电话",
            "传真号码", "单位邮编", "单位网址", "EMAIL地址", "手机", "呼机", "家庭地址", "家庭电话",
            "家庭邮编", "QQ号", "网名", "说明"]
TRICKY = "O'Brien, \"Bob\"; 分号\\反斜杠 😀"
CARDS = [
    {"姓名": TRICKY, "单位": "公司;部门,分部", "职称": "经理", "性别": "女", "民族": "汉",
     "年龄": "40", "血型": "O", "单位地址": "北京市海淀区, 中关村", "办公室电话": "010-1234",
     "传真号码": "010-1235", "单位邮编": "100080", "单位网址": "https://example.cn/a,b",
     "EMAIL地址": "o@example.cn", "手机": "138 0000 0000", "呼机": "95555", "家庭地址": "家;里",
     "家庭电话": "010-9999", "家庭邮编": "100000", "QQ号": "12345", "网名": "网名,二",
     "说明": "第一行\n第二行\n\n第四行"},
    {"姓名": "一二三四五六七八九十"},  # ten characters
    {"姓名": "欧阳一二三四五六七八九十", "家庭地址": "很长的地址" * 30},  # longer than the box
    {"姓名": "Mr. Michael Angstadt Jr.", "手机": "+1 555-555-1234", "QQ号": "10001"},
]
MEETINGS = [
    ["", "2024-03-01", "周会, \"全体\"; 总结\n第二行😀", "三楼;会议室", "2024-03-05", "9：05"],
    ["", "2024-03-01", "全天的会", "", "2024-03-06", ""],
    ["", "2024-03-02", "O'Hare", "机场", "2024-12-31", "23：59"],
]

failures = []


def check(what, got, want):
    if got != want:
        failures.append("%s:\n  got  %r\n  want %r" % (what, got, want))


def ctdb(*args):
    r = subprocess.run([CTDB] + list(args), capture_output=True, env=dict(os.environ, TZ="Asia/Shanghai"))
    if r.returncode != 0:
        raise SystemExit("ctdb %s failed (%d): %s" % (" ".join(args), r.returncode, r.stderr.decode()))
    return r


def escape_md(line):
    """A line as the diary's Markdown writes it (the same rules, written apart here)."""
    lead = len(line) - len(line.lstrip(" \t"))
    body = line[lead:]
    out = "".join("&#%d;" % ord(c) for c in line[:lead])
    for i, c in enumerate(body):
        if c in "\\*_`[]<>&~|#!" or (i == 0 and c in "-+=>"):
            out += "\\"
        elif c in ".)" and body[:i].isdigit() and 0 < i <= 9:
            out += "\\"
        out += c
    return out


def card_rows(cards):
    return [[str(i + 1)] + [c.get(h, "") for h in HEADINGS[1:]] for i, c in enumerate(cards)]


def main():
    work = tempfile.mkdtemp(prefix="ct-thirdparty-")
    ctdb("init", work)

    # Cards written by Python's csv module (UTF-8 with a byte-order mark) into the database.
    src = os.path.join(work, "from-python.csv")
    with open(src, "w", encoding="utf-8-sig", newline="") as f:
        w = csv.writer(f)
        w.writerow(HEADINGS)
        w.writerows(card_rows(CARDS))
    ctdb("import", "cards", src, work)

    # vCard 4.0 read by vobject.
    vcf = os.path.join(work, "cards.vcf")
    ctdb("export", "cards", vcf, work)
    with open(vcf, encoding="utf-8", newline="") as f:
        text = f.read()
    check("CRLF line ends", text.count("\r\n"), text.count("\n"))
    check("lines of at most 75 octets", [l for l in text.split("\r\n") if len(l.encode()) > 75], [])
    cards = list(vobject.readComponents(text))
    check("card count", len(cards), len(CARDS))
    first = cards[0]
    check("FN", first.fn.value, TRICKY)
    check("ORG", first.org.value, ["公司;部门,分部"])
    check("TITLE", first.title.value, "经理")
    check("NOTE", first.note.value, CARDS[0]["说明"])
    check("EMAIL", first.email.value, "o@example.cn")
    check("NICKNAME", first.nickname.value, "网名,二")
    check("X-QQ", first.contents["x-qq"][0].value, "12345")
    check("X-CTWORK-NATION", first.contents["x-ctwork-nation"][0].value, "汉")
    phones = {",".join(t.params["TYPE"]): t.value for t in first.contents["tel"]}
    check("TEL", phones, {"work": "010-1234", "work,fax": "010-1235", "cell": "138 0000 0000",
                          "pager": "95555", "home": "010-9999"})
    adr = {a.params["TYPE"][0]: (a.value.street, a.value.code) for a in first.contents["adr"]}
    check("ADR", adr, {"work": ("北京市海淀区, 中关村", "100080"), "home": ("家;里", "100000")})
    check("names", [c.fn.value for c in cards], [c["姓名"] for c in CARDS])
    check("long address", cards[2].adr.value.street, CARDS[2]["家庭地址"])
    n = cards[3].n.value
    check("N of a western name", (n.prefix, n.given, n.family, n.suffix),
          ("Mr.", "Michael", "Angstadt", "Jr."))
    uids = [c.uid.value for c in cards]
    check("a UID on every card, each its own", len(set(uids)), len(CARDS))
    again = os.path.join(work, "cards-again.vcf")
    ctdb("export", "cards", again, work)
    with open(again, encoding="utf-8", newline="") as f:
        check("the same UIDs in every export", [c.uid.value for c in vobject.readComponents(f.read())],
              uids)

    # khard: the cards as an address book of one file each.
    book = os.path.join(work, "book")
    os.mkdir(book)
    for c in cards:
        with open(os.path.join(book, c.uid.value + ".vcf"), "w", encoding="utf-8") as f:
            f.write(c.serialize())
    config = os.path.join(work, "khard.conf")
    with open(config, "w") as f:
        f.write("[addressbooks]\n[[book]]\npath = %s\n[general]\ndefault_action = list\n" % book)
    listed = subprocess.run(["khard", "-c", config, "list", "--parsable"], capture_output=True,
                            text=True)
    check("khard reads every card", sorted(l.split("\t")[0] for l in listed.stdout.splitlines()),
          sorted(uids))
    check("khard complains of nothing", listed.stderr, "")
    shown = subprocess.run(["khard", "-c", config, "show", "--format", "yaml", "uid:" + uids[3]],
                           capture_output=True, text=True).stdout
    for line in ("Prefix: Mr.", "First name: Michael", "Last name: Angstadt", "Suffix: Jr."):
        check("khard: " + line, line in shown, True)

    # CSV read by Python: UTF-8 with a byte-order mark, and GB18030.
    for name, options, encoding in (("cards.csv", [], "utf-8-sig"),
                                    ("cards-gb.csv", ["--encoding", "gb18030"], "gb18030")):
        path = os.path.join(work, name)
        ctdb("export", "cards", path, work, *options)
        with open(path, "rb") as f:
            raw = f.read()
        check(name + " byte-order mark", raw.startswith(b"\xef\xbb\xbf"), encoding == "utf-8-sig")
        rows = list(csv.reader(io.StringIO(raw.decode(encoding), newline="")))
        check(name + " heading", rows[0], HEADINGS)
        check(name + " rows", rows[1:], card_rows(CARDS))

    # Meetings written by Python in GB18030 (no mark: found by ctdb), out as iCalendar.
    src = os.path.join(work, "meetings-gb.csv")
    with open(src, "w", encoding="gb18030", newline="") as f:
        w = csv.writer(f)
        w.writerow(["序号", "纪录日期", "会议主题", "会议地址", "会议日期", "出发时间"])
        w.writerows(MEETINGS)
    ctdb("import", "meetings", src, work)
    ics = os.path.join(work, "meetings.ics")
    ctdb("export", "meetings", ics, work)
    with open(ics, "rb") as f:
        cal = icalendar.Calendar.from_ical(f.read())
    events = [c for c in cal.walk() if c.name == "VEVENT"]
    check("event count", len(events), 3)
    check("SUMMARY", [str(e["SUMMARY"]) for e in events], [m[2] for m in MEETINGS])
    check("LOCATION", [str(e.get("LOCATION", "")) for e in events], [m[3] for m in MEETINGS])
    event_uids = [str(e["UID"]) for e in events]
    check("a UID on every event, each its own", len(set(event_uids)), 3)
    check("UIDs of this database", all(u.endswith("-meet-%d" % (i + 1)) for i, u in enumerate(event_uids)),
          True)
    starts = [e.decoded("DTSTART") for e in events]
    shanghai = datetime.timezone(datetime.timedelta(hours=8))
    check("DTSTART 1", starts[0], datetime.datetime(2024, 3, 5, 9, 5, tzinfo=shanghai))
    check("DTSTART 2 (a whole day)", starts[1], datetime.date(2024, 3, 6))
    check("DTSTART 3", starts[2], datetime.datetime(2024, 12, 31, 23, 59, tzinfo=shanghai))
    check("VALARM", [len([a for a in e.walk() if a.name == "VALARM"]) for e in events], [1, 0, 1])

    path = os.path.join(work, "meetings.csv")
    ctdb("export", "meetings", path, work)
    with open(path, encoding="utf-8-sig", newline="") as f:
        rows = list(csv.reader(f))
    check("meetings CSV", rows[1:], [[str(i + 1)] + m[1:] for i, m in enumerate(MEETINGS)])

    # A calendar written by icalendar, with a weekly event: each occurrence a meeting; a
    # second import adds nothing.
    cal = icalendar.Calendar()
    cal.add("prodid", "-//thirdparty//EN")
    cal.add("version", "2.0")
    ev = icalendar.Event()
    ev.add("uid", "weekly-1@example.com")
    ev.add("summary", "周例会")
    ev.add("location", "三楼")
    ev.add("dtstart", datetime.datetime(2024, 3, 4, 9, 30, tzinfo=shanghai))
    ev.add("rrule", {"freq": "weekly", "count": 4})
    ev.add("exdate", datetime.datetime(2024, 3, 11, 9, 30, tzinfo=shanghai))
    cal.add_component(ev)
    weekly = os.path.join(work, "weekly.ics")
    with open(weekly, "wb") as f:
        f.write(cal.to_ical())
    r = ctdb("import", "meetings", weekly, work)
    check("weekly event", "导入 3 条会议（其中 3 条来自 1 个重复的事件）" in r.stdout.decode(), True)
    r = ctdb("import", "meetings", weekly, work)
    check("weekly event again", "导入 0 条会议" in r.stdout.decode(), True)

    # The diary's Markdown as CommonMark shows it: no heading, list or quote but the file's
    # own, every line break a <br />; and read back to the same texts.
    diary = {"2024-03-01": "# 不是标题\n> 不是引用\n- 不是列表\n1. 不是编号\n*不是强调* <b>不是标签</b> &amp;",
             "2024-03-02": "    四个空格\n\n上一行是空的"}
    md = os.path.join(work, "diary.md")
    with open(md, "w", encoding="utf-8") as f:
        f.write("# 工作日记\n")
        for date, text in diary.items():
            lines = text.split("\n")
            f.write("\n## %s\n\n%s\n" % (date, "\\\n".join(escape_md(l) for l in lines)))
    ctdb("import", "diary", md, work)
    out = os.path.join(work, "diary-out.md")
    ctdb("export", "diary", out, work)
    with open(out, encoding="utf-8") as f:
        written = f.read()
    check("diary written as read", written, open(md, encoding="utf-8").read())
    shown = subprocess.run(["cmark"], input=written, capture_output=True, text=True).stdout
    check("CommonMark: only the file's headings", re.findall(r"<(h\d|ul|ol|blockquote|pre|em|strong)>", shown),
          ["h1", "h2", "h2"])
    for date, text in diary.items():
        part = shown.split("<h2>%s</h2>" % date)[1].split("<h2>")[0]
        body = re.sub(r"</?p>", "", part).strip("\n")
        check("CommonMark shows " + date, html.unescape(body.replace("<br />\n", "\n")), text)

    subprocess.run(["rm", "-rf", work])
    for f in failures:
        print("FAIL", f)
    print("%d passed, %d failed" % (1 if not failures else 0, 1 if failures else 0))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
