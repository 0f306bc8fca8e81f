#!/usr/bin/env python3
"""Fails when a file under src/ includes a folder above its own.

The folders stand in layers, from the bottom: core, plugin, midi, audio, engine,
export, shell. A file may include its own folder and the folders below it;
resources/ is a leaf that any folder may include and that includes no code.
"""
import pathlib
import re
import sys

LAYERS = ["core", "plugin", "midi", "audio", "engine", "export", "shell"]
LEAVES = {"resources"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_faults(src):
    faults = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in {".h", ".cpp", ".rc"}:
            continue
        folder = path.relative_to(src).parts[0]
        if folder not in LAYERS and folder not in LEAVES:
            faults.append(f"{path.relative_to(src)}: folder {folder}/ is in no layer")
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match or "/" not in match.group(1):
                continue
            target = match.group(1).split("/")[0]
            if target in LEAVES:
                continue
            if folder in LEAVES or target not in LAYERS or LAYERS.index(target) > LAYERS.index(folder):
                faults.append(f"{path.relative_to(src)}:{number}: includes {match.group(1)} from a higher folder")
    return faults


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parents[1] / "src")
    faults = layer_faults(src)
    for fault in faults:
        print(fault)
    print(f"layers: {0 if faults else 1} passed, {1 if faults else 0} failed")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
