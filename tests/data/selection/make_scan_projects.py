#!/usr/bin/python3
"""Writes the diploid DNA projects of the selection-scan tests (one locus
per site, alleles A and G): ten samples of ten individuals; nineteen loci
whose sample frequencies are drawn around a mean with FST 0.05
(Balding-Nichols), and a planted last locus at frequency 0.5 in the first
five samples and 0 in the others. Run from this folder; numpy seed fixed.
The files are named .txt to keep them out of the comparison corpus (their
runs with every analysis take seconds each); the tests copy them to .pmp."""
import numpy as np

SAMPLES, INDIVIDUALS, F = 10, 10, 0.05


def frequencies(rng, neutral):
    rows = []
    for _ in range(neutral):
        p0 = rng.uniform(0.2, 0.5)
        a, b = p0 * (1 - F) / F, (1 - p0) * (1 - F) / F
        rows.append(rng.beta(a, b, SAMPLES))
    return rows


def genotypes(rng, freqs, planted):
    """copies[s][k] is the text of gene copy k of sample s."""
    copies = []
    n = 2 * INDIVIDUALS
    for s in range(SAMPLES):
        columns = []
        for p in freqs:
            columns.append(np.where(rng.random(n) < p[s], "G", "A"))
        if planted:
            col = np.array(["A"] * n)
            if s < SAMPLES // 2:
                col[rng.permutation(n)[: n // 2]] = "G"
            columns.append(col)
        copies.append(["".join(c[k] for c in columns) for k in range(n)])
    return copies


def write(name, title, copies, groups, kind="DNA", separator="NONE"):
    with open(name, "w") as out:
        out.write("# %s (written by make_scan_projects.py)\n" % title)
        out.write("[Profile]\n  Title=\"%s\"\n  NbSamples=%d\n  DataType=%s\n  GenotypicData=1\n"
                  "  GameticPhase=0\n  LocusSeparator=%s\n  MissingData='?'\n" % (title, len(copies), kind, separator))
        out.write("[Data]\n  [[Samples]]\n")
        for s, texts in enumerate(copies):
            out.write("    SampleName=\"pop%d\"\n    SampleSize=%d\n    SampleData={\n" % (s + 1, len(texts) // 2))
            for i in range(len(texts) // 2):
                out.write("      i%d_%d 1 %s\n           %s\n" % (s + 1, i + 1, texts[2 * i], texts[2 * i + 1]))
            out.write("    }\n")
        out.write("  [[Structure]]\n    StructureName=\"scan\"\n    NbGroups=%d\n" % len(groups))
        for g in groups:
            out.write("    Group={ %s }\n" % " ".join("\"pop%d\"" % (s + 1) for s in g))


rng = np.random.default_rng(20240611)
planted = genotypes(rng, frequencies(rng, 19), True)
write("scan.txt", "Nineteen neutral loci and a planted one", planted, [range(SAMPLES)])
write("scan_groups.txt", "The same in two groups", planted, [range(5), range(5, 10)])
write("scan_nine.txt", "Nine loci", [[t[:9] for t in c] for c in planted], [range(SAMPLES)])
mono = [["A" * 10 for _ in c] for c in planted]
write("scan_monomorphic.txt", "Ten loci of one allele", mono, [range(SAMPLES)])
# The same genotypes as RFLP sites (A 0, G 1), microsatellite sizes (A 120,
# G 122) and standard alleles.
rflp = [[t.replace("A", "0").replace("G", "1") for t in c] for c in planted]
write("scan_rflp.txt", "The same as RFLP sites", rflp, [range(SAMPLES)], "RFLP")
msat = [[" ".join("120" if a == "A" else "122" for a in t) for t in c] for c in planted]
write("scan_msat.txt", "The same as microsatellites", msat, [range(SAMPLES)], "MICROSAT", "WHITESPACE")
write("scan_standard.txt", "The same as standard alleles", planted, [range(SAMPLES)], "STANDARD")
