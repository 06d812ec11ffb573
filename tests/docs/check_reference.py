#!/usr/bin/python3
"""Checks the script reference against tessel.

  check_reference.py complete TESSEL REFERENCE
      every name `tessel --list` prints has an entry, and every entry names one
  check_reference.py examples TESSEL DOC...
      every example runs through tessel, each in a fresh prefix, with its stated output

An entry is a level-4 heading naming one or more built-ins or variables in backticks:
    #### `Name`, `OtherName`
An example is a ```tessel block followed by an ```output block; the output block is
the exact standard output, without the newline that ends the block, where a CR LF
line end compares equal to a plain line break; a status other than 0 is stated on its
opening line:
    ```output rc=3
"""
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile

ENTRY = re.compile(r"^#### (`[^`]+`(?:, `[^`]+`)*)\s*$")
FENCE = re.compile(r"^```(\S*)(.*)$")


def entries(path):
    names = {}
    with open(path, encoding="utf-8") as doc:
        for number, line in enumerate(doc, 1):
            match = ENTRY.match(line.rstrip("\n"))
            if match:
                for name in re.findall(r"`([^`]+)`", match.group(1)):
                    names.setdefault(name, number)
    return names


def registered(tessel):
    listing = subprocess.run([tessel, "--list"], capture_output=True, text=True, check=True)
    names = {}
    library = None
    for line in listing.stdout.splitlines():
        if line.startswith("["):
            library = line[1:-1]
        elif line:
            names[line] = library
    return names


def check_complete(tessel, reference):
    documented = entries(reference)
    names = registered(tessel)
    problems = []
    for name, library in names.items():
        if name not in documented:
            problems.append(f"{name} ({library}) has no entry")
    for name, line in documented.items():
        if name not in names:
            problems.append(f"line {line}: {name} is not a registered name")
    for problem in problems:
        print(problem)
    print(f"{len(names)} registered names, {len(documented)} documented, "
          f"{len(problems)} problems")
    return not problems


def blocks(path):
    """(line, kind, options, text) for every fenced block."""
    with open(path, encoding="utf-8") as doc:
        lines = doc.read().split("\n")
    i = 0
    while i < len(lines):
        match = FENCE.match(lines[i])
        if not match:
            i += 1
            continue
        start = i
        body = []
        i += 1
        while i < len(lines) and lines[i] != "```":
            body.append(lines[i])
            i += 1
        i += 1
        yield start + 1, match.group(1), match.group(2).strip(), "\n".join(body)


def examples(path):
    pending = None
    for line, kind, options, text in blocks(path):
        if kind == "tessel":
            if pending:
                raise ValueError(f"{path}:{pending[0]}: example without output")
            pending = (line, text)
        elif kind == "output":
            if not pending:
                raise ValueError(f"{path}:{line}: output without example")
            rc = 0
            match = re.search(r"rc=(\d+)", options)
            if match:
                rc = int(match.group(1))
            yield pending[0], pending[1], text, rc
            pending = None
    if pending:
        raise ValueError(f"{path}:{pending[0]}: example without output")


def run_example(tessel, script, scratch):
    prefix = tempfile.mkdtemp(dir=scratch)
    env = dict(os.environ, ZOMA_PREFIX=os.path.join(prefix, "prefix"), ZOMA_UI="none")
    env.pop("ZOMA_UI_ANSWERS", None)
    run = subprocess.run([tessel, "-"], input=script.encode(), capture_output=True,
                         env=env, cwd=prefix, timeout=30)
    return run.stdout.decode("utf-8", "replace").replace("\r\n", "\n"), run.returncode, run.stderr.decode(
        "utf-8", "replace")


def check_examples(tessel, paths):
    cases = [(path, line, script, want, want_rc)
             for path in paths for line, script, want, want_rc in examples(path)]
    failures = 0
    with tempfile.TemporaryDirectory() as scratch:
        # Two at a time: the examples are many and small, the machine has few cores.
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            runs = pool.map(lambda case: run_example(tessel, case[2], scratch), cases)
            for (path, line, _, want, want_rc), (got, rc, err) in zip(cases, runs):
                if got != want or rc != want_rc:
                    failures += 1
                    print(f"FAIL {os.path.basename(path)}:{line}: got {got!r} status {rc}, "
                          f"expected {want!r} status {want_rc}")
                    if err:
                        print("  stderr: " + err.strip()[:300])
    print(f"{len(cases)} examples, {failures} failed")
    return bool(cases) and failures == 0


def main(argv):
    if len(argv) >= 4 and argv[1] == "complete":
        return 0 if check_complete(argv[2], argv[3]) else 1
    if len(argv) >= 4 and argv[1] == "examples":
        try:
            return 0 if check_examples(os.path.abspath(argv[2]), argv[3:]) else 1
        except ValueError as error:
            print(error)
            return 1
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
