#!/usr/bin/env python3
"""Writes the data of the phasing tests: unphased diploid DNA whose true
phases are known.

Eight founder haplotypes of 20 biallelic sites (one transition from a random
ancestral base each) are drawn at random, all different; every one of the
50 individuals pairs two founders drawn with weights 1, 1/2, ..., 1/8, so
that a few haplotypes are common and the rest rare, and no gamete carries
anything but a founder's sequence.

Outputs, beside this script:
  vosk_truth.pmp        the project (one sample, unphased genotypes)
  vosk_truth_phases.txt one line per individual: name, true gamete 1, 2
  vosk_truth_table.txt  the genotypes with two columns per site (for R)

Usage: /usr/bin/python3 make_vosk_truth.py   (seed fixed: same files)
"""

import os
import random

SEED = 2025
FOUNDERS = 8
SITES = 20
INDIVIDUALS = 50
TRANSITION = {"A": "G", "G": "A", "C": "T", "T": "C"}


def generate():
    rng = random.Random(SEED)
    ancestor = [rng.choice("ACGT") for _ in range(SITES)]
    states = [(a, TRANSITION[a]) for a in ancestor]
    founders = set()
    while len(founders) < FOUNDERS:
        founders.add(tuple(rng.randrange(2) for _ in range(SITES)))
    founders = sorted(founders)
    rng.shuffle(founders)
    weights = [1.0 / (k + 1) for k in range(FOUNDERS)]
    seqs = ["".join(states[s][f[s]] for s in range(SITES)) for f in founders]
    return [tuple(rng.choices(seqs, weights)[0] for _ in range(2)) for _ in range(INDIVIDUALS)]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    individuals = generate()
    lines = [
        "# Unphased diploid DNA of 50 individuals paired from 8 founder haplotypes",
        "# (make_vosk_truth.py; true phases in vosk_truth_phases.txt).",
        "[Profile]",
        '  Title="Phasing truth data"',
        "  NbSamples=1",
        "  DataType=DNA",
        "  GenotypicData=1",
        "  GameticPhase=0",
        "  LocusSeparator=NONE",
        "  MissingData='?'",
        "[Data]",
        "  [[Samples]]",
        '    SampleName="founders"',
        f"    SampleSize={INDIVIDUALS}",
        "    SampleData={",
    ]
    for k, (g1, g2) in enumerate(individuals):
        lines.append(f"      ind{k + 1} 1 {g1}")
        lines.append(f"           {g2}")
    lines.append("    }")
    with open(os.path.join(here, "vosk_truth.pmp"), "w") as f:
        f.write("\n".join(lines) + "\n")
    with open(os.path.join(here, "vosk_truth_phases.txt"), "w") as f:
        for k, (g1, g2) in enumerate(individuals):
            f.write(f"ind{k + 1} {g1} {g2}\n")
    with open(os.path.join(here, "vosk_truth_table.txt"), "w") as f:
        for g1, g2 in individuals:
            f.write(" ".join(x for pair in zip(g1, g2) for x in pair) + "\n")


if __name__ == "__main__":
    main()
