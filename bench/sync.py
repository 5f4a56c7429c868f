"""ctdb sync against a local Radicale, beside vdirsyncer syncing the same items from a
filesystem vdir to an empty collection on the same server. Prints figures and ratios.

usage: /usr/bin/python3 bench/sync.py build/bin/ctdb [CARDS MEETINGS DIARY]
"""

import datetime
import os
import resource
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "sync"))
import davkit  # noqa: E402
import scenarios  # noqa: E402


def timed(args, **kw):
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    t = time.monotonic()
    r = subprocess.run(args, capture_output=True, text=True, **kw)
    elapsed = time.monotonic() - t
    if r.returncode != 0:
        raise SystemExit(f"{args[0]} failed:\n{r.stdout}{r.stderr}")
    return elapsed, max(before, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss), r.stdout


def vdir(folder, db):
    """The database's items as a vdir: ctdb's own export, one file per item."""
    os.makedirs(os.path.join(folder, "cards"))
    os.makedirs(os.path.join(folder, "cal"))
    for table, ext, sub, comp in (("cards", "vcf", "cards", "VCARD"),
                                  ("meetings", "ics", "cal", "VEVENT")):
        path = os.path.join(db.dir, f"all.{ext}")
        db.ctdb("export", table, path)
        with open(path, encoding="utf-8", newline="") as f:
            text = f.read()
        if comp == "VCARD":
            items = ["BEGIN:VCARD" + x for x in text.split("BEGIN:VCARD")[1:]]
        else:
            head = text.split("BEGIN:VEVENT")[0]
            tz = head[head.find("BEGIN:VTIMEZONE"):] if "BEGIN:VTIMEZONE" in head else ""
            items = [f"BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//b//EN\r\n{tz}BEGIN:VEVENT"
                     + x.split("END:VCALENDAR")[0] + "END:VCALENDAR\r\n"
                     for x in text.split("BEGIN:VEVENT")[1:]]
        for i, item in enumerate(items):
            if "UID:" not in item:
                item = item.replace("\r\nFN:", f"\r\nUID:v-{sub}-{i}\r\nFN:", 1)
            with open(os.path.join(folder, sub, f"{i}.{ext}"), "w", encoding="utf-8", newline="") as f:
                f.write(item)
    for date, text in db.diary().items():
        with open(os.path.join(folder, "cal", f"j{date}.ics"), "w", encoding="utf-8", newline="") as f:
            f.write(scenarios.vjournal(f"vj-{date}", date.replace("-", ""), text))


def main():
    ctdb = sys.argv[1]
    cards, meetings, diary = (int(x) for x in (sys.argv[2:5] or (2000, 2000, 200)))
    scenarios.CTDB = ctdb
    root = tempfile.mkdtemp(prefix="ct-bench-sync-")
    with davkit.Radicale() as s:
        db = scenarios.Db(s, root)
        scenarios.fill(db, cards=cards, meetings=meetings, diary=diary)
        db.setup()
        base = [ctdb, "sync", "--password-file", db.pw, "--dir", db.dir]
        first, rss1, out = timed(base)
        same, _, _ = timed(base)
        # ten changes on each side
        phone = davkit.Phone(s)
        cc = db.coll("card")
        for i in range(10):
            phone.put(cc + f"b{i}.vcf", scenarios.vcard(f"手机{i}号", f"b{i}"), create=True)
        db.sql("".join(f"update cardtab set note='改{i}' where serno={i + 1};" for i in range(10)))
        ten, _, _ = timed(base)

        # vdirsyncer: the same items from a vdir to empty collections on the same server.
        v = os.path.join(root, "vdir")
        vdir(v, db)
        for kind, verb, body in (
                ("vcards", "MKCOL", '<?xml version="1.0"?><d:mkcol xmlns:d="DAV:" '
                 'xmlns:c="urn:ietf:params:xml:ns:carddav"><d:set><d:prop><d:resourcetype>'
                 '<d:collection/><c:addressbook/></d:resourcetype></d:prop></d:set></d:mkcol>'),
                ("vcal", "MKCALENDAR", "")):
            phone.http.request(verb, f"{s.url}{s.user}/{kind}/", data=body,
                               headers={"Content-Type": "application/xml"}).raise_for_status()
        conf = os.path.join(root, "vdirsyncer.conf")
        with open(conf, "w") as f:
            f.write(f'[general]\nstatus_path = "{root}/status/"\n')
            for name, sub, kind, typ, ext in (("c", "cards", "vcards", "carddav", ".vcf"),
                                               ("e", "cal", "vcal", "caldav", ".ics")):
                f.write(f'[pair {name}]\na = "{name}_local"\nb = "{name}_remote"\n'
                        'collections = null\nconflict_resolution = "a wins"\n'
                        f'[storage {name}_local]\ntype = "filesystem"\npath = "{v}/{sub}/"\n'
                        f'fileext = "{ext}"\n[storage {name}_remote]\ntype = "{typ}"\n'
                        f'url = "{s.url}{s.user}/{kind}/"\nusername = "{s.user}"\n'
                        f'password = "{s.password}"\n')
        vs = ["vdirsyncer", "-c", conf]
        subprocess.run(vs + ["discover"], capture_output=True, check=True, input=b"y\ny\n")
        vfirst, _, _ = timed(vs + ["sync"])
        vsame, _, _ = timed(vs + ["sync"])

    n = cards + meetings + diary
    print(f"items: {cards} cards, {meetings} meetings, {diary} diary entries ({n})")
    print(f"ctdb sync, first (all up):        {first:8.2f} s   max RSS {rss1 / 1024:.1f} MB")
    print(f"vdirsyncer sync, first:           {vfirst:8.2f} s   ratio ctdb/vdirsyncer {first / vfirst:.2f} (want <= 1.0)")
    print(f"ctdb sync, nothing changed:       {same:8.2f} s")
    print(f"vdirsyncer sync, nothing changed: {vsame:8.2f} s   ratio {same / vsame:.2f} (want <= 0.25, and < 1 s)")
    print(f"ctdb sync, 10 changes each side:  {ten:8.2f} s   (want < 2 s)")
    print(out.strip().splitlines()[-1])


if __name__ == "__main__":
    main()
