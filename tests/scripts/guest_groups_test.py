#!/usr/bin/env python3
"""How the guest's test groups are staged and counted (scripts/guest/groups.py):
a group that crashed, hung or never ran must never count as passed."""
import os
import shlex
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts", "guest"))
import groups  # noqa: E402

PASSED_3 = "[==========] 3 tests from 1 test suite ran. (10 ms total)\n[  PASSED  ] 3 tests.\n"
FAILED_1 = ("[  PASSED  ] 2 tests.\n[  FAILED  ] 1 test, listed below:\n"
            "[  FAILED  ] A.B\n\n 1 FAILED TEST\n")


class Counting(unittest.TestCase):
    def test_a_clean_run_counts_its_tests(self):
        self.assertEqual(groups.count(PASSED_3, 0, -1)[:3], (3, 0, 0))

    def test_failed_tests_are_counted_one_by_one(self):
        self.assertEqual(groups.count(FAILED_1, 1, -1)[:3], (2, 1, 0))

    def test_a_crash_without_summary_fails(self):
        passed, failed, _, note = groups.count("[ RUN      ] A.B\n", 3, -1)
        self.assertEqual((passed, failed), (0, 1))
        self.assertIn("without a test summary", note)

    def test_a_crash_after_the_summary_still_fails(self):
        self.assertEqual(groups.count(PASSED_3, 5, -1)[:2], (3, 1))

    def test_a_timeout_fails_whatever_it_printed(self):
        passed, failed, _, note = groups.count(PASSED_3, 124, -1)
        self.assertGreaterEqual(failed, 1)
        self.assertEqual(note, "timed out")

    def test_failures_with_exit_code_zero_still_fail(self):
        self.assertEqual(groups.count(FAILED_1, 0, -1)[1], 1)

    def test_a_group_that_never_ended_fails(self):
        self.assertEqual(groups.count("", None, -1)[:2], (0, 1))

    def test_the_skip_code_is_neither_pass_nor_failure(self):
        self.assertEqual(groups.count("skipped: no root\n", 77, 77)[:3], (0, 0, 1))


class Tally(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.share = self.tmp.name
        os.makedirs(os.path.join(self.share, "out"))
        with open(os.path.join(self.share, "groups.sh"), "w") as f:
            f.write("export MABIRU_E2E_EDITOR=/root/run/x.exe\n"
                    "group e2e.A 600 -1 /root/run bash wine.sh run e2e.exe\n"
                    "group e2e.B 600 -1 /root/run bash wine.sh run e2e.exe\n")
        self.result("tested-exe.sha256", "ab" * 32 + "  /root/run/build/setup/mabiru-setup.exe\n")

    def tearDown(self):
        self.tmp.cleanup()

    def result(self, name, text):
        with open(os.path.join(self.share, "out", name), "w") as f:
            f.write(text)

    def test_every_listed_group_counts_even_one_without_results(self):
        self.result("e2e.A.log", PASSED_3)
        self.result("e2e.A.rc", "0\n")
        # e2e.B left nothing: the guest stopped before it.
        passed, failed = groups.tally(self.share, "ab" * 32)
        self.assertEqual((passed, failed), (3 + 1, 1))

    def test_another_exe_than_the_zips_fails_the_check(self):
        for name in ("A", "B"):
            self.result(f"e2e.{name}.log", PASSED_3)
            self.result(f"e2e.{name}.rc", "0\n")
        self.assertEqual(groups.tally(self.share, "cd" * 32), (6, 1))
        os.remove(os.path.join(self.share, "out", "tested-exe.sha256"))
        self.assertEqual(groups.tally(self.share, "ab" * 32), (6, 1))


class Staging(unittest.TestCase):
    def test_paths_of_the_repo_and_build_move_into_the_guest_with_their_files(self):
        with tempfile.TemporaryDirectory() as build, tempfile.TemporaryDirectory() as files:
            os.makedirs(os.path.join(build, "tests", "e2e"))
            exe = os.path.join(build, "tests", "e2e", "mabiru-e2e.exe")
            with open(exe, "wb") as f:
                f.write(b"MZ")
            stager = groups.Stager(build, files)
            self.assertEqual(stager.argument(exe), "/root/run/build/tests/e2e/mabiru-e2e.exe")
            self.assertTrue(os.path.isfile(os.path.join(files, "build/tests/e2e/mabiru-e2e.exe")))
            wine_sh = os.path.join(groups.REPO, "scripts", "wine.sh")
            self.assertEqual(stager.argument(wine_sh), "/root/run/src/scripts/wine.sh")
            self.assertEqual(stager.argument("--gtest_filter=-*A.*:*B.*:"),
                             "--gtest_filter=-*A.*:*B.*:")
            self.assertEqual(stager.argument("/usr/bin/bash"), "bash")
            # A host path the guest cannot have is an error, not a silent miss.
            with self.assertRaises(SystemExit):
                stager.argument("/opt/tools/bin/runner")

    def test_a_filter_survives_the_trip_through_the_guest_shell(self):
        words = ["e2e.others", "600", "-1", "/root/run", "--gtest_filter=-*A.*:*B C.*:"]
        line = "group " + " ".join(shlex.quote(w) for w in words)
        self.assertEqual(shlex.split(line)[1:], words)


if __name__ == "__main__":
    unittest.main()
