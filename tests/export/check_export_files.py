#!/usr/bin/env python3
"""Checks the files the export tests wrote with real readers, on the host.

Reads <folder>/manifest.txt (written by export_tests under Wine), one file per line:

  wav <file> <format tag> <bits> <channels> <rate> <frames> <key or -1>
      The WAV must read in sox with that format, channel count, rate and frame count.

  sf2 <file> <rate> [<key> ...]
      The SoundFont must load in FluidSynth without an error line (its exit code stays
      0 on errors), and a note rendered through it at each listed key (velocity 127,
      0.5 s) must have that key's pitch (1 %). Without keys, loading is the check.

  sf2layers <file> <rate> <soft velocity> <loud velocity> <key> ...
      A SoundFont with velocity layers. Each key is rendered at the soft and at the
      loud velocity (0.5 s, at FluidSynth's gain 1.0 rather than its default 0.2, as
      FluidSynth attenuates a soft note by tens of dB); both must sound (peak above
      0.001) at the key's pitch (1 %), and the loud note must come from a louder layer
      than the soft one. FluidSynth attenuates by velocity itself: the SoundFont
      default modulator "velocity to initial attenuation" (negative, concave, 960 cB)
      gives
          attenuation(v) = 40 * log10(127 / v) dB
      (measured with FluidSynth 2.3 on a one-layer SoundFont: within 0.15 dB from
      velocity 8 to 127). One layer played at both velocities therefore gives a
      loud/soft RMS ratio of 40 * log10(loud / soft) dB, and the check asks for
          20 * log10(rms(loud) / rms(soft)) - 40 * log10(loud / soft) >= 3 dB,
      that is the loud layer's own sample at least 3 dB above the soft one's. The
      layers are rendered at velocities that follow the instrument's level, so list
      two layers whose velocities differ by a factor of 1.5 or more (50 and 100 give
      about 6 dB with the demo instrument, 75 and 100 only 2.5 dB).

  sf2held <file> <rate> <seconds> <key> ...
      Each key is held for <seconds> (velocity 127, note-off at that time). In the
      window [seconds - 0.3, seconds - 0.05] the note must still sound (peak above
      0.01) at the key's pitch (1 %): a sustain loop holds it past its sample's end.

  sfz <file.sfz> <rate> <key> ...
      Every WAV the .sfz names (its sample= opcodes, relative to the .sfz's folder,
      '\\' or '/' as separator) must read in sox. Polyphone imports the .sfz
      headless into a SoundFont, which must then pass as an "sf2" line with these keys.

Every FluidSynth run fails on an error line or on "invalid sample loops" (loop points
FluidSynth had to mend). The check fails when the manifest lists no WAV or no
SoundFont; the other kinds are counted when present.
"""
import glob
import math
import os
import re
import struct
import subprocess
import sys
import tempfile
import wave

failures = []
TIMEOUT = 300  # seconds for one reader run; a hanging reader fails the check


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


def key_frequency(key):
    return 440.0 * 2 ** ((key - 69) / 12.0)


def fluidsynth_attenuation_db(velocity):
    """FluidSynth's own attenuation of a note at this velocity (see the docstring)."""
    return 40.0 * math.log10(127.0 / velocity)


def run(command, **kwargs):
    try:
        return subprocess.run(command, capture_output=True, text=True, check=False, timeout=TIMEOUT, **kwargs)
    except FileNotFoundError:
        return subprocess.CompletedProcess(command, 127, "", f"{command[0]} is not installed (scripts/setup)")
    except subprocess.TimeoutExpired:
        return subprocess.CompletedProcess(command, 124, "", f"{command[0]} ran longer than {TIMEOUT} s")


def soxi(path, flag):
    return run(["soxi", flag, path]).stdout.strip()


def sox_reads(path):
    """None when sox decodes the whole file, else sox's reason."""
    decoded = run(["sox", path, "-n", "stat"])
    return None if decoded.returncode == 0 else (decoded.stderr.strip() or f"exit code {decoded.returncode}")


def check_wav(folder, name, tag, bits, channels, rate, frames):
    path = os.path.join(folder, name)
    reason = sox_reads(path)
    if reason:
        fail(f"{name}: sox cannot read it: {reason}")
        return
    encoding = soxi(path, "-e")
    expected_encoding = "Signed Integer PCM" if tag == 1 else "Floating Point PCM"
    got = (encoding, soxi(path, "-b"), soxi(path, "-c"), soxi(path, "-r"), soxi(path, "-s"))
    want = (expected_encoding, str(bits), str(channels), str(rate), str(frames))
    if got != want:
        fail(f"{name}: sox reads {got}, expected {want}")


TICKS_PER_SECOND = 960  # 480 ticks per beat at 120 bpm


def variable_length(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.append(0x80 | (n & 0x7F))
        n >>= 7
    return bytes(reversed(out))


def midi_file(path, key, velocity=127, seconds=0.5):
    """One note at this velocity, its note-off after this many seconds."""
    ticks = max(1, round(seconds * TICKS_PER_SECOND))
    events = (bytes([0x00, 0x90, key, velocity]) + variable_length(ticks) + bytes([0x80, key, 0]) +
              bytes([0x00, 0xFF, 0x2F, 0x00]))
    with open(path, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, TICKS_PER_SECOND // 2))
        f.write(b"MTrk" + struct.pack(">I", len(events)) + events)


def render(sf2, midi, out, rate, gain=None):
    """FluidSynth's own output; any line mentioning an error, or loop points it had to
    mend, fails the check."""
    result = run(["fluidsynth", "-o", "synth.default-soundfont=", "-ni", "-R", "0", "-C", "0", "-r", str(rate)] +
                 (["-g", str(gain)] if gain else []) + ["-F", out, sf2, midi])
    lines = (result.stdout + result.stderr).splitlines()
    errors = [l for l in lines if "error" in l.lower() or "invalid sample loops" in l.lower()]
    return result.returncode == 0 and not errors and os.path.exists(out), errors or lines[-3:]


def analyse(path, start, end):
    """Frequency, peak and RMS of the left channel between start and end seconds. The
    frequency counts upward crossings of zero after the signal was below a tenth of
    the peak, so FluidSynth's dither around zero in quiet notes adds none."""
    with wave.open(path, "rb") as w:
        rate, channels, width = w.getframerate(), w.getnchannels(), w.getsampwidth()
        data = w.readframes(w.getnframes())
    if width != 2:
        return 0.0, 0.0, 0.0
    samples = struct.unpack("<%dh" % (len(data) // 2), data)[::channels]
    part = samples[int(rate * start):int(rate * end)]
    if not part:
        return 0.0, 0.0, 0.0
    peak = max(abs(s) for s in part)
    rms = math.sqrt(sum(s * s for s in part) / len(part)) / 32768.0
    low = -peak / 10.0
    crossings, armed = [], False
    for i, s in enumerate(part):
        if s < low:
            armed = True
        elif armed and s >= 0:
            crossings.append(i)
            armed = False
    if len(crossings) < 2:
        return 0.0, peak / 32768.0, rms
    return (len(crossings) - 1) * rate / (crossings[-1] - crossings[0]), peak / 32768.0, rms


def render_note(path, name, key, velocity, seconds, rate, work, gain=None):
    """Renders one note through the SoundFont; the output file, or None after a failure."""
    midi = os.path.join(work, f"note{key}-{velocity}-{seconds}.mid")
    out = os.path.join(work, f"{os.path.basename(name)}-{key}-{velocity}-{seconds}.wav")
    midi_file(midi, key, velocity, seconds)
    ok, errors = render(path, midi, out, rate, gain)
    if not ok:
        fail(f"{name}: FluidSynth reports {errors or 'a failure'}")
        return None
    return out


def sounds_at_pitch(name, what, out, key, start, end, least):
    """The level and RMS of the note in the window when it sounds at the key's pitch,
    else None after a failure."""
    f, level, rms = analyse(out, start, end)
    want = key_frequency(key)
    if level < least or abs(f - want) > want * 0.01:
        fail(f"{name}: key {key} {what} sounds at {f:.2f} Hz (level {level:.4f}) between {start:.2f} s and "
             f"{end:.2f} s, expected {want:.2f} Hz above level {least}")
        return None
    return rms


def check_sf2(folder, name, rate, keys, work, path=None):
    path = path or os.path.join(folder, name)
    for key in keys or [60]:
        out = render_note(path, name, key, 127, 0.5, rate, work)
        if not out:
            return
        if keys:  # without keys (a chord or a silent file) loading without error is the check
            sounds_at_pitch(name, "at velocity 127", out, key, 0.02, 0.25, 0.01)


# FluidSynth's gain for the layer check: 5 times its default of 0.2, so a soft note
# stays far above the dither of the 16-bit output.
LAYER_GAIN = 1.0


def check_sf2_layers(folder, name, rate, soft, loud, keys, work):
    if not 1 <= soft < loud <= 127 or not keys:
        fail(f"{name}: a layer check needs 1 <= soft < loud <= 127 and keys, got {soft} {loud} {keys}")
        return
    path = os.path.join(folder, name)
    own = fluidsynth_attenuation_db(soft) - fluidsynth_attenuation_db(loud)
    for key in keys:
        levels = []
        for velocity in (soft, loud):
            out = render_note(path, name, key, velocity, 0.5, rate, work, LAYER_GAIN)
            if not out:
                return
            rms = sounds_at_pitch(name, f"at velocity {velocity}", out, key, 0.05, 0.45, 0.001)
            if rms is None:
                break
            levels.append(rms)
        if len(levels) < 2:
            continue
        ratio = 20.0 * math.log10(levels[1] / levels[0]) if levels[0] > 0 else math.inf
        if ratio - own < 3.0:
            fail(f"{name}: key {key} at velocity {loud} is {ratio:.1f} dB above velocity {soft}, FluidSynth's "
                 f"attenuation alone gives {own:.1f} dB: the loud note does not come from a louder layer")


def check_sf2_held(folder, name, rate, seconds, keys, work):
    if not 0.35 <= seconds <= 600 or not keys:
        fail(f"{name}: a held-note check needs 0.35 to 600 seconds and keys, got {seconds} {keys}")
        return
    path = os.path.join(folder, name)
    for key in keys:
        out = render_note(path, name, key, 127, seconds, rate, work)
        if out:
            sounds_at_pitch(name, f"held for {seconds} s", out, key, seconds - 0.3, seconds - 0.05, 0.01)


SAMPLE_OPCODE = re.compile(r"(?:^|\s)sample=(.+?)(?=\s+[A-Za-z0-9_]+=|\s*<|\s*//|\s*$)")


def sfz_samples(text):
    """The sample= values of an SFZ text; a value may hold spaces and ends before the
    next opcode, header or comment, or at the end of its line."""
    return [m.group(1).strip() for line in text.splitlines() for m in SAMPLE_OPCODE.finditer(line)]


def check_sfz(folder, name, rate, keys, work):
    path = os.path.join(folder, name)
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError as e:
        fail(f"{name}: cannot read it: {e.strerror}")
        return
    samples = sfz_samples(text)
    if not samples:
        fail(f"{name}: names no sample")
    for sample in samples:
        wav = os.path.join(os.path.dirname(path), *re.split(r"[\\/]", sample))
        reason = sox_reads(wav)
        if reason:
            fail(f"{name}: sox cannot read its sample {sample}: {reason}")

    # Polyphone writes <name>.sf2 into the folder given; any other outcome fails.
    out = tempfile.mkdtemp(prefix="sfz-", dir=work)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=out)
    result = run(["polyphone", "-1", "-i", path, "-d", out], env=env)
    imported = glob.glob(os.path.join(out, "*.sf2"))
    if result.returncode != 0 or len(imported) != 1:
        fail(f"{name}: Polyphone did not import it (exit code {result.returncode}, {len(imported)} SoundFonts): "
             f"{(result.stdout + result.stderr).strip()}")
        return
    check_sf2(folder, name + " (through Polyphone)", rate, keys or [60], work, imported[0])


def ints(fields):
    keys = [int(k) for k in fields]
    if any(not 0 <= k <= 127 for k in keys):
        raise ValueError(f"a key outside 0 ... 127 in {keys}")
    return keys


KINDS = {
    # kind: (fields after the kind at least, what the summary calls it, check)
    "wav": (7, "WAV", lambda folder, f, work: check_wav(folder, f[0], *map(int, f[1:6]))),
    "sf2": (2, "SoundFont", lambda folder, f, work: check_sf2(folder, f[0], int(f[1]), ints(f[2:]), work)),
    "sf2layers": (5, "velocity-layer SoundFont",
                  lambda folder, f, work: check_sf2_layers(folder, f[0], int(f[1]), int(f[2]), int(f[3]),
                                                           ints(f[4:]), work)),
    "sf2held": (4, "held-note SoundFont",
                lambda folder, f, work: check_sf2_held(folder, f[0], int(f[1]), float(f[2]), ints(f[3:]), work)),
    "sfz": (3, "SFZ", lambda folder, f, work: check_sfz(folder, f[0], int(f[1]), ints(f[2:]), work)),
}


def main():
    folder = sys.argv[1]
    manifest = os.path.join(folder, "manifest.txt")
    if not os.path.exists(manifest):
        print(f"FAIL: no {manifest}; export_tests must run first")
        return 1
    counts = dict.fromkeys(KINDS, 0)
    with tempfile.TemporaryDirectory() as work, open(manifest) as lines:
        for number, line in enumerate(lines, 1):
            f = line.split()
            if not f:
                continue
            if f[0] not in KINDS or len(f) - 1 < KINDS[f[0]][0]:
                fail(f"manifest line {number} is not a known kind with its fields: {line.strip()}")
                continue
            counts[f[0]] += 1
            try:
                KINDS[f[0]][2](folder, f[1:], work)
            except ValueError as e:
                fail(f"manifest line {number} ({line.strip()}): {e}")
    print("checked " + ", ".join(f"{counts[k]} {KINDS[k][1]}" for k in KINDS) + " files")
    if counts["wav"] == 0 or counts["sf2"] == 0:
        fail("the manifest lists no WAV or no SoundFont file")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
