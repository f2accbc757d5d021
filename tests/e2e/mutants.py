#!/usr/bin/env python3
"""Writes broken copies of an asset, the same ones for the same seed:

    mutants.py SOURCE OUTDIR COUNT [SEED]

Each copy is SOURCE cut short, with bytes flipped, or with a field of its header set to an
extreme value (0, 1, all ones, the sign bit), mostly in the first 64 bytes, where the readers
take their sizes and counts from. OUTDIR/<name>-<n><suffix> for n from 1 to COUNT.
"""

import pathlib
import random
import sys


def mutate(data: bytearray, rng: random.Random) -> bytearray:
    head = min(len(data), 64)
    kind = rng.choice(("cut", "flip", "field", "field"))
    if kind == "cut":
        return data[: rng.randrange(0, len(data))]
    if kind == "flip":
        for _ in range(rng.randint(1, 8)):
            at = rng.randrange(head) if rng.random() < 0.7 else rng.randrange(len(data))
            data[at] ^= 1 << rng.randrange(8)
        return data
    width = rng.choice((2, 4))
    at = rng.randrange(max(head - width, 1))
    value = rng.choice((0, 1, (1 << (8 * width)) - 1, 1 << (8 * width - 1)))
    order = rng.choice(("little", "big"))
    data[at : at + width] = value.to_bytes(width, order)
    return data


def main() -> None:
    source, outdir, count = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2]), int(sys.argv[3])
    seed = sys.argv[4] if len(sys.argv) > 4 else "jukebox"
    outdir.mkdir(parents=True, exist_ok=True)
    original = source.read_bytes()
    rng = random.Random(f"{seed}:{source.name}")
    for n in range(1, count + 1):
        mutant = mutate(bytearray(original), rng)
        (outdir / f"{source.stem}-{n}{source.suffix}").write_bytes(bytes(mutant))


if __name__ == "__main__":
    main()
