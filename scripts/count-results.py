#!/usr/bin/env python3
"""Counts the test cases of build trees from the JUnit files their CTest run left:
junit/ctest.xml, one case per CTest test, and junit/e2e.*.xml, the cases of each
end-to-end run (one CTest test that runs pytest), which stand in for that test.

    count-results.py TREE...

Prints one line per tree and a last line "N passed, N failed". A tree without
ctest.xml, or an end-to-end run that failed while pytest reported no failed case
(it did not start, or hung), counts as one failure. Skipped cases count as neither.
"""

import os
import sys
import xml.etree.ElementTree as ElementTree


def outcome(case):
    if case.find("failure") is not None or case.find("error") is not None or case.get("status") == "fail":
        return "failed"
    if case.find("skipped") is not None or case.get("status") in ("notrun", "disabled"):
        return "skipped"
    return "passed"


def count_tree(tree):
    counts = {"passed": 0, "failed": 0, "skipped": 0}
    junit = os.path.join(tree, "junit")
    try:
        cases = ElementTree.parse(os.path.join(junit, "ctest.xml")).getroot().iter("testcase")
    except (OSError, ElementTree.ParseError):
        counts["failed"] += 1
        return counts, "no test results (the build or CTest failed)"
    notes = []
    for case in cases:
        name, result = case.get("name"), outcome(case)
        if name.startswith("display."):         # the unit tests' display, not a test
            counts["failed"] += result == "failed"
            continue
        if result == "skipped" and case.get("status") == "notrun" and case.find("skipped") is None:
            result = "failed"                   # not run because what it needs failed
        run = os.path.join(junit, name + ".xml")
        if not os.path.exists(run):
            counts[result] += 1
            continue
        inner = [outcome(inner) for inner in ElementTree.parse(run).getroot().iter("testcase")]
        for inner_result in inner:
            counts[inner_result] += 1
        if result == "failed" and "failed" not in inner:
            counts["failed"] += 1
            notes.append(f"{name} failed outside its cases")
    return counts, "; ".join(notes)


def main(trees):
    passed = failed = 0
    for tree in trees:
        counts, note = count_tree(tree)
        passed += counts["passed"]
        failed += counts["failed"]
        print(f"{os.path.basename(tree.rstrip('/'))}: {counts['passed']} passed, {counts['failed']} failed, "
              f"{counts['skipped']} skipped" + (f" ({note})" if note else ""))
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
