#!/usr/bin/env python3
"""The pure parts of scripts/compare-outputs: what its masks hide and what they
must leave alone, so that a real difference is never masked away.

    python3 tests/compare/test_compare_outputs.py
"""
import importlib.machinery
import importlib.util
import json
import time
import sys
import unittest
from pathlib import Path

sys.dont_write_bytecode = True  # nothing left beside the script
SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "compare-outputs"
loader = importlib.machinery.SourceFileLoader("compare_outputs", str(SCRIPT))
spec = importlib.util.spec_from_loader("compare_outputs", loader)
compare = importlib.util.module_from_spec(spec)
loader.exec_module(compare)


def masked(text, live=False, pids=None):
    return compare.apply_masks(text, compare.ALWAYS + (compare.LIVE if live else []), pids)


class Masks(unittest.TestCase):
    def test_what_differs_between_two_runs_by_nature_is_hidden(self):
        now_2001 = time.time() - 978307200
        pairs = [
            ('{"time":"2026-12-08T13:18:50Z"}', '{"time":"2026-12-08T13:18:51Z"}'),
            ('"id" : "4F38C021-4CAD-4A52-A6BF-E140E606EA2C"',
             '"id" : "5E07EA8D-FF66-44AA-BC65-FB6C655F1F00"'),
            ('"scanID" : "20261208T131844-ec71ac98"', '"scanID" : "20261208T131845-d4211d3"'),
            ('"freeBytes" : 68964052992,', '"freeBytes" : 68964032512,'),
            ("Free right now: 68.96 GB", "Free right now: 69.01 GB"),
            ("x,<time>,_total,,,,68963794944,90112,7", "x,<time>,_total,,,,68963446784,90112,7"),
            (f'"startedAt" : {now_2001:.7f},', f'"startedAt" : {now_2001 + 0.3:.7f},'),
        ]
        for base, new in pairs:
            self.assertEqual(masked(base), masked(new), base)

    def test_everything_else_stays_a_difference(self):
        pairs = [
            ("Stopped PID 1234.", "Freed PID 1234."),
            ('"recordedAt": 786000000.25', '"recordedAt": 786000000.5'),  # not a time of this run
            ('"bytes" : 40960', '"bytes" : 40961'),
            ('"id" : "~/code/web#next-build"', '"id" : "~/code/web#next-build-active"'),
            ("Up at least 45 min:", "Up at least 46 min:"),
        ]
        for base, new in pairs:
            for live in (False, True):
                self.assertNotEqual(masked(base, live), masked(new, live), base)
        # A size is masked only where live processes are measured: a disk
        # item's size is fixed by the fixture.
        self.assertNotEqual(masked("41 KB      pip cache"), masked("42 KB      pip cache"))

    def test_live_sizes_ages_and_numbers_inside_escaped_json(self):
        base = 'x {"text":"{\\n  \\"memoryBytes\\" : 43442176,\\n  \\"ageSeconds\\" : 3"}'
        new = 'x {"text":"{\\n  \\"memoryBytes\\" : 43450000,\\n  \\"ageSeconds\\" : 4"}'
        self.assertEqual(masked(base, live=True), masked(new, live=True))
        self.assertEqual(masked("9.9 MB     Notes", live=True), masked("10.1 MB    Notes", live=True))

    def test_pids_of_separate_sets_read_as_their_role(self):
        base = masked('Freed PID 1108 and x. {"pid":1108,"members":[11080]}', pids={"1108": "shop"})
        new = masked('Freed PID 1158 and x. {"pid":1158,"members":[11080]}', pids={"1158": "shop"})
        self.assertEqual(base, new)
        self.assertIn("PID <shop>", base)
        self.assertIn("[11080]", base)   # a longer number that starts like a pid stays
        self.assertNotEqual(masked("PID 1108", pids={"1108": "shop"}),
                            masked("PID 1158", pids={"1158": "web"}))


class Report(unittest.TestCase):
    def test_a_missing_final_line_feed_shows_in_the_diff(self):
        diff = compare.unified(["same\n", "same"], "stdout")
        self.assertIn("No newline at end of file", diff)
        self.assertTrue(all(line.startswith("    ") for line in diff.splitlines()))

    def test_placeholders_are_filled_and_unknown_ones_kept(self):
        context = {"pid:shop": 1108, "port:shop": 18000, "work": Path("/w")}
        self.assertEqual(compare.expand("kill {pid:shop} :{port:shop} {work}/x {nosuch}", context),
                         "kill 1108 :18000 /w/x {nosuch}")

    def test_the_mcp_session_frames_each_body_by_its_length(self):
        context = {f"pid:{role}": 1000 + n for n, role in enumerate(
            ["claude", "shop", "nobody", "left"])}
        context.update({"port:shop": 18000, "port:login": 18001})
        session = compare.mcp_session(context)
        header = b"Content-Length: "
        start = session.index(header)
        length = int(session[start + len(header):session.index(b"\r\n", start)])
        body = session[session.index(b"\r\n\r\n", start) + 4:][:length]
        self.assertEqual(json.loads(body)["method"], "tools/list")
        self.assertTrue(session.endswith(b'"id": 32'))   # the cut-off frame comes last


if __name__ == "__main__":
    unittest.main()
