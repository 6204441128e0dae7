#!/usr/bin/env python3
"""Writes the example melodies of this folder as Standard MIDI Files.

Run from anywhere: python3 examples/make_examples.py [OUTPUT_DIR]
The output is deterministic; the committed .mid files are exactly what this script writes.

Every melody follows the rules of the GD melody encoder: MIDI format 1, a first track that
carries the track name (the melody title, at least 3 bytes) and the tempo at delta 0, one
note track per voice with at most one program change, no overlapping notes within a track,
and every note length and gap one of the melody durations (at division 480: a sixteenth is
120 ticks, an eighth 240, a quarter 480, a half 960, with their dotted forms).
"""

import os
import struct
import sys

DIVISION = 480
S, E, Q, H, W = 120, 240, 480, 960, 1920  # sixteenth, eighth, quarter, half, whole
DE, DQ, DH = 360, 720, 1440               # dotted eighth, dotted quarter, dotted half
REST = None

# MIDI note numbers of octaves 3 to 5 (C4 = 60).
NOTE = {}
for octave, base in ((3, 48), (4, 60), (5, 72)):
    for i, name in enumerate(("C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B")):
        NOTE[f"{name}{octave}"] = base + i


def vlq(value):
    """A MIDI variable-length quantity."""
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, (value & 0x7F) | 0x80)
        value >>= 7
    return bytes(out)


def meta(kind, payload):
    return bytes([0xFF, kind]) + vlq(len(payload)) + payload


def track_chunk(events, running_status):
    """events: (delta, event bytes) pairs. With running_status, a channel message whose
    status equals the previous one is written without its status byte."""
    body = bytearray()
    previous = None
    for delta, data in events:
        body += vlq(delta)
        status = data[0]
        if running_status and status < 0xF0 and status == previous:
            body += data[1:]
        else:
            body += data
        if status < 0xF0:
            previous = status
        elif status != 0xFF:
            previous = None  # system exclusive ends running status; meta events do not
    body += vlq(0) + meta(0x2F, b"")
    return b"MTrk" + struct.pack(">I", len(body)) + bytes(body)


def tempo_track(title, bpm):
    return [
        (0, meta(0x03, title.encode("ascii"))),
        (0, meta(0x51, struct.pack(">I", 60000000 // bpm)[1:])),
        (0, meta(0x58, bytes([4, 2, 24, 8]))),
    ]


def note_track(name, program, channel, notes, note_off_as_velocity_zero):
    """notes: (pitch or REST, length in ticks). Each note sounds for its whole length."""
    events = [(0, meta(0x03, name.encode("ascii"))), (0, bytes([0xC0 | channel, program]))]
    pending = 0
    for pitch, length in notes:
        if pitch is REST:
            pending += length
            continue
        events.append((pending, bytes([0x90 | channel, pitch, 96])))
        if note_off_as_velocity_zero:
            events.append((length, bytes([0x90 | channel, pitch, 0])))
        else:
            events.append((length, bytes([0x80 | channel, pitch, 64])))
        pending = 0
    return events


def midi_file(tracks, running_status):
    header = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), DIVISION)
    return header + b"".join(track_chunk(t, running_status) for t in tracks)


def parse(text):
    """'E5:e G5:e r:q ...' into (pitch, ticks) pairs."""
    lengths = {"s": S, "e": E, "q": Q, "h": H, "w": W, "de": DE, "dq": DQ, "dh": DH}
    result = []
    for item in text.split():
        pitch, length = item.split(":")
        result.append((REST if pitch == "r" else NOTE[pitch], lengths[length]))
    return result


def bars(notes):
    return sum(length for _, length in notes) / (4 * Q)


# (a) One voice in octaves 4 and 5; its first bar comes back in bar 5.
TUNE = parse(
    "E5:e G5:e A5:q G5:e E5:e D5:q "
    "C5:e D5:e E5:q r:e E5:e D5:e C5:e "
    "A4:q C5:e D5:e E5:dq D5:e "
    "C5:h r:q G4:s A4:s B4:e "
    "E5:e G5:e A5:q G5:e E5:e D5:q "
    "C5:e D5:e E5:q G5:e A5:e G5:q "
    "E5:q D5:e C5:e D5:q E5:q "
    "C5:dh r:q"
)

# (b) Three voices; the bass (voice 3) mostly moves with the harmony (voice 2).
MELODY = parse(
    "G5:q E5:e F5:e G5:q C5:q "
    "A5:q F5:e G5:e A5:h "
    "G5:e F5:e E5:e D5:e E5:q C5:q "
    "D5:dq E5:e D5:h "
    "G5:q E5:e F5:e G5:q C5:q "
    "A5:q B5:e A5:e G5:h "
    "F5:e E5:e D5:e E5:e F5:q D5:q "
    "C5:w"
)
HARMONY = parse(
    "E4:h E4:h "
    "F4:h F4:h "
    "E4:q G4:q E4:q E4:q "
    "F4:h G4:h "
    "E4:h E4:h "
    "F4:q A4:q B4:h "
    "A4:q G4:q F4:q G4:q "
    "E4:w"
)
BASS = parse(
    "C3:h C3:h "
    "F3:h F3:h "
    "C3:q E3:q G3:q C3:q "
    "G3:q D3:q G3:h "
    "C3:h C3:h "
    "F3:dq D3:e G3:h "
    "F3:q E3:q D3:q G3:q "
    "C3:w"
)


def long_tune():
    """(c) 220 notes whose pitches and lengths follow a pseudo-random walk: nothing repeats,
    so the melody stream cannot be shortened below one SMS."""
    state = 20230607
    notes = []
    pitch = 72
    for _ in range(220):
        state = (state * 1103515245 + 12345) % (1 << 31)
        step = (state >> 16) % 13 - 6
        pitch = min(83, max(60, pitch + step))
        length = (S, E, E, Q, DE)[(state >> 8) % 5]
        notes.append((pitch, length))
    return notes


def write(directory, name, data):
    path = os.path.join(directory, name)
    with open(path, "wb") as out:
        out.write(data)
    print(f"{path}: {len(data)} bytes")


def main():
    directory = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for voice in (MELODY, HARMONY, BASS):
        assert bars(voice) == 8, bars(voice)
    assert bars(TUNE) == 8, bars(TUNE)

    write(directory, "tune.mid", midi_file(
        [tempo_track("Morning Bell", 120),
         note_track("Bell", 0, 0, TUNE, note_off_as_velocity_zero=True)],
        running_status=True))
    write(directory, "three_voices.mid", midi_file(
        [tempo_track("Three Voices", 100),
         note_track("Melody", 73, 0, MELODY, note_off_as_velocity_zero=False),
         note_track("Harmony", 0, 1, HARMONY, note_off_as_velocity_zero=False),
         note_track("Bass", 32, 2, BASS, note_off_as_velocity_zero=False)],
        running_status=False))
    write(directory, "long_tune.mid", midi_file(
        [tempo_track("Long Walk", 140),
         note_track("Walker", 80, 0, long_tune(), note_off_as_velocity_zero=False)],
        running_status=False))


if __name__ == "__main__":
    main()
