#!/usr/bin/python3
"""Peer driver: BeautifulSoup (with lxml) or plain lxml.html on an HTML file.

Usage: python_extract.py bs4|lxml FILE URL SECONDS [--print]

Extracts what Folionest's parseHTML extracts -- title (og:title, twitter:title,
the title element), description (og:description, twitter:description, the
description meta), image (og:image, twitter:image, made absolute), site name
(og:site_name) and author -- from the same bytes, repeating the parse for at
least SECONDS (at least once). Prints "MBPS <rate> RUNS <n> SECONDS <t>".
"""
import json
import os
import sys
import time
from urllib.parse import urljoin

PROPERTIES = ("og:title", "og:description", "og:image", "og:site_name")
NAMES = ("twitter:title", "twitter:description", "twitter:image", "description", "author")


def fields(metas, title_text, url):
    """metas: (property, name, content) triples in document order."""
    found = {}
    for prop, name, content in metas:
        if not content:
            continue
        if prop:
            key = ("property", prop.lower())
            found.setdefault(key, content)
        if name:
            key = ("name", name.lower())
            found.setdefault(key, content)

    def get(kind, key):
        return found.get((kind, key))

    title = get("property", "og:title") or get("name", "twitter:title") or title_text
    description = (get("property", "og:description") or get("name", "twitter:description")
                   or get("name", "description"))
    image = get("property", "og:image") or get("name", "twitter:image")
    if image is not None and not image.startswith("http"):
        image = urljoin(url, image)
    return {
        "title": title.strip() if title is not None else None,
        "description": description.strip() if description is not None else None,
        "image": image,
        "siteName": get("property", "og:site_name"),
        "author": get("name", "author"),
    }


def extract_bs4(data, url):
    from bs4 import BeautifulSoup
    soup = BeautifulSoup(data.decode("utf-8", "replace"), "lxml")
    metas = [(m.get("property"), m.get("name"), m.get("content")) for m in soup.find_all("meta")]
    title = soup.title.get_text() if soup.title is not None else None
    return fields(metas, title, url)


def extract_lxml(data, url):
    import lxml.html
    parser = lxml.html.HTMLParser(encoding="utf-8")
    doc = lxml.html.document_fromstring(data, parser=parser)
    metas = [(m.get("property"), m.get("name"), m.get("content")) for m in doc.iter("meta")]
    title_element = doc.find(".//title")
    title = title_element.text_content() if title_element is not None else None
    return fields(metas, title, url)


def main():
    tool, path, url, seconds = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
    extract = {"bs4": extract_bs4, "lxml": extract_lxml}[tool]
    # Import outside the timing.
    if tool == "bs4":
        import bs4  # noqa: F401
    import lxml.html  # noqa: F401
    size = os.path.getsize(path)
    runs = 0
    start = time.perf_counter()
    while True:
        with open(path, "rb") as f:
            data = f.read()
        result = extract(data, url)
        runs += 1
        elapsed = time.perf_counter() - start
        if elapsed >= seconds:
            break
    print(f"MBPS {size * runs / elapsed / 1e6:.2f} RUNS {runs} SECONDS {elapsed:.3f}")
    if "--print" in sys.argv[5:]:
        print(json.dumps(result, ensure_ascii=False))


if __name__ == "__main__":
    main()
