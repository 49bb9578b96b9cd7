#!/usr/bin/env python3
"""Writes the hand-made seeds of the fuzz corpora (the fuzzer adds its own).

usage: make_seeds.py REGION_BLOCK_FILE
REGION_BLOCK_FILE is the program's real outline block, as the build draws it
(build/resources/generated/custom/REGION).
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    with open(os.path.join(HERE, "corpus", target, name), "wb") as f:
        f.write(data)


def slot(index=0, name=b"", kind=0, hour=0, minute=0, weekday=0, day=0, month=0, year=0, deleted=0, disabled=0,
         pad=b"\0" * 12):
    name = name.ljust(100, b" ") if name else b"\0" * 100
    record = struct.pack("<i100sBBBBBBhhh", index, name, kind, hour, minute, weekday, day, month, year, deleted,
                         disabled)
    assert len(record) == 116
    return record + pad


def alarm_seeds():
    placeholder = slot()
    once = slot(1, b"Dentist", 0, 9, 30, 0, 14, 3, 2024)
    daily = slot(2, "Caf\u00e9 \u20ac".encode("cp1252"), 1, 7, 0)
    weekly = slot(3, b"Bins", 2, 18, 45, 3, disabled=-1)
    write("alarm_file", "valid-4-slots", placeholder + once + daily + weekly)
    write("alarm_file", "empty", b"")
    write("alarm_file", "short-127", once[:127])
    write("alarm_file", "partial-129", placeholder + b"\x07")
    odd = [
        placeholder,
        once,
        slot(77, b"Deleted in the middle", 1, 6, 15, deleted=-1),
        slot(-5, b"Every weekday", 3, 23, 59, disabled=-1),
        # Bytes the code page leaves undefined, and the rest of the high half.
        slot(4, bytes([0x81, 0x8D, 0x8F, 0x90, 0x9D]) + bytes(range(0xA0, 0x100, 3))),
        slot(5, b"Out of range", 9, 25, 61, 8, 32, 13, -1),
        slot(6, b"Leap day", 0, 0, 0, 0, 29, 2, 2028, deleted=1),
        slot(7, b"\x00mid\x00name\x00", 1, 12, 0),
        slot(8, b"\xff" * 100, 255, 255, 255, 255, 255, 255, -1, -1, -1, pad=b"\xff" * 12),
        slot(2147483647, b"Max index", 2, 0, 1, 0, year=32767, disabled=32767),
        slot(9, b"Padding not zero", 1, 8, 0, pad=b"padding-junk"),
        weekly,
    ]
    data = b"".join(odd)
    assert len(data) == 1536
    write("alarm_file", "mixed-12-slots-1536", data)


def region_seeds(path):
    with open(path, "rb") as f:
        real = f.read()
    assert len(real) == 472
    write("region_block", "real-472", real)

    def patched(offset, value):
        return real[:offset] + struct.pack("<i", value) + real[offset + 4:]

    damaged = {
        "short-471": real[:471],
        "long-473": real + b"\0",
        "header-only-40": real[:40],
        "width-0": patched(0, 0),
        "height-negative": patched(4, -70),
        "width-too-big": patched(0, 16385),
        "header-size-0": patched(8, 0),
        "type-2": patched(12, 2),
        "count-plus-1": patched(16, 28),
        "count-huge": patched(16, 0x10000000),
        "rect-bytes-wrong": patched(20, 27 * 16 + 1),
        "bounds-outside": patched(32, 201),
        "rect-inverted": patched(40 + 8, 0),
        "rect-outside-bounds": patched(40, 0),
        "rect-min-int": patched(40, -2**31),
    }
    for name, data in damaged.items():
        write("region_block", "damaged-" + name, data)
    # The smallest block that is accepted: one pixel.
    write("region_block", "one-pixel", struct.pack("<10i", 1, 1, 32, 1, 1, 16, 0, 0, 1, 1) +
          struct.pack("<4i", 0, 0, 1, 1))


def multistatus_seeds():
    os.makedirs(os.path.join(HERE, "corpus", "multistatus"), exist_ok=True)
    head = b'<?xml version="1.0" encoding="utf-8"?>\n'
    ms = b'<d:multistatus xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:caldav">'
    end = b"</d:multistatus>"

    def response(href, props=b"", status=b"HTTP/1.1 200 OK"):
        return (b"<d:response><d:href>" + href + b"</d:href><d:propstat><d:prop>" + props +
                b"</d:prop><d:status>" + status + b"</d:status></d:propstat></d:response>")

    calendar = b"<d:resourcetype><d:collection/><c:calendar/></d:resourcetype>"
    etag = b'<d:getetag>"1-abc"</d:getetag>'
    data = b"<c:calendar-data>BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n</c:calendar-data>"
    write("multistatus", "propfind-listing", head + ms + response(b"/cal/home/", calendar) +
          response(b"/cal/home/tea.ics", etag) + response(b"gym.ics", etag) + end)
    write("multistatus", "sync-collection", head + ms + response(b"/cal/home/a.ics", etag) +
          b"<d:response><d:href>/cal/home/gone.ics</d:href><d:status>HTTP/1.1 404 Not Found</d:status></d:response>"
          b"<d:sync-token>http://dav.example/sync/7</d:sync-token>" + end)
    write("multistatus", "multiget", head + ms + response(b"/cal/home/tea.ics", etag + data) +
          response(b"/cal/home/x.ics", b"<c:calendar-data/>", b"HTTP/1.1 404 Not Found") + end)
    # What must be dropped: another origin, a way out of the collection, dot segments.
    write("multistatus", "outside", head + ms + response(b"https://other.example/cal/home/a.ics", etag) +
          response(b"/cal/home/..%2Fother%2Fx.ics", etag) + response(b"/cal/home/./b/../c.ics", etag) +
          response(b"/cal/", calendar) + end)
    write("multistatus", "doctype", head + b'<!DOCTYPE d [<!ENTITY x "xxxxxxxx">]>' + ms +
          response(b"/cal/home/&x;.ics") + end)
    write("multistatus", "not-multistatus", head + b'<d:error xmlns:d="DAV:"><d:valid-sync-token/></d:error>')
    write("multistatus", "broken", head + ms + b"<d:response><d:href>/cal/home/a.ics</d:href>")


if __name__ == "__main__":
    alarm_seeds()
    region_seeds(sys.argv[1])
    multistatus_seeds()
