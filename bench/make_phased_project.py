#!/usr/bin/env python3
"""Writes a phased diploid DNA project for the chain benchmark, and the tables
its exact tests start from.

Every site is biallelic. The individuals carry two haplotypes drawn from a
small pool of unequal weights, so the loci are linked and the genotypes are
near Hardy-Weinberg proportions without being exactly so. The tables file
lists, in the order quintle runs them, each site's genotype table ("hw" and
the counts of the genotypes 00, 01, 11) and each pair's two-locus table of
gene copies ("ld" and the counts 00, 01, 10, 11), alleles numbered by first
appearance as the program numbers them.

The same arguments and seed always give the same files.

Usage: make_phased_project.py INDIVIDUALS SITES [--seed N] -o PROJECT -t TABLES
"""

import argparse
import random

PAIRS = ("AG", "CT", "AC", "GT")


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("individuals", type=int)
    p.add_argument("sites", type=int)
    p.add_argument("--seed", type=int, default=2024)
    p.add_argument("-o", dest="project", required=True)
    p.add_argument("-t", dest="tables", required=True)
    a = p.parse_args()
    if a.individuals < 2 or a.sites < 2:
        p.error("at least 2 individuals and 2 sites")
    rng = random.Random(a.seed)

    states = [PAIRS[rng.randrange(len(PAIRS))] for _ in range(a.sites)]
    pool = []
    while len(pool) < 24:
        h = [rng.randrange(2) for _ in range(a.sites)]
        if h not in pool:
            pool.append(h)
    weights = [rng.random() + 0.2 for _ in pool]
    gametes = [(rng.choices(pool, weights)[0], rng.choices(pool, weights)[0]) for _ in range(a.individuals)]
    # Every site must vary among the individuals.
    for s in range(a.sites):
        if len({g[s] for pair in gametes for g in pair}) < 2:
            first = list(gametes[0][0])
            first[s] = 1 - first[s]
            gametes[0] = (first, gametes[0][1])

    def text(h):
        return "".join(states[s][h[s]] for s in range(a.sites))

    with open(a.project, "w") as out:
        out.write("[Profile]\n  Title=\"Chain benchmark\"\n  NbSamples=1\n  DataType=DNA\n"
                  "  GenotypicData=1\n  GameticPhase=1\n  LocusSeparator=NONE\n  MissingData='?'\n"
                  "[Data]\n  [[Samples]]\n    SampleName=\"bench\"\n")
        out.write("    SampleSize=%d\n    SampleData={\n" % a.individuals)
        for i, (g1, g2) in enumerate(gametes):
            out.write("      i%d 1 %s\n          %s\n" % (i + 1, text(g1), text(g2)))
        out.write("    }\n")

    copies = [g for pair in gametes for g in pair]

    def numbering(site):
        order = []
        for g in copies:
            if g[site] not in order:
                order.append(g[site])
        return {allele: n for n, allele in enumerate(order)}

    numbers = [numbering(s) for s in range(a.sites)]
    with open(a.tables, "w") as out:
        for s in range(a.sites):
            n = numbers[s]
            counts = [0, 0, 0]
            for g1, g2 in gametes:
                counts[n[g1[s]] + n[g2[s]]] += 1
            out.write("hw %d %d %d\n" % tuple(counts))
        for i in range(a.sites):
            for j in range(i):
                cells = [0, 0, 0, 0]
                for g in copies:
                    cells[2 * numbers[j][g[j]] + numbers[i][g[i]]] += 1
                out.write("ld %d %d %d %d\n" % tuple(cells))


if __name__ == "__main__":
    main()
