#!/usr/bin/env python3
"""The rooms of src/ include downwards only, as docs/ARCHITECTURE.md lists
them: a file may include a header of its own room or of a room listed before
it, never one listed after it. Prints each include that climbs back up.

    include_rooms_test.py SRC_DIR
"""
import pathlib
import re
import sys

# From the bottom up; src/main.cpp stands above them all
ROOMS = ["base", "pictures", "assets", "scenes", "app", "api", "program", "author", "cli"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^/"]+)/[^"]+"', re.MULTILINE)


def main():
    src = pathlib.Path(sys.argv[1])
    climbs = []
    files = 0
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp", ".inl") or path.parent == src:
            continue
        room = path.relative_to(src).parts[0]
        if room not in ROOMS:
            climbs.append(f"{path}: room {room} is not in the list of rooms")
            continue
        files += 1
        for included in INCLUDE.findall(path.read_text()):
            if included in ROOMS and ROOMS.index(included) > ROOMS.index(room):
                climbs.append(f"{path}: includes {included}/, a room above {room}/")
    for climb in climbs:
        print(climb)
    print(f"{files} files read, {len(climbs)} includes climb back up")
    return 1 if climbs or files == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
