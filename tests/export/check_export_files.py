#!/usr/bin/env python3
"""Checks the files the export tests wrote with real readers, on the host.

Reads <folder>/manifest.txt (written by export_tests under Wine), one file per line:

  wav <file> <format tag> <bits> <channels> <rate> <frames> <key or -1>
      The WAV must read in sox with that format, channel count, rate and frame count.

  sf2 <file> <rate> [<key> ...]
      The SoundFont must load in FluidSynth without an error line (its exit code stays
      0 on errors), and a note rendered through it at each listed key (velocity 127,
      0.5 s) must have that key's pitch (1 %). Without keys, loading is the check.

  sf2layers <file> <rate> <lower top> <key> ...
      A SoundFont with two velocity layers, the lower one ending at velocity <lower
      top>. Each key is rendered (0.5 s, at FluidSynth's gain 1.0 rather than its
      default 0.2, so a soft note stays far above the dither of the output) at 127,
      the upper layer's top, at <lower top> and at half of it, and must sound (peak
      above 0.001) at the key's pitch (1 %) each time. Each layer plays at the level it
      was recorded at: the notes at the two tops must lie as far apart as the RMS of
      the two layers' own samples over the same part (within 1 dB), where FluidSynth's
      default velocity curve alone would put 11 dB more between 127 and 64; and the
      note at half the lower top must fall below the one at its top as far as the
      upper layer falls per velocity step, times the steps between (within 1 dB).

  sf2pitch <file> <rate> <key> ...
      A SoundFont of an instrument off concert pitch: each key, rendered as for "sf2",
      must sound within 2 cents of the key's pitch (the zero crossings' positions
      interpolated between frames, over 0.05 ... 0.45 s).

  sf2deep <file> <rate> <key> ...
      A 24-bit SoundFont (2.04): its version is 2.04, an sm24 chunk follows the smpl
      chunk in sdta with one byte a point (made even), and it passes as an "sf2" line
      with these keys. FluidSynth must read the low bytes: a note rendered (as 32-bit
      float) through the file differs from the same note through a copy without its
      sm24 chunk (a 2.01 file of the upper 16 bits), by less than a 16-bit step.

  sf2held <file> <rate> <seconds> <key> ...
      Each key is held for <seconds> (velocity 127, note-off at that time). In the
      window [seconds - 0.3, seconds - 0.05] the note must still sound (peak above
      0.01) at the key's pitch (1 %): a sustain loop holds it past its sample's end.

  sfz <file.sfz> <rate> <key> ...
      Every WAV the .sfz names (its sample= opcodes, relative to the .sfz's folder,
      '\\' or '/' as separator) must read in sox. Polyphone imports the .sfz
      headless into a SoundFont, which must then pass as an "sf2" line with these keys.

  wavdata <file> <root key> <low key> <high key> <low velocity> <high velocity> <loop start> <loop end>
      A WAV with sampler chunks: sndfile-info --instrument must read its base note and
      its one forward loop (start, end one past the last frame played; -1 -1 for no
      loop), and its inst chunk must carry the root key and the key and velocity ranges.

  dspreset <file.dspreset>
      What Decent Sampler's own loader asks of a preset: well-formed XML whose root is
      <DecentSampler>, exactly one <groups>, every <sample> with a path and a rootNote
      (0 ... 127), its other note and velocity attributes within 0 ... 127, a loop's
      start before its end inside the file, and every path naming a file that exists
      with exactly that case (the player runs on case-sensitive systems too); sox must
      read each sample. A group's ampVelTrack lies within 0 ... 1, its volume is a
      number, with "dB" after it for decibels.

  loopguards <file.sf2, .sfz or .dspreset> <rate>
      Every looped sample: the 4 frames before and the 4 from its loop start equal those
      around its loop end (within one step of 16-bit data), at least 8 frames lie before
      the loop start and after the loop end, and the frames after the loop end, where a
      note let go plays on, move no more from one frame to the next than the loop does.
      For a SoundFont, FluidSynth plays each looped zone's root key held for 3 s: at the
      loop's seams the step from one output frame to the next stays within the largest
      step of the sustained part.

  agree <file.sf2> <file.sfz> <file.dspreset>
      One set in three files: the same takes with the same root keys, key and velocity
      ranges and loops, and the same release (the SoundFont's looped zones carry it), as
      each file says; the WAV samples of the SFZ and the preset say the same in their
      sampler chunks.

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


def zone_rms(points, zone, start, end, rate):
    """The RMS of a zone's own sample between start and end seconds."""
    first = zone["header"][1]
    part = points[first + int(start * rate):first + int(end * rate)]
    return math.sqrt(sum(p * p for p in part) / len(part)) / 32768.0 if part else 0.0


def check_sf2_layers(folder, name, rate, top, keys, work):
    if not 2 <= top < 127 or not keys:
        fail(f"{name}: a layer check needs a lower top of 2 ... 126 and keys, got {top} {keys}")
        return
    path = os.path.join(folder, name)
    points, zones = read_sf2(path)
    for key in keys:
        played = {}
        for velocity in (127, top, top // 2):
            out = render_note(path, name, key, velocity, 0.5, rate, work, LAYER_GAIN)
            if not out:
                return
            rms = sounds_at_pitch(name, f"at velocity {velocity}", out, key, 0.05, 0.45, 0.001)
            if rms is None or rms <= 0:
                break
            played[velocity] = 20.0 * math.log10(rms)
        if len(played) < 3:
            continue
        recorded = {}
        for zone in zones:
            low, high = zone["gen"][43] & 0xFF, zone["gen"][43] >> 8
            vel_high = zone["gen"][44] >> 8
            if low <= key <= high and zone["header"][0].rstrip(b"\0").decode("ascii", "replace").find(" R") < 0:
                recorded.setdefault(vel_high, zone_rms(points, zone, 0.05, 0.45, rate))
        if sorted(recorded) != [top, 127] or min(recorded.values()) <= 0:
            fail(f"{name}: key {key} has layers ending at {sorted(recorded)}, expected {top} and 127")
            continue
        apart = 20.0 * math.log10(recorded[127] / recorded[top])
        if abs((played[127] - played[top]) - apart) > 1.0:
            fail(f"{name}: key {key} plays {played[127] - played[top]:.1f} dB louder at velocity 127 than at "
                 f"{top}; its layers were recorded {apart:.1f} dB apart")
        fall = max(apart, 0.0) / (127 - top) * (top - top // 2)
        if abs((played[top] - played[top // 2]) - fall) > 1.0:
            fail(f"{name}: key {key} falls {played[top] - played[top // 2]:.1f} dB from velocity {top} to "
                 f"{top // 2}, its curve {fall:.1f} dB")


def precise_frequency(path, start, end):
    """The left channel's frequency from its first to its last rising zero crossing in
    the window, each placed between its two frames by linear interpolation."""
    with wave.open(path, "rb") as w:
        rate, channels = w.getframerate(), w.getnchannels()
        data = w.readframes(w.getnframes())
    samples = struct.unpack("<%dh" % (len(data) // 2), data)[::channels]
    part = samples[int(rate * start):int(rate * end)]
    crossings = [i + part[i] / (part[i] - part[i + 1]) for i in range(len(part) - 1) if part[i] < 0 <= part[i + 1]]
    return (len(crossings) - 1) * rate / (crossings[-1] - crossings[0]) if len(crossings) > 1 else 0.0


def check_sf2_pitch(folder, name, rate, keys, work):
    path = os.path.join(folder, name)
    for key in keys:
        out = render_note(path, name, key, 127, 0.5, rate, work)
        if not out:
            return
        f = precise_frequency(out, 0.05, 0.45)
        cents = 1200.0 * math.log2(f / key_frequency(key)) if f > 0 else math.inf
        if abs(cents) > 2.0:
            fail(f"{name}: key {key} sounds at {f:.3f} Hz, {cents:+.1f} cents from {key_frequency(key):.3f} Hz")


def strip_sm24(data):
    """The SoundFont without its sm24 chunk and marked 2.01: what a 16-bit reader takes of it."""
    out = bytearray(data)
    for cid, body, size in riff_chunks(data, 12, len(data)):
        if cid == b"LIST" and data[body:body + 4] == b"sdta":
            for sub, sub_body, sub_size in riff_chunks(data, body + 4, body + size):
                if sub == b"sm24":
                    cut = 8 + sub_size + (sub_size & 1)
                    del out[sub_body - 8:sub_body - 8 + cut]
                    struct.pack_into("<I", out, body - 4, size - cut)
                    struct.pack_into("<I", out, 4, len(out) - 8)
        elif cid == b"LIST" and data[body:body + 4] == b"INFO":
            for sub, sub_body, _ in riff_chunks(data, body + 4, body + size):
                if sub == b"ifil":
                    struct.pack_into("<HH", out, sub_body, 2, 1)
    return bytes(out)


def check_sf2_deep(folder, name, rate, keys, work):
    path = os.path.join(folder, name)
    with open(path, "rb") as f:
        data = f.read()
    version, sdta = None, []
    for cid, body, size in riff_chunks(data, 12, len(data)):
        if cid == b"LIST" and data[body:body + 4] == b"INFO":
            version = [struct.unpack_from("<HH", data, b) for c, b, _ in riff_chunks(data, body + 4, body + size)
                       if c == b"ifil"]
        if cid == b"LIST" and data[body:body + 4] == b"sdta":
            sdta = [(c, s) for c, _, s in riff_chunks(data, body + 4, body + size)]
    smpl = sdta[0][1] if sdta and sdta[0][0] == b"smpl" else None
    if version != [(2, 4)] or len(sdta) != 2 or smpl is None or sdta[1] != (b"sm24", smpl // 2 + (smpl // 2) % 2):
        fail(f"{name}: version {version}, sdta chunks {sdta}; expected 2.04 with smpl, then sm24 of a byte a point")
        return
    check_sf2(folder, name, rate, keys, work)
    shallow = os.path.join(work, "shallow-" + name)
    with open(shallow, "wb") as f:
        f.write(strip_sm24(data))
    midi = os.path.join(work, f"deep{keys[0]}.mid")
    midi_file(midi, keys[0])
    outs = []
    for which, sf2 in (("deep", path), ("shallow", shallow)):
        out = os.path.join(work, f"{which}-{name}.wav")
        result = run(["fluidsynth", "-o", "synth.default-soundfont=", "-ni", "-R", "0", "-C", "0", "-r", str(rate),
                      "-O", "float", "-T", "wav", "-F", out, sf2, midi])
        lines = [l for l in (result.stdout + result.stderr).splitlines() if "error" in l.lower() or "sm24" in l.lower()]
        if result.returncode != 0 or lines or not os.path.exists(out):
            fail(f"{name}: FluidSynth rendering the {which} file reports {lines or result.returncode}")
            return
        outs.append(read_wav(out)["frames"][0])
    deep, shallow_out = outs
    differences = [abs(a - b) for a, b in zip(deep, shallow_out)]
    largest = max(differences) if differences else 0.0
    if len(deep) != len(shallow_out) or largest == 0.0 or largest >= STEP:
        fail(f"{name}: FluidSynth plays it {largest:.3g} away from its upper 16 bits alone over "
             f"{len(deep)} / {len(shallow_out)} frames; expected a difference below {STEP:.3g}, not none")


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




# ---- Reading the files themselves -------------------------------------------------

def riff_chunks(data, start, end):
    """(id, body offset, size) of the chunks between start and end."""
    at = start
    while at + 8 <= end:
        cid, size = data[at:at + 4], struct.unpack_from("<I", data, at + 4)[0]
        yield cid, at + 8, size
        at += 8 + size + (size & 1)


def read_wav(path):
    """Format, frames as floats per channel and the sampler chunks of a WAV (RIFF or RF64)."""
    with open(path, "rb") as f:
        data = f.read()
    out = {"smpl": None, "inst": None}
    top = data[:4]
    if top not in (b"RIFF", b"RF64") or data[8:12] != b"WAVE":
        raise ValueError("not a WAV file")
    data_size = None
    for cid, body, size in riff_chunks(data, 12, len(data)):
        if cid == b"ds64":
            data_size = struct.unpack_from("<Q", data, body + 8)[0]
        elif cid == b"fmt ":
            out["tag"], out["channels"], out["rate"], _, _, out["bits"] = struct.unpack_from("<HHIIHH", data, body)
        elif cid == b"smpl":
            fields = struct.unpack_from("<9I", data, body)
            loops = [struct.unpack_from("<6I", data, body + 36 + 24 * i) for i in range(fields[7])]
            out["smpl"] = {"note": fields[3], "fraction": fields[4], "loops": loops}
        elif cid == b"inst":
            note, tune, gain, lo, hi, lovel, hivel = struct.unpack_from("<BbbBBBB", data, body)
            out["inst"] = (note, tune, gain, lo, hi, lovel, hivel)
        elif cid == b"data":
            raw = data[body:body + (data_size if size == 0xFFFFFFFF and data_size else size)]
            width = out["bits"] // 8
            count = len(raw) // width
            if out["tag"] == 3:
                values = struct.unpack("<%df" % count, raw[:count * 4])
            elif width == 2:
                values = [v / 32768.0 for v in struct.unpack("<%dh" % count, raw[:count * 2])]
            else:
                values = [int.from_bytes(raw[3 * i:3 * i + 3], "little", signed=True) / 8388608.0 for i in range(count)]
            c = out["channels"]
            out["frames"] = [list(values[k::c]) for k in range(c)]
            break
    return out


def read_sf2(path):
    """The sample data (16-bit integers) and, per instrument zone, its generators and its
    sample header, of a SoundFont."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"sfbk":
        raise ValueError("not a SoundFont")
    lists = {}
    for cid, body, size in riff_chunks(data, 12, len(data)):
        if cid == b"LIST":
            lists[data[body:body + 4]] = dict((c, (b, s)) for c, b, s in riff_chunks(data, body + 4, body + size))
    smpl_body, smpl_size = lists[b"sdta"][b"smpl"]
    points = struct.unpack_from("<%dh" % (smpl_size // 2), data, smpl_body)
    pdta = lists[b"pdta"]

    def records(name, size, form):
        body, total = pdta[name]
        return [struct.unpack_from(form, data, body + i * size) for i in range(total // size)]

    headers = records(b"shdr", 46, "<20sIIIIIBbHH")
    bags = records(b"ibag", 4, "<HH")
    gens = records(b"igen", 4, "<HH")
    zones = []
    instruments = records(b"inst", 22, "<20sH")
    for i in range(len(instruments) - 1):
        for b in range(instruments[i][1], instruments[i + 1][1]):
            generators = {}
            for g in range(bags[b][0], bags[b + 1][0]):
                oper, amount = gens[g]
                generators[oper] = amount
            if 53 in generators:
                zones.append({"gen": generators, "header": headers[generators[53]]})
    return points, zones


def signed16(value):
    return value - 65536 if value >= 32768 else value


def sfz_regions(path):
    """Each region's opcodes (with <global>'s beneath them) and the folder of the .sfz."""
    text = open(path, encoding="utf-8", errors="replace").read()
    regions, globals_, current = [], {}, None
    for line in text.splitlines():
        line = line.split("//")[0]
        if "<global>" in line:
            current = globals_
        if "<region>" in line:
            current = dict(globals_)
            regions.append(current)
        for m in re.finditer(r"([A-Za-z0-9_]+)=", line):
            if m.group(1) == "sample":
                current["sample"] = sfz_samples(line)[0]
                break
            value = line[m.end():].split()[0] if line[m.end():].split() else ""
            if current is not None:
                current[m.group(1)] = value
    return regions


STEP = 1.0 / 32768.0  # one step of 16-bit data


def check_wavdata(folder, name, expected):
    path = os.path.join(folder, name)
    root, lo, hi, lovel, hivel, loop_start, loop_end = expected
    info = run(["sndfile-info", "--instrument", path])
    text = info.stdout
    note = re.search(r"Base note\s*:\s*(\d+)", text)
    loops = re.findall(r"Mode : fwd\s+Start :\s*(\d+)\s+End :\s*(\d+)", text)
    want_loops = [] if loop_start < 0 else [(loop_start, loop_end)]
    got_loops = [(int(a), int(b)) for a, b in loops]
    if info.returncode != 0 or not note or int(note.group(1)) != root or got_loops != want_loops:
        fail(f"{name}: sndfile-info reads base note {note.group(1) if note else None}, loops {got_loops}; "
             f"expected {root}, {want_loops}")
    wav = read_wav(path)
    if not wav["inst"] or wav["inst"][0] != root or wav["inst"][3:] != (lo, hi, lovel, hivel):
        fail(f"{name}: inst chunk {wav['inst']}, expected root {root}, keys {lo}-{hi}, velocities {lovel}-{hivel}")
    reason = sox_reads(path)
    if reason:
        fail(f"{name}: sox cannot read it: {reason}")


def check_dspreset(folder, name, work):
    import xml.etree.ElementTree as ElementTree
    path = os.path.join(folder, name)
    try:
        root = ElementTree.parse(path).getroot()
    except (ElementTree.ParseError, OSError) as e:
        fail(f"{name}: not well-formed XML: {e}")
        return
    groups = root.findall("groups")
    if root.tag != "DecentSampler" or len(groups) != 1:
        fail(f"{name}: root <{root.tag}> with {len(groups)} <groups>, expected <DecentSampler> with one")
        return
    samples = groups[0].findall("group/sample")
    if not samples:
        fail(f"{name}: maps no sample")
    for group in groups[0].findall("group"):
        track, volume = group.get("ampVelTrack", "1"), group.get("volume", "1")
        if not re.fullmatch(r"(0|1)(\.\d+)?", track) or float(track) > 1:
            fail(f"{name}: a group's ampVelTrack={track} is not within 0 ... 1")
        if not re.fullmatch(r"-?\d+(\.\d+)?(dB)?", volume):
            fail(f"{name}: a group's volume={volume} is neither a gain nor decibels")
    base = os.path.dirname(path)
    for sample in samples:
        a = sample.attrib
        if "path" not in a or "rootNote" not in a:
            fail(f"{name}: a <sample> without path or rootNote: {a}")
            continue
        for attribute in ("rootNote", "loNote", "hiNote", "loVel", "hiVel"):
            if attribute in a and not (a[attribute].isdigit() and 0 <= int(a[attribute]) <= 127):
                fail(f"{name}: {a['path']}: {attribute}={a[attribute]} is no MIDI value")
        # Exactly that case, folder by folder.
        where = base
        for part in a["path"].split("/"):
            if part not in os.listdir(where):
                fail(f"{name}: {a['path']} names no file with exactly that case")
                where = None
                break
            where = os.path.join(where, part)
        if not where:
            continue
        reason = sox_reads(where)
        if reason:
            fail(f"{name}: sox cannot read {a['path']}: {reason}")
        if a.get("loopEnabled") == "true":
            frames = int(soxi(where, "-s") or 0)
            if not int(a["loopStart"]) < int(a["loopEnd"]) < frames:
                fail(f"{name}: {a['path']}: loop {a['loopStart']} ... {a['loopEnd']} outside its {frames} frames")


def guard_faults(frames, loop_start, loop_end, tolerance):
    """What is wrong with the frames around one loop (loop_end one past the last frame
    played), as a list of reasons."""
    faults = []
    if loop_start < 8 or len(frames) - loop_end < 8:
        faults.append(f"{loop_start} frames before the loop, {len(frames) - loop_end} after it (8 needed)")
        return faults
    for k in range(-4, 4):
        if abs(frames[loop_start + k] - frames[loop_end + k]) > tolerance:
            faults.append(f"frame {k:+d} of the loop end differs from the start's by "
                          f"{abs(frames[loop_start + k] - frames[loop_end + k]) / STEP:.1f} steps")
            break
    largest = max(abs(frames[i + 1] - frames[i]) for i in range(loop_start, loop_end - 1))
    after = max(abs(frames[i + 1] - frames[i]) for i in range(loop_end - 1, min(len(frames) - 1, loop_end + 2000)))
    if after > largest * 1.05 + tolerance:
        faults.append(f"after the loop the frames step by {after:.5f}, in the loop by at most {largest:.5f}")
    return faults


def seam_jumps(out, first_seam, loop_length, seconds):
    """The largest step of FluidSynth's output at the loop's seams and over the sustained part."""
    with wave.open(out, "rb") as w:
        rate, channels = w.getframerate(), w.getnchannels()
        data = w.readframes(w.getnframes())
    left = struct.unpack("<%dh" % (len(data) // 2), data)[::channels]
    steps = [abs(left[i + 1] - left[i]) for i in range(len(left) - 1)]
    sustained = steps[int(0.1 * rate):int((seconds - 0.1) * rate)]
    seams = []
    seam = first_seam
    while seam + 3 < int((seconds - 0.1) * rate):
        seams.append(max(steps[seam - 3:seam + 3]))
        seam += loop_length
    return (max(seams) if seams else 0), (max(sustained) if sustained else 0)


def check_loopguards(folder, name, rate, work):
    path = os.path.join(folder, name)
    looped = 0
    if name.endswith(".sf2"):
        points, zones = read_sf2(path)
        seen = set()
        for zone in zones:
            header, gen = zone["header"], zone["gen"]
            if gen.get(54, 0) not in (1, 3) or header in seen:
                continue
            seen.add(header)
            looped += 1
            _, start, end, loop_start, loop_end, _, root = header[:7]
            frames = [p * STEP for p in points[start:end]]
            for fault in guard_faults(frames, loop_start - start, loop_end - start, 1.01 * STEP):
                fail(f"{name}: sample {header[0].rstrip(bytes(1)).decode()}: {fault}")
            if header[9] in (1, 4):  # a mono or left sample: FluidSynth plays its zone at the root key
                seconds = 3.0
                out = render_note(path, name, root, 127, seconds, rate, work)
                if out:
                    jump, sustained = seam_jumps(out, loop_end - start, loop_end - loop_start, seconds)
                    if jump > sustained:
                        fail(f"{name}: key {root} held: a step of {jump} at a loop seam, at most {sustained} "
                             f"elsewhere in the held note")
    else:
        entries = []
        if name.endswith(".sfz"):
            for region in sfz_regions(path):
                if region.get("loop_mode") == "loop_sustain":
                    entries.append((region["sample"], int(region["loop_start"]), int(region["loop_end"]) + 1))
        else:
            import xml.etree.ElementTree as ElementTree
            for sample in ElementTree.parse(path).getroot().iter("sample"):
                if sample.get("loopEnabled") == "true":
                    entries.append((sample.get("path"), int(sample.get("loopStart")), int(sample.get("loopEnd")) + 1))
        for sample, loop_start, loop_end in entries:
            looped += 1
            wav = read_wav(os.path.join(os.path.dirname(path), *re.split(r"[\\/]", sample)))
            for channel in wav["frames"]:
                tolerance = 1.01 * STEP if wav["bits"] == 16 else STEP
                for fault in guard_faults(channel, loop_start, loop_end, tolerance):
                    fail(f"{name}: {sample}: {fault}")
    if looped == 0:
        fail(f"{name}: no looped sample to check")


def set_from_sf2(path):
    """(root, low key, high key, low velocity, high velocity, loop start, loop end) of
    each take (its left or mono zone), and the looped zones' release in ms."""
    points, zones = read_sf2(path)
    takes, releases = [], set()
    for zone in zones:
        header, gen = zone["header"], zone["gen"]
        if header[9] not in (1, 4):
            continue
        looped = gen.get(54, 0) in (1, 3)
        start = header[1]
        takes.append((header[6], gen[43] & 0xFF, gen[43] >> 8, gen[44] & 0xFF, gen[44] >> 8,
                      header[3] - start if looped else -1, header[4] - start if looped else -1))
        if looped and 38 in gen:
            releases.add(round(1000 * 2 ** (signed16(gen[38]) / 1200.0)))
    return sorted(takes), releases


def set_from_sfz(path):
    takes, releases, wavs = [], set(), []
    for r in sfz_regions(path):
        looped = r.get("loop_mode") == "loop_sustain"
        take = (int(r["pitch_keycenter"]), int(r["lokey"]), int(r["hikey"]), int(r["lovel"]), int(r["hivel"]),
                int(r["loop_start"]) if looped else -1, int(r["loop_end"]) + 1 if looped else -1)
        takes.append(take)
        if looped:
            releases.add(round(1000 * float(r["ampeg_release"])))
        wavs.append((os.path.join(os.path.dirname(path), *re.split(r"[\\/]", r["sample"])), take))
    return sorted(takes), releases, wavs


def set_from_dspreset(path):
    import xml.etree.ElementTree as ElementTree
    root = ElementTree.parse(path).getroot()
    release = round(1000 * float(root.find("groups").get("release", "0")))
    takes, releases, wavs = [], set(), []
    for s in root.iter("sample"):
        looped = s.get("loopEnabled") == "true"
        take = (int(s.get("rootNote")), int(s.get("loNote")), int(s.get("hiNote")), int(s.get("loVel")),
                int(s.get("hiVel")), int(s.get("loopStart")) if looped else -1,
                int(s.get("loopEnd")) + 1 if looped else -1)
        takes.append(take)
        if looped:
            releases.add(release)
        wavs.append((os.path.join(os.path.dirname(path), *s.get("path").split("/")), take))
    return sorted(takes), releases, wavs


def from_wav_chunks(path):
    wav = read_wav(path)
    smpl, inst = wav["smpl"], wav["inst"]
    loop = smpl["loops"][0] if smpl and smpl["loops"] else None
    return (smpl["note"] if smpl else None, inst[3] if inst else None, inst[4] if inst else None,
            inst[5] if inst else None, inst[6] if inst else None, loop[2] if loop else -1,
            loop[3] + 1 if loop else -1)


def check_agree(folder, names):
    sf2, sfz, ds = (os.path.join(folder, n) for n in names)
    sf2_takes, sf2_release = set_from_sf2(sf2)
    sfz_takes, sfz_release, sfz_wavs = set_from_sfz(sfz)
    ds_takes, ds_release, ds_wavs = set_from_dspreset(ds)
    if not sf2_takes:
        fail(f"{names[0]}: no takes")
    for label, takes in (("SFZ", sfz_takes), ("Decent Sampler", ds_takes)):
        if takes != sf2_takes:
            fail(f"{names[0]} and its {label} set differ: {sf2_takes} against {takes}")
    for label, release in (("SFZ", sfz_release), ("Decent Sampler", ds_release)):
        if release != sf2_release:
            fail(f"{names[0]}: the looped zones' release {sf2_release} ms, the {label} set's {release} ms")
    for wav, take in sfz_wavs + ds_wavs:
        chunks = from_wav_chunks(wav)
        if chunks != take:
            fail(f"{os.path.relpath(wav, folder)}: its sampler chunks say {chunks}, its set {take}")


def ints(fields):
    keys = [int(k) for k in fields]
    if any(not 0 <= k <= 127 for k in keys):
        raise ValueError(f"a key outside 0 ... 127 in {keys}")
    return keys


KINDS = {
    # kind: (fields after the kind at least, what the summary calls it, check)
    "wav": (7, "WAV", lambda folder, f, work: check_wav(folder, f[0], *map(int, f[1:6]))),
    "sf2": (2, "SoundFont", lambda folder, f, work: check_sf2(folder, f[0], int(f[1]), ints(f[2:]), work)),
    "sf2layers": (4, "velocity-layer SoundFont",
                  lambda folder, f, work: check_sf2_layers(folder, f[0], int(f[1]), int(f[2]), ints(f[3:]), work)),
    "sf2pitch": (3, "retuned SoundFont",
                 lambda folder, f, work: check_sf2_pitch(folder, f[0], int(f[1]), ints(f[2:]), work)),
    "sf2deep": (3, "24-bit SoundFont",
                lambda folder, f, work: check_sf2_deep(folder, f[0], int(f[1]), ints(f[2:]), work)),
    "sf2held": (4, "held-note SoundFont",
                lambda folder, f, work: check_sf2_held(folder, f[0], int(f[1]), float(f[2]), ints(f[3:]), work)),
    "sfz": (3, "SFZ", lambda folder, f, work: check_sfz(folder, f[0], int(f[1]), ints(f[2:]), work)),
    "wavdata": (8, "WAV with sampler chunks",
                lambda folder, f, work: check_wavdata(folder, f[0], [int(v) for v in f[1:8]])),
    "dspreset": (1, "Decent Sampler preset", lambda folder, f, work: check_dspreset(folder, f[0], work)),
    "loopguards": (2, "looped set", lambda folder, f, work: check_loopguards(folder, f[0], int(f[1]), work)),
    "agree": (3, "set in three files", lambda folder, f, work: check_agree(folder, f[0:3])),
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
