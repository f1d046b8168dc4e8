#!/usr/bin/env python3
"""Synthesises Receive.wav, the sound of an incoming message: two soft bell
tones rising a fourth (G5 then C6), about half a second, 22050 Hz mono 16-bit.

    python3 tools/artwork/make_receive_wav.py client/ui/shell/sound/Receive.wav
"""
import math
import struct
import sys
import wave

RATE = 22050
LENGTH = 0.55  # seconds
PEAK = 0.45  # of full scale

# (start in seconds, fundamental in Hz, loudness)
NOTES = [(0.00, 783.99, 1.0), (0.12, 1046.50, 0.9)]
# Partials of a small bell: (ratio to the fundamental, loudness, decay per second)
PARTIALS = [(1.0, 1.0, 7.0), (2.0, 0.35, 11.0), (3.01, 0.12, 16.0), (4.2, 0.05, 24.0)]
ATTACK = 0.004  # seconds, avoids a click at each onset


def sample(t):
    value = 0.0
    for start, frequency, loudness in NOTES:
        age = t - start
        if age < 0:
            continue
        envelope = min(1.0, age / ATTACK)
        for ratio, level, decay in PARTIALS:
            value += (loudness * level * envelope * math.exp(-decay * age) *
                      math.sin(2 * math.pi * frequency * ratio * age))
    return value


def main(path):
    count = int(RATE * LENGTH)
    values = [sample(i / RATE) for i in range(count)]
    # Fade the last 30 ms to silence.
    fade = int(RATE * 0.03)
    for i in range(fade):
        values[count - fade + i] *= 1.0 - (i + 1) / fade
    scale = PEAK / max(abs(v) for v in values)
    frames = b"".join(struct.pack("<h", int(round(v * scale * 32767))) for v in values)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "Receive.wav")
