// Site frequency spectra of a sample set, written as ".obs" text files in
// the result folder: per sample the derived-allele (DAF) and minor-allele
// (MAF) spectra, per pair of samples the joint spectra, for all samples the
// multi-sample spectra (DSFS, MSFS), and bootstrap replicates over loci.
// Each locus is one site: the allele "0" is ancestral, every other allele
// but the missing-data one derived; a locus holding missing data is left
// out.

#include "sumstat/site_frequency_spectra.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <ios>
#include <limits>
#include <new>
#include <numeric>
#include <ostream>
#include <string>

#include "core/Errors.h"
#include "core/platform.h"
#include "core/random.h"
#include "data/TAllele.h"
#include "data/TAlleleDB.h"
#include "data/TLocus.h"
#include "popstats/PopGenetics.h"
#include "project/Samples.h"
#include "run/settings.h"
#include "sumstat/allele_frequency_files.h"

namespace quintle {

// ------------------------------------------------------------- arithmetic

int derived_copies(double ancestral, double missing, int n) {
    double const d = std::floor((1.0 - ancestral - missing) * n + 0.5);
    if (!(d > 0.0)) return 0;
    return d >= n ? n : static_cast<int>(d);
}

PooledMinor pooled_minor(std::span<double const> counts, long missingPos) {
    PooledMinor m;
    for (std::size_t j = 0; j < counts.size(); ++j) {
        if (static_cast<long>(j) == missingPos) continue;
        if (counts[j] != 0.0 && counts[j] < m.count) {
            m.position = static_cast<long>(j);
            m.count = counts[j];
        }
    }
    return m;
}

void add_single(std::span<int> daf, std::span<double> maf, SiteClass c, int d, int n) {
    ++daf[static_cast<std::size_t>(d)];
    if (c.tie) {
        maf[static_cast<std::size_t>(d)] += 0.5;
        maf[static_cast<std::size_t>(n - d)] += 0.5;
    } else {
        maf[static_cast<std::size_t>(minor_copies(c, d, n))] += 1.0;
    }
}

JointSpectrum::JointSpectrum(int rowsSize, int colsSize)
    : np(rowsSize),
      nq(colsSize),
      daf(static_cast<std::size_t>(rowsSize + 1) * static_cast<std::size_t>(colsSize + 1), 0),
      maf(daf.size(), 0.0) {}

void add_joint(JointSpectrum& j, SiteClass c, int dp, int dq) {
    ++j.daf[static_cast<std::size_t>(j.cell(dp, dq))];
    long const derived = j.cell(dp, dq);
    long const ancestral = j.cell(j.np - dp, j.nq - dq);
    if (c.tie) {
        j.maf[static_cast<std::size_t>(derived)] += 0.5;
        j.maf[static_cast<std::size_t>(ancestral)] += 0.5;
    } else {
        j.maf[static_cast<std::size_t>(c.ancestralMinor ? ancestral : derived)] += 1.0;
    }
}

MultiLayout multi_layout(std::span<int const> sizes) {
    MultiLayout m;
    m.strides.assign(sizes.size(), 0);
    std::int64_t constexpr limit = std::numeric_limits<std::int32_t>::max();
    for (std::size_t k = sizes.size(); k-- > 0;) {
        m.strides[k] = m.fits ? m.cells : 0;
        std::int64_t const axis = static_cast<std::int64_t>(std::max(sizes[k], 0)) + 1;
        // Stop multiplying once past the limit: the product of many axes
        // would pass even 64 bits.
        if (m.fits && m.cells > limit / axis) m.fits = false;
        if (m.fits) m.cells *= axis;
    }
    return m;
}

std::int64_t multi_cell(std::span<std::int64_t const> strides, std::span<int const> coords) {
    std::int64_t cell = 0;
    for (std::size_t k = 0; k < strides.size() && k < coords.size(); ++k) cell += strides[k] * coords[k];
    return cell;
}

void add_multi(std::span<double> dsfs, std::span<double> msfs, std::span<std::int64_t const> strides,
               std::int64_t full, std::span<int const> d, SiteClass c) {
    std::int64_t const derived = multi_cell(strides, d);
    dsfs[static_cast<std::size_t>(derived)] += 1.0;
    std::int64_t const minor = c.ancestralMinor ? full - derived : derived;
    if (c.tie) {
        msfs[static_cast<std::size_t>(minor)] += 0.5;
        msfs[static_cast<std::size_t>(full - minor)] += 0.5;
    } else {
        msfs[static_cast<std::size_t>(minor)] += 1.0;
    }
}

void bootstrapLoci(int* index, int n) {
    long seed = 1;  // continues the shared stream
    for (int k = 0; k < n; ++k) index[k] = static_cast<int>(ran3(&seed) * n);
}

// ------------------------------------------------------------ the sample set

namespace {

char const kMultiFunction[] =
    "Samples::computeAndOutputSFS(settings& www): Unable to allocate enough memory for multiSFS";

// The loci as the spectra see them.
struct SpectrumSites {
    long P = 0;
    std::vector<int> sizes;         // n_p, gene copies of each sample's axis
    std::vector<SiteClass> sites;   // one per locus of the global list
    std::vector<int> derived;       // per locus, P derived counts

    std::span<int const> derived_of(long locus) const {
        return {derived.data() + locus * P, static_cast<std::size_t>(P)};
    }
};

// What the classification of a locus reads besides the locus itself.
struct SampleSide {
    std::vector<double> sampleSizes;  // SampleSize, as read
    std::vector<int> copies;          // truncated
    double total = 0.0;               // sum of the truncated sizes
    my_string missingName;
    my_string ancestralName{"0"};
    long firstAllele = 0;  // the project's loci start with the recessive blank
};

int copies_of(double sampleSize) {
    if (!(sampleSize > 0.0)) return 0;
    double constexpr top = std::numeric_limits<int>::max() - 1;
    return sampleSize >= top ? static_cast<int>(top) : static_cast<int>(sampleSize);
}

TLocus* locus_at(TAlleleDB* db, long i) {
    if (db == nullptr || i < 0 || i >= db->loci.count) return nullptr;
    return db->loci.data[i];
}

// Pooled gene copies of every allele of the project's locus after its
// blank, each sample's share rounded to whole copies. Every allele is
// walked, not only as many as the pass met: a structure may leave out a
// sample whose alleles the project knows, and those count 0 everywhere.
void pooled_counts(TLocus const& project, SampleSide const& side, std::vector<double>& counts) {
    counts.clear();
    for (long j = side.firstAllele; j < project.alleles.count; ++j) {
        TAllele const* a = project.alleles.data[j];
        double c = 0.0;
        for (std::size_t p = 0; p < side.sampleSizes.size(); ++p)
            c += std::floor(sample_frequency(a, static_cast<long>(p)) * side.sampleSizes[p] + 0.5);
        counts.push_back(c);
    }
}

// Classifies locus i from its global alleles (sorted; none when the locus
// is missing) and stores the derived copies of every sample in `derived`.
SiteClass classify(TLocus const* global, TLocus const* project, SampleSide const& side,
                   std::vector<double>& counts, std::span<int> derived) {
    SiteClass c;
    TAllele const* ancestral = nullptr;
    TAllele const* missing = nullptr;
    long ancestralPos = -1;
    for (long j = 0; global != nullptr && j < global->alleles.count; ++j) {
        TAllele const* a = global->alleles.data[j];
        if (a == nullptr) continue;
        if (a->name == side.missingName) {
            c.dropped = true;
            if (project != nullptr) missing = project->find_allele_by_name(side.missingName);
        } else if (a->name == side.ancestralName && project != nullptr) {
            ancestral = project->find_allele_by_name(side.ancestralName);
            ancestralPos = project->find_allele_pos_by_name(side.ancestralName);
        }
    }

    long minorPos = -1;
    if (project != nullptr) {
        pooled_counts(*project, side, counts);
        long const missingPos = project->find_allele_pos_by_name(side.missingName);
        PooledMinor const m =
            pooled_minor(counts, missingPos >= side.firstAllele ? missingPos - side.firstAllele : -1);
        if (m.position >= 0) minorPos = m.position + side.firstAllele;
        c.tie = holds_half(m, side.total);
    }
    c.ancestralMinor = ancestralPos == minorPos;

    for (std::size_t p = 0; p < derived.size(); ++p) {
        long const pos = static_cast<long>(p);
        derived[p] = derived_copies(sample_frequency(ancestral, pos), sample_frequency(missing, pos),
                                    side.copies[p]);
    }
    return c;
}

SpectrumSites classify_all(MY_TIArrayAsVector<Population> const& populations, ProfileSettings const& profile,
                           TAlleleDB* project) {
    SampleSide side;
    long const P = populations.count;
    for (long p = 0; p < P; ++p) {
        Population const* pop = populations.data[p];
        double const size = pop != nullptr ? pop->SampleSize : 0.0;
        side.sampleSizes.push_back(size);
        side.copies.push_back(copies_of(size));
        side.total += side.copies.back();
    }
    side.missingName = profile.MissingData;
    side.firstAllele = project != nullptr && project->blanksInserted ? 1 : 0;

    TAlleleDB& global = PopGenetics::globalAllelicDB;
    global.make_records();
    long const L = global.loci.count;
    SpectrumSites s;
    s.P = P;
    s.sizes = side.copies;
    s.sites.resize(static_cast<std::size_t>(L));
    s.derived.assign(static_cast<std::size_t>(L * P), 0);
    std::vector<double> counts;
    for (long i = 0; i < L; ++i) {
        std::span<int> derived{s.derived.data() + i * P, static_cast<std::size_t>(P)};
        TLocus* g = global.loci.data[i];
        if (g != nullptr) sort_alleles_by_name(*g);
        s.sites[static_cast<std::size_t>(i)] = classify(g, locus_at(project, i), side, counts, derived);
    }
    return s;
}

// ----------------------------------------------------------------- files

template <class T>
void write_row(std::ostream& os, std::vector<T> const& values) {
    for (std::size_t c = 0; c < values.size(); ++c) os << (c == 0 ? "" : "\t") << values[c];
    os << "\n";
}

void write_single(std::string const& prefix, SpectrumSites const& s, std::vector<int> const& index, long p) {
    int const n = s.sizes[static_cast<std::size_t>(p)];
    std::vector<int> daf(static_cast<std::size_t>(n) + 1, 0);
    std::vector<double> maf(daf.size(), 0.0);
    for (int i : index) {
        SiteClass const c = s.sites[static_cast<std::size_t>(i)];
        if (!c.dropped) add_single(daf, maf, c, s.derived_of(i)[static_cast<std::size_t>(p)], n);
    }
    std::string labels;
    for (int c = 0; c <= n; ++c)
        labels += (c == 0 ? "d" : "\td") + std::to_string(p + 1) + "_" + std::to_string(c);
    std::string const number = std::to_string(p) + ".obs";
    {
        std::ofstream os(prefix + "_DAFpop" + number, std::ios::out | std::ios::trunc);
        os << "1 observation\n" << labels << "\n";
        write_row(os, daf);
    }
    std::ofstream os(prefix + "_MAFpop" + number, std::ios::out | std::ios::trunc);
    os << "1 observation\n" << labels << "\n";
    write_row(os, maf);
}

template <class T>
void write_joint_file(std::string const& name, JointSpectrum const& j, std::vector<T> const& cells, long p, long q) {
    std::ofstream os(name, std::ios::out | std::ios::trunc);
    os << "1 observation\n";
    for (int c = 0; c <= j.nq; ++c) os << "\td" << q + 1 << "_" << c;
    os << "\n";
    for (int r = 0; r <= j.np; ++r) {
        os << "d" << p + 1 << "_" << r;
        for (int c = 0; c <= j.nq; ++c) os << "\t" << cells[static_cast<std::size_t>(j.cell(r, c))];
        os << "\n";
    }
}

void write_joint(std::string const& prefix, SpectrumSites const& s, std::vector<int> const& index, long p, long q) {
    JointSpectrum j(s.sizes[static_cast<std::size_t>(p)], s.sizes[static_cast<std::size_t>(q)]);
    for (int i : index) {
        SiteClass const c = s.sites[static_cast<std::size_t>(i)];
        if (c.dropped) continue;
        std::span<int const> const d = s.derived_of(i);
        add_joint(j, c, d[static_cast<std::size_t>(p)], d[static_cast<std::size_t>(q)]);
    }
    std::string const pair = std::to_string(p) + "_" + std::to_string(q) + ".obs";
    write_joint_file(prefix + "_jointDAFpop" + pair, j, j.daf, p, q);
    write_joint_file(prefix + "_jointMAFpop" + pair, j, j.maf, p, q);
}

void write_polymorphic_count(std::string const& name, long L, long S) {
    std::ofstream os(name, std::ios::out | std::ios::trunc);
    os << " 1 observation  (tot num. simulated sites and num. polym. sites on next line)\n" << L << "\t" << S << "\n";
}

long polymorphic_loci(char missing, my_string const& recessive) {
    TAlleleDB& global = PopGenetics::globalAllelicDB;
    global.make_records();
    long S = 0;
    for (long i = 0; i < global.loci.count; ++i) {
        TLocus const* g = global.loci.data[i];
        if (g != nullptr && g->is_polymorph(missing, recessive)) ++S;
    }
    return S;
}

// Both multi-sample spectra, allocated once for every replicate.
struct MultiSpectra {
    MultiLayout layout;
    std::int64_t full = 0;  // cell of the coordinates n
    std::vector<double> dsfs;
    std::vector<double> msfs;
};

void write_multi_file(std::string const& name, std::vector<double> const& cells,
                      MY_TIArrayAsVector<Population> const& populations, bool halves) {
    std::ofstream os(name, std::ios::out | std::ios::trunc);
    os << "1 observation. No. of demes and sample sizes are on next line\n" << populations.count;
    for (long p = 0; p < populations.count; ++p) {
        Population const* pop = populations.data[p];
        os << "\t" << (pop != nullptr ? pop->SampleSize : 0.0);
    }
    os << "\n";
    os.setf(std::ios::fixed, std::ios::floatfield);
    for (std::size_t c = 0; c < cells.size(); ++c) {
        double const v = cells[c];
        os.precision(halves && v != std::floor(v) ? 1 : 0);
        os << (c == 0 ? "" : "\t") << v;
    }
    os << "\n";
}

void write_multi(std::string const& prefix, SpectrumSites const& s, std::vector<int> const& index, MultiSpectra& m,
                 MY_TIArrayAsVector<Population> const& populations) {
    std::fill(m.dsfs.begin(), m.dsfs.end(), 0.0);
    std::fill(m.msfs.begin(), m.msfs.end(), 0.0);
    for (int i : index) {
        SiteClass const c = s.sites[static_cast<std::size_t>(i)];
        if (!c.dropped) add_multi(m.dsfs, m.msfs, m.layout.strides, m.full, s.derived_of(i), c);
    }
    write_multi_file(prefix + "_DSFS.obs", m.dsfs, populations, false);
    write_multi_file(prefix + "_MSFS.obs", m.msfs, populations, true);
}

// The multi-sample spectra of these samples, or false when their cells
// cannot be counted in a signed 32-bit integer or would take more than
// 1 GiB (an ERROR: the other spectra go on). A failed allocation ends the
// run.
bool prepare_multi(SpectrumSites const& s, MultiSpectra& m) {
    m.layout = multi_layout(s.sizes);
    // Two doubles a cell.
    constexpr std::int64_t kMaxCells = std::int64_t{1} << 26;
    if (!m.layout.fits || m.layout.cells > kMaxCells) {
        E.error(ERROR, kMultiFunction, Msg::m0_not_enough_memory);
        return false;
    }
    m.full = multi_cell(m.layout.strides, s.sizes);
    try {
        m.dsfs.assign(static_cast<std::size_t>(m.layout.cells), 0.0);
        m.msfs.assign(static_cast<std::size_t>(m.layout.cells), 0.0);
    } catch (std::bad_alloc const&) {
        m.dsfs = {};
        m.msfs = {};
        E.error(MEMORY, kMultiFunction, Msg::m0_not_enough_memory);
    }
    return true;
}

}  // namespace

void Samples::computeAndOutputSFS(settings& s) {
    settings::message = "Computing SFS...";
    settings::print_message();
    if (s.NumBootSFS >= 0) {
        my_string folderText = s.ResultFileName;
        folderText.extract_path();
        std::string const folder = folderText.c_str();
        my_string baseText = settings::input_file;
        baseText.rm_path();
        baseText.remove_extension();
        std::string const base = baseText.c_str();

        SpectrumSites const sites = classify_all(Populations, *this, s.project_allele_db);
        long const L = static_cast<long>(sites.sites.size());
        long const S = s.ComputeJointSFS != 0 ? polymorphic_loci(MissingData, RecessiveAllele) : 0;
        MultiSpectra multi;
        bool const withMulti = s.ComputeMultiSFS != 0 && prepare_multi(sites, multi);

        std::vector<int> index(static_cast<std::size_t>(L));
        std::iota(index.begin(), index.end(), 0);
        std::string bootFolder;
        for (int r = 0; r <= s.NumBootSFS; ++r) {
            std::string replicateFolder;
            if (r >= 1) {
                if (r == 1) {
                    bootFolder = "bootSFS/";
                    MY_CreateDirectory((folder + bootFolder).c_str());
                }
                bootstrapLoci(index.data(), static_cast<int>(L));
                replicateFolder = base + "_" + std::to_string(r - 1) + "/";
                MY_CreateDirectory((folder + bootFolder + replicateFolder).c_str());
            }
            std::string const prefix = folder + bootFolder + replicateFolder + base;
            if (s.ComputePopSFS != 0)
                for (long p = 0; p < sites.P; ++p) write_single(prefix, sites, index, p);
            if (s.ComputeJointSFS != 0) {
                write_polymorphic_count(folder + base + "_numPolymSites.obs", L, S);
                for (long p = 1; p < sites.P; ++p)
                    for (long q = 0; q < p; ++q) write_joint(prefix, sites, index, p, q);
            }
            if (withMulti) write_multi(prefix, sites, index, multi, Populations);
        }
    }
    settings::message = "Finished computing SFS...";
    settings::print_message();
}

}  // namespace quintle
