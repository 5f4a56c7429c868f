"""Peak memory of ctdb sync at two collection sizes: the server's address book and
calendar are filled straight in Radicale's storage folder (a PUT each would take minutes),
then a first sync down and a sync with nothing changed are measured with /usr/bin/time -v.

usage: /usr/bin/python3 bench/syncmem.py build/bin/ctdb [SIZE...]   (default 2000 20000)
"""

import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "sync"))
import davkit  # noqa: E402
import scenarios  # noqa: E402


def peak(args):
    r = subprocess.run(["/usr/bin/time", "-v", *args], capture_output=True, text=True)
    if r.returncode != 0:
        raise SystemExit(f"{args} failed:\n{r.stdout}{r.stderr}")
    rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", r.stderr).group(1))
    wall = re.search(r"Elapsed \(wall clock\) time.*: (\S+)", r.stderr).group(1)
    return rss, wall, r.stdout


def storage_dir(server, url):
    path = url.split("://", 1)[1].split("/", 1)[1].strip("/")
    return os.path.join(server.dir, "collections", "collection-root", *path.split("/"))


def fill_server(server, db, n):
    """n cards (with a 4 KB photo each, as phones keep) and n/2 meetings."""
    photo = "PHOTO;ENCODING=b;TYPE=JPEG:" + "QUJD" * 1024 + "\r\n"
    cards = storage_dir(server, db.coll("card"))
    for i in range(n):
        with open(os.path.join(cards, f"b{i}.vcf"), "w", encoding="utf-8", newline="") as f:
            f.write(scenarios.vcard(f"赵{i}号", f"b{i}", f"TEL;TYPE=CELL:1390{i:07d}\r\n"
                                    f"ORG:公司{i % 97}\r\nNOTE:第 {i} 张\r\n" + photo))
    meets = storage_dir(server, db.coll("meet"))
    for i in range(n // 2):
        with open(os.path.join(meets, f"e{i}.ics"), "w", encoding="utf-8", newline="") as f:
            f.write(scenarios.vevent(f"e{i}", f"会议{i}",
                                     f"2027{1 + i % 12:02d}{1 + i % 28:02d}T{8 + i % 10:02d}0000"))


def main():
    ctdb = sys.argv[1]
    sizes = [int(x) for x in sys.argv[2:]] or [2000, 20000]
    scenarios.CTDB = ctdb
    root = tempfile.mkdtemp(prefix="ct-bench-syncmem-")
    rows = []
    for n in sizes:
        with davkit.Radicale() as s:
            db = scenarios.Db(s, root)
            db.setup()
            fill_server(s, db, n)
            # Radicale builds its item cache on the first listing: not ours to time.
            davkit.Phone(s).listing(db.coll("card"))
            davkit.Phone(s).listing(db.coll("meet"))
            # Radicale lists 20,000 items slowly: more than the usual 30 s on a busy machine.
            base = [ctdb, "sync", "--password-file", db.pw, "--timeout", "300", "--dir", db.dir]
            first = peak(base)
            same = peak(base)
            assert f"下载新记录 {n + n // 2}" in first[2], first[2]
            rows.append((n, first, same))
    print("cards (+ half as many meetings) on the server; ctdb sync peak RSS (/usr/bin/time -v)")
    for n, first, same in rows:
        print(f"{n:6d} cards: first sync down {first[0] / 1024:7.1f} MB ({first[1]}), "
              f"nothing changed {same[0] / 1024:7.1f} MB ({same[1]})")


if __name__ == "__main__":
    main()
