#!/usr/bin/env bash
# The HTML report as a browser reads it: headless Chromium loads the page of a run with a
# passing script, a failed screen expectation and a script error; the DOM it builds is checked
# for the counts, the failure's link and its target, the marked cells, and markup from the
# scripts shown as text. A screenshot of the failure is taken beside the page.
#   browser_report.sh TOOL SCRIPTS_FOLDER OUTPUT_FOLDER
set -uo pipefail
tool=$1
scripts=$2
out=$3

browser=$(command -v chromium || true)
if [ -z "$browser" ]; then
    echo "FAIL: chromium is missing; run tools/install-deps.sh (it installs Debian's chromium)" >&2
    exit 1
fi
python=$(command -v python3 || true)
if [ -z "$python" ]; then
    echo "FAIL: python3 is missing; run tools/install-deps.sh" >&2
    exit 1
fi

rm -rf "$out"
mkdir -p "$out/profile"
page=$out/report.html
(cd "$scripts" && "$tool" run --stream -q --html "$page" passing.txt failing.txt error.txt) \
    >"$out/run.log" 2>&1
status=$?
if [ "$status" -ne 2 ]; then
    cat "$out/run.log"
    echo "FAIL: the run ended with status $status, not 2 (a script in error)" >&2
    exit 1
fi

# A profile of its own, so that the browser reads and writes nothing of the user's.
browse() {
    timeout 120 "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars \
        --no-first-run --user-data-dir="$out/profile" "$@" "file://$page" 2>>"$out/browser.log"
}
if ! browse --dump-dom >"$out/dom.html" || [ ! -s "$out/dom.html" ]; then
    cat "$out/browser.log"
    echo "FAIL: chromium did not give the page's DOM" >&2
    exit 1
fi

"$python" - "$out/dom.html" <<'EOF' || exit 1
import sys
from html.parser import HTMLParser


class Node:
    def __init__(self, tag, attrs, parent):
        self.tag, self.attrs, self.parent, self.children, self.text = tag, dict(attrs), parent, [], ""

    def classes(self):
        return (self.attrs.get("class") or "").split()

    def all(self):
        yield self
        for child in self.children:
            yield from child.all()

    def text_content(self):
        return self.text + "".join(child.text_content() + child.tail for child in self.children)


class Dom(HTMLParser):
    VOID = {"meta", "br", "link", "img", "input", "hr"}

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.root = Node("#root", [], None)
        self.root.tail = ""
        self.at = self.root

    def handle_starttag(self, tag, attrs):
        node = Node(tag, attrs, self.at)
        node.tail = ""
        self.at.children.append(node)
        if tag not in self.VOID:
            self.at = node

    def handle_endtag(self, tag):
        node = self.at
        while node is not self.root and node.tag != tag:
            node = node.parent
        if node is not self.root:
            self.at = node.parent

    def handle_data(self, data):
        if self.at.children:
            self.at.children[-1].tail += data
        else:
            self.at.text += data


dom = Dom()
dom.feed(open(sys.argv[1], encoding="utf-8").read())
nodes = list(dom.root.all())
by_id = {n.attrs["id"]: n for n in nodes if "id" in n.attrs}
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


for name, wanted in [("count-scripts", "3"), ("count-calls", "9"), ("count-passed", "7"),
                     ("count-failed", "1"), ("count-errors", "1")]:
    found = by_id[name].text_content().strip() if name in by_id else None
    check(found == wanted, f"#{name} says {found!r}, expected {wanted!r}")

links = [n for n in by_id.get("failure-links", Node("x", [], None)).all() if n.tag == "a"]
check(len(links) == 2, f"the summary links {len(links)} failures, expected 2")
targets = [link.attrs.get("href", "") for link in links]
check(targets[:1] == ["#failure-1"], f"the first link leads to {targets[:1]}")
failure = by_id.get("failure-1")
check(failure is not None and failure.tag == "article" and "failure" in failure.classes(),
      "#failure-1 is no failure article")
if failure is not None:
    heading = next((n for n in failure.all() if n.tag == "h3"), None)
    check(heading is not None and "failing.txt:7" in heading.text_content(),
          "the failure's heading does not name failing.txt:7")
    for side in ("expected", "found"):
        figure = next((n for n in failure.all() if n.tag == "figure" and side in n.classes()),
                      None)
        check(figure is not None, f"the failure has no {side} screen")
        if figure is None:
            continue
        marked = [n for n in figure.all() if n.tag == "span" and "d" in n.classes()]
        columns = sorted(int(n.attrs["title"].split(", column ")[1].split(":")[0])
                         for n in marked)
        rows = {n.attrs["title"].split(",")[0] for n in marked}
        check(columns == [4, 25, 26, 27] and rows == {"row 1"},
              f"the {side} screen marks {rows} columns {columns}, expected row 1 columns 4 25 26 27")
error = by_id.get(targets[1][1:] if len(targets) > 1 else "")
check(error is not None and "error.txt:5:1" in error.text_content(),
      "the second link does not lead to the script error at error.txt:5:1")
check(not any(n.tag == "script" for n in nodes), "the page holds a script element")
check(not any(n.tag == "b" for n in nodes), "markup from a script became an element")
text = dom.root.text_content()
check("<script>alert('x')</script> & <b>" in text, "the screen's markup is not shown as text")
check('05<script>&' in text, "the record's markup is not shown as text")

for f in failures:
    print("FAIL:", f, file=sys.stderr)
sys.exit(1 if failures else 0)
EOF

# The failure as a person first sees it: the summary and the failure, in a browser's window.
if ! browse --window-size=1280,1250 --screenshot="$out/report-failure.png" >/dev/null ||
    [ "$(head -c 8 "$out/report-failure.png" | od -An -tx1 | tr -d ' \n')" != 89504e470d0a1a0a ]; then
    cat "$out/browser.log"
    echo "FAIL: chromium took no screenshot of the page" >&2
    exit 1
fi
echo "the report's DOM holds what the run gave; screenshot: $out/report-failure.png"
