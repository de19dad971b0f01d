#!/usr/bin/env python3
"""Writes a diploid DNA project for the selection-scan benchmark: SAMPLES
samples of COPIES gene copies (COPIES/2 individuals) in one group, LOCI
one-site loci whose sample frequencies are drawn around a mean with the
given FST (Balding-Nichols). Usage:
  make_scan_project.py SAMPLES COPIES LOCI FST [--seed S] -o FILE"""
import argparse
import random


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("samples", type=int)
    ap.add_argument("copies", type=int)
    ap.add_argument("loci", type=int)
    ap.add_argument("fst", type=float)
    ap.add_argument("--seed", type=int, default=12345)
    ap.add_argument("-o", required=True)
    a = ap.parse_args()
    rng = random.Random(a.seed)
    freqs = []
    for _ in range(a.loci):
        p0 = rng.uniform(0.2, 0.5)
        c = (1 - a.fst) / a.fst
        freqs.append([rng.betavariate(p0 * c, (1 - p0) * c) for _ in range(a.samples)])
    with open(a.o, "w") as out:
        out.write("[Profile]\n  Title=\"scan benchmark\"\n  NbSamples=%d\n  DataType=DNA\n  GenotypicData=1\n"
                  "  GameticPhase=0\n  LocusSeparator=NONE\n  MissingData='?'\n[Data]\n  [[Samples]]\n" % a.samples)
        for s in range(a.samples):
            out.write("    SampleName=\"s%d\"\n    SampleSize=%d\n    SampleData={\n" % (s + 1, a.copies // 2))
            for i in range(a.copies // 2):
                g = ["".join("G" if rng.random() < f[s] else "A" for f in freqs) for _ in range(2)]
                out.write("      i%d 1 %s\n        %s\n" % (i + 1, g[0], g[1]))
            out.write("    }\n")
        out.write("  [[Structure]]\n    StructureName=\"one\"\n    NbGroups=1\n    Group={ %s }\n" %
                  " ".join("\"s%d\"" % (s + 1) for s in range(a.samples)))


main()
