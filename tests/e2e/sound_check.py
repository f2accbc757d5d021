#!/usr/bin/env python3
"""Judges a capture of the jukebox's sound against the keys pressed while it was recorded.

    sound_check.py [--server [--launched FRAMES]] CAPTURE KEYS

CAPTURE is raw signed 16-bit little-endian stereo at 44100 Hz. KEYS has one line "KEY FRAMES"
per press, in order, FRAMES being the capture's length when the key went down: whatever the
key starts cannot begin before that frame, and begins within a mixer buffer or two after it.
The keys must be those of the harness's play_sound_keys: 1 2 s f 1 f 1, then m b repeated.

With --server the capture is a recording of a sound server's sink monitor (parec), which
lags behind the program by the server's latency and the recorder's: the keys' frames are then
the recording's length at the press, and what a key starts may come up to SERVER_LAG later.
The short silences a server plays when the program's next buffer comes late (the machine being
busy) are cut out first, and must be rare. FRAMES is the recording's length when the program was
started: one click of at most 10 ms in the first half second of its stream (see start_click) is
cut out too, and named in a note.

Exits 0 when every finding holds and 1 when one does not; with --server, 2 when one does not
and the server's stream was disturbed (see disturbed): such a capture proves nothing either way,
and the caller plays the keys again.

Every test sound is a pure tone of its own frequency; the level of each tone is measured in
Hann windows of 1024 frames, every 512 frames, at exactly its frequency (a sine of peak
amplitude A reads A). Prints "ok - ..." or "not ok - ..." per finding.
"""

import array
import math
import operator
import sys

RATE = 44100
WINDOW = 1024
HOP = 512
BUFFER = 4096  # frames per mixer buffer

TRACK1, TRACK2 = 330, 550
M0, M1, S0, B0, B1 = 1100, 1700, 2600, 3700, 5200
TONES = (TRACK1, TRACK2, M0, M1, S0, B0, B1)
EFFECTS = (M0, M1, S0, B0, B1)

FULL = 0.45  # a track at full volume reads 0.5
HEARD = 0.2  # an effect reads 0.4
QUIET = 0.05  # a sound starting elsewhere splashes up to about 0.025 into other tones
EFFECT_LENGTH = 0.3 * RATE
# A key's sound starts in the buffer mixed after the press, or a later one when the program or
# the mixer was kept waiting; the window that first shows it may start up to a window earlier.
EARLY = WINDOW
LATE = 3 * BUFFER + WINDOW
# Through a sound server: the server's buffering and its resampling, and the recorder's. Kept
# below the 0.3 s between the m and b presses, so that each effect still belongs to its key.
SERVER_LAG = RATE // 5


def seconds(frames):
    return f"{frames / RATE:.3f} s"


# A server that got the program's next buffer too late plays silence meanwhile: a stretch of
# near silence in the middle of a sound, exact zeros or its resampler's faint ringing of them.
# PipeWire also drops a few hundred frames of one channel now and then while the other plays on.
# Stretches this short in the judged (left) channel are such dropouts; the only silence this short
# that the keys make is the gap of up to one mixer buffer between a fade's end and the track
# asked for during it, and cutting that one changes no finding.
DROPOUT_MIN, DROPOUT_MAX = 32, RATE // 10
DROPOUT_LEVEL = 64  # -54 dBFS; a test tone passes through it within a sample or two


def dropouts(left):
    """(start, length) of each stretch of DROPOUT_MIN to DROPOUT_MAX silent frames with sound
    on both sides."""
    found = []
    frames = len(left)
    silent = [abs(a) <= DROPOUT_LEVEL for a in left]
    i = 0
    while i < frames:
        if not silent[i]:
            i += 1
            continue
        start = i
        while i < frames and silent[i]:
            i += 1
        if start > 0 and i < frames and DROPOUT_MIN <= i - start <= DROPOUT_MAX:
            found.append((start, i - start))
    return found


# PipeWire's PulseAudio service (1.4 and 1.6, with the compatibility layer) also skips or repeats
# a few frames now and then without a silence: the waveform jumps further from one frame to the
# next than the tones playing around it ever move. The windows over such a skip read every tone
# too low and splash into the others, so they are not judged, as the windows over a cut are not.
# A fade steps the volume down once a mixer buffer, and a new track cuts the old one off: those
# jumps are the program's, so the stretch after a press of f, 1 or 2 is not searched.
SKIP_RATIO = 1.5  # how much further than anywhere else within two hops, the neighbouring frames aside
SKIP_FLOOR = 1000  # below this (-30 dBFS) a jump is no skip of a test tone


def skips(left, unsearched=()):
    """The frames where the waveform jumps SKIP_RATIO times further than it does anywhere else
    within two hops (but for the two frames either side), outside the (start, end) stretches
    unsearched."""
    steps = [abs(b - a) for a, b in zip(left, left[1:])]
    blocks = [max(steps[i : i + HOP], default=0) for i in range(0, len(steps), HOP)]
    found = []
    for b, highest in enumerate(blocks):
        if highest < SKIP_FLOOR:
            continue
        start = b * HOP
        at = start + steps[start : start + HOP].index(highest)
        around = max(blocks[max(0, b - 2) : b] + blocks[b + 1 : b + 3], default=0)
        here = steps[start : max(start, at - 2)] + steps[at + 3 : start + HOP]
        if highest > SKIP_RATIO * max(around, max(here, default=0)) and \
                not any(start <= at < end for start, end in unsearched):
            found.append(at + 1)
    return found


# A busy host starves the server's stream in bursts: dozens of dropouts within a second or two,
# or a run of skips. The windows between the cuts are then too short, and the keys' frames too
# far off, to judge by. An undisturbed run has a dozen dropouts at most.
DISTURBED_LOST = RATE // 10
DISTURBED_SKIPS = 5


def disturbed(dropout_list, skip_list):
    """Whether the server's stream lost more than DISTURBED_LOST frames to dropouts or skipped
    more than DISTURBED_SKIPS times."""
    return sum(n for _, n in dropout_list) > DISTURBED_LOST or len(skip_list) > DISTURBED_SKIPS


# The classic SDL 1.2 playing through PipeWire's PulseAudio service now and then lets one burst
# of a few milliseconds, near full scale, through as its stream starts: any program does, a bare
# SDL program that only opens the audio and writes zeros too. It is no sound of the program's
# (every test sound lasts 0.3 s or more), so such a burst is cut out, where it may come: within
# the first half second of the stream, which the server plays up to SERVER_LAG late.
CLICK_MAX = RATE // 100  # 10 ms
CLICK_LOUD = 328  # -40 dBFS: nothing before the first key comes near it but the click
CLICK_WITHIN = RATE // 2


def start_click(left, right, launched, first_key):
    """(start, CLICK_MAX) around the one burst before first_key when every sample that loud lies
    within CLICK_MAX frames, in the first half second after launched (plus the server's lag);
    None when there is no such burst, or when more than that sounds before the first key."""
    loud = [i for i in range(min(first_key, len(left)))
            if abs(left[i]) >= CLICK_LOUD or abs(right[i]) >= CLICK_LOUD]
    if not loud:
        return None
    first, last = loud[0], loud[-1]
    if last - first >= CLICK_MAX or first < launched or last >= launched + CLICK_WITHIN + SERVER_LAG:
        return None
    # The resampler rings on both sides of the burst: the cut is 10 ms centred on it.
    start = max(0, min(first - (CLICK_MAX - (last - first + 1)) // 2, first_key - CLICK_MAX))
    return (start, CLICK_MAX)


class Capture:
    def __init__(self, path, cut_dropouts=False, launched=None, first_key=None, presses=()):
        samples = array.array("h")
        with open(path, "rb") as f:
            samples.frombytes(f.read())
        if sys.byteorder != "little":
            samples.byteswap()
        self.left = samples[0::2]
        right = samples[1::2]
        self.dropouts = []
        self.skips = []
        self.click = None
        if cut_dropouts:
            self.dropouts = dropouts(self.left)
            changes = [(at, at + 3 * RATE // 2 + LATE) for key, at in presses if key in "f12"]
            self.skips = skips(self.left, changes)
        if launched is not None and first_key is not None:
            self.click = start_click(self.left, right, launched, first_key)
        if self.click:
            click_end = self.click[0] + self.click[1]
            self.dropouts = [(at, n) for at, n in self.dropouts if at + n <= self.click[0] or at >= click_end]
        # Every stretch cut out, in order, in the capture as recorded; a skip is a cut of nothing.
        self.cuts = sorted(self.dropouts + [(at, 0) for at in self.skips] + ([self.click] if self.click else []))
        for start, length in reversed(self.cuts):
            del self.left[start : start + length]
        # Where the cuts join, in the shortened capture; the windows over a join are not judged.
        joins = []
        for start, length in self.cuts:
            joins.append(start - sum(n for _, n in self.cuts[: len(joins)]))
        self.frames = len(self.left)
        hann = [0.5 - 0.5 * math.cos(2 * math.pi * n / WINDOW) for n in range(WINDOW)]
        scale = 2 / sum(hann) / 32768
        self.levels = {}
        for tone in TONES:
            step = 2 * math.pi * tone / RATE
            cos = [w * math.cos(step * n) for n, w in enumerate(hann)]
            sin = [w * math.sin(step * n) for n, w in enumerate(hann)]
            row = []
            for start in range(0, self.frames - WINDOW + 1, HOP):
                part = self.left[start : start + WINDOW]
                re = sum(map(operator.mul, part, cos))
                im = sum(map(operator.mul, part, sin))
                row.append(math.hypot(re, im) * scale)
            self.levels[tone] = row
        self.windows = len(self.levels[TRACK1])
        self.joined = {i for join in joins for i in range(max(0, (join - WINDOW) // HOP), join // HOP + 1)}
        # A server may resume with a glitch: a level held over a stretch is not read in the
        # window right after a join either.
        self.resuming = self.joined | {i + 1 for i in self.joined}

    def windows_within(self, start, end):
        """Indices of the windows lying wholly within [start, end)."""
        first = max(0, -(-int(start) // HOP))
        last = min(self.windows, (int(end) - WINDOW) // HOP + 1)
        return [i for i in range(first, max(first, last)) if i not in self.joined]

    def highest(self, tone, start, end):
        return max((self.levels[tone][i] for i in self.windows_within(start, end)), default=0.0)

    def lowest(self, tone, start, end):
        windows = [i for i in self.windows_within(start, end) if i not in self.resuming]
        return min((self.levels[tone][i] for i in windows), default=0.0)

    def first(self, tone, start, end, above=True, threshold=HEARD):
        """The start of the first window in [start, end) whose level is above (or, with
        above=False, below) the threshold; None when there is none."""
        for i in self.windows_within(start, end):
            if (self.levels[tone][i] >= threshold) == above:
                return i * HOP
        return None

    def runs(self, tone, start, end):
        """(onset, length) of each stretch of windows in [start, end) where the tone is heard."""
        found = []
        onset = None
        indices = self.windows_within(start, end)
        for i in indices:
            heard = self.levels[tone][i] >= HEARD
            if heard and onset is None:
                onset = i
                # A sound first heard just after windows over a cut began under them.
                while onset - 1 in self.joined:
                    onset -= 1
            elif not heard and onset is not None:
                found.append((onset * HOP, (i - onset) * HOP))
                onset = None
        if onset is not None:
            found.append((onset * HOP, (indices[-1] + 1 - onset) * HOP))
        return found

    def rms(self, start, end):
        part = self.left[max(0, int(start)) : int(end)]
        if not part:
            return 0.0
        return math.sqrt(sum(map(operator.mul, part, part)) / len(part)) / 32768


class Verdict:
    def __init__(self):
        self.failures = 0

    def check(self, what, passed, detail=""):
        print(f"{'ok' if passed else 'not ok'} - {what}" + (f" ({detail})" if detail else ""))
        if not passed:
            self.failures += 1
        return passed


def main():
    global LATE
    arguments = sys.argv[1:]
    lag = 0
    launched = None
    if arguments[:1] == ["--server"]:
        arguments = arguments[1:]
        lag = SERVER_LAG
        LATE += lag
        if arguments[:1] == ["--launched"]:
            launched = int(arguments[1])
            arguments = arguments[2:]
    with open(arguments[1]) as f:
        presses = [(key, int(frames)) for key, frames in (line.split() for line in f if line.strip())]
    capture = Capture(arguments[0], cut_dropouts=bool(lag), launched=launched,
                      first_key=presses[0][1] if presses else None, presses=presses)
    # Judged on the capture without what was cut out: the frames of the presses move with it.
    presses = [(key, frames - sum(n for at, n in capture.cuts if at < frames)) for key, frames in presses]

    verdict = Verdict()
    check = verdict.check
    end = capture.frames
    print(f"# capture of {seconds(end)}, {len(presses)} key presses")
    if capture.click:
        at = capture.click[0]
        print(f"# the library's start-up click at {seconds(at)} ({seconds(at - launched)} after the program "
              f"started), {seconds(CLICK_MAX)} cut out before judging")
    if lag:
        lost = sum(n for _, n in capture.dropouts)
        # The classic library's blocking client starves PipeWire's PulseAudio service now and
        # then, 5 ms at a time: over a hundred such dropouts, 0.7 s of 26 s, in the worst run seen.
        check("the server's stream dropped out rarely, if at all", lost <= end // 20,
              f"{len(capture.dropouts)} dropouts of {seconds(lost)} in all, cut out before judging")
        if capture.skips:
            print(f"# {len(capture.skips)} skips in the stream, not judged: " +
                  ", ".join(seconds(at) for at in capture.skips[:10]))

    keys = [key for key, _ in presses]
    head = ["1", "2", "s", "f", "1", "f", "1"]
    tail = keys[len(head) :]
    expected = head + ["m", "b"] * (len(tail) // 2)
    if not check("the keys are those of the test", keys == expected and len(tail) > 0, " ".join(keys)):
        return 1
    at = [frames for _, frames in presses]
    one, two, s, fade1, one_in_fade, fade2, one_after = at[: len(head)]
    effects_from = at[len(head)]
    effect_presses = presses[len(head) :]
    m_presses = [frames for key, frames in effect_presses if key == "m"]
    b_presses = [frames for key, frames in effect_presses if key == "b"]

    def starts_after(what, tone, press, until):
        onset = capture.first(tone, press - EARLY, until)
        check(f"{what} starts with its key", onset is not None and onset <= press + LATE,
              f"key at {seconds(press)}, sound at {seconds(onset) if onset is not None else 'never'}")
        return onset if onset is not None else press

    # Nothing before the first key.
    check("silence before the first key", one > RATE // 2 and capture.rms(0, one) < 0.001,
          f"{seconds(one)} of RMS {capture.rms(0, one):.4f}")

    # 1 starts track 1 (looping, at full volume), 2 replaces it with track 2.
    on1 = starts_after("track 1", TRACK1, one, two)
    lowest = capture.lowest(TRACK1, on1 + WINDOW, two - WINDOW)
    check("track 1 plays at full volume until 2", lowest >= FULL, f"lowest {lowest:.2f}")
    check("track 2 is silent while track 1 plays", capture.highest(TRACK2, 0, two - WINDOW) < QUIET)
    on2 = starts_after("track 2", TRACK2, two, fade1)
    highest = capture.highest(TRACK1, two + LATE, one_in_fade)
    check("track 2 replaces track 1 at once", highest < QUIET, f"track 1 after 2 reads up to {highest:.2f}")
    lowest = capture.lowest(TRACK2, on2 + WINDOW, fade1 - WINDOW)
    check("track 2 plays at full volume until f", lowest >= FULL, f"lowest {lowest:.2f}")

    # s plays its one effect, once, over the music.
    runs = capture.runs(S0, one, end)
    check("s plays s0 once", len(runs) == 1 and s - EARLY <= runs[0][0] <= s + LATE,
          ", ".join(f"{seconds(a)} for {seconds(n)}" for a, n in runs) or "never")
    if runs:
        # Each window over a cut inside it blurs its length by up to a window's step.
        blurred = sum(1 for i in capture.joined if runs[0][0] <= i * HOP < runs[0][0] + runs[0][1])
        check("s0 plays to its end", abs(runs[0][1] - EFFECT_LENGTH) <= (2 + blurred) * HOP, seconds(runs[0][1]))
    check("no other effect before m and b",
          all(capture.highest(tone, 0, effects_from - WINDOW) < QUIET for tone in (M0, M1, B0, B1)))

    # f fades track 2 out over about a second.
    def fades(what, tone, press, until):
        before = capture.lowest(tone, press - 4 * WINDOW, press - WINDOW)
        check(f"{what} is at full volume when f is pressed", before >= FULL, f"{before:.2f}")
        gone = capture.first(tone, press, until, above=False, threshold=QUIET)
        if not check(f"{what} fades out", gone is not None):
            return press
        length = gone - press
        check(f"{what} fades out within about a second", 0.7 * RATE <= length <= 1.3 * RATE + lag,
              seconds(length))
        # Two windows either side, so that a cut's join there leaves some to read.
        middle = capture.highest(tone, press + length // 2 - 2 * WINDOW, press + length // 2 + 2 * WINDOW)
        check(f"{what} fades gradually", 0.1 <= middle <= 0.4, f"{middle:.2f} halfway")
        window = capture.windows_within(press, gone)
        levels = capture.levels[tone]
        rises = [i * HOP for i in window
                 if i + 1 < capture.windows and levels[i + 1] > levels[i] + 0.02]
        check(f"{what} never gets louder while fading", not rises, ", ".join(seconds(r) for r in rises))
        return gone

    gone2 = fades("track 2", TRACK2, fade1, one_in_fade + 2 * RATE)

    # 1 pressed during that fade: track 1 starts once the fade has ended, at full volume.
    check("1 was pressed during the fade", fade1 < one_in_fade < gone2,
          f"f at {seconds(fade1)}, 1 at {seconds(one_in_fade)}, faded at {seconds(gone2)}")
    on1b = capture.first(TRACK1, one_in_fade - EARLY, fade2)
    check("track 1 starts after the fade has ended, not before",
          on1b is not None and gone2 - WINDOW <= on1b <= gone2 + RATE // 2,
          f"faded at {seconds(gone2)}, track 1 at {seconds(on1b) if on1b is not None else 'never'}")
    on1b = on1b if on1b is not None else one_in_fade
    check("track 2 stays off after its fade", capture.highest(TRACK2, gone2, end) < QUIET)
    lowest = capture.lowest(TRACK1, on1b + WINDOW, fade2 - WINDOW)
    check("track 1 after the fade plays at full volume", lowest >= FULL, f"lowest {lowest:.2f}")

    # f again: silence once the fade is over (its last step, below QUIET, takes one buffer; a
    # library playing through a server may mix smaller buffers, and then the fade's last few
    # steps, smaller ones, all fall below QUIET).
    gone1 = fades("track 1", TRACK1, fade2, one_after)
    tail = 2 * BUFFER if lag else BUFFER
    silence = capture.rms(gone1 + tail, one_after)
    check("silence after the fade until 1", one_after - gone1 - tail >= 0.3 * RATE and silence < 0.001,
          f"{seconds(one_after - gone1 - tail)} of RMS {silence:.4f}")

    # 1 after a finished fade: track 1 at full volume from its start, looping on under the
    # effects up to the last key (the close that follows stops it at some point).
    on1c = starts_after("track 1 after a finished fade", TRACK1, one_after, end)
    last = min(at[-1] + RATE // 4, end - 2 * WINDOW)
    lowest = capture.lowest(TRACK1, on1c + WINDOW, last)
    check("track 1 after a finished fade plays at full volume, looping on",
          lowest >= FULL and last - on1c > 2.5 * RATE, f"lowest {lowest:.2f} over {seconds(last - on1c)}")

    # m and b: one effect of the key's two per press, both of them over the presses.
    def effects(key, tones, key_presses):
        played = {}
        onsets = []
        for tone in tones:
            for onset, length in capture.runs(tone, effects_from - EARLY, end):
                # Two plays of one variant may touch when a press came late.
                count = max(1, round(length / EFFECT_LENGTH))
                played[tone] = played.get(tone, 0) + count
                onsets.append(onset)
        total = sum(played.values())
        described = ", ".join(f"{tone} Hz {played.get(tone, 0)} times" for tone in tones)
        check(f"{key} plays one effect per press", total == len(key_presses),
              f"{len(key_presses)} presses, {described}")
        check(f"{key} plays both of its effects", all(played.get(tone, 0) > 0 for tone in tones), described)
        # Each sound belongs to the last key pressed before it began.
        wrong = []
        for onset in onsets:
            before = [(frames, k) for k, frames in effect_presses if frames - EARLY <= onset]
            frames, last = before[-1] if before else (0, None)
            if last != key or onset > frames + LATE:
                wrong.append(onset)
        check(f"{key}'s effects start with {key}", not wrong, ", ".join(seconds(o) for o in wrong))

    effects("m", (M0, M1), m_presses)
    effects("b", (B0, B1), b_presses)
    check("no s0 among m and b", capture.highest(S0, effects_from, end) < QUIET)

    print(f"# {verdict.failures} failed")
    if verdict.failures and lag and disturbed(capture.dropouts, capture.skips):
        print("# the server's stream was disturbed: this capture proves nothing either way")
        return 2
    return 1 if verdict.failures else 0


if __name__ == "__main__":
    sys.exit(main())
