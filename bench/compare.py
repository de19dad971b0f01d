#!/usr/bin/env python3
"""Runs two quintle programs in turn (this, other, this, other ...) on prepared
benchmark folders and prints, per configuration, the median processor time
(user + system) of each, the median of the paired ratios other/this, and the
peak memory; bpppopstats, when given, runs in the same rounds on the folders
that have an "alignment.fa".

Each folder holds bench.pmp with its pml_run.pms and ssdefs.txt. Derived rows:
the simulation part (a folder "typical" minus its "typical-nosim" twin, run
by run) with microseconds per replicate, and the peak memory of the reading
folders against their project file's size.

Usage: compare.py --this BIN --other BIN [--bpp PROGRAM] [--runs N]
                  [--replicates-per-run N] FOLDER ...
Python standard library only.
"""

import argparse
import os
import statistics
import subprocess
import sys


def run_once(argv, cwd, env):
    """Processor seconds (user + system), wall seconds, peak KiB and exit code
    of one run. The run goes through /usr/bin/time, a small program: a child
    forked from this Python process would count Python's own memory in its
    peak. wait4 gives the processor time of time and its child together (time
    itself takes well under a millisecond), to the microsecond."""
    peak_file = os.path.join(cwd, ".peak_kib")
    start = os.times().elapsed
    proc = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak_file] + argv, cwd=cwd, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = os.times().elapsed - start
    code = os.waitstatus_to_exitcode(status)
    try:
        with open(peak_file) as f:
            peak = int(f.read().split()[-1])
    except (OSError, ValueError, IndexError):
        peak = 0
    return usage.ru_utime + usage.ru_stime, wall, peak, code


def quintle_argv(binary):
    return [binary, "bench.pmp", "stats.txt", "0", "1", "run_silent"]


def bpp_argv(program):
    return [program, "input.sequence.file=alignment.fa", "input.sequence.format=Fasta",
            "pop.stats=SiteFrequencies,Watterson75,Tajima83,TajimaD"]


def median(values):
    return statistics.median(values) if values else float("nan")


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--this", required=True, dest="this_bin")
    p.add_argument("--other", required=True)
    p.add_argument("--bpp")
    p.add_argument("--runs", type=int, default=9)
    p.add_argument("--replicates-per-run", type=int, default=0,
                   help="coalescent replicates of the typical run (for microseconds per replicate)")
    p.add_argument("folders", nargs="+")
    a = p.parse_args(argv)
    a.this_bin = os.path.abspath(a.this_bin)
    a.other = os.path.abspath(a.other)

    env = dict(os.environ)
    env.setdefault("QUINTLE_SEED", "4242")
    names = [os.path.basename(os.path.normpath(f)) for f in a.folders]
    times = {n: {"this": [], "other": [], "bpp": []} for n in names}
    peaks = {n: {"this": [], "other": []} for n in names}
    failures = []
    for _ in range(a.runs):
        for folder, name in zip(a.folders, names):
            for side, binary in (("this", a.this_bin), ("other", a.other)):
                cpu, _, peak, code = run_once(quintle_argv(binary), folder, env)
                if code != 0:
                    failures.append(f"{name}: {side} exited with {code}")
                times[name][side].append(cpu)
                peaks[name][side].append(peak)
            if a.bpp and os.path.exists(os.path.join(folder, "alignment.fa")):
                cpu, _, _, code = run_once(bpp_argv(a.bpp), folder, env)
                if code != 0:
                    failures.append(f"{name}: bpppopstats exited with {code}")
                times[name]["bpp"].append(cpu)

    print(f"{a.runs} rounds; processor time (user + system) in seconds, medians; "
          f"ratio = median of the paired ratios other/this")
    head = f"{'configuration':<20} {'this':>9} {'other':>9} {'other/this':>11} {'this MiB':>9} {'other MiB':>10}"
    if a.bpp:
        head += f" {'bpppopstats':>12} {'this/bpp':>9}"
    print(head)
    for name in names:
        t, o = times[name]["this"], times[name]["other"]
        ratios = [y / x for x, y in zip(t, o) if x > 0]
        line = (f"{name:<20} {median(t):9.4f} {median(o):9.4f} {median(ratios):11.2f} "
                f"{median(peaks[name]['this']) / 1024:9.1f} {median(peaks[name]['other']) / 1024:10.1f}")
        b = times[name]["bpp"]
        if a.bpp:
            line += (f" {median(b):12.4f} {median([x / y for x, y in zip(t, b) if y > 0]):9.2f}" if b
                     else f" {'':>12} {'':>9}")
        print(line)

    if "typical" in times and "typical-nosim" in times:
        this_sim = [x - y for x, y in zip(times["typical"]["this"], times["typical-nosim"]["this"])]
        other_sim = [x - y for x, y in zip(times["typical"]["other"], times["typical-nosim"]["other"])]
        ratios = [y / x for x, y in zip(this_sim, other_sim) if x > 0]
        print(f"{'simulation part':<20} {median(this_sim):9.4f} {median(other_sim):9.4f} {median(ratios):11.2f}"
              f"   (typical minus typical-nosim, run by run)")
        if a.replicates_per_run > 0:
            per = 1e6 / a.replicates_per_run
            print(f"  microseconds per replicate: this {median(this_sim) * per:.2f}, "
                  f"other {median(other_sim) * per:.2f} ({a.replicates_per_run} replicates per run)")
    for folder, name in zip(a.folders, names):
        if name.startswith("read-") or name.startswith("lines-"):
            size = os.path.getsize(os.path.join(folder, "bench.pmp")) / 1024
            print(f"  {name}: peak memory / project file size: this "
                  f"{median(peaks[name]['this']) / size:.1f}, other {median(peaks[name]['other']) / size:.1f} "
                  f"(file {size / 1024:.1f} MiB)")
    for f in sorted(set(failures)):
        print("FAILED:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
