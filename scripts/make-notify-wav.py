#!/usr/bin/env python3
"""Writes resources/program/notify.wav, the default alert sound of Ventaro!.

A short two-stroke chime (about one second): two struck notes a major sixth apart, each built
from the partials of a struck metal bar (1, 2.76, 5.40 and 8.93 times the fundamental) that
die away exponentially, the higher ones faster. Every stroke starts with a soft attack, the
end fades to silence, and the mix is scaled to a fixed peak well below full scale, so the
file never clips. 16-bit PCM, mono, 44.1 kHz. Standard library only; the output is the same
on every run.

Usage: scripts/make-notify-wav.py [output path]
"""

import math
import os
import struct
import sys
import wave

RATE = 44100
DURATION = 1.0          # seconds
PEAK = 0.60             # of full scale
ATTACK = 0.006          # seconds of raised-cosine attack per stroke
FADE_OUT = 0.12         # seconds of raised-cosine fade at the very end

# (ratio to the fundamental, relative amplitude, decay rate in 1/s)
BAR_PARTIALS = [
    (1.00, 1.00, 4.0),
    (2.76, 0.32, 9.0),
    (5.40, 0.10, 16.0),
    (8.93, 0.035, 26.0),
]

# (start time in s, fundamental in Hz, loudness)
STROKES = [
    (0.000, 1046.50, 1.00),   # C6
    (0.140, 1760.00, 0.80),   # A6, a major sixth above
]


def stroke_sample(t, frequency, loudness):
    """One stroke at time t after its start (t >= 0)."""
    value = 0.0
    for ratio, amplitude, decay in BAR_PARTIALS:
        f = frequency * ratio
        if f >= RATE / 2:
            continue
        value += amplitude * math.exp(-decay * t) * math.sin(2.0 * math.pi * f * t)
    if t < ATTACK:
        value *= 0.5 - 0.5 * math.cos(math.pi * t / ATTACK)
    return loudness * value


def render():
    count = int(RATE * DURATION)
    samples = []
    for n in range(count):
        t = n / RATE
        value = 0.0
        for start, frequency, loudness in STROKES:
            if t >= start:
                value += stroke_sample(t - start, frequency, loudness)
        remaining = DURATION - t
        if remaining < FADE_OUT:
            value *= 0.5 - 0.5 * math.cos(math.pi * remaining / FADE_OUT)
        samples.append(value)
    peak = max(abs(s) for s in samples) or 1.0
    scale = PEAK * 32767.0 / peak
    return [max(-32767, min(32767, int(round(s * scale)))) for s in samples]


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resources", "program", "notify.wav")
    os.makedirs(os.path.dirname(os.path.abspath(target)), exist_ok=True)
    frames = render()
    with wave.open(target, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(struct.pack("<%dh" % len(frames), *frames))
    print("%s: %d samples, %.2f s" % (target, len(frames), len(frames) / RATE))


if __name__ == "__main__":
    main()
