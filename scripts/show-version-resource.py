#!/usr/bin/python3
"""Prints the version resource of a Windows binary, one field a line:
first the fixed part (the numbers), then the strings of each string table.

    show-version-resource.py lumivane.dll

Exit status: 0 when the binary has a version resource; 1 when it has none,
or is no Windows binary.
"""
import sys

import pefile


def dotted(most_significant, least_significant):
    return "%d.%d.%d.%d" % (most_significant >> 16, most_significant & 0xFFFF,
                            least_significant >> 16, least_significant & 0xFFFF)


def main(path):
    try:
        pe = pefile.PE(path, fast_load=True)
    except (OSError, pefile.PEFormatError) as error:
        print("%s: %s" % (path, error), file=sys.stderr)
        return 1
    pe.parse_data_directories(
        directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    fixed_parts = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed_parts:
        print("%s: no version resource" % path, file=sys.stderr)
        return 1
    fixed = fixed_parts[0]
    print("fixed FileVersion: " + dotted(fixed.FileVersionMS, fixed.FileVersionLS))
    print("fixed ProductVersion: " + dotted(fixed.ProductVersionMS, fixed.ProductVersionLS))
    print("fixed FileType: " + {1: "application", 2: "DLL"}.get(fixed.FileType, str(fixed.FileType)))
    for info in pe.FileInfo[0]:
        if info.Key != b"StringFileInfo":
            continue
        for table in info.StringTable:
            print("table " + table.LangID.decode())
            for key, value in table.entries.items():
                print("%s: %s" % (key.decode(), value.decode()))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
