#!/usr/bin/env python3
"""scripts/check-layers on a copy of the tree: clean, it passes; with one planted breach of each
kind, it names the breach and fails.

    check_layers_test.py ROOT
"""

import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(sys.argv[1])
CHECK = os.path.join(ROOT, "scripts", "check-layers")

# (file, text to add after the first line, what the checker must say)
PLANTS = [
    ("src/panel/FrontPanel.cpp", '#include "window/UIForm.h"',
     "panel includes window/UIForm.h, which is not below it"),
    ("src/protocol/Frame.cpp", "#include <QString>",
     "the plain layer protocol includes the Qt header <QString>"),
    ("src/link/CMakeLists.txt", "target_link_libraries(rz417_link PUBLIC rz417_frames)",
     "rz417_link links rz417_frames, which is not below it"),
    ("src/scpi/CMakeLists.txt", "target_link_libraries(rz417_scpi PUBLIC Qt6::Core)",
     "the plain layer scpi links Qt6::Core"),
]


def copy_tree():
    work = tempfile.mkdtemp()
    for part in ("docs", "src", "sim"):
        shutil.copytree(os.path.join(ROOT, part), os.path.join(work, part))
    return work


def run(root):
    return subprocess.run([sys.executable, CHECK, "--root", root], capture_output=True, text=True)


def main():
    failures = []
    work = copy_tree()
    clean = run(work)
    if clean.returncode != 0:
        failures.append("the tree as it is: %s" % clean.stdout)
    for path, line, said in PLANTS:
        target = os.path.join(work, path)
        with open(target) as f:
            original = f.read()
        with open(target, "w") as f:
            first, _, rest = original.partition("\n")
            f.write(first + "\n" + line + "\n" + rest)
        result = run(work)
        if result.returncode != 1 or said not in result.stdout:
            failures.append("%s with %r: status %d, %r" % (path, line, result.returncode,
                                                           result.stdout))
        with open(target, "w") as f:
            f.write(original)
    shutil.rmtree(work)
    for failure in failures:
        print("FAIL: " + failure)
    print("ok" if not failures else "")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
