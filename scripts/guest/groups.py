#!/usr/bin/env python3
"""The i686 test groups for the guest, taken from ctest's own list.

  groups.py stage BUILD SHIPPED_EXE SHARE
      lists every group that ctest knows in BUILD (the win32-tests build),
      copies what their commands name into SHARE/files, with the shipped exe
      in the place of the build's own, and writes SHARE/groups.sh for the
      guest: one `group NAME LIMIT SKIP_CODE WORKDIR COMMAND...` line each.
      MABIRU_GUEST_GROUPS, a regular expression, picks some groups by name.
  groups.py tally SHARE ZIP_EXE_SHA256
      reads what the guest left in SHARE/out, prints the SHA-256 of the exe
      it tested (one check: it must be the zip's), each group's result and a
      last line "i686 in the guest: N passed, N failed".
"""
import json
import os
import re
import shlex
import shutil
import subprocess
import sys

REPO = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", ".."))
# Where the guest copies SHARE/files before it runs anything.
GUEST_ROOT = "/root/run"
# Where the editor and the stand-ins for the browser and the annotation
# service are in a build; the tests are told these at run time.
EDITOR = "setup/mabiru-setup.exe"
RECORDER = "tests/e2e/url-recorder.exe"
ANNOTATION_SERVICE = "tests/e2e/acc-prop-recorder.dll"


def ctest_groups(build):
    out = subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1"],
                         check=True, capture_output=True, text=True).stdout
    groups = []
    for test in json.loads(out)["tests"]:
        props = {p["name"]: p["value"] for p in test.get("properties", [])}
        groups.append({
            "name": test["name"],
            "command": test["command"],
            "timeout": int(float(props.get("TIMEOUT", 600))),
            "skip_code": int(props.get("SKIP_RETURN_CODE", -1)),
            "workdir": props.get("WORKING_DIRECTORY", build),
        })
    return groups


class Stager:
    """Maps host paths of the repo and the build to copies under GUEST_ROOT."""

    def __init__(self, build, files):
        self.roots = [(os.path.realpath(build), "build"), (REPO, "src")]
        self.files = files

    def guest_path(self, path, copy=True):
        real = os.path.realpath(path)
        for root, name in self.roots:
            if real == root or real.startswith(root + os.sep):
                rel = os.path.relpath(real, root)
                if copy and os.path.isfile(real):
                    self.copy(real, os.path.join(name, rel))
                return os.path.normpath(os.path.join(GUEST_ROOT, name, rel))
        return None

    def copy(self, source, rel):
        target = os.path.join(self.files, rel)
        if not os.path.exists(target):
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copy2(source, target)

    def argument(self, arg):
        if not arg.startswith("/"):
            return arg
        mapped = self.guest_path(arg)
        if mapped is not None:
            return mapped
        # A system tool such as bash: the guest finds its own on PATH.
        if os.path.dirname(arg) in ("/bin", "/usr/bin", "/usr/local/bin"):
            return os.path.basename(arg)
        raise SystemExit(f"groups: {arg} is neither in the repo, nor in the build, nor a system tool")


def stage(build, shipped_exe, share):
    files = os.path.join(share, "files")
    stager = Stager(build, files)
    # The shipped exe takes the place of the build's own editor.
    stager.copy(shipped_exe, os.path.join("build", EDITOR))
    stager.copy(os.path.join(build, RECORDER), os.path.join("build", RECORDER))
    stager.copy(os.path.join(build, ANNOTATION_SERVICE), os.path.join("build", ANNOTATION_SERVICE))
    stager.copy(os.path.join(REPO, "scripts", "wine.sh"), os.path.join("src", "scripts", "wine.sh"))
    lines = [
        f"export MABIRU_E2E_EDITOR={GUEST_ROOT}/build/{EDITOR}",
        f"export MABIRU_E2E_RECORDER={GUEST_ROOT}/build/{RECORDER}",
        f"export MABIRU_E2E_ANNOTATION_SERVICE={GUEST_ROOT}/build/{ANNOTATION_SERVICE}",
    ]
    exports = len(lines)
    only = re.compile(os.environ.get("MABIRU_GUEST_GROUPS", ""))
    for g in ctest_groups(build):
        if not only.search(g["name"]):
            continue
        command = [stager.argument(a) for a in g["command"]]
        workdir = stager.guest_path(g["workdir"], copy=False) or GUEST_ROOT
        words = [g["name"], str(g["timeout"]), str(g["skip_code"]), workdir] + command
        lines.append("group " + " ".join(shlex.quote(w) for w in words))
    with open(os.path.join(share, "groups.sh"), "w") as f:
        f.write("\n".join(lines) + "\n")
    return len(lines) - exports


def count(log, code, skip_code):
    """(passed, failed, skipped, note) of one group from its output and exit code."""

    def number(label):
        found = re.findall(r"^\[ +%s +\] (\d+) tests?" % label, log, re.M)
        return int(found[-1]) if found else None

    passed, failed, skipped = number("PASSED"), number("FAILED"), number("SKIPPED")
    if code is None:
        return 0, 1, 0, "no result: the guest stopped before it ended"
    if code == skip_code:
        return 0, 0, max(skipped or 0, 1), "skipped"
    if code == 124:
        return passed or 0, max(failed or 0, 1), 0, "timed out"
    if passed is None:
        return 0, max(failed or 0, 1), 0, f"exit code {code} without a test summary"
    failed = failed or 0
    if code != 0 and failed == 0:
        # A crash after the summary, or at exit, is still a failure.
        return passed, 1, skipped or 0, f"exit code {code} with every test passed"
    if code == 0 and failed:
        return passed, failed, skipped or 0, "failures, yet exit code 0"
    return passed, failed, skipped or 0, "" if code == 0 else f"exit code {code}"


def tested_exe_check(out, zip_sha):
    """(passed, failed) of the check that the guest tested the zip's exe."""
    try:
        with open(os.path.join(out, "tested-exe.sha256")) as f:
            tested = f.read().split()[0]
    except (OSError, IndexError):
        print("i686 tested exe: the guest reported no SHA-256")
        return 0, 1
    print(f"i686 tested exe: SHA-256 {tested}")
    if tested != zip_sha:
        print(f"i686 tested exe: not the zip's exe (SHA-256 {zip_sha})")
        return 0, 1
    print("i686 tested exe: the very exe in the zip")
    return 1, 0


def tally(share, zip_sha):
    out = os.path.join(share, "out")
    total_passed, total_failed = tested_exe_check(out, zip_sha)
    with open(os.path.join(share, "groups.sh")) as f:
        groups = [shlex.split(line)[1:4] for line in f if line.startswith("group ")]
    for name, _limit, skip_code in groups:
        log, code = "", None
        try:
            with open(os.path.join(out, name + ".log"), errors="replace") as f:
                log = f.read()
            with open(os.path.join(out, name + ".rc")) as f:
                code = int(f.read().strip())
        except (OSError, ValueError):
            pass
        passed, failed, skipped, note = count(log, code, int(skip_code))
        total_passed += passed
        total_failed += failed
        status = "FAILED" if failed else "skipped" if skipped and not passed else "passed"
        print(f"i686 {name}: {status}: {passed} passed, {failed} failed"
              + (f", {skipped} skipped" if skipped else "") + (f" ({note})" if note else ""))
        if failed and log:
            print(log.rstrip())
    return total_passed, total_failed


def main(argv):
    if len(argv) == 5 and argv[1] == "stage":
        print(f"groups: {stage(argv[2], argv[3], argv[4])} groups staged")
        return 0
    if len(argv) == 4 and argv[1] == "tally":
        passed, failed = tally(argv[2], argv[3])
        print(f"i686 in the guest: {passed} passed, {failed} failed")
        return 1 if failed else 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
