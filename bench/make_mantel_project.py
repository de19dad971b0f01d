#!/usr/bin/env python3
"""Writes a project for the Mantel benchmark and its matrices for the peers.

    make_mantel_project.py N --matrices 2|3 --seed S -o DIR

DIR/bench.pmp holds N small DNA samples and a Mantel section with a custom Y
and X1 (and X2 for --matrices 3): X1 and X2 are the Euclidean distances
between N random points in a 100 x 100 square (two independent sets), and
Y = X1 / 50 (+ X2 / 80) + uniform noise. DIR/Y.txt, DIR/X1.txt and DIR/X2.txt
hold the same matrices in full, one row per line, for other programs.

    make_mantel_project.py --haplotypes N --sites L --seed S -o FILE

writes N distinct SNP-like haplotypes of L sites, one string of 0 and 1 per
line: each new haplotype copies an earlier one and changes 1 to 3 sites.
"""

import argparse
import math
import random
import sys


def points(rng, n):
    return [(rng.uniform(0, 100), rng.uniform(0, 100)) for _ in range(n)]


def distances(pts):
    return [[round(math.dist(a, b), 4) for b in pts] for a in pts]


def lower_rows(m):
    return [" ".join(f"{m[i][j]:.4f}" for j in range(i + 1)) for i in range(len(m))]


def write_project(n, matrices, seed, out):
    rng = random.Random(seed)
    x1 = distances(points(rng, n))
    x2 = distances(points(rng, n))
    y = [[0.0] * n for _ in range(n)]
    for i in range(n):
        for j in range(i):
            v = x1[i][j] / 50 + rng.uniform(-0.5, 0.5)
            if matrices == 3:
                v += x2[i][j] / 80
            y[i][j] = y[j][i] = round(v, 4)
    names = [f"s{k + 1}" for k in range(n)]
    bases = "ACGT"
    lines = ["[Profile]", '  Title="Mantel benchmark"', f"  NbSamples={n}", "  DataType=DNA",
             "  GenotypicData=0", "  LocusSeparator=NONE", "  MissingData='?'", "[Data]", "  [[Samples]]"]
    for k, name in enumerate(names):
        a = "".join(rng.choice(bases) for _ in range(12))
        b = a[:5] + rng.choice(bases) + a[6:]
        lines += [f'    SampleName="{name}"', "    SampleSize=4", "    SampleData={",
                  f"      {name}_a 3 {a}", f"      {name}_b 1 {b}", "    }"]
    labels = " ".join(f'"{x}"' for x in names)
    lines += ["  [[Mantel]]", f"    MatrixSize={n}", f"    MatrixNumber={matrices}", '    YMatrix="custom"',
              f"    YMatrixLabels={{ {labels} }}"]
    for m in [y, x1] + ([x2] if matrices == 3 else []):
        lines += ["    DistMatMantel={"] + lower_rows(m) + ["    }"]
    lines.append(f"    UsedYMatrixLabels={{ {labels} }}")
    with open(f"{out}/bench.pmp", "w") as f:
        f.write("\n".join(lines) + "\n")
    for name, m in (("Y", y), ("X1", x1), ("X2", x2)):
        with open(f"{out}/{name}.txt", "w") as f:
            f.write("\n".join(" ".join(f"{v:.4f}" for v in row) for row in m) + "\n")


def write_haplotypes(n, sites, seed, out):
    rng = random.Random(seed)
    haps = ["0" * sites]
    seen = set(haps)
    while len(haps) < n:
        h = list(rng.choice(haps))
        for _ in range(rng.randint(1, 3)):
            s = rng.randrange(sites)
            h[s] = "1" if h[s] == "0" else "0"
        h = "".join(h)
        if h not in seen:
            seen.add(h)
            haps.append(h)
    with open(out, "w") as f:
        f.write("\n".join(haps) + "\n")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("n", nargs="?", type=int)
    p.add_argument("--matrices", type=int, default=2, choices=(2, 3))
    p.add_argument("--haplotypes", type=int)
    p.add_argument("--sites", type=int, default=200)
    p.add_argument("--seed", type=int, default=12345)
    p.add_argument("-o", required=True)
    a = p.parse_args()
    if a.haplotypes:
        write_haplotypes(a.haplotypes, a.sites, a.seed, a.o)
    elif a.n and a.n >= 4:
        write_project(a.n, a.matrices, a.seed, a.o)
    else:
        sys.exit("make_mantel_project.py: give N >= 4 samples, or --haplotypes N")


if __name__ == "__main__":
    main()
