#!/usr/bin/env python3
"""Checks the shipped help pages, independently of the program.

    check_help.py SOURCE_HELP_DIR RUN_HELP_DIR
    check_help.py --self-test

SOURCE_HELP_DIR is help/ of the checkout; RUN_HELP_DIR the copy the build
assembles in the run folder, with the pictures it takes. For each of the five
pages: the bytes decode as GBK without errors and declare it; styles are
inline only (no style, script or link elements); every link is an anchor of
the same page that exists; every picture is a relative path under images/,
exists in the run folder as a PNG, and stands in a tag the page's path
rewrite matches (an attribute before src). The run folder's pages must be
the source's bytes.

Prints one line per fault and exits 1 if any.
"""

import html.parser
import os
import re
import sys
import tempfile

PAGES = ["index.html", "main.html", "sensitivity.html", "save.html", "config.html"]
META_RE = re.compile(rb"<meta\s+charset\s*=\s*[\"']?gbk[\"']?\s*/?>", re.I)
# What the help page rewrites: blank space after the tag name and before src.
REWRITTEN_IMG_RE = re.compile(r"<\s*img\s+[^>]*\s+src=[\"']([^\"']+)[\"'][^>]*>")
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


class PageParser(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.anchors = []
        self.links = []
        self.images = []
        self.forbidden = []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        line = self.getpos()[0]
        if tag in ("style", "script", "link"):
            self.forbidden.append((line, tag))
        if tag == "a" and a.get("name"):
            self.anchors.append(a["name"])
        if a.get("id"):
            self.anchors.append(a["id"])
        if tag == "a" and "href" in a:
            self.links.append((line, a["href"] or ""))
        if tag == "img":
            self.images.append((line, a.get("src") or ""))


def check_page(name, source_dir, run_dir, problems):
    path = os.path.join(source_dir, name)
    if not os.path.isfile(path):
        problems.append(f"{name}: missing from {source_dir}")
        return
    with open(path, "rb") as f:
        data = f.read()
    try:
        text = data.decode("gbk", errors="strict")
    except UnicodeDecodeError as e:
        problems.append(f"{name}: not GBK at byte {e.start}: {data[e.start:e.end + 1].hex()}")
        return
    if not META_RE.search(data):
        problems.append(f'{name}: no <meta charset="gbk">')
    if not re.search(r"[\u4e00-\u9fff]", text):
        problems.append(f"{name}: no Chinese text")

    parser = PageParser()
    parser.feed(text)
    parser.close()
    for line, tag in parser.forbidden:
        problems.append(f"{name}:{line}: <{tag}> element (styles must be inline)")
    seen = set()
    for anchor in parser.anchors:
        if anchor in seen:
            problems.append(f"{name}: anchor {anchor!r} defined twice")
        seen.add(anchor)
    for line, href in parser.links:
        if not href.startswith("#"):
            problems.append(f"{name}:{line}: link {href!r} is not an in-page anchor")
        elif href[1:] not in seen:
            problems.append(f"{name}:{line}: link {href!r} names no anchor of the page")

    rewritten = set(REWRITTEN_IMG_RE.findall(text))
    for line, src in parser.images:
        if re.match(r"^[A-Za-z][A-Za-z0-9+.-]*:", src) or src.startswith("/"):
            problems.append(f"{name}:{line}: picture {src!r} is not a relative path")
            continue
        if not src.startswith("images/"):
            problems.append(f"{name}:{line}: picture {src!r} is not under images/")
        if src not in rewritten:
            problems.append(f"{name}:{line}: picture {src!r} stands where the path rewrite does not reach it")
        picture = os.path.join(run_dir, src)
        if not os.path.isfile(picture):
            problems.append(f"{name}:{line}: picture {src!r} does not exist in {run_dir}")
            continue
        with open(picture, "rb") as f:
            if f.read(8) != PNG_SIGNATURE:
                problems.append(f"{name}:{line}: picture {src!r} is no PNG")

    copy = os.path.join(run_dir, name)
    if not os.path.isfile(copy):
        problems.append(f"{name}: not copied to {run_dir}")
    else:
        with open(copy, "rb") as f:
            if f.read() != data:
                problems.append(f"{name}: the copy in {run_dir} differs from the source")


def check(source_dir, run_dir):
    problems = []
    for name in PAGES:
        check_page(name, source_dir, run_dir, problems)
    return problems


GOOD_PAGE = (
    '<html><head><meta charset="gbk"></head><body>'
    '<a name="top"></a><p><a href="#zh">\u4e2d\u6587</a></p><a name="zh"></a>'
    '<p><img alt="x" src="images/a.png"></p><p><a href="#top">top</a></p></body></html>'
)


def self_test():
    """Plants one fault at a time in a good tree and expects its report."""
    faults = {
        "bad GBK": (lambda p: p.encode("gbk") + b"\x80", "not GBK"),
        "no meta": (lambda p: p.replace('<meta charset="gbk">', "").encode("gbk"), "no <meta"),
        "style element": (lambda p: p.replace("<body>", "<body><style>p{}</style>").encode("gbk"), "<style>"),
        "outside link": (lambda p: p.replace('href="#top"', 'href="main.html"').encode("gbk"), "not an in-page"),
        "dangling anchor": (lambda p: p.replace('href="#top"', 'href="#nowhere"').encode("gbk"), "names no anchor"),
        "missing picture": (lambda p: p.replace("images/a.png", "images/b.png").encode("gbk"), "does not exist"),
        "src first": (lambda p: p.replace('<img alt="x" src=', "<img src=").encode("gbk"), "rewrite does not reach"),
        "absolute picture": (lambda p: p.replace('src="images/a.png"', 'src="/x/a.png"').encode("gbk"),
                             "not a relative path"),
    }
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "src")
        run = os.path.join(tmp, "run")
        os.makedirs(src)
        os.makedirs(os.path.join(run, "images"))
        with open(os.path.join(run, "images", "a.png"), "wb") as f:
            f.write(PNG_SIGNATURE + b"rest")

        def plant(index_bytes):
            for name in PAGES:
                data = index_bytes if name == "index.html" else GOOD_PAGE.encode("gbk")
                for d in (src, run):
                    with open(os.path.join(d, name), "wb") as f:
                        f.write(data)

        plant(GOOD_PAGE.encode("gbk"))
        if check(src, run):
            failures.append(f"good tree reported: {check(src, run)}")
        for label, (make, expected) in faults.items():
            plant(make(GOOD_PAGE))
            found = check(src, run)
            if not any(expected in line for line in found):
                failures.append(f"{label}: expected a report with {expected!r}, got {found}")
        plant(GOOD_PAGE.encode("gbk"))
        with open(os.path.join(run, "main.html"), "ab") as f:
            f.write(b" ")
        if not any("differs" in line for line in check(src, run)):
            failures.append("a stale copy in the run folder was not reported")
    for line in failures:
        print(line)
    return 1 if failures else 0


def main(argv):
    if len(argv) == 2 and argv[1] == "--self-test":
        return self_test()
    if len(argv) != 3:
        print(__doc__)
        return 2
    problems = check(argv[1], argv[2])
    for line in problems:
        print(line)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
