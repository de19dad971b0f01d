#!/usr/bin/python3
"""Expected allele-frequency tables and site frequency spectra of the small
projects in this folder, computed from the project files alone with numpy.

Run from this folder with Debian's python3-numpy:

    /usr/bin/python3 expected_spectra.py

It rewrites the expected_*.txt files. Each holds the expected content of
every file one run writes, after a line "#### <path>" (the path relative to
the run's folder). The tests compare the program's files with them; they
need neither python nor numpy.

How the values are obtained, independently of the program's own code:
- allele frequencies: direct counts of the gene copies of each sample;
  copies of the missing-data character count only when missing data take
  their share (ComputeMissDataFreq=1); the alleles of a locus are listed in
  ascending byte order of their names;
- the derived copies d of a sample at a locus: its copies that are neither
  "0" (ancestral) nor missing; a locus with a missing copy in any sample is
  left out of every spectrum;
- DAF: np.bincount of the derived copies over the loci;
- MAF: folded on the pooled minor allele (the allele with the fewest
  nonzero copies over all samples, the first in the project's order of
  alleles on equal counts); a sample's minor copies are its copies of "0"
  when "0" is that allele, else its derived copies (for 0/1 data: its
  copies of the minor allele); a locus whose minor allele holds half of all
  copies puts 0.5 on d and 0.5 on n - d;
- joint spectra: np.add.at on a matrix whose rows are the higher-numbered
  sample;
- multi-sample spectra: np.add.at at np.ravel_multi_index of the
  coordinates, C order (the last sample varies fastest);
- bootstrap replicates: the loci drawn by Knuth's subtractive generator,
  seeded with -QUINTLE_SEED (its seeding draws one number), each replicate
  drawing one index int(u * L) per locus, in order.
"""

import numpy as np

ANCESTRAL = "0"
DNA_AMBIGUITY = set("BDHKMNRSVWY")


# ----------------------------------------------------------------- projects

def read_project(path):
    """Profile values and samples: (name, SampleSize, list of gene copies,
    each a list of allele names, one per locus)."""
    profile = {}
    samples = []
    lines = [l.split("#")[0].rstrip() for l in open(path)]
    i = 0
    while i < len(lines):
        text = lines[i].strip()
        if "=" in text and not text.startswith("SampleData") and not samples and "SampleName" not in text:
            key, value = [t.strip() for t in text.split("=", 1)]
            profile[key] = value.strip("'\"")
        if text.startswith("SampleName"):
            samples.append([text.split("=", 1)[1].strip().strip('"'), 0.0, []])
        elif text.startswith("SampleSize"):
            samples[-1][1] = float(text.split("=", 1)[1])
        elif text.startswith("SampleData"):
            diploid = profile.get("GenotypicData", "0") != "0"
            i += 1
            while lines[i].strip() != "}":
                fields = lines[i].split()
                count = int(fields[1])
                copies = [alleles(profile, fields[2:])]
                if diploid:
                    i += 1
                    copies.append(alleles(profile, lines[i].split()))
                for _ in range(count):
                    samples[-1][2].extend(copies)
                i += 1
        i += 1
    if profile.get("GenotypicData", "0") != "0":
        for s in samples:
            s[1] *= 2  # individuals in the file, gene copies in the analysis
    return profile, samples


def alleles(profile, fields):
    if profile.get("LocusSeparator") == "WHITESPACE":
        return fields
    return list("".join(fields))


def valid(profile, name, missing_share):
    if name == profile.get("MissingData", "?"):
        return missing_share
    return not (profile.get("DataType") == "DNA" and name in DNA_AMBIGUITY)


# ------------------------------------------------------ allele frequencies

def locus_alleles(samples, l):
    """Names met at locus l in any sample, in ascending byte order, and the
    project's order (first met first)."""
    met = []
    for _, _, copies in samples:
        for c in copies:
            if c[l] not in met:
                met.append(c[l])
    return sorted(met, key=lambda s: s.encode()), met


def frequencies(profile, samples, l, missing_share):
    names, _ = locus_alleles(samples, l)
    table = np.zeros((len(names), len(samples)))
    for p, (_, _, copies) in enumerate(samples):
        counted = [c[l] for c in copies if valid(profile, c[l], missing_share)]
        for a, name in enumerate(names):
            if counted:
                table[a, p] = counted.count(name) / len(counted)
    return names, table


def allele_files(profile, samples, missing_share):
    files = {}
    files["data.res/PopNames.txt"] = "".join(f"Pop_{p + 1}\t{s[0]}\n" for p, s in enumerate(samples))
    every = ""
    for l in range(len(samples[0][2][0])):
        names, table = frequencies(profile, samples, l, missing_share)
        text = "%12s" % "Allele" + "".join("%12s" % f"Pop_{p + 1}" for p in range(len(samples))) + "\n"
        for a, name in enumerate(names):
            text += "%12s" % name + "".join("%12.5f" % f for f in table[a]) + "\n"
            every += f"Locus_{l + 1}\t{name}\t" + "".join("%.5g\t" % f for f in table[a]) + "\n"
        files[f"data.res/AllFreqLocus_{l + 1}.txt"] = text
    files["AllAlleleFreqs.txt"] = every
    return files


# ----------------------------------------------------------------- spectra

class Site:
    def __init__(self, profile, samples, l):
        missing = profile.get("MissingData", "?")
        self.dropped = any(c[l] == missing for _, _, copies in samples for c in copies)
        self.derived = np.array([sum(1 for c in copies if c[l] not in (ANCESTRAL, missing))
                                 for _, _, copies in samples])
        _, order = locus_alleles(samples, l)
        pooled = {a: sum(1 for _, _, copies in samples for c in copies if c[l] == a) for a in order}
        candidates = [a for a in order if a != missing and pooled[a] > 0]
        minor = min(candidates, key=lambda a: pooled[a])  # first of the smallest
        total = sum(int(s[1]) for s in samples)
        self.tie = 2 * pooled[minor] == total
        # Two allele classes per site: the minor copies of a sample are its
        # ancestral copies when "0" is the minor allele, else its derived
        # ones (for 0/1 data its copies of the minor allele; a site without
        # "0", as DNA, folds on its derived copies).
        if minor == ANCESTRAL:
            self.minor = np.array([sum(1 for c in copies if c[l] == ANCESTRAL) for _, _, copies in samples])
        else:
            self.minor = self.derived


def maf_add(maf, index, mirror, tie):
    if tie:
        np.add.at(maf, index, 0.5)
        np.add.at(maf, mirror, 0.5)
    else:
        np.add.at(maf, index, 1.0)


def spectra_files(samples, sites, loci, prefix):
    n = np.array([int(s[1]) for s in samples])
    kept = [sites[i] for i in loci if not sites[i].dropped]
    files = {}
    for p in range(len(samples)):
        d = np.array([s.derived[p] for s in kept], dtype=int)
        daf = np.bincount(d, minlength=n[p] + 1)
        maf = np.zeros(n[p] + 1)
        for s in kept:
            mirror = n[p] - s.derived[p]
            maf_add(maf, s.derived[p] if s.tie else s.minor[p], mirror, s.tie)
        labels = "\t".join(f"d{p + 1}_{c}" for c in range(n[p] + 1)) + "\n"
        files[f"{prefix}_DAFpop{p}.obs"] = "1 observation\n" + labels + "\t".join(map(str, daf)) + "\n"
        files[f"{prefix}_MAFpop{p}.obs"] = "1 observation\n" + labels + "\t".join("%g" % v for v in maf) + "\n"
    for p in range(1, len(samples)):
        for q in range(p):
            daf = np.zeros((n[p] + 1, n[q] + 1), dtype=int)
            maf = np.zeros((n[p] + 1, n[q] + 1))
            for s in kept:
                np.add.at(daf, (s.derived[p], s.derived[q]), 1)
                if s.tie:
                    maf_add(maf, (s.derived[p], s.derived[q]), (n[p] - s.derived[p], n[q] - s.derived[q]), True)
                else:
                    maf_add(maf, (s.minor[p], s.minor[q]), None, False)
            for kind, table, fmt in (("DAF", daf, "%d"), ("MAF", maf, "%g")):
                text = "1 observation\n" + "".join(f"\td{q + 1}_{c}" for c in range(n[q] + 1)) + "\n"
                for r in range(n[p] + 1):
                    text += f"d{p + 1}_{r}" + "".join("\t" + fmt % v for v in table[r]) + "\n"
                files[f"{prefix}_joint{kind}pop{p}_{q}.obs"] = text
    dims = tuple(n + 1)
    dsfs = np.zeros(int(np.prod(dims)))
    msfs = np.zeros(int(np.prod(dims)))
    for s in kept:
        np.add.at(dsfs, np.ravel_multi_index(tuple(s.derived), dims), 1.0)
        if s.tie:
            maf_add(msfs, np.ravel_multi_index(tuple(s.derived), dims),
                    np.ravel_multi_index(tuple(n - s.derived), dims), True)
        else:
            maf_add(msfs, np.ravel_multi_index(tuple(s.minor), dims), None, False)
    head = ("1 observation. No. of demes and sample sizes are on next line\n" + str(len(samples)) +
            "".join("\t%g" % s[1] for s in samples) + "\n")
    files[f"{prefix}_DSFS.obs"] = head + "\t".join("%.0f" % v for v in dsfs) + "\n"
    files[f"{prefix}_MSFS.obs"] = head + "\t".join(("%.1f" if v % 1 else "%.0f") % v for v in msfs) + "\n"
    return files


class SubtractiveGenerator:
    """Knuth's subtractive generator (modulus 1e9, 55 lags of 24 and 55)."""

    def __init__(self, seed):
        big, mj = 1000000000, (161803398 - abs(seed)) % 1000000000
        self.ma = [0] * 56
        self.ma[55] = mj
        mk = 1
        for i in range(1, 55):
            ii = (21 * i) % 55
            self.ma[ii] = mk
            mk = mj - mk
            if mk < 0:
                mk += big
            mj = self.ma[ii]
        for _ in range(4):
            for i in range(1, 56):
                self.ma[i] -= self.ma[1 + (i + 30) % 55]
                if self.ma[i] < 0:
                    self.ma[i] += big
        self.inext, self.inextp = 0, 31
        self.next()

    def next(self):
        self.inext = self.inext % 55 + 1
        self.inextp = self.inextp % 55 + 1
        mj = self.ma[self.inext] - self.ma[self.inextp]
        if mj < 0:
            mj += 1000000000
        self.ma[self.inext] = mj
        return mj * 1e-9


def project_files(path, missing_share, boot=0, seed=0):
    profile, samples = read_project(path)
    L = len(samples[0][2][0])
    sites = [Site(profile, samples, l) for l in range(L)]
    files = allele_files(profile, samples, missing_share)
    files.update(spectra_files(samples, sites, range(L), "data.res/data"))
    polymorphic = sum(1 for l in range(L)
                      if len([a for a in locus_alleles(samples, l)[0] if a != profile["MissingData"]]) > 1)
    files["data.res/data_numPolymSites.obs"] = (
        " 1 observation  (tot num. simulated sites and num. polym. sites on next line)\n" + f"{L}\t{polymorphic}\n")
    generator = SubtractiveGenerator(seed) if boot else None
    for r in range(1, boot + 1):
        loci = [int(generator.next() * L) for _ in range(L)]
        files.update(spectra_files(samples, sites, loci, f"data.res/bootSFS/data_{r - 1}/data"))
    return files


def write_bundle(name, files):
    with open(name, "w") as out:
        for path in sorted(files):
            out.write(f"#### {path}\n{files[path]}")


if __name__ == "__main__":
    # Seed 5 and two replicates, as the haploid test runs them.
    write_bundle("expected_std_haploid_miss0.txt", project_files("std_haploid.pmp", False, boot=2, seed=5))
    write_bundle("expected_std_haploid_miss1.txt", project_files("std_haploid.pmp", True, boot=2, seed=5))
    write_bundle("expected_std_diploid.txt", project_files("std_diploid.pmp", False))
    # DNA at the default share of missing data, seed 5 and two replicates.
    write_bundle("expected_dna_sites.txt", project_files("dna_sites.pmp", False, boot=2, seed=5))
    profile, samples = read_project("../../../examples/example.pmp")
    write_bundle("expected_dna_example.txt", allele_files(profile, samples, False))
    for name in ("rflp", "microsat"):
        profile, samples = read_project(f"{name}.pmp")
        write_bundle(f"expected_{name}.txt", allele_files(profile, samples, False))
