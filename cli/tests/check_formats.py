"""Reads what opkit-host writes for machines with the standard parsers and checks its shape.

    check_formats.py junit FILE TESTS FAILURES [ERRORS [SKIPPED]]
                                                 JUnit XML: the counts of every suite and the
                                                 totals against the cases and the run, times,
                                                 file and line, failure type and text
    check_formats.py runjson FILE SCRIPTS FAILED  run --json: a script object each
    check_formats.py json FILE KIND COUNT        a JSON array of COUNT explain or call objects
"""
import json
import re
import sys
import xml.etree.ElementTree as ElementTree


def fail(message):
    print("check_formats: " + message)
    sys.exit(1)


def check_counts(element, cases, what):
    """The counts an element states against the test cases it holds."""
    counted = {
        "tests": len(cases),
        "failures": sum(1 for c in cases if c.find("failure") is not None),
        "errors": sum(1 for c in cases if c.find("error") is not None),
        "skipped": sum(1 for c in cases if c.find("skipped") is not None),
    }
    for name, value in counted.items():
        if element.get(name) is None or int(element.get(name)) != value:
            fail("%s says %s=%s, its cases hold %d" % (what, name, element.get(name), value))
    try:
        float(element.get("time"))
    except (TypeError, ValueError):
        fail("%s has no time: %r" % (what, element.attrib))
    return counted


def check_junit(path, tests, failures, errors=0, skipped=0):
    root = ElementTree.parse(path).getroot()
    if root.tag != "testsuites":
        fail("the root element is " + root.tag)
    cases = root.findall("./testsuite/testcase")
    totals = check_counts(root, cases, "testsuites")
    wanted = {"tests": tests, "failures": failures, "errors": errors, "skipped": skipped}
    if totals != wanted:
        fail("the report counts %r, the run %r" % (totals, wanted))
    for suite in root.findall("./testsuite"):
        check_counts(suite, suite.findall("testcase"), "testsuite " + suite.get("name"))
        stamp = suite.get("timestamp") or ""
        if not re.match(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d$", stamp):
            fail("testsuite without an ISO 8601 timestamp: %r" % suite.attrib)
    for case in cases:
        if not case.get("file") or not case.get("line", "").isdigit():
            fail("a test case without file and line: " + str(case.attrib))
        float(case.get("time"))
    for case in cases:
        for kind in ("failure", "error"):
            outcome = case.find(kind)
            if outcome is None:
                continue
            text = outcome.text or ""
            message = outcome.get("message") or ""
            if not outcome.get("type") or not message:
                fail("%s without type and message: %r" % (kind, outcome.attrib))
            line = case.get("line")
            if line != "0" and ":" + line + ":" not in message:
                fail("%s message without its line: %s" % (kind, message))
            print(case.get("name") + "\n" + outcome.get("type") + ": " + text)


def check_run_json(path, scripts, failed):
    with open(path, encoding="utf-8") as f:
        items = json.load(f)
    if not isinstance(items, list) or len(items) != scripts:
        fail("expected a list of %d script objects, found %r" % (scripts, items))
    keys = {"script", "passed", "calls", "expectations", "warnings", "errors"}
    for item in items:
        missing = keys - set(item)
        if missing:
            fail("missing keys %s in %r" % (sorted(missing), item))
        if item["passed"] != all(e["passed"] for e in item["expectations"]) and not item["errors"]:
            fail("passed disagrees with the expectations: %r" % item)
    if sum(1 for item in items if not item["passed"]) != failed:
        fail("%d scripts failed, expected %d" % (sum(1 for i in items if not i["passed"]), failed))
    for item in items:
        for e in item["expectations"]:
            print("%s:%d: %s %s" % (item["script"], e["line"], "ok" if e["passed"] else "FAIL",
                                    e["source"]))
        for c in item["calls"]:
            print("call line %d result %d notice %s" % (c["line"], c["result"], c["notice"]))


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
        check_junit(sys.argv[2], *[int(n) for n in sys.argv[3:]])
    elif sys.argv[1] == "runjson":
        check_run_json(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    else:
        check_json(sys.argv[2], sys.argv[3], int(sys.argv[4]))
