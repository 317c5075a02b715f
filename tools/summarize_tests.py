#!/usr/bin/env python3
"""Prints one line of passed and failed tests over both builds.

Test executables of GoogleTest count by their test cases (from their XML reports); every
other CTest test counts once, a skipped one not at all."""
import sys
import xml.etree.ElementTree as ET
from pathlib import Path


def main() -> int:
    results = Path(sys.argv[1])
    passed = failed = 0
    for ctest_report in sorted(results.glob("*-ctest.xml")):
        preset = ctest_report.name[: -len("-ctest.xml")]
        gtest_dir = results / f"{preset}-gtest"
        for case in ET.parse(ctest_report).getroot().iter("testcase"):
            name = case.get("name")
            if case.find("skipped") is not None:  # skipped as a whole (it says why in its output)
                continue
            ok = case.get("status") == "run" and case.find("failure") is None
            gtest_report = gtest_dir / f"{name}.xml"
            if gtest_report.exists():
                suite = ET.parse(gtest_report).getroot()
                total = int(suite.get("tests", 0)) - int(suite.get("disabled", 0))
                bad = int(suite.get("failures", 0)) + int(suite.get("errors", 0))
                skipped = sum(1 for c in suite.iter("testcase") if c.find("skipped") is not None)
                passed += total - bad - skipped
                failed += bad
                if not ok and bad == 0:  # crashed or timed out after writing its report
                    failed += 1
            elif ok:
                passed += 1
            else:
                failed += 1
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
