#!/usr/bin/env python3
"""Keeps the program's layers: every #include of a source folder runs downwards.

    app -> shell -> windows -> ui -> sync -> interchange -> engine / resources -> platform

- app/ holds main.cpp only and may include anything below it.
- shell/ (tray, menus, single copy, the wiring) includes windows, ui, engine, resources.
- A window folder (clockwindow, notify, alarmui, theme, about) includes ui, engine,
  resources, and another window folder only where one window opens another
  (WINDOW_OPENS below); never shell/ or app/, never in a circle.
- ui/ (what every window stands on) includes engine and resources only.
- interchange/ (the iCalendar mapping) sits beside engine/, above it: it includes engine/
  and platform/, and engine/ never includes it.
- sync/ (the calendar server client) includes interchange/, engine/ and platform/;
  only shell/ and app/ include it.
- engine/ includes platform/; resources/ includes nothing of the program's.
- platform/ (what differs between operating systems) includes nothing of the
  program's but itself.

Prints every include that breaks a rule as FILE:LINE and exits 1.
"""
import os
import re
import sys

LEVEL = {
    "app": 4,
    "shell": 3,
    "clockwindow": 2, "notify": 2, "alarmui": 2, "theme": 2, "about": 2,
    "ui": 1,
    "sync": 0.75,
    "interchange": 0.5,
    "engine": 0, "resources": 0,
    "platform": -1,
}
WINDOWS = {folder for folder, level in LEVEL.items() if level == 2}
# One window opens another: the clock its notifications and the missed panel,
# the alarm list the about windows.
WINDOW_OPENS = {("clockwindow", "notify"), ("alarmui", "about")}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"')


def main(root):
    problems = []
    edges = set()
    for folder in sorted(LEVEL):
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            if not name.endswith((".cpp", ".h")):
                continue
            if folder == "app" and name != "main.cpp":
                problems.append(f"{folder}/{name}: app/ holds main.cpp only")
            with open(os.path.join(path, name), encoding="utf-8") as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE.match(line)
                    if not match or match.group(1) == folder:
                        continue
                    target = match.group(1)
                    where = f"{folder}/{name}:{number}: includes {target}/"
                    if target not in LEVEL:
                        problems.append(f"{where}, which is no source folder of the program")
                    elif target == "sync" and folder not in ("shell", "app"):
                        problems.append(f"{where}: only shell/ and app/ reach the calendar server")
                    elif folder in WINDOWS and target in WINDOWS:
                        edges.add((folder, target))
                        if (folder, target) not in WINDOW_OPENS:
                            problems.append(f"{where}: one window folder includes another only where one window "
                                            f"opens the other ({', '.join(a + ' -> ' + b for a, b in sorted(WINDOW_OPENS))})")
                    elif LEVEL[target] >= LEVEL[folder]:
                        problems.append(f"{where}, which is not below {folder}/ (app -> shell -> windows -> ui -> "
                                        f"engine/resources -> platform)")
    # The allowed window edges must not close a circle either.
    for a, b in sorted(edges):
        if a < b and (b, a) in edges:
            problems.append(f"{a}/ and {b}/ include each other")
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} include(s) against the layers")
        return 1
    print("includes run downwards: app -> shell -> windows -> ui -> engine/resources -> platform")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")))
