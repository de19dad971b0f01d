#!/usr/bin/env python3
"""Writes a DNA project file of a chosen size for benchmarking quintle.

The data look like a real mitochondrial survey: every sequence descends from
one random ancestor, only a few percent of the sites vary, common haplotypes
are shared between samples and each sample adds a few private ones. With
--groups 2 the samples fall into two groups whose haplotype pools come from
two diverged group ancestors, and the file gets a [[Structure]] section.

The same arguments and seed always give the same file (with the same Python
version).

With --one-line-per-sequence every sequence gets its own line (count 1, its
full text), as simulators write their output; --fasta FILE also writes all
sequences of the first sample to FILE, for other programs. With
--all-distinct every gene copy carries private mutations of its own, so that
no two sequences are the same.

With --rflp the project holds RFLP haplotypes of the same shape instead: a
site is present ('1') where the ancestor has C or G, and each variable site
flips its state where the DNA project's haplotype carries the derived base.

Usage: make_project.py SAMPLES SEQUENCES SITES [--groups 0|2] [--seed N]
                       [--variable 0.03] [--one-line-per-sequence]
                       [--fasta FILE] [--rflp] [--all-distinct] [-o FILE]
"""

import argparse
import random
import sys

BASES = "ACGT"
TRANSITION = {"A": "G", "G": "A", "C": "T", "T": "C"}


def positive_int(text):
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError("must be at least 1")
    return value


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("samples", type=positive_int, help="number of samples")
    p.add_argument("sequences", type=positive_int, help="sequences (gene copies) per sample")
    p.add_argument("sites", type=positive_int, help="sites per sequence")
    p.add_argument("--groups", type=int, choices=(0, 2), default=0,
                   help="0: no structure (default); 2: two groups and a [[Structure]] section")
    p.add_argument("--seed", type=int, default=12345, help="random seed (default 12345)")
    p.add_argument("--variable", type=float, default=0.03,
                   help="fraction of variable sites (default 0.03)")
    p.add_argument("--one-line-per-sequence", action="store_true",
                   help="one line per sequence (count 1) instead of one per haplotype")
    p.add_argument("--fasta", help="also write the first sample's sequences to this FASTA file")
    p.add_argument("--rflp", action="store_true", help="RFLP sites (0 and 1) instead of DNA sequences")
    p.add_argument("--all-distinct", action="store_true", help="no two gene copies with the same sequence")
    p.add_argument("-o", "--output", default="-", help="output file (default: standard output)")
    args = p.parse_args(argv)
    if args.groups == 2 and args.samples < 2:
        p.error("two groups need at least two samples")
    if not 0.0 < args.variable <= 1.0:
        p.error("--variable must lie in (0, 1]")
    return args


class Generator:
    def __init__(self, args):
        self.args = args
        self.rng = random.Random(args.seed)
        rng = self.rng
        # Slightly AT-rich ancestor, as in most animal mitochondrial DNA.
        self.ancestor = "".join(rng.choices(BASES, weights=(30, 22, 31, 17), k=args.sites))
        n_var = max(1, round(args.variable * args.sites))
        self.variable_sites = sorted(rng.sample(range(args.sites), n_var))
        # Each variable site has one derived state; two in three are transitions.
        self.derived = {}
        for s in self.variable_sites:
            a = self.ancestor[s]
            if rng.random() < 2 / 3:
                self.derived[s] = TRANSITION[a]
            else:
                self.derived[s] = rng.choice([b for b in BASES if b != a and b != TRANSITION[a]])
        # A haplotype is the set of variable sites carrying the derived state.
        self.haplotypes = []      # index -> frozenset of sites
        self.index_of = {}        # frozenset -> index
        self.used = set()         # haplotypes given to a copy (--all-distinct)

    def haplotype(self, sites):
        key = frozenset(sites)
        if key not in self.index_of:
            self.index_of[key] = len(self.haplotypes)
            self.haplotypes.append(key)
        return self.index_of[key]

    def mutate(self, sites, count):
        """A copy of `sites` with `count` mutations at variable sites (back mutations allowed)."""
        result = set(sites)
        for s in self.rng.sample(self.variable_sites, min(count, len(self.variable_sites))):
            result ^= {s}
        return result

    def pool(self, root, size):
        """Haplotype indexes grown from `root` by successive mutation, oldest first."""
        members = [self.haplotype(root)]
        attempts = 0
        # Very few variable sites allow only a few distinct haplotypes.
        while len(members) < size and attempts < 50 * size:
            attempts += 1
            parent = self.haplotypes[self.rng.choice(members)]
            child = self.haplotype(self.mutate(parent, self.rng.randint(1, 3)))
            if child not in members:
                members.append(child)
        return members

    def build(self):
        args, rng = self.args, self.rng
        n_groups = max(1, args.groups)
        # Group ancestors differ by about a tenth of the variable sites.
        split = max(1, len(self.variable_sites) // 10)
        roots = [set()] + [self.mutate(set(), split) for _ in range(n_groups - 1)]
        # Enough shared haplotypes to make common ones common, capped by the
        # number of variable sites (each pool member needs its own mutations).
        pool_size = max(3, min(args.sequences // 3, 4 * len(self.variable_sites)))
        pools = [self.pool(r, pool_size) for r in roots]
        # Geometric weights: the oldest haplotypes are the most frequent.
        weights = [0.8 ** i for i in range(max(len(p) for p in pools))]

        group_of = [(i * n_groups) // args.samples for i in range(args.samples)]
        samples = []
        for i in range(args.samples):
            own = pools[group_of[i]]
            counts = {}
            for _ in range(args.sequences):
                # One copy in twenty is a migrant from any group's pool.
                source = own if rng.random() >= 0.05 else pools[rng.randrange(n_groups)]
                h = rng.choices(source, weights=weights[:len(source)])[0]
                # One copy in eight carries a fresh private mutation; with
                # --all-distinct every copy carries new ones.
                if args.all_distinct:
                    while h in self.used:
                        h = self.haplotype(self.mutate(self.haplotypes[h], 1))
                    self.used.add(h)
                elif rng.random() < 0.125:
                    h = self.haplotype(self.mutate(self.haplotypes[h], 1))
                counts[h] = counts.get(h, 0) + 1
            samples.append(counts)
        return samples, group_of

    def sequence(self, index):
        if self.args.rflp:
            sites = ["1" if b in "CG" else "0" for b in self.ancestor]
            for s in self.haplotypes[index]:
                sites[s] = "0" if sites[s] == "1" else "1"
            return "".join(sites)
        seq = list(self.ancestor)
        for s in self.haplotypes[index]:
            seq[s] = self.derived[s]
        return "".join(seq)


def write_project(out, args, gen, samples, group_of):
    a = args
    kind = "RFLP" if a.rflp else "DNA"
    title = f"Benchmark {kind} project: {a.samples} samples x {a.sequences} sequences x {a.sites} sites"
    out.write(f"# Generated by make_project.py {a.samples} {a.sequences} {a.sites}"
              f" --groups {a.groups} --seed {a.seed} --variable {a.variable}{' --rflp' if a.rflp else ''}\n\n")
    out.write("[Profile]\n\n")
    out.write(f'    Title="{title}"\n')
    out.write(f"    NbSamples={a.samples}\n")
    out.write(f"    DataType={kind}\n")
    out.write("    GenotypicData=0\n")
    out.write("    LocusSeparator=NONE\n")
    out.write("    MissingData='?'\n\n")
    out.write("[Data]\n\n")
    out.write("    [[Samples]]\n")
    written = set()
    for i, counts in enumerate(samples):
        out.write(f'\n        SampleName="Pop{i + 1}"\n')
        out.write(f"        SampleSize={a.sequences}\n")
        out.write("        SampleData= {\n")
        if a.one_line_per_sequence:
            for k, h in enumerate(h for h in sorted(counts) for _ in range(counts[h])):
                out.write(f"            S{i + 1}_{k + 1}  1  {gen.sequence(h)}\n")
            out.write("        }\n")
            continue
        for h in sorted(counts):
            # A haplotype's sequence is given where it first appears; later
            # samples refer to it by its identifier alone.
            if h in written:
                out.write(f"            H{h + 1}  {counts[h]}\n")
            else:
                written.add(h)
                out.write(f"            H{h + 1}  {counts[h]}  {gen.sequence(h)}\n")
        out.write("        }\n")
    if a.groups == 2:
        out.write("\n    [[Structure]]\n\n")
        out.write('        StructureName="Two groups"\n')
        out.write("        NbGroups=2\n")
        for g in range(2):
            out.write("        Group={\n")
            for i in range(a.samples):
                if group_of[i] == g:
                    out.write(f'            "Pop{i + 1}"\n')
            out.write("        }\n")


def main(argv):
    args = parse_args(argv)
    gen = Generator(args)
    samples, group_of = gen.build()
    if args.fasta:
        with open(args.fasta, "w", encoding="ascii", newline="\n") as fasta:
            counts = samples[0]
            for k, h in enumerate(h for h in sorted(counts) for _ in range(counts[h])):
                fasta.write(f">S1_{k + 1}\n{gen.sequence(h)}\n")
    if args.output == "-":
        write_project(sys.stdout, args, gen, samples, group_of)
    else:
        with open(args.output, "w", encoding="ascii", newline="\n") as out:
            write_project(out, args, gen, samples, group_of)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
