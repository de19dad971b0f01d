#!/usr/bin/env bash
# Times the AMOVA with the individual level against ade4.
#
# Usage: bench/amova_bench.sh [--keep]   (also: run_bench.sh --individual-level)
#
# One phased diploid DNA project: 200 individuals in 4 samples of 50, two
# groups of two samples, 10 variable sites. quintle runs TaskNumber 512 with
# HaplAMOVA=1, IncludeIndividualLevel=1 and 1000 permutations, once without
# and once with LocByLocAMOVA=1; ade4 runs randtest(amova(...), nrepet = 1000)
# on the same individuals (bench/amova_peer.R). The programs alternate
# (A B A B ..., paired_times of bench/lib.sh); the observed components of both are compared
# at the precision quintle prints them (5 decimals; the unit tests hold the
# full values to ade4's within 1e-12).
#
# Environment: QUINTLE_BIN / BUILD_DIR as for run_bench.sh; QUINTLE_SEED
# (default 4242); RSCRIPT (default Rscript, with ade4); RUNS (default 5).
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"
keep=0
for arg in "$@"; do
    case "$arg" in
        --keep) keep=1 ;;
        -h|--help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "amova_bench.sh: unknown argument '$arg' (try --help)" >&2; exit 2 ;;
    esac
done
. "$HERE/lib.sh"
find_quintle amova_bench.sh
export QUINTLE_SEED="${QUINTLE_SEED:-4242}"
RSCRIPT="${RSCRIPT:-Rscript}"
RUNS="${RUNS:-5}"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle-amova-bench.XXXXXX")"
if [ "$keep" -eq 0 ]; then trap 'rm -rf "$WORK"' EXIT; fi

# The project: gametes drawn from 12 haplotypes of 10 sites, with weights
# that differ between groups and between the samples of a group.
python3 - "$WORK/project.pmp" <<'PY'
import random, sys
rng = random.Random(2024)
pool = []
while len(pool) < 12:
    h = "".join(rng.choice("AT") for _ in range(10))
    if h not in pool:
        pool.append(h)
base = [rng.random() + 0.1 for _ in pool]
out = ["[Profile]", '  Title="AMOVA benchmark"', "  NbSamples=4", "  DataType=DNA", "  GenotypicData=1",
       "  GameticPhase=1", "  LocusSeparator=NONE", "  MissingData='?'", "[Data]", "  [[Samples]]"]
n = 0
for s in range(4):
    w = [b * (1 + (s // 2) * 2 * (k % 3 == 0)) * (1 + 0.5 * (s % 2) * (k % 2)) for k, b in enumerate(base)]
    out += ['    SampleName="s%d"' % (s + 1), "    SampleSize=50", "    SampleData={"]
    for _ in range(50):
        n += 1
        a, b = rng.choices(pool, w, k=2)
        out += ["      i%d 1 %s" % (n, a), "         %s" % b]
    out += ["    }"]
out += ["  [[Structure]]", '    StructureName="two groups"', "    NbGroups=2", '    Group={ "s1" "s2" }',
        '    Group={ "s3" "s4" }']
open(sys.argv[1], "w").write("\n".join(out) + "\n")
PY

for lbl in 0 1; do
    dir="$WORK/lbl$lbl"
    mkdir -p "$dir"
    cp "$WORK/project.pmp" "$dir/p.pmp"
    cat >"$dir/pml_run.pms" <<EOF2
[Setting for Calculations]
TaskNumber=512
XMLOutput=0
HaplAMOVA=1
LocByLocAMOVA=$lbl
IncludeIndividualLevel=1
NumPermutationsAMOVA=1000
ComputeDistanceMatrixAMOVA=1
DistanceMethodAMOVA=0
TransitionWeight=1.000000
TranversionWeight=1.000000
DeletionWeight=1.000000
EOF2
    printf 'POP_LEVEL\nGLOBAL_FSTAT\n' >"$dir/ssdefs.txt"
done

echo "AMOVA with the individual level: quintle against ade4"
echo "  program:  $BIN"
echo "  ade4:     $("$RSCRIPT" -e 'cat(as.character(packageVersion("ade4")))' 2>/dev/null || echo missing)"
echo "  data:     200 individuals, 4 samples of 50 in 2 groups, 10 variable sites; 1000 permutations"
echo

# Observed components of both.
(cd "$WORK/lbl0" && "$BIN" p.pmp stats.txt 0 1 run_silent >/dev/null)
peer="$("$RSCRIPT" "$HERE/amova_peer.R" "$WORK/project.pmp" 1000)"
echo "$peer" | sed -n 's/^ade4 seconds/  ade4 randtest(amova(...)) inside R, seconds:/p'
python3 - "$WORK/lbl0/p.res/p.htm" <<PY
import re, sys
text = open(sys.argv[1]).read()
ours = {m.group(2): float(m.group(1)) for m in re.finditer(r" ([-0-9.]+) (V[abcd]) ", text)}
theirs = {l.split()[0]: float(l.split()[1]) for l in """$peer""".splitlines() if l[:1] == "V"}
worst = max(abs(ours[k] - theirs[k]) for k in theirs)
print("  components Va..Vd as printed (5 decimals), largest difference from ade4: %.1e" % worst)
print("  " + "  ".join("%s %.5f / %.5f" % (k, ours[k], theirs[k]) for k in sorted(theirs)))
PY
echo
for lbl in 0 1; do
    label="quintle"
    [ "$lbl" -eq 1 ] && label="quintle with LocByLocAMOVA=1"
    echo "== $label (A) against ade4 (B), whole processes"
    (cd "$WORK/lbl$lbl" && paired_times "$RUNS" "\"$BIN\" p.pmp stats.txt 0 1 run_silent" \
        "$RSCRIPT \"$HERE/amova_peer.R\" \"$WORK/project.pmp\" 1000")
    echo
done
if [ "$keep" -eq 1 ]; then echo "Working folder kept: $WORK"; fi
