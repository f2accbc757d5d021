#!/usr/bin/env python3
"""What sound_check.py forgives a sound server, and what it must not: made-up captures."""

import array
import math
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from sound_check import CLICK_MAX, RATE, dropouts, skips, start_click  # noqa: E402

LAUNCHED = RATE // 2
FIRST_KEY = 2 * RATE


def silence(frames=3 * RATE):
    return array.array("h", bytes(2 * frames))


def burst(samples, at, length, value=-32768):
    for i in range(at, at + length):
        samples[i] = value


def tone(samples, at, length, frequency=330, amplitude=16384):
    for i in range(length):
        samples[at + i] = int(amplitude * math.sin(2 * math.pi * frequency * i / RATE))


class StartClick(unittest.TestCase):
    def test_a_burst_of_a_few_milliseconds_as_the_stream_starts_is_cut_out_whole(self):
        left, right = silence(), silence()
        at = LAUNCHED + RATE // 10
        burst(left, at, 250)
        burst(right, at, 250)
        start, length = start_click(left, right, LAUNCHED, FIRST_KEY)
        self.assertEqual(length, CLICK_MAX)
        self.assertLessEqual(start, at)
        self.assertGreaterEqual(start + length, at + 250)

    def test_sound_the_program_plays_before_its_first_key_is_not_forgiven(self):
        cases = {
            "a track at start": lambda s: tone(s, LAUNCHED + RATE // 10, RATE),
            "an effect at start": lambda s: tone(s, LAUNCHED + RATE // 10, int(0.3 * RATE), 2600),
            "a click a second into the stream": lambda s: burst(s, LAUNCHED + RATE, 250),
            "a click before the program started": lambda s: burst(s, LAUNCHED - RATE // 4, 250),
            "two clicks": lambda s: (burst(s, LAUNCHED + 1000, 100), burst(s, LAUNCHED + 2000, 100)),
            "a burst longer than 10 ms": lambda s: burst(s, LAUNCHED + 1000, CLICK_MAX + 10),
        }
        for what, make in cases.items():
            with self.subTest(what):
                left, right = silence(), silence()
                make(left)
                make(right)
                self.assertIsNone(start_click(left, right, LAUNCHED, FIRST_KEY))


class Dropouts(unittest.TestCase):
    def test_short_gaps_in_a_sound_are_dropouts_and_long_silences_are_not(self):
        left = silence()
        tone(left, 0, 3 * RATE)
        for i in range(RATE, RATE + 200):  # one channel's glitch: faint ringing, not zeros
            left[i] = (-1) ** i * 40
        for i in range(2 * RATE, 2 * RATE + RATE // 2):  # a pause between sounds
            left[i] = 0
        self.assertEqual(dropouts(left), [(RATE, 200)])


class Skips(unittest.TestCase):
    def test_a_jump_in_a_steady_tone_is_a_skip_and_a_volume_step_after_f_is_not(self):
        left = silence()
        tone(left, 0, 3 * RATE)
        self.assertEqual(skips(left), [])
        # A few frames lost: the tone goes on a quarter of a cycle further along.
        for i in range(RATE, 3 * RATE):
            left[i] = int(16384 * math.cos(2 * math.pi * 330 * (i - RATE) / RATE))
        self.assertEqual(skips(left), [RATE])
        # A fade's volume steps down once a buffer: the stretch after f is not searched.
        stepped = silence()
        tone(stepped, 0, 3 * RATE)
        for i in range(RATE, 3 * RATE):
            stepped[i] = int(stepped[i] * max(0.0, 1 - 0.1 * ((i - RATE) // 2048 + 1)))
        self.assertNotEqual(skips(stepped), [])
        self.assertEqual(skips(stepped, [(RATE - 100, 3 * RATE)]), [])


class Verdicts(unittest.TestCase):
    """A capture of track 1 alone, whatever the keys: every finding after the first press fails."""

    def judge(self, gaps, *options):
        left = silence(12 * RATE)
        tone(left, 0, len(left))
        for n in range(gaps):  # dropouts of 5 ms, 0.1 s apart, as a starved server plays them
            at = 6 * RATE + n * RATE // 10
            left[at : at + 220] = array.array("h", bytes(440))
        stereo = array.array("h", (a for frame in zip(left, left) for a in frame))
        keys = ["1", "2", "s", "f", "1", "f", "1"] + ["m", "b"] * 4
        with tempfile.TemporaryDirectory() as scratch:
            capture, presses = os.path.join(scratch, "capture"), os.path.join(scratch, "keys")
            with open(capture, "wb") as f:
                stereo.tofile(f)
            with open(presses, "w") as f:
                f.writelines(f"{key} {RATE + n * RATE // 2}\n" for n, key in enumerate(keys))
            checker = os.path.join(os.path.dirname(os.path.abspath(__file__)), "sound_check.py")
            return subprocess.run([sys.executable, checker, *options, capture, presses],
                                  capture_output=True, text=True).returncode

    def test_a_failure_on_a_disturbed_server_stream_asks_for_another_capture_and_no_other_does(self):
        self.assertEqual(self.judge(30, "--server"), 2)
        self.assertEqual(self.judge(5, "--server"), 1)
        self.assertEqual(self.judge(30), 1)


if __name__ == "__main__":
    unittest.main()
