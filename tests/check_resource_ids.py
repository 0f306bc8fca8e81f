#!/usr/bin/env python3
"""Fails when two strings of the string tables share an id: the later one would
silently replace the earlier in every language (control ids repeat across dialogs
by design and are not checked)."""
import collections
import pathlib
import re
import sys

header = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parents[1] / "src/resources/resource_ids.h")
names = collections.defaultdict(list)
for name, value in re.findall(r"^#define\s+(IDS_\w+)\s+(\d+)", header.read_text(), re.M):
    names[int(value)].append(name)
shared = {value: n for value, n in names.items() if len(n) > 1}
for value, n in sorted(shared.items()):
    print(f"string id {value} is used by {', '.join(n)}")
print(f"resource ids: {0 if shared else 1} passed, {1 if shared else 0} failed")
sys.exit(1 if shared else 0)
