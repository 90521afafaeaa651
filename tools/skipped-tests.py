"""Prints why each test that ctest skipped in a build folder was skipped.

    skipped-tests.py BUILD_DIR CTEST_OUTPUT

The names come from ctest's own summary (CTEST_OUTPUT, what ctest printed), the reasons from
what each test printed, as ctest keeps it in BUILD_DIR/Testing/Temporary/LastTest.log: the
message GoogleTest prints for a skipped test, or else the last lines the test printed.
"""

import os
import re
import sys

SKIPPED_LINE = re.compile(r"^\s*\d+ - (.+) \(Skipped\)\s*$")
TEST_START = re.compile(r"^\d+/\d+ Testing: (.+?)\s*$")
GTEST_SKIP_AT = re.compile(r"^(\S+:\d+): Skipped$")
GTEST_SKIPPED = "[  SKIPPED ]"
LAST_LINES = 3


def skipped_names(ctest_output):
    with open(ctest_output, encoding="utf-8", errors="replace") as f:
        return [m.group(1) for m in map(SKIPPED_LINE.match, f) if m]


def outputs(log_path):
    """Each test's output in the log, by test name."""
    found = {}
    name, lines, inside = None, [], False
    with open(log_path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            start = TEST_START.match(line)
            if start:
                name, lines, inside = start.group(1), [], False
            elif name and line == "Output:":
                inside, lines = True, []
            elif inside and line == "<end of output>":
                found[name] = lines[1:]  # below the rule under "Output:"
                name, inside = None, False
            elif inside:
                lines.append(line)
    return found


def reason(lines):
    """GoogleTest's skip message (with where it was given), or the test's last lines."""
    for index, line in enumerate(lines):
        at = GTEST_SKIP_AT.match(line)
        if not at:
            continue
        message = []
        for following in lines[index + 1:]:
            if following.startswith(GTEST_SKIPPED):
                break
            if following.strip():
                message.append(following.strip())
        return f"{' '.join(message) or '(no message)'} [{at.group(1)}]"
    printed = [line.strip() for line in lines if line.strip()]
    return " / ".join(printed[-LAST_LINES:]) or "(printed nothing)"


def main():
    build, ctest_output = sys.argv[1:3]
    names = skipped_names(ctest_output)
    if not names:
        return 0
    log_path = os.path.join(build, "Testing", "Temporary", "LastTest.log")
    printed = outputs(log_path) if os.path.exists(log_path) else {}
    print(f"Skipped in {build} ({len(names)}):")
    for name in names:
        shown = name.split("  # ")[0]  # without the parameter note of a parameterised test
        print(f"  {shown}: {reason(printed.get(name, []))}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
