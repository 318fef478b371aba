#!/usr/bin/env python3
"""The trace comparison normalises only what timing decides and catches every byte that differs."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import serial_trace_compare as stc  # noqa: E402


def trace(*lines, port="pts/3"):
    out = []
    for direction, hexbytes in lines:
        n = len(hexbytes.split())
        out.append(f"[tessel] {port} {direction} {n}:{''.join(' ' + b for b in hexbytes.split())}\n")
    return out


STATUS = [("->", "31"), ("<-", "31 00 00 00 00 00 01 00 00")]
IDLE = [("->", "31"), ("<-", "31 00 00 00 00 00 00 00 00")]


class Matching(unittest.TestCase):
    def test_what_timing_decides_is_normalised(self):
        base = trace(("->", "17"), ("<-", "17 00 02"), *STATUS, *IDLE)
        cases = {
            "another port name": trace(("->", "17"), ("<-", "17 00 02"), *STATUS, *IDLE, port="COM7"),
            "a reply split over reads": trace(("->", "17"), ("<-", "17"), ("<-", "00 02"), *STATUS, *IDLE),
            "a status polled more often": trace(("->", "17"), ("<-", "17 00 02"), *STATUS, *STATUS, *STATUS, *IDLE),
            "the tool's own output between": ["connected\n"] + base + ["done\n"],
        }
        for name, other in cases.items():
            with self.subTest(name):
                self.assertIsNone(stc.compare(stc.exchanges(base), stc.exchanges(other)))

    def test_any_changed_byte_order_or_length_is_a_difference(self):
        base = trace(("->", "17"), ("<-", "17 00 02"), ("->", "3E 00 01"), ("<-", "3E FF"), *IDLE)
        cases = {
            "a reply byte": trace(("->", "17"), ("<-", "17 00 03"), ("->", "3E 00 01"), ("<-", "3E FF"), *IDLE),
            "a request byte": trace(("->", "17"), ("<-", "17 00 02"), ("->", "3E 00 02"), ("<-", "3E FF"), *IDLE),
            "a missing exchange": trace(("->", "17"), ("<-", "17 00 02"), *IDLE),
            "an extra exchange at the end": base + trace(("->", "40"), ("<-", "40 FF")),
            "two exchanges swapped": trace(("->", "3E 00 01"), ("<-", "3E FF"), ("->", "17"), ("<-", "17 00 02"),
                                           *IDLE),
            "a reply one byte short": trace(("->", "17"), ("<-", "17 00"), ("->", "3E 00 01"), ("<-", "3E FF"), *IDLE),
            # Repeats collapse only when identical: a different request between them stays.
            "a request repeated with another between": base + trace(("->", "17"), ("<-", "17 00 02")),
        }
        for name, other in cases.items():
            with self.subTest(name):
                self.assertIsNotNone(stc.compare(stc.exchanges(base), stc.exchanges(other)))
                self.assertIsNotNone(stc.compare(stc.exchanges(other), stc.exchanges(base)))

    def test_a_damaged_trace_line_is_refused(self):
        for line in ["[tessel] COM7 -> 2: 17\n", "[tessel] COM7 => 1: 17\n", "[tessel] COM7 -> 1: 1G\n"]:
            with self.subTest(line), self.assertRaises(ValueError):
                stc.exchanges([line])


if __name__ == "__main__":
    unittest.main()
