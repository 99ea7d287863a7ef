#!/usr/bin/env python3
"""The package's changelog and the AppStream metainfo name the project's version as their newest
release, so that a new version is not shipped with the notes of the last one.

  check_release_notes.py VERSION CHANGELOG METAINFO
"""
import re
import sys
import xml.etree.ElementTree as ET


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    version, changelog, metainfo = argv[1:]
    problems = []
    first = open(changelog, encoding="utf-8").readline()
    match = re.match(r"^wavory-utility \(([^)]+)\) ", first)
    if not match:
        problems.append("%s: the first line is no changelog entry: %r" % (changelog, first))
    elif match.group(1) != version:
        problems.append("%s: the newest entry is %s; add one for %s" % (changelog, match.group(1), version))
    releases = [r.get("version") for r in ET.parse(metainfo).getroot().iter("release")]
    if not releases or releases[0] != version:
        problems.append("%s: the newest <release> is %s; add one for %s first"
                        % (metainfo, releases[0] if releases else "missing", version))
    for problem in problems:
        print("FAIL: " + problem)
    print("release notes: %s" % ("%d problems" % len(problems) if problems else "name " + version))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
