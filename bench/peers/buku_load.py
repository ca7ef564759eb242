#!/usr/bin/env python3
"""Loads a Netscape bookmark file into buku's database, row for row as buku's
own HTML import writes them (title, tags, description), but in one
transaction: buku's importer checks every URL one by one and needs hours for
100,000 bookmarks.  Usage: buku_load.py BOOKMARKS.html DATABASE"""
import html
import os
import re
import sqlite3
import sys

source, database = sys.argv[1], sys.argv[2]
os.makedirs(os.path.dirname(database), exist_ok=True)
conn = sqlite3.connect(database)
conn.execute("CREATE TABLE if not exists bookmarks (id integer PRIMARY KEY, URL text NOT NULL UNIQUE, "
             "metadata text default '', tags text default ',', desc text default '', flags integer default 0)")
link = re.compile(r'<DT><A HREF="([^"]*)"[^>]*TAGS="([^"]*)">(.*?)</A>')
rows = []
last = None
with open(source, encoding="utf-8") as f:
    for line in f:
        m = link.match(line)
        if m:
            url, tags, title = (html.unescape(g) for g in m.groups())
            tags = [t.strip().lower() for t in tags.split(",") if t.strip()]
            last = [url, title, "," + ",".join(sorted(set(tags))) + "," if tags else ",", ""]
            rows.append(last)
        elif line.startswith("<DD>") and last is not None:
            last[3] = html.unescape(line[4:].rstrip("\n"))
with conn:
    conn.executemany("INSERT OR IGNORE INTO bookmarks(URL, metadata, tags, desc) VALUES (?, ?, ?, ?)", rows)
print(conn.execute("SELECT count(*) FROM bookmarks").fetchone()[0], "bookmarks in buku")
