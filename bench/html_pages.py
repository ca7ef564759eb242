#!/usr/bin/python3
"""Generates the pages of bench/html_extract_bench.sh into a folder.

Usage: html_pages.py DIR

Realistic pages of about 30 KB, 300 KB and 3 MB in two kinds:
  article-*  a news article whose head carries every field (Open Graph, author):
             the extraction can stop at the end of the head;
  sparse-*   the same page with only a title element and a content-first
             description meta: every lookup has to read the whole text.
Both have a head with links, styles, inline scripts and JSON-LD, a navigation,
articles with inline markup and entities, asides, comments, a footer and a large
inline JSON state blob, as pages of news and shop sites have.

Hostile pages of 3 MB: the inputs on which the extraction's regular expressions
take quadratic or cubic time, or on which HTML parsers struggle.
"""
import os
import random
import sys

SIZES = {"30k": 30_000, "300k": 300_000, "3m": 3_000_000}
HOSTILE_SIZE = 3_000_000

WORDS = ("the of and to in is was for on that with as by at from his her an were are which this be has "
         "had it not or have but their they one all been new more its also after who first two other "
         "council library archive reference research city budget report museum river market history "
         "science energy school policy hospital election station village festival bridge harbour "
         "caf\u00e9 na\u00efve r\u00e9sum\u00e9 \u00fcber stra\u00dfe \u6771\u4eac \u0645\u0631\u062d\u0628\u0627").split()


def sentence(rng, low=6, high=22):
    words = [rng.choice(WORDS) for _ in range(rng.randint(low, high))]
    words[0] = words[0].capitalize()
    return " ".join(words) + rng.choice(".....?!")


def paragraph(rng):
    parts = []
    for _ in range(rng.randint(2, 6)):
        s = sentence(rng)
        r = rng.random()
        if r < 0.2:
            s = s.replace(" the ", ' the <a href="/topics/%d" class="inline-link">linked</a> ' % rng.randint(1, 9999), 1)
        elif r < 0.35:
            s = s.replace(" and ", " &amp; <em>and</em> ", 1)
        elif r < 0.45:
            s = s + " &ldquo;Quoted&rdquo; &mdash; said a spokesperson &#8212; &nbsp;"
        parts.append(s)
    return "<p>" + " ".join(parts) + "</p>\n"


def head(rng, sparse):
    h = ['<!DOCTYPE html>\n<html lang="en" class="no-js">\n<head>\n<meta charset="utf-8">\n',
         '<meta http-equiv="X-UA-Compatible" content="IE=edge">\n',
         '<meta name="viewport" content="width=device-width, initial-scale=1, viewport-fit=cover">\n',
         "<title>City council approves the new library budget &amp; archive plan | The Daily Example</title>\n"]
    for i in range(8):
        h.append('<link rel="preload" href="/assets/font-%d.woff2" as="font" type="font/woff2" crossorigin>\n' % i)
    h.append('<link rel="stylesheet" href="/assets/main.4f9a1c.css">\n<link rel="canonical" '
             'href="https://news.example.com/2024/06/11/council-library-budget">\n')
    h.append("<script>window.dataLayer=window.dataLayer||[];function gtag(){dataLayer.push(arguments);}"
             "gtag('js',new Date());gtag('config','G-XXXX',{'anonymize_ip':true});"
             "if(document.cookie.indexOf('consent=1')<0){document.documentElement.className+=' needs-consent';}"
             "</script>\n")
    h.append("<style>" + "".join(".c%d{margin:%dpx;padding:%dpx;color:#%06x}" % (i, i % 17, i % 9, rng.randrange(1 << 24))
                                 for i in range(60)) + "</style>\n")
    if sparse:
        h.append('<meta content="The council voted on Tuesday to fund the city library and its archive." '
                 'name="description">\n')
    else:
        h.append('<meta name="description" content="The council voted on Tuesday to fund the city library.">\n')
        h.append('<meta name="author" content="Jane Roe">\n')
        h.append('<meta property="og:type" content="article">\n')
        h.append('<meta property="og:title" content="City council approves the new library budget &amp; archive plan">\n')
        h.append('<meta property="og:description" content="The council voted on Tuesday to fund the city library '
                 'and its archive for the next five years.">\n')
        h.append('<meta property="og:image" content="/images/2024/06/council-library.jpg">\n')
        h.append('<meta property="og:image:width" content="1200">\n<meta property="og:image:height" content="630">\n')
        h.append('<meta property="og:site_name" content="The Daily Example">\n')
        h.append('<meta name="twitter:card" content="summary_large_image">\n<meta name="twitter:site" content="@example">\n')
    h.append('<script type="application/ld+json">{"@context":"https://schema.org","@type":"NewsArticle",'
             '"headline":"City council approves the new library budget","datePublished":"2024-06-11T08:00:00Z",'
             '"author":[{"@type":"Person","name":"Jane Roe"}],"publisher":{"@type":"Organization",'
             '"name":"The Daily Example","logo":{"@type":"ImageObject","url":"https://news.example.com/logo.png"}}}'
             "</script>\n</head>\n")
    return "".join(h)


def navigation(rng):
    items = "".join('<li class="nav-item"><a href="/section/%d" data-track="nav-%d">%s</a></li>' %
                    (i, i, rng.choice(WORDS).capitalize()) for i in range(40))
    return ('<body class="article-page">\n<header class="site-header"><a class="logo" href="/">'
            '<img src="/logo.svg" alt="The Daily Example" width="180" height="32"></a>\n'
            '<nav aria-label="Main"><ul class="nav">' + items + "</ul></nav></header>\n<main>\n")


def article(rng, index):
    a = ['<article class="story" id="story-%d" data-id="%d">\n<h2 class="headline">%s</h2>\n' %
         (index, rng.randint(1, 10 ** 6), sentence(rng, 4, 9)),
         '<div class="byline">By <a href="/authors/jane-roe" rel="author">Jane Roe</a> &middot; '
         '<time datetime="2024-06-11T08:00:00Z">11 June 2024</time></div>\n']
    for _ in range(rng.randint(3, 8)):
        a.append(paragraph(rng))
    if rng.random() < 0.5:
        a.append('<figure class="media"><img src="/images/%d.jpg" srcset="/images/%d-480.jpg 480w, /images/%d-960.jpg '
                 '960w" alt="%s" loading="lazy" width="960" height="540"><figcaption>%s</figcaption></figure>\n' %
                 ((index,) * 3 + (sentence(rng, 3, 6), sentence(rng))))
    if rng.random() < 0.3:
        a.append('<aside class="related"><h3>Related</h3><ul>' +
                 "".join('<li><a href="/story/%d">%s</a></li>' % (rng.randint(1, 10 ** 6), sentence(rng, 4, 8))
                         for _ in range(5)) + "</ul></aside>\n")
    if rng.random() < 0.25:
        a.append("<script>(function(){var el=document.getElementById('story-%d');if(el){el.dataset.seen='1';"
                 "window.__track&&window.__track('impression',{id:%d,pos:%d});}})();</script>\n" %
                 (index, index, index % 7))
    a.append("</article>\n")
    return "".join(a)


def comments(rng, count):
    return ('<section class="comments"><h3>Comments</h3>' + "".join(
        '<div class="comment" data-user="%d"><b>%s</b> <span class="when">%d hours ago</span><p>%s</p></div>\n' %
        (rng.randint(1, 99999), rng.choice(WORDS), rng.randint(1, 48), sentence(rng)) for _ in range(count)) +
        "</section>\n")


def state_blob(rng, size):
    """An inline JSON state, as single-page applications embed."""
    parts = ['<script id="__NEXT_DATA__" type="application/json">{"props":{"pageProps":{"items":[']
    total = 0
    i = 0
    while total < size:
        item = ('{"id":%d,"slug":"story-%d","title":"%s","summary":"%s","tags":["%s","%s"],"score":%.3f,'
                '"image":{"src":"/images/%d.jpg","w":960,"h":540}},' %
                (i, i, sentence(rng, 3, 8).replace('"', ""), sentence(rng).replace('"', ""), rng.choice(WORDS),
                 rng.choice(WORDS), rng.random(), i))
        parts.append(item)
        total += len(item)
        i += 1
    parts.append('null]}},"page":"/article","buildId":"b1a2c3"}</script>\n')
    return "".join(parts)


def footer(rng):
    links = "".join('<a href="/about/%d">%s</a> ' % (i, rng.choice(WORDS).capitalize()) for i in range(30))
    return ('</main>\n<footer class="site-footer"><nav>' + links + '</nav><p>&copy; 2024 The Daily Example</p>'
            "</footer>\n<script src=\"/assets/app.9c1d.js\" defer></script>\n</body>\n</html>\n")


def realistic(target, sparse, seed):
    rng = random.Random(seed)
    start = head(rng, sparse) + navigation(rng)
    end = footer(rng)
    body = []
    size = len((start + end).encode("utf-8"))
    blob = state_blob(rng, target // 5)
    size += len(blob.encode("utf-8"))
    i = 0
    while size < target:
        piece = article(rng, i) if i % 6 else comments(rng, rng.randint(3, 10))
        body.append(piece)
        size += len(piece.encode("utf-8"))
        i += 1
    return start + "".join(body) + blob + end


def hostile():
    n = HOSTILE_SIZE
    pages = {}
    # The regular expressions try every "<meta" and every position after it.
    pages["unclosed-meta"] = "<meta" * (n // 5)
    # One element with some 190,000 attributes and the description at its end.
    attributes = []
    size = 0
    i = 0
    while size < n:
        a = ' data-a%d="%d"' % (i, i)
        attributes.append(a)
        size += len(a)
        i += 1
    pages["many-attributes"] = ('<html><head><title>Attributes</title><meta name="description"' + "".join(attributes) +
                                ' content="end"></head><body></body></html>')
    depth = n // 11
    pages["deep-nesting"] = ('<html><head><title>Deep</title></head><body>' + "<div>" * depth + "x" +
                             "</div>" * depth + "</body></html>")
    pages["unclosed-comment"] = ('<html><head><title>Comment</title><!-- ' +
                                 '<meta name="x" content="y"> <p>text</p> ' * (n // 40))
    pages["unclosed-attribute"] = ('<html><head><meta property="og:title" content="' +
                                   "a > b <p> c < d " * (n // 16))
    # Content-first candidates with no key and no ">": pattern B's worst case.
    pages["unclosed-meta-contents"] = "<meta " + "content='v' " * (n // 12)
    return pages


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for label, target in SIZES.items():
        for kind, sparse in (("article", False), ("sparse", True)):
            text = realistic(target, sparse, seed=target)
            with open(os.path.join(out, "%s-%s.html" % (kind, label)), "w", encoding="utf-8") as f:
                f.write(text)
    for name, text in hostile().items():
        with open(os.path.join(out, "hostile-%s.html" % name), "w", encoding="utf-8") as f:
            f.write(text)


if __name__ == "__main__":
    main()
