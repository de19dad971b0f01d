#!/usr/bin/env python3
"""Writes an unphased diploid DNA project for benchmarking quintle's EM and
linkage test, and the same genotypes as a table for other tools.

Every site is biallelic (one transition from a random ancestral base).
Gametes are drawn from a small pool of founder haplotypes, with a chance per
site of carrying the other state, so that the sites are in linkage
disequilibrium without being fully linked, and many individuals are
heterozygous at two or more sites (their phase is unknown).

The table has one row per individual and two columns per site (the states
of the two gametes), separated by blanks: the layout that genotype tools
read with two columns per locus.

The same arguments and seed always give the same files (with the same
Python version).

Usage: make_genotypes.py INDIVIDUALS SITES [--founders 4] [--mix 0.1]
                         [--seed N] [-o FILE] [--table FILE]
"""

import argparse
import random
import sys

TRANSITION = {"A": "G", "G": "A", "C": "T", "T": "C"}


def positive_int(text):
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError("must be at least 1")
    return value


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("individuals", type=positive_int, help="number of diploid individuals")
    p.add_argument("sites", type=positive_int, help="biallelic sites per gamete")
    p.add_argument("--founders", type=positive_int, default=4, help="founder haplotypes (default 4)")
    p.add_argument("--mix", type=float, default=0.1,
                   help="chance per site of the other state than the founder's (default 0.1)")
    p.add_argument("--seed", type=int, default=12345, help="random seed (default 12345)")
    p.add_argument("-o", "--output", default="-", help="project file (default: standard output)")
    p.add_argument("--table", help="also write the genotypes as a table to this file")
    args = p.parse_args(argv)
    if not 0.0 <= args.mix <= 0.5:
        p.error("--mix must lie in [0, 0.5]")
    return args


def generate(args):
    rng = random.Random(args.seed)
    ancestor = [rng.choice("ACGT") for _ in range(args.sites)]
    states = [(a, TRANSITION[a]) for a in ancestor]
    founders = [[rng.randrange(2) for _ in range(args.sites)] for _ in range(args.founders)]
    weights = [1.0 / (k + 1) for k in range(args.founders)]

    def gamete():
        f = rng.choices(founders, weights)[0]
        return "".join(states[s][f[s] ^ (rng.random() < args.mix)] for s in range(args.sites))

    return [(gamete(), gamete()) for _ in range(args.individuals)]


def project_text(individuals, args):
    lines = [
        "[Profile]",
        f'  Title="Benchmark: {args.individuals} diploid individuals, {args.sites} sites"',
        "  NbSamples=1",
        "  DataType=DNA",
        "  GenotypicData=1",
        "  GameticPhase=0",
        "  LocusSeparator=NONE",
        "  MissingData='?'",
        "[Data]",
        "  [[Samples]]",
        '    SampleName="bench"',
        f"    SampleSize={len(individuals)}",
        "    SampleData={",
    ]
    for k, (g1, g2) in enumerate(individuals):
        lines.append(f"      ind{k + 1} 1 {g1}")
        lines.append(f"             {g2}")
    lines.append("    }")
    return "\n".join(lines) + "\n"


def table_text(individuals):
    return "".join(" ".join(x for pair in zip(g1, g2) for x in pair) + "\n" for g1, g2 in individuals)


def main(argv):
    args = parse_args(argv)
    individuals = generate(args)
    text = project_text(individuals, args)
    if args.output == "-":
        sys.stdout.write(text)
    else:
        with open(args.output, "w") as f:
            f.write(text)
    if args.table:
        with open(args.table, "w") as f:
            f.write(table_text(individuals))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
