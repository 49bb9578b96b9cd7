#!/usr/bin/env python3
"""Plants one source file in a copy of the program's folders and runs the include check on it.

    plant_include.py ROOT FOLDER/NAME SOURCE rejected|accepted [--qt-include DIR...]

The copy holds every source folder the check reads, with SOURCE added as FOLDER/NAME.
"rejected" passes when the check fails and names a line of the planted file; "accepted"
passes when the check finds nothing wrong in the copy.
"""
import contextlib
import io
import os
import shutil
import sys
import tempfile

import check_includes


def main(argv):
    root, planted, source, expected = argv[:4]
    options = check_includes.arguments([root] + argv[4:])
    with tempfile.TemporaryDirectory(prefix="tockwise-layout-") as copy:
        for folder in check_includes.LEVEL:
            if os.path.isdir(os.path.join(root, folder)):
                shutil.copytree(os.path.join(root, folder), os.path.join(copy, folder),
                                ignore=shutil.ignore_patterns("*.txt", "*.md"))
        os.makedirs(os.path.join(copy, os.path.dirname(planted)), exist_ok=True)
        shutil.copyfile(source, os.path.join(copy, planted))
        said = io.StringIO()
        with contextlib.redirect_stdout(said):
            status = check_includes.main(copy, options.qt_include)
    print(said.getvalue(), end="")
    if expected == "accepted":
        ok = status == 0
    else:
        ok = status == 1 and any(line.startswith(planted + ":") for line in said.getvalue().splitlines())
    print(f"{planted} planted: the check {'rejected' if status else 'accepted'} it, as it should"
          if ok else f"{planted} planted: expected it {expected}, the check said status {status}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
