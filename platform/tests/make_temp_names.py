#!/usr/bin/env python3
"""Makes a temporary folder in which every name that CreateTempDirectory(L"khc")
can compose is already taken, for PathUtils_test.

  make_temp_names.py make FOLDER     FOLDER made anew
  make_temp_names.py remove FOLDER

Under Wine each folder created inside a folder with many entries costs a scan
of all its entries, so taking the 65,535 names from the test itself would
take many minutes; here, on the host, it takes about a second.

FOLDER\\khc<n>.tmp for n = 1 to 0xFFFF, n in lower-case hexadecimal as Wine's
GetTempFileNameW composes it, is (TakenKind in PathUtils_test.cpp follows
the same rules):
  n == 1, n == 0xFFFF or n % 16 == 0   a plain file holding "plain file <n>\\n"
  n % 16 == 8                          a link to FOLDER.target, a folder that
                                       holds qoma32.dll ("outside library\\n")
  otherwise                            an empty folder
(No dangling link: Wine answers CreateDirectoryW on one with "file not
found", which ends the search at once instead of taking the next name.)
"""

import os
import shutil
import sys


def remove(folder):
    for path in (folder, folder + ".target"):
        if os.path.lexists(path):
            shutil.rmtree(path)


def make(folder):
    remove(folder)
    target = folder + ".target"
    os.makedirs(target)
    with open(os.path.join(target, "qoma32.dll"), "wb") as f:
        f.write(b"outside library\n")
    os.makedirs(folder)
    for n in range(1, 0x10000):
        path = os.path.join(folder, "khc%x.tmp" % n)
        if n in (1, 0xFFFF) or n % 16 == 0:
            with open(path, "wb") as f:
                f.write(b"plain file %d\n" % n)
        elif n % 16 == 8:
            os.symlink(target, path)
        else:
            os.mkdir(path)


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("make", "remove"):
        sys.exit("usage: make_temp_names.py make|remove FOLDER")
    (make if sys.argv[1] == "make" else remove)(os.path.abspath(sys.argv[2]))


if __name__ == "__main__":
    main()
