#!/usr/bin/env python3
"""Reads the preset files the sound tests had the program write, on the host, with
nothing of the program's own code: the published VST .fxp/.fxb layout and the demo
instrument's documented chunk (fixtures/demo_plugin/README.md).

Every <name>.fxp or <name>.fxb in the folder comes with <name>.expect, one line per
program the test shaped in the editor: "<program> <level> <timbre>". The file must be
well formed to its last byte, be the demo's ('KrvO', version 1, four programs of two
parameters, names of the demo's programs), and hold those values (to 1e-6; a program
file holds the one program, whatever its number).

Layouts, big-endian: 'CcnK', byteSize (the bytes after it), then
  program: 'FxCk' | 'FPCh', format version, fxID, fxVersion, numParams, name[28],
           then numParams floats | chunk size and chunk;
  bank:    'FxBk' | 'FBCh', format version, fxID, fxVersion, numPrograms,
           current program (format version 2), 124 reserved bytes,
           then numPrograms 'FxCk' programs | chunk size and chunk.
The demo's chunks, little-endian: 'KDSP', version 1, name[24], level, timbre (40 bytes);
'KDSB', version 1, current program, count 4, then name[24], level, timbre per program.
"""
import os
import struct
import sys

failures = []
NAMES = {"Plain", "Soft", "Bright", "Hollow"}


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


def name_of(field):
    end = field.find(b"\0")
    if end < 0:
        raise ValueError("a name without its terminator")
    return field[:end].decode("ascii")


def program_record(data, at):
    """One 'FxCk' record at `at`: (name, values, its length)."""
    magic, size, form, version, fx_id, fx_version, count = struct.unpack_from(">4sI4sI4sII", data, at)
    if magic != b"CcnK" or form != b"FxCk":
        raise ValueError(f"no program record at {at}")
    if size != 48 + 4 * count or at + 8 + size > len(data):
        raise ValueError(f"program record at {at}: byteSize {size} for {count} values")
    if fx_id != b"KrvO" or fx_version != 1 or version != 1 or count != 2:
        raise ValueError(f"program record at {at}: {fx_id} version {fx_version}/{version}, {count} values")
    name = name_of(data[at + 28:at + 56])
    values = struct.unpack_from(f">{count}f", data, at + 56)
    return name, list(values), 56 + 4 * count


def demo_program(chunk, at):
    name = name_of(chunk[at:at + 24])
    level, timbre = struct.unpack_from("<2f", chunk, at + 24)
    return name, [level, timbre]


def read(path):
    """The programs of the file as {number: (name, values)}; None stands for "the one
    program of a program file"."""
    data = open(path, "rb").read()
    if len(data) < 56:
        raise ValueError(f"{len(data)} bytes")
    magic, size, form, version, fx_id, fx_version, count = struct.unpack_from(">4sI4sI4sII", data, 0)
    if magic != b"CcnK" or size != len(data) - 8:
        raise ValueError(f"header {magic} byteSize {size} of {len(data)} bytes")
    if fx_id != b"KrvO" or fx_version != 1:
        raise ValueError(f"instrument {fx_id} version {fx_version}")
    if form == b"FxCk":
        name, values, length = program_record(data, 0)
        if length != len(data):
            raise ValueError("bytes after the program")
        return {None: (name, values)}
    if form == b"FPCh":
        (chunk_size,) = struct.unpack_from(">I", data, 56)
        chunk = data[60:]
        if chunk_size != len(chunk) or chunk_size != 40 or chunk[:4] != b"KDSP":
            raise ValueError(f"program chunk of {chunk_size} bytes, {chunk[:4]}")
        if name_of(data[28:56]) != demo_program(chunk, 8)[0]:
            raise ValueError("the program's name differs from its chunk's")
        return {None: demo_program(chunk, 8)}
    if len(data) < 156 or version != 2:
        raise ValueError(f"bank of format version {version}")
    (current,) = struct.unpack_from(">I", data, 28)
    if data[32:156] != bytes(124):
        raise ValueError("reserved bytes are not zero")
    programs = {}
    if form == b"FxBk":
        at = 156
        for number in range(count):
            name, values, length = program_record(data, at)
            programs[number] = (name, values)
            at += length
        if at != len(data):
            raise ValueError("bytes after the programs")
    elif form == b"FBCh":
        (chunk_size,) = struct.unpack_from(">I", data, 156)
        chunk = data[160:]
        if chunk_size != len(chunk) or chunk_size != 144 or chunk[:4] != b"KDSB":
            raise ValueError(f"bank chunk of {chunk_size} bytes, {chunk[:4]}")
        chunk_version, chunk_current, chunk_count = struct.unpack_from("<3I", chunk, 4)
        if chunk_version != 1 or chunk_count != count or chunk_current != current:
            raise ValueError(f"bank chunk version {chunk_version}, {chunk_count} programs, current {chunk_current}")
        for number in range(count):
            programs[number] = demo_program(chunk, 16 + 32 * number)
    else:
        raise ValueError(f"form {form}")
    if count != 4 or current >= count:
        raise ValueError(f"{count} programs, current {current}")
    return programs


def check(folder, file):
    path = os.path.join(folder, file)
    programs = read(path)
    for name, values in programs.values():
        if not all(0.0 <= v <= 1.0 for v in values):
            raise ValueError(f"values {values} outside 0 ... 1")
        if name not in NAMES:
            raise ValueError(f"program name {name!r}")
    with open(path + ".expect") as lines:
        for line in lines:
            number, level, timbre = line.split()
            key = None if None in programs else int(number)
            if key not in programs:
                raise ValueError(f"no program {number}")
            values = programs[key][1]
            if abs(values[0] - float(level)) > 1e-6 or abs(values[1] - float(timbre)) > 1e-6:
                raise ValueError(f"program {number} holds {values}, not {level} {timbre}")


def main():
    folder = sys.argv[1]
    files = sorted(f for f in os.listdir(folder) if f.endswith((".fxp", ".fxb"))) if os.path.isdir(folder) else []
    for file in files:
        try:
            check(folder, file)
        except (ValueError, OSError, struct.error, UnicodeDecodeError) as e:
            fail(f"{file}: {e}")
    kinds = {os.path.splitext(f)[1] for f in files}
    if kinds != {".fxp", ".fxb"}:
        fail(f"expected program and bank files in {folder}; found {files}; the sound tests of e2e_tests must run first")
    passed = len(files) - len(failures)
    print(f"sound files: {max(passed, 0)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
