#!/usr/bin/env python3
"""Writes a haploid DNA project for the exact test of differentiation and the
table of its haplotype counts (one row per sample) for other programs.

The samples draw their gene copies from a common list of haplotypes: the
first half of the samples from one set of haplotype frequencies, the second
half from another, so that pairs within a half are alike and pairs across
the halves differ. The same arguments and seed always give the same files
(with the same Python version).

Usage: make_exact_project.py SAMPLES COPIES HAPLOTYPES [--sites 40] [--seed N]
                             -o PROJECT -t TABLE
"""

import argparse
import random


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("samples", type=int)
    p.add_argument("copies", type=int)
    p.add_argument("haplotypes", type=int)
    p.add_argument("--sites", type=int, default=40)
    p.add_argument("--seed", type=int, default=12345)
    p.add_argument("-o", "--output", required=True)
    p.add_argument("-t", "--table", required=True)
    a = p.parse_args()
    if a.samples < 2 or a.copies < 1 or a.haplotypes < 2 or a.sites < 8:
        p.error("need at least 2 samples, 1 copy, 2 haplotypes and 8 sites")
    rng = random.Random(a.seed)

    sequences = set()
    while len(sequences) < a.haplotypes:
        sequences.add("".join(rng.choice("ACGT") for _ in range(a.sites)))
    sequences = sorted(sequences)

    h = a.haplotypes
    first = [float(h - i) for i in range(h)]
    second = [0.5 * (h - i) + 0.5 * (i + 1) * 0.8 for i in range(h)]
    counts = []
    for s in range(a.samples):
        weights = first if s < a.samples // 2 else second
        row = [0] * h
        for _ in range(a.copies):
            row[rng.choices(range(h), weights=weights)[0]] += 1
        counts.append(row)

    with open(a.output, "w") as out:
        out.write("[Profile]\n")
        out.write('  Title="Exact test benchmark: %d samples of %d copies from %d haplotypes"\n'
                  % (a.samples, a.copies, a.haplotypes))
        out.write("  NbSamples=%d\n  DataType=DNA\n  GenotypicData=0\n  LocusSeparator=NONE\n"
                  "  MissingData='?'\n[Data]\n  [[Samples]]\n" % a.samples)
        for s, row in enumerate(counts):
            out.write('    SampleName="pop%d"\n    SampleSize=%d\n    SampleData={\n' % (s + 1, a.copies))
            for i, n in enumerate(row):
                if n > 0:
                    out.write("      h%d %d %s\n" % (i + 1, n, sequences[i]))
            out.write("    }\n")
    with open(a.table, "w") as out:
        for row in counts:
            out.write(" ".join(str(n) for n in row) + "\n")


if __name__ == "__main__":
    main()
