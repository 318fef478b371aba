#!/usr/bin/env python3
"""Compares two serial byte traces (TESSEL_TRACE files) of the same commands as exchanges.

A trace line is "[tessel] PORT DIR N: XX XX ..." with DIR "->" (sent) or "<-" (received).
What is normalised, and why:
  - the port name (COM7 on Windows, pts/N on Linux): the same device under two names;
  - how the bytes of one direction are split into lines: reads return whatever has arrived, so
    the split depends on timing; consecutive lines of one direction join into one message;
  - a run of identical exchanges (request and reply both equal) counts once: a status poll
    repeats until the device's state changes, and how often depends on wall time.
Nothing else: every byte of every request and reply must match, in order.
Exit 0 when the traces match, 1 when they differ (the first difference is printed), 2 on bad input.
"""
import re
import sys

LINE = re.compile(r"^\[tessel\] (\S+) (->|<-) (\d+):((?: [0-9A-F]{2})*)$")


def messages(lines):
    """(direction, bytes) with consecutive same-direction lines joined; the port name dropped."""
    out = []
    for number, line in enumerate(lines, 1):
        line = line.rstrip("\n")
        if not line.startswith("[tessel] "):
            continue  # the tool's own output may share the file
        m = LINE.match(line)
        if m is None:
            raise ValueError(f"line {number}: not a trace line: {line!r}")
        data = bytes.fromhex(m.group(4))
        if len(data) != int(m.group(3)):
            raise ValueError(f"line {number}: says {m.group(3)} bytes, holds {len(data)}")
        if out and out[-1][0] == m.group(2):
            out[-1] = (m.group(2), out[-1][1] + data)
        else:
            out.append((m.group(2), data))
    return out


def exchanges(lines):
    """Requests with their replies, a run of identical exchanges kept once."""
    result = []
    for direction, data in messages(lines):
        if direction == "->":
            result.append([data, b""])
        elif result:
            result[-1][1] += data
        else:
            result.append([b"", data])  # a reply nobody asked for: keep it, it must match too
    collapsed = []
    for e in result:
        if not collapsed or collapsed[-1] != e:
            collapsed.append(e)
    return collapsed


def describe(e):
    return f"-> {e[0].hex(' ').upper() or '(nothing)'}\n   <- {e[1].hex(' ').upper() or '(nothing)'}"


def compare(a, b):
    """None when the exchange lists match, else a text naming the first difference."""
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return f"exchange {i + 1} differs:\n  first:  {describe(x)}\n  second: {describe(y)}"
    if len(a) != len(b):
        longer, which = (a, "first") if len(a) > len(b) else (b, "second")
        return f"the {which} trace goes on after exchange {min(len(a), len(b))}:\n  {describe(longer[min(len(a), len(b))])}"
    return None


def main(argv):
    if len(argv) != 3:
        print("usage: serial_trace_compare.py FIRST_TRACE SECOND_TRACE", file=sys.stderr)
        return 2
    try:
        with open(argv[1]) as f:
            first = exchanges(f)
        with open(argv[2]) as f:
            second = exchanges(f)
    except (OSError, ValueError) as e:
        print(f"serial_trace_compare: {e}", file=sys.stderr)
        return 2
    difference = compare(first, second)
    if difference is not None:
        print(difference)
        return 1
    sent = sum(len(e[0]) for e in first)
    received = sum(len(e[1]) for e in first)
    print(f"{len(first)} exchanges match ({sent} bytes sent, {received} received)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
