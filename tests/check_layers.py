#!/usr/bin/env python3
"""Fails when a file under src/ includes a folder above its own.

The folders stand in layers, from the bottom: core, plugin, midi, audio, engine,
export, shell. A file may include its own folder and the folders below it;
resources/ is a leaf that any folder may include and that includes no code.
A folder with sub-folders keeps them in layers the same way (export: takes, formats,
render, dialog); its files all lie in its sub-folders.
"""
import pathlib
import re
import sys

LAYERS = ["core", "plugin", "midi", "audio", "engine", "export", "shell"]
SUBLAYERS = {"export": ["takes", "formats", "render", "dialog"]}
LEAVES = {"resources"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def place(parts):
    """The (layer, sub-layer) of a path's folder parts, or a reason it has none."""
    folder = parts[0]
    if folder in LEAVES:
        return (folder, None), None
    if folder not in LAYERS:
        return None, f"folder {folder}/ is in no layer"
    subs = SUBLAYERS.get(folder)
    if subs is None:
        return (folder, None), None
    if len(parts) < 3 or parts[1] not in subs:
        return None, f"{folder}/ keeps its files in its sub-folders {', '.join(subs)}"
    return (folder, parts[1]), None


def above(target, source):
    """True when target lies in a higher layer than source."""
    (tf, ts), (sf, ss) = target, source
    if LAYERS.index(tf) != LAYERS.index(sf):
        return LAYERS.index(tf) > LAYERS.index(sf)
    subs = SUBLAYERS.get(tf)
    return bool(subs) and subs.index(ts) > subs.index(ss)


def layer_faults(src):
    faults = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in {".h", ".cpp", ".rc"}:
            continue
        relative = path.relative_to(src)
        source, reason = place(relative.parts)
        if reason:
            faults.append(f"{relative}: {reason}")
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match or "/" not in match.group(1):
                continue
            parts = match.group(1).split("/")
            if parts[0] in LEAVES:
                continue
            target, reason = place(parts)
            if source[0] in LEAVES or reason or above(target, source):
                faults.append(f"{relative}:{number}: includes {match.group(1)} from a higher folder"
                              + (f" ({reason})" if reason else ""))
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
