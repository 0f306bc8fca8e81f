#!/usr/bin/env python3
"""Checks the files the export tests wrote with real readers, on the host.

Reads <folder>/manifest.txt (written by export_tests under Wine):
  wav <file> <format tag> <bits> <channels> <rate> <frames> <key or -1>
  sf2 <file> <rate> [<key> ...]
Every WAV must read in sox with that format, channel count, rate and frame count.
Every SoundFont must load in FluidSynth without an error line (its exit code stays 0
on errors), and a note rendered through it at each listed key must have that key's
pitch.
"""
import os
import struct
import subprocess
import sys
import tempfile
import wave

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


def key_frequency(key):
    return 440.0 * 2 ** ((key - 69) / 12.0)


def soxi(path, flag):
    return subprocess.run(["soxi", flag, path], capture_output=True, text=True, check=False).stdout.strip()


def check_wav(folder, name, tag, bits, channels, rate, frames):
    path = os.path.join(folder, name)
    decoded = subprocess.run(["sox", path, "-n", "stat"], capture_output=True, text=True, check=False)
    if decoded.returncode != 0:
        fail(f"{name}: sox cannot read it: {decoded.stderr.strip()}")
        return
    encoding = soxi(path, "-e")
    expected_encoding = "Signed Integer PCM" if tag == 1 else "Floating Point PCM"
    got = (encoding, soxi(path, "-b"), soxi(path, "-c"), soxi(path, "-r"), soxi(path, "-s"))
    want = (expected_encoding, str(bits), str(channels), str(rate), str(frames))
    if got != want:
        fail(f"{name}: sox reads {got}, expected {want}")


def midi_file(path, key):
    """One note at velocity 127 for half a second (120 bpm, 480 ticks per beat)."""
    events = bytes([0x00, 0x90, key, 127]) + bytes([0x83, 0x60, 0x80, key, 0]) + bytes([0x00, 0xFF, 0x2F, 0x00])
    with open(path, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480))
        f.write(b"MTrk" + struct.pack(">I", len(events)) + events)


def render(sf2, midi, out, rate):
    """FluidSynth's own output; any line mentioning an error, or loop points it had to
    mend, fails the check."""
    result = subprocess.run(
        ["fluidsynth", "-o", "synth.default-soundfont=", "-ni", "-R", "0", "-C", "0", "-r", str(rate),
         "-F", out, sf2, midi],
        capture_output=True, text=True, check=False)
    lines = (result.stdout + result.stderr).splitlines()
    errors = [l for l in lines if "error" in l.lower() or "invalid sample loops" in l.lower()]
    return result.returncode == 0 and not errors, errors


def pitch(path):
    """Frequency from upward zero crossings of the left channel, 0.02 s to 0.25 s
    (the takes the tests write hold their note for 0.25 s or more)."""
    with wave.open(path, "rb") as w:
        rate, channels, width = w.getframerate(), w.getnchannels(), w.getsampwidth()
        data = w.readframes(w.getnframes())
    if width != 2:
        return 0.0, 0.0
    samples = struct.unpack("<%dh" % (len(data) // 2), data)[::channels]
    part = samples[int(rate * 0.02):int(rate * 0.25)]
    crossings = [i for i in range(1, len(part)) if part[i - 1] < 0 <= part[i]]
    level = max((abs(s) for s in part), default=0) / 32768.0
    if len(crossings) < 2:
        return 0.0, level
    return (len(crossings) - 1) * rate / (crossings[-1] - crossings[0]), level


def check_sf2(folder, name, rate, keys, work):
    path = os.path.join(folder, name)
    for key in keys or [60]:
        midi = os.path.join(work, f"note{key}.mid")
        out = os.path.join(work, f"{name}-{key}.wav")
        midi_file(midi, key)
        ok, errors = render(path, midi, out, rate)
        if not ok:
            fail(f"{name}: FluidSynth reports {errors or 'a failure'}")
            return
        if not keys:
            continue  # a chord or a silent file: loading without error is the check
        f, level = pitch(out)
        want = key_frequency(key)
        if level < 0.01 or abs(f - want) > want * 0.01:
            fail(f"{name}: key {key} sounds at {f:.2f} Hz (level {level:.3f}), expected {want:.2f} Hz")


def main():
    folder = sys.argv[1]
    manifest = os.path.join(folder, "manifest.txt")
    if not os.path.exists(manifest):
        print(f"FAIL: no {manifest}; export_tests must run first")
        return 1
    counts = {"wav": 0, "sf2": 0}
    with tempfile.TemporaryDirectory() as work, open(manifest) as lines:
        for line in lines:
            f = line.split()
            if not f:
                continue
            counts[f[0]] += 1
            if f[0] == "wav":
                check_wav(folder, f[1], *map(int, f[2:7]))
            elif f[0] == "sf2":
                check_sf2(folder, f[1], int(f[2]), [int(k) for k in f[3:]], work)
    print(f"checked {counts['wav']} WAV and {counts['sf2']} SoundFont files")
    if counts["wav"] == 0 or counts["sf2"] == 0:
        fail("the manifest lists no WAV or no SoundFont file")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
