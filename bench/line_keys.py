#!/usr/bin/env python3
"""Which settings keys leave the statistics line as it is.

For each seed 1..N, runs a prepared call (a folder holding bench.pmp,
pml_run.pms and ssdefs.txt) once with its settings as they are and once per
KEY=VALUE with that one key changed, and compares the statistics lines. Prints,
per key, the number of seeds whose line differed (with the first few seeds and
columns that did) and the median processor time of the changed call against
the unchanged one, paired seed by seed.

Usage: line_keys.py --program BIN --folder DIR [--seeds N] [--jobs J] KEY=VALUE ...
Python standard library only; bench/line_keys.sh prepares the folders.
"""

import argparse
import concurrent.futures
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile


def set_key(settings, key, value):
    pattern = re.compile(r"^" + re.escape(key) + r"=.*$", re.M)
    if not pattern.search(settings):
        raise SystemExit(f"line_keys.py: no key {key} in the settings file")
    return pattern.sub(f"{key}={value}", settings, count=1)


def run(program, folder, seed):
    """Exit status, statistics file and processor time of one call in a fresh
    folder."""
    env = dict(os.environ, QUINTLE_SEED=str(seed))
    proc = subprocess.Popen([program, "bench.pmp", "stats.txt", "0", "1", "run_silent"], cwd=folder, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    code = os.waitstatus_to_exitcode(status)
    try:
        with open(os.path.join(folder, "stats.txt")) as f:
            text = f.read()
    except OSError:
        text = ""
    return code, text, usage.ru_utime + usage.ru_stime


def differing_columns(a, b):
    la, lb = a.splitlines(), b.splitlines()
    if len(la) < 2 or len(lb) < 2:
        return ["(no line)"]
    names = la[0].split("\t")
    va, vb = la[1].split("\t"), lb[1].split("\t")
    if la[0] != lb[0]:
        return ["(header)"]
    return [n for n, x, y in zip(names, va, vb) if x != y]


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--program", required=True)
    p.add_argument("--folder", required=True)
    p.add_argument("--seeds", type=int, default=200)
    p.add_argument("--jobs", type=int, default=3)
    p.add_argument("changes", nargs="+", help="KEY=VALUE")
    a = p.parse_args(argv)
    program = os.path.abspath(a.program)
    with open(os.path.join(a.folder, "pml_run.pms")) as f:
        base_settings = f.read()
    variants = [("as given", base_settings)]
    for change in a.changes:
        key, _, value = change.partition("=")
        variants.append((change, set_key(base_settings, key, value)))

    work = tempfile.mkdtemp(prefix="quintle-keys.")

    def one_seed(seed):
        out = []
        for i, (_, settings) in enumerate(variants):
            folder = os.path.join(work, f"s{seed}_{i}")
            os.makedirs(folder)
            for name in ("bench.pmp", "ssdefs.txt"):
                shutil.copy(os.path.join(a.folder, name), folder)
            with open(os.path.join(folder, "pml_run.pms"), "w") as f:
                f.write(settings)
            out.append(run(program, folder, seed))
            shutil.rmtree(folder)
        return seed, out

    results = {}
    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=a.jobs) as pool:
            for seed, out in pool.map(one_seed, range(1, a.seeds + 1)):
                results[seed] = out
    finally:
        shutil.rmtree(work, ignore_errors=True)

    failed = [s for s, out in results.items() if any(code != 0 for code, _, _ in out)]
    print(f"{a.seeds} seeds; program {program}; folder {a.folder}")
    if failed:
        print(f"runs that failed (exit status not 0) at seeds {failed[:10]}")
    print(f"{'key':40} {'lines differing':>16}  {'time / as given':>15}  differing columns (first seeds)")
    for i, (name, _) in enumerate(variants[1:], start=1):
        differ = []
        columns = set()
        ratios = []
        for seed in sorted(results):
            out = results[seed]
            if out[i][1] != out[0][1]:
                differ.append(seed)
                columns.update(differing_columns(out[0][1], out[i][1]))
            if out[0][2] > 0:
                ratios.append(out[i][2] / out[0][2])
        ratio = statistics.median(ratios) if ratios else float("nan")
        note = ""
        if differ:
            note = f"seeds {differ[:5]}: {', '.join(sorted(columns)[:8])}"
        print(f"{name:40} {len(differ):>16}  {ratio:>15.2f}  {note}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
