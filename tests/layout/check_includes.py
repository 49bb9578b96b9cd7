#!/usr/bin/env python3
"""Keeps the program's layers: every #include of a source folder runs downwards.

    app -> shell -> windows -> ui -> sync -> interchange -> engine / resources -> platform
           shell -> service -> sync

- app/ holds main.cpp only and may include anything below it.
- shell/ (tray, menus, the application object, the wiring) includes service, windows,
  ui, engine, resources.
- service/ (the commands, the single-copy socket, D-Bus, the sync schedule) includes
  sync, interchange, engine and platform only, and no header of Qt Widgets or Qt Gui:
  it runs in a command that has no display. Only shell/ and app/ include it.
- A window folder (clockwindow, notify, alarmui, theme, about) includes ui, engine,
  resources, and another window folder only where one window opens another
  (WINDOW_OPENS below); never shell/ or app/, never in a circle.
- ui/ (what every window stands on) includes engine and resources only.
- interchange/ (the iCalendar mapping) sits beside engine/, above it: it includes engine/
  and platform/, and engine/ never includes it.
- sync/ (the calendar server client) includes interchange/, engine/ and platform/;
  only service/, shell/ and app/ include it.
- engine/ includes platform/; resources/ includes nothing of the program's.
- platform/ (what differs between operating systems) includes nothing of the
  program's but itself.

Prints every include that breaks a rule as FILE:LINE and exits 1. Qt's include folders
may follow the source root (--qt-include DIR...): the headers of its QtWidgets and QtGui
folders are the ones service/ may not include; without them a short list stands in.
"""
import argparse
import os
import re
import sys

LEVEL = {
    "app": 4,
    "shell": 3,
    "service": 1.5,
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
SYSTEM_INCLUDE = re.compile(r'^\s*#\s*include\s+<([^>]+)>')
# The folders a layer may include, where it is not simply "anything below".
ONLY_INCLUDES = {"service": {"sync", "interchange", "engine", "platform"}}
# The folders a layer may be included from.
ONLY_FROM = {
    "sync": {"service", "shell", "app"},
    "service": {"shell", "app"},
}
# Layers that run without a display: no widget, no window, no application object.
NO_WIDGETS = {"service"}
QT_WINDOW_MODULES = ("QtWidgets", "QtGui")
WIDGET_HEADERS = {"QWidget", "QMessageBox", "QApplication", "QGuiApplication", "QDialog", "QMenu", "QAction",
                  "QSystemTrayIcon", "QMainWindow", "QLabel", "QPushButton", "QPixmap", "QImage", "QIcon",
                  "QCursor", "QScreen", "QWindow", "QDesktopServices", "QPainter"}


def widget_headers(qt_include):
    """The headers of Qt's window modules found in the given include folders."""
    names = set()
    for folder in qt_include:
        if os.path.basename(os.path.normpath(folder)) in QT_WINDOW_MODULES and os.path.isdir(folder):
            names.update(os.listdir(folder))
    return names or WIDGET_HEADERS


def is_widget_header(name, headers):
    module = name.split("/", 1)[0]
    return module in QT_WINDOW_MODULES or (name.startswith("Qt") and module.endswith("Widgets")) or name in headers


def main(root, qt_include=()):
    headers = widget_headers(qt_include)
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
                    system = SYSTEM_INCLUDE.match(line)
                    if system and folder in NO_WIDGETS and is_widget_header(system.group(1), headers):
                        problems.append(f"{folder}/{name}:{number}: includes <{system.group(1)}>, a header of Qt's "
                                        f"widgets: {folder}/ runs without a display and shows nothing itself")
                        continue
                    match = INCLUDE.match(line)
                    if not match or match.group(1) == folder:
                        continue
                    target = match.group(1)
                    where = f"{folder}/{name}:{number}: includes {target}/"
                    if target not in LEVEL:
                        problems.append(f"{where}, which is no source folder of the program")
                    elif folder in ONLY_INCLUDES and target not in ONLY_INCLUDES[folder]:
                        problems.append(f"{where}: {folder}/ includes only "
                                        f"{', '.join(t + '/' for t in sorted(ONLY_INCLUDES[folder]))}")
                    elif target in ONLY_FROM and folder not in ONLY_FROM[target]:
                        problems.append(f"{where}: only {', '.join(f + '/' for f in sorted(ONLY_FROM[target]))} "
                                        f"include {target}/")
                    elif folder in WINDOWS and target in WINDOWS:
                        edges.add((folder, target))
                        if (folder, target) not in WINDOW_OPENS:
                            problems.append(f"{where}: one window folder includes another only where one window "
                                            f"opens the other ({', '.join(a + ' -> ' + b for a, b in sorted(WINDOW_OPENS))})")
                    elif LEVEL[target] >= LEVEL[folder]:
                        problems.append(f"{where}, which is not below {folder}/ (app -> shell -> windows -> ui -> "
                                        f"engine/resources -> platform; shell -> service -> sync)")
    # The allowed window edges must not close a circle either.
    for a, b in sorted(edges):
        if a < b and (b, a) in edges:
            problems.append(f"{a}/ and {b}/ include each other")
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} include(s) against the layers")
        return 1
    print("includes run downwards: app -> shell -> windows -> ui -> engine/resources -> platform; "
          "shell -> service -> sync")
    return 0


def arguments(argv):
    parser = argparse.ArgumentParser(description="Checks that every #include runs down the program's layers.")
    parser.add_argument("root", nargs="?", default=os.path.join(os.path.dirname(__file__), "..", ".."))
    parser.add_argument("--qt-include", nargs="*", default=[], help="Qt's include folders")
    return parser.parse_args(argv)


if __name__ == "__main__":
    options = arguments(sys.argv[1:])
    sys.exit(main(options.root, options.qt_include))
