// Times the scan for loci under selection on one project (finite island
// model): the whole scan with the given number of simulations and demes,
// then, at the scan's own target FST, the same number of genealogies alone
// (build_tree_struct_pop with the project's sample sizes) and of the
// reference event loop of bench/island_loop.h. Per simulated locus: the
// genealogy's time and events, the reference's, and the rest of the scan
// (mutation, reading of the leaves, AMOVA, heterozygosity) as the scan's time
// less the genealogies'; with the allocations made by the genealogies once
// the first one has sized the storage, and the scan's per locus (all of
// them over the number of loci, and those that a simulated locus adds,
// from two shorter scans run after it). The
// genealogies and the reference run in alternating rounds.
//
// Usage: selection_bench PROJECT SIMULATIONS DEMES
// Output: one line "key=value ..." (times in microseconds per locus).

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "core/random.h"
#include "counting_allocator.h"
#include "island_loop.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/ProfileSettings.h"
#include "run/cleaner.h"
#include "run/settings.h"

using bench_counting::allocations;
using bench_counting::cpu_seconds;

int main(int argc, char** argv) {
    using namespace quintle;
    namespace fs = std::filesystem;
    if (argc < 4) {
        std::fprintf(stderr, "usage: selection_bench PROJECT SIMULATIONS DEMES\n");
        return 2;
    }
    const fs::path project = fs::absolute(argv[1]);
    const int sims = std::atoi(argv[2]);
    const int demes = std::atoi(argv[3]);
    if (sims < 1 || demes < 1) return 2;
    long seed = -4242;
    initialize_ran3(seed);

    // The project read as a run reads it.
    Project p;
    cleaner copy;
    settings::input_file = project.string().c_str();
    if (copy.execute(ProfileSettings::LocusSeparator, project.string().c_str()) && copy.get_clean_proj() != nullptr)
        settings::input_file = copy.get_clean_proj();
    p.initialize();
    p.RunSettings = &p.options;
    settings& s = p.options;
    s.reset_initial_values();
    s.ProjectFolder = (project.parent_path().string() + "/").c_str();
    s.ResultFolder = s.ProjectFolder;
    if (p.newOpen() != 1) {
        std::fprintf(stderr, "selection_bench: cannot read %s\n", argv[1]);
        return 1;
    }
    copy.rm_clean_files();
    s.TaskNumber = 1;
    s.DetectSelectedLoci = 1;
    s.NumberOfSimsForFDist2 = sims;
    s.NumberOfDemesForFDist2 = demes;
    s.TargetHetHighBound = 1.0;
    if (p.make_run_possible() != 1) return 1;
    s.current_samples = p.samples.get();

    const long scanBefore = allocations.load();
    const double t0 = cpu_seconds();
    p.detectSelectedLociFromFSTHetComparison(false);
    const double scan = cpu_seconds() - t0;
    const long scanAllocations = allocations.load() - scanBefore;

    // The scan's target FST, from the head of its simulation file.
    double F = 0.0;
    {
        std::ifstream in(project.parent_path() / "fdist2_simOut.txt");
        std::string head;
        std::getline(in, head);
        const auto at = head.find("= ");
        if (at != std::string::npos) F = std::atof(head.c_str() + at + 2);
    }

    // Two shorter scans after it, of a tenth and a half of the
    // simulations: the difference of their allocations is what the added
    // simulated loci make (the first scan also pays what is made once).
    auto allocations_of_scan = [&](int n) {
        s.NumberOfSimsForFDist2 = n;
        const long before = allocations.load();
        p.detectSelectedLociFromFSTHetComparison(false);
        return allocations.load() - before;
    };
    const int tenth = std::max(1, sims / 10);
    const int half = std::max(tenth + 1, sims / 2);
    const long tenthAllocations = allocations_of_scan(tenth);
    const double marginalAllocations =
        static_cast<double>(allocations_of_scan(half) - tenthAllocations) / (half - tenth);

    if (!(F > 0.0 && F < 1.0)) {
        std::fprintf(stderr, "selection_bench: the scan ran no simulation\n");
        return 1;
    }

    // The same number of genealogies alone, with the project's sizes.
    Samples& observed = *p.samples;
    Samples scratch;
    std::vector<int> sizes;
    int genes = 0;
    for (long i = 0; i < observed.Populations.count; ++i) {
        sizes.push_back(static_cast<int>(observed.Populations.data[i]->SampleSize));
        genes += sizes.back();
    }
    TTree& tree = scratch.Tree;
    tree.build_tree_struct_pop(observed, 1.0, F, demes);
    tree.cleanDemes();
    const int D = static_cast<int>(tree.num_demes);
    bench::IslandLoop loop(sizes, D, (D - 1) * (1.0 / F - 1.0) / (2.0 * D));
    loop.build();

    // The two in alternating rounds, so that a change in the machine's load
    // falls on both.
    long events = 0;
    long refEvents = 0;
    long allocated = 0;
    double genealogies = 0.0;
    double reference = 0.0;
    const int rounds = 10;
    for (int round = 0; round < rounds; ++round) {
        const int n = sims / rounds + (round < sims % rounds ? 1 : 0);
        const long before = allocations.load();
        const double t1 = cpu_seconds();
        for (int i = 0; i < n; ++i) {
            tree.build_tree_struct_pop(observed, 1.0, F, demes);
            events += tree.num_events;
            tree.cleanDemes();
        }
        genealogies += cpu_seconds() - t1;
        allocated += allocations.load() - before;
        const double t2 = cpu_seconds();
        for (int i = 0; i < n; ++i) refEvents += loop.build();
        reference += cpu_seconds() - t2;
    }

    const double gen = 1e6 * genealogies / sims;
    const double ref = 1e6 * reference / sims;
    const double rest = 1e6 * scan / sims - gen;
    std::printf(
        "demes=%d F=%.4f samples=%zu genes=%d sims=%d scan_s=%.2f genealogy_us=%.1f events=%.0f reference_us=%.1f "
        "reference_events=%.0f ratio=%.2f rest_us=%.1f rest_ratio=%.2f genealogy_allocations=%ld "
        "scan_allocations_per_locus=%.0f scan_allocations_per_added_locus=%.2f\n",
        D, F, sizes.size(), genes, sims, scan, gen, static_cast<double>(events) / sims, ref,
        static_cast<double>(refEvents) / sims, gen / ref, rest, rest / gen, allocated,
        static_cast<double>(scanAllocations) / sims, marginalAllocations);
    return 0;
}
