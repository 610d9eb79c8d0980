"""Reads what opkit-host writes for machines with the standard parsers and checks its shape.

    check_formats.py junit FILE TESTS FAILURES   JUnit XML: totals, file and line, failure text
    check_formats.py json FILE KIND COUNT        a JSON array of COUNT explain or call objects
"""
import json
import sys
import xml.etree.ElementTree as ElementTree


def fail(message):
    print("check_formats: " + message)
    sys.exit(1)


def check_junit(path, tests, failures):
    root = ElementTree.parse(path).getroot()
    if root.tag != "testsuites":
        fail("the root element is " + root.tag)
    cases = root.findall("./testsuite/testcase")
    if len(cases) != tests:
        fail("%d test cases, expected %d" % (len(cases), tests))
    failed = [case for case in cases if case.find("failure") is not None]
    if len(failed) != failures:
        fail("%d failed test cases, expected %d" % (len(failed), failures))
    suites = root.findall("./testsuite")
    if sum(int(s.get("failures")) for s in suites) != failures:
        fail("the suites' failure counts disagree with their cases")
    for case in cases:
        if not case.get("file") or not case.get("line", "").isdigit():
            fail("a test case without file and line: " + str(case.attrib))
    for case in failed:
        text = case.find("failure").text or ""
        line = case.get("line")
        if ":" + line + ": " not in text or not case.find("failure").get("message"):
            fail("failure text without its line and message: " + text)
        print(case.get("name") + "\n" + text)


def check_json(path, kind, count):
    with open(path, encoding="utf-8") as f:
        items = json.load(f)
    if not isinstance(items, list) or len(items) != count:
        fail("expected a list of %d objects, found %r" % (count, items))
    keys = {"explain": {"record", "function", "fields", "checks", "notice", "warnings"},
            "call": {"record", "function", "result", "notice", "changes", "warnings", "screen"}}
    for item in items:
        missing = keys[kind] - set(item)
        if missing:
            fail("missing keys %s in %r" % (sorted(missing), item))
    # The facts the tests ask about, one per line, for the caller to look for.
    for item in items:
        print("function=%s notice=%s warnings=%s" % (
            item["function"], item["notice"], ",".join(w["code"] for w in item["warnings"])))
        if kind == "call":
            print("result=%d screen_rows=%d changes=%s" % (
                item["result"], len(item["screen"]), ";".join(item["changes"])))
        else:
            print("fields=" + ",".join(f["name"] + ":" + f["value"] for f in item["fields"]))


if __name__ == "__main__":
    if sys.argv[1] == "junit":
        check_junit(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    else:
        check_json(sys.argv[2], sys.argv[3], int(sys.argv[4]))
