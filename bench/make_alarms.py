#!/usr/bin/env python3
"""Writes an Alarms.dat with COUNT alarms, of mixed kinds or all Daily, for the benchmarks.

Usage: make_alarms.py PATH COUNT [mixed|daily]
"""
import random
import struct
import sys


def slot(index, name, kind, hour, minute, weekday=0, day=1, month=1, year=2024, disabled=0):
    raw = name.encode("cp1252")[:100].ljust(100, b" ")
    record = struct.pack("<i100sBBBBBBhhh", index, raw, kind, hour, minute, weekday, day, month, year, 0, disabled)
    return record + bytes(12)


def main():
    path, count = sys.argv[1], int(sys.argv[2])
    kind = sys.argv[3] if len(sys.argv) > 3 else "mixed"
    rng = random.Random(42)
    data = [bytes(128)]
    if kind == "daily":
        # Enabled Daily alarms spread evenly over the day: every day of a
        # catch-up finds each of them once.
        for i in range(1, count + 1):
            minute_of_day = (i - 1) * 1440 // count
            data.append(slot(i, f"Alarm number {i}", 1, minute_of_day // 60, minute_of_day % 60))
        with open(path, "wb") as f:
            f.write(b"".join(data))
        return
    for i in range(1, count + 1):
        data.append(slot(i, f"Alarm number {i}", i % 4, rng.randrange(24), rng.randrange(60), rng.randrange(7),
                         1 + rng.randrange(28), 1 + rng.randrange(12), 2024, -1 if i % 10 == 0 else 0))
    with open(path, "wb") as f:
        f.write(b"".join(data))


if __name__ == "__main__":
    main()
