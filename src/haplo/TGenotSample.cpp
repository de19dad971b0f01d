#include "haplo/TGenotSample.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "core/Errors.h"
#include "core/random.h"
#include "data/TAlleleDB.h"
#include "data/TPhenDB.h"
#include "data/TPopHaplotype.h"
#include "run/settings.h"

namespace quintle {

namespace {

bool is_missing(TAllele const* allele, char missing) {
    return allele == nullptr || (allele->name.length() > 0 && allele->name[0] == missing);
}

TAllele const* allele_at(TPopHaplotype const* h, int locus) {
    if (h == nullptr || locus >= h->alleles.count) return nullptr;
    return h->alleles.data[locus];
}

// The block of one focal position: word by word, a's then b's. The three
// never overlap; saying so spares the compiler its overlap tests, which
// cost more than copying a few words.
void interleave(std::uint64_t const* __restrict a, std::uint64_t const* __restrict b, std::uint64_t* __restrict block,
                int words) {
    for (int w = 0; w < words; ++w) {
        block[2 * w] = a[w];
        block[2 * w + 1] = b[w];
    }
}

// Memory the bit planes may take before the counts read the columns
// instead (at least eight times the columns' own size is always allowed).
constexpr double kPlaneBudget = 256.0 * 1024 * 1024;

}  // namespace

TGenotSample::TGenotSample(TPhenDB const& table, TAlleleDB* db, settings& s, char missing, bool microsat)
    : phenotypes(&table), alleleDB(db), options(&s), missingChar(missing) {
    numIndividuals = static_cast<int>(table.size());
    numLoci = table.num_loci();
    numIndividualsRead_ = table.nb_individuals();
    firstIndividualLoci_ = numLoci;
    phasing.microsat = microsat;

    numPolymorphic = constructReferenceHaplotype();
    phasing.numLoci = numPolymorphic;
    if (numIndividuals > 0) {
        current.resize(static_cast<std::size_t>(numIndividuals));
        best.resize(static_cast<std::size_t>(numIndividuals));
        for (TGenotIndividual& g : current) g.allocateLoci(numPolymorphic, microsat);
    }
    names_.resize(static_cast<std::size_t>(numIndividuals));
    int const dbLoci = alleleDB != nullptr ? static_cast<int>(alleleDB->loci.count) : 0;
    for (int i = 0; i < numIndividuals; ++i) {
        TPhenotype const* p = table[i];
        if (p == nullptr) continue;
        names_[static_cast<std::size_t>(i)] = p->name;
        TGenotIndividual& ind = current[static_cast<std::size_t>(i)];
        int k = 0;
        for (int l = 0; l < numLoci && l < dbLoci; ++l) {
            if (!polymorphic[static_cast<std::size_t>(l)]) continue;
            TLocus const* locus = alleleDB->loci.data[l];
            TAllele const* pair[2] = {allele_at(p->pseudo1.get(), l), allele_at(p->pseudo2.get(), l)};
            TGamete* gametes[2] = {&ind.gamete1, &ind.gamete2};
            for (int which = 0; which < 2; ++which) {
                TAllele const* allele = pair[which];
                bool const missingAllele = is_missing(allele, missingChar);
                int const code = missingAllele || locus == nullptr ? missingCode : locus->get_allele_index(allele);
                gametes[which]->alleles[static_cast<std::size_t>(k)] = code;
                // A missing allele has no size: it must not compare as one.
                if (phasing.microsat)
                    gametes[which]->sizes[static_cast<std::size_t>(k)] =
                        code == missingCode ? missingCode : allele_size(allele->name.c_str());
            }
            ++k;
        }
    }
    anyMissing = false;
    bindColumns();
}

TGenotSample::TGenotSample(TGenotSample const& other) { *this = other; }

TGenotSample& TGenotSample::operator=(TGenotSample const& other) {
    if (this == &other) return *this;
    phenotypes = other.phenotypes;
    alleleDB = other.alleleDB;
    options = other.options;
    referenceAlleles = other.referenceAlleles;
    int const dbLoci = static_cast<int>(other.referenceAlleles.size());
    polymorphic.reset();
    if (other.polymorphic) {
        polymorphic = std::make_unique<bool[]>(static_cast<std::size_t>(dbLoci));
        std::copy(other.polymorphic.get(), other.polymorphic.get() + dbLoci, polymorphic.get());
    }
    numPolymorphic = other.numPolymorphic;
    numLoci = other.numLoci;
    current = other.current;
    best = other.best;
    numIndividuals = other.numIndividuals;
    counts = other.counts;
    sumPosteriorAlpha = other.sumPosteriorAlpha;
    numAmbiguous = other.numAmbiguous;
    estimatedHaplotypes = other.estimatedHaplotypes;
    missingChar = other.missingChar;
    missingCode = other.missingCode;
    anyMissing = other.anyMissing;
    phasing = other.phasing;
    updates = other.updates;
    names_ = other.names_;
    numIndividualsRead_ = other.numIndividualsRead_;
    firstIndividualLoci_ = other.firstIndividualLoci_;
    bindColumns();
    return *this;
}

TGenotSample::~TGenotSample() = default;

void TGenotSample::releasePhenotypes() { phenotypes = nullptr; }

int TGenotSample::constructReferenceHaplotype() {
    int const dbLoci = alleleDB != nullptr ? static_cast<int>(alleleDB->loci.count) : 0;
    try {
        // Flags and reference alleles exist for every locus, also when none
        // is polymorphic, so that writing a gamete never meets a gap.
        referenceAlleles.assign(static_cast<std::size_t>(dbLoci), nullptr);
        polymorphic = std::make_unique<bool[]>(static_cast<std::size_t>(dbLoci));
    } catch (std::bad_alloc const&) {
        referenceAlleles.clear();
        polymorphic.reset();
        E.error(MEMORY, "TGenotSample::constructReferenceHaplotype()", Msg::m0_not_enough_memory);
        return 0;
    }
    int count = 0;
    for (int l = 0; l < dbLoci; ++l) {
        TLocus const* locus = alleleDB->loci.data[l];
        if (locus == nullptr) continue;
        int known = 0;
        for (long p = 0; p < locus->alleles.count; ++p) {
            TAllele* allele = locus->alleles.data[p];
            if (allele == nullptr || is_missing(allele, missingChar)) continue;
            ++known;
            // Position 0 holds the recessive blank; the first real allele
            // from position 1 on stands for a monomorphic locus. The first
            // individual read may be missing there: that allele is skipped.
            if (p >= 1 && referenceAlleles[static_cast<std::size_t>(l)] == nullptr)
                referenceAlleles[static_cast<std::size_t>(l)] = allele;
        }
        // The blank counts as one of the alleles: three make two real ones.
        if (known >= 3) {
            polymorphic[static_cast<std::size_t>(l)] = true;
            ++count;
        }
    }
    return count;
}

void TGenotSample::bindColumns() {
    int const L = std::max(numPolymorphic, 0);
    int const rows = 2 * numIndividuals;
    bool const complete = std::all_of(current.begin(), current.end(), [L](TGenotIndividual const& g) {
        return g.gamete1.alleles.size() == static_cast<std::size_t>(L) &&
               g.gamete2.alleles.size() == static_cast<std::size_t>(L);
    });
    words_ = (rows + 63) / 64;
    columns_.assign(complete ? static_cast<std::size_t>(L) * static_cast<std::size_t>(rows) : 0, -1);
    planeBase_.assign(static_cast<std::size_t>(L), 0);
    long planes = 0;
    std::vector<int> seen;
    for (int l = 0; complete && l < L; ++l) {
        // Number the codes of the locus in order of appearance.
        seen.clear();
        int* col = columns_.data() + static_cast<long>(l) * rows;
        for (int r = 0; r < rows; ++r) {
            TGenotIndividual const& g = current[static_cast<std::size_t>(r / 2)];
            int const code = (r % 2 == 0 ? g.compared1() : g.compared2())[l];
            if (code == -1) continue;
            auto const at = std::find(seen.begin(), seen.end(), code);
            col[r] = static_cast<int>(at - seen.begin());
            if (at == seen.end()) seen.push_back(code);
        }
        planeBase_[static_cast<std::size_t>(l)] = planes;
        planes += static_cast<long>(seen.size()) + 1;
    }
    // Loci of many distinct codes in a large sample would make the planes
    // outgrow the data themselves; the columns then serve the plain counts.
    double const planeBytes = static_cast<double>(planes) * words_ * sizeof(std::uint64_t);
    usePlanes_ = planeBytes <= std::max(kPlaneBudget, 8.0 * sizeof(int) * static_cast<double>(columns_.size()));
    if (!usePlanes_) planes = 0;
    planes_.assign(static_cast<std::size_t>(planes) * static_cast<std::size_t>(words_), 0);
    for (int l = 0; complete && usePlanes_ && l < L; ++l) {
        int const* col = columns_.data() + static_cast<long>(l) * rows;
        for (int r = 0; r < rows; ++r) plane(l, col[r])[r / 64] |= std::uint64_t{1} << (r % 64);
    }
    for (int i = 0; complete && i < numIndividuals; ++i) current[static_cast<std::size_t>(i)].bindSample(this, i);
    coreLoci_.assign(static_cast<std::size_t>(L), 0);
    coreA_.assign(static_cast<std::size_t>(L), 0);
    coreB_.assign(static_cast<std::size_t>(L), 0);
    focalEq_.assign(usePlanes_ ? static_cast<std::size_t>(L) * 2 * static_cast<std::size_t>(words_) : 0, 0);
    // Every gamete; prepareFocal takes out the focal individual's two.
    valid_.assign(static_cast<std::size_t>(words_), ~std::uint64_t{0});
    if (rows % 64 != 0) valid_.back() = (std::uint64_t{1} << (rows % 64)) - 1;
    validFocal_ = -1;
    ones_.assign(2 * static_cast<std::size_t>(words_), ~std::uint64_t{0});
    focalAtL_.assign(2 * static_cast<std::size_t>(words_), 0);
    visit_.assign(static_cast<std::size_t>(vosk::visit_entries(words_)), vosk::VisitWord{});
    focalView_ = vosk::FocalPlanes{focalEq_.data(), ones_.data(), valid_.data(), words_};
    focal_ = -1;
}

namespace {

// The blocks of every local position of individual f (see prepareFocal),
// for W words of gametes (0: any number, `words`).
template <int W>
void interleave_focal(int const* local, int count, int const* columns, long rows, int f, std::uint64_t const* planes,
                      long const* planeBase, int words, std::uint64_t* eq) {
    int const n = W > 0 ? W : words;
    for (int p = 0; p < count; ++p) {
        int const locus = local[p];
        int const* at = columns + locus * rows + 2 * f;
        long const base = planeBase[locus] + 1;
        interleave(planes + (base + at[0]) * n, planes + (base + at[1]) * n, eq + 2L * n * p, n);
    }
}

}  // namespace

void TGenotSample::prepareFocal(int f) {
    if (!usePlanes_) return;
    TGenotIndividual const& F = current[static_cast<std::size_t>(f)];
    long const rows = 2L * numIndividuals;
    // Samples of up to 64 individuals get loops of known length.
    auto const fill = words_ == 1   ? interleave_focal<1>
                      : words_ == 2 ? interleave_focal<2>
                                    : interleave_focal<0>;
    fill(F.localList.data(), F.localCount, columns_.data(), rows, f, planes_.data(), planeBase_.data(), words_,
         focalEq_.data());
    // Every gamete but the focal individual's two: the last focal
    // individual's pair back in, this one's out.
    auto const pair_bits = [](int i) { return std::uint64_t{3} << (2 * i % 64); };
    if (validFocal_ >= 0) valid_[static_cast<std::size_t>(validFocal_ / 32)] |= pair_bits(validFocal_);
    valid_[static_cast<std::size_t>(f / 32)] &= ~pair_bits(f);
    validFocal_ = f;
    focal_ = f;
}

void TGenotSample::mirrorExchange(int i, int k) {
    int const rows = 2 * numIndividuals;
    int const r = 2 * i;
    int* at = columns_.data() + static_cast<long>(k) * rows + r;
    int const u = at[0];
    int const v = at[1];
    if (u == v) return;
    at[0] = v;
    at[1] = u;
    if (!usePlanes_) return;
    // Both rows sit in one word (r is even); each code's plane trades its
    // two bits.
    std::uint64_t const both = std::uint64_t{3} << (r % 64);
    plane(k, u)[r / 64] ^= both;
    plane(k, v)[r / 64] ^= both;
    if (i != focal_) {
        focal_ = -1;  // the copies of the focal planes may hold the old bits
        return;
    }
    // The focal gametes trade their codes: the two lanes of each word of
    // the copy trade places.
    // The local list is in locus order.
    TGenotIndividual const& F = current[static_cast<std::size_t>(i)];
    int const* local = F.localList.data();
    int const p = static_cast<int>(std::lower_bound(local, local + F.localCount, k) - local);
    if (p == F.localCount || local[p] != k) return;
    auto const words = static_cast<std::size_t>(words_);
    std::uint64_t* block = focalEq_.data() + 2 * words * static_cast<std::size_t>(p);
    for (std::size_t w = 0; w < words; ++w) std::swap(block[2 * w], block[2 * w + 1]);
}

// ---------------------------------------------------------------------------
// Counting

void TGenotSample::countWindows(int f, int L, WindowRequest const* windows, int n, vosk::SubHaplCounts* out) {
    // Positions every window holds (the core) and those only some hold.
    int inLo = windows[0].start;
    int inHi = windows[0].start + windows[0].length - 1;
    int outLo = inLo;
    int outHi = inHi;
    for (int k = 1; k < n; ++k) {
        inLo = std::max(inLo, windows[k].start);
        inHi = std::min(inHi, windows[k].start + windows[k].length - 1);
        outLo = std::min(outLo, windows[k].start);
        outHi = std::max(outHi, windows[k].start + windows[k].length - 1);
    }
    // Every window holds L, so the core [inLo, inHi] does, and the extras
    // are the positions left and right of it.
    int const leftCount = inLo - outLo;
    int const extras = leftCount + (outHi - inHi);
    if (extras > vosk::WindowSet::maxExtras) {
        // One by one, each with its own core.
        for (int k = 0; k < n; ++k) countWindows(f, L, windows + k, 1, out + k);
        return;
    }
    vosk::WindowSet set;
    set.coreLo = inLo;
    set.coreHi = inHi;
    set.extraCount = extras;
    for (int e = 0; e < extras; ++e) set.extraPos[e] = e < leftCount ? outLo + e : inHi + 1 + (e - leftCount);
    set.numWindows = n;
    for (int k = 0; k < n; ++k) {
        // Those of the left run from the window's start on, those of the
        // right run up to its end.
        int const start = windows[k].start;
        int const end = start + windows[k].length - 1;
        unsigned const left = ((1u << leftCount) - 1) & ~((1u << (start - outLo)) - 1);
        unsigned const right = ((1u << (end - inHi)) - 1) << leftCount;
        set.mask[k] = left | right;
        set.length[k] = windows[k].length;
    }
    if (anyMissing || !usePlanes_) {
        setLoci(f, L, set);
        countColumns(f, L, set, out);
        return;
    }
    vosk::count_plain(focalPlanes(f), L, set, out);
}

void TGenotSample::setLoci(int f, int L, vosk::WindowSet& set) {
    int const* local = current[static_cast<std::size_t>(f)].localList.data();
    int const rows = 2 * numIndividuals;
    // The focal individual's codes at a locus, as numbered in the columns.
    auto code = [&](int locus, int which) { return columns_[static_cast<std::size_t>(locus) * rows + 2 * f + which]; };
    for (int e = 0; e < set.extraCount; ++e) {
        int const locus = local[set.extraPos[e]];
        set.extraLoci[e] = locus;
        set.extraA[e] = code(locus, 0);
        set.extraB[e] = code(locus, 1);
    }
    set.coreCount = 0;
    for (int p = set.coreLo; p <= set.coreHi; ++p) {
        if (p == L) continue;
        int const locus = local[p];
        auto const t = static_cast<std::size_t>(set.coreCount++);
        coreLoci_[t] = locus;
        coreA_[t] = code(locus, 0);
        coreB_[t] = code(locus, 1);
    }
    set.coreLoci = coreLoci_.data();
    set.coreA = coreA_.data();
    set.coreB = coreB_.data();
}

void TGenotSample::countColumns(int f, int L, vosk::WindowSet const& set, vosk::SubHaplCounts* out) {
    int const rows = 2 * numIndividuals;
    int const G = current[static_cast<std::size_t>(f)].localList[static_cast<std::size_t>(L)];
    int const* at = columns_.data() + static_cast<std::size_t>(G) * rows + 2 * f;
    vosk::Focal const focal{G, at[0], at[1]};
    vosk::GameteColumns const cols{columns_.data(), rows, rows, 2 * f};
    std::vector<double> const& weights = phasing.siteWeight;
    if (anyMissing)
        vosk::count_missing(cols, focal, set, weights.empty() ? nullptr : weights.data(), out);
    else
        vosk::count_plain_columns(cols, focal, set, out);
}

void TGenotSample::countVisitColumns(int f, vosk::VisitWindows const& v, vosk::SubHaplCounts& base,
                                     vosk::SubHaplCounts& extended) {
    // Both at once as a set: base and base with x.
    int const length = v.e - v.s + 1;
    WindowRequest const windows[2] = {{v.s, length}, {std::min(v.s, v.x), length + 1}};
    vosk::SubHaplCounts out[2];
    countWindows(f, v.L, windows, v.x >= 0 ? 2 : 1, out);
    base = out[0];
    if (v.x >= 0) extended = out[1];
}

void TGenotSample::countWindowColumns(int f, int L, int lo, int hi, vosk::SubHaplCounts& out) {
    WindowRequest const window{lo, hi - lo + 1};
    countWindows(f, L, &window, 1, &out);
}

void TGenotSample::computeSubHaplFreqsNoHetMissData(int const& start, int* localList, int const& f, int const& length,
                                                    int const& L) {
    bool const saved = anyMissing;
    anyMissing = true;
    WindowRequest const w{start, length};
    (void)localList;  // the focal individual's own list, which countInto reads
    countWindows(f, L, &w, 1, &counts);
    anyMissing = saved;
}

void TGenotSample::computeSubHaplFreqsHetAndHom(int const& start, int* localList, int const& f, int const& length,
                                                int const& L) {
    bool const saved = anyMissing;
    anyMissing = false;
    WindowRequest const w{start, length};
    (void)localList;
    focal_ = -1;  // the local list may have changed since the last count
    countWindows(f, L, &w, 1, &counts);
    anyMissing = saved;
}

void TGenotSample::evaluateWindows(int f, int L, WindowRequest const* windows, int n, Evaluation* out) {
    vosk::SubHaplCounts c[vosk::WindowSet::maxWindows];
    countWindows(f, L, windows, n, c);
    for (int k = 0; k < n; ++k) out[k] = evaluate(phasing, c[k]);
}

TGenotSample::Evaluation TGenotSample::evaluateWindow(int f, int L, int start, int length) {
    WindowRequest const w{start, length};
    Evaluation e;
    evaluateWindows(f, L, &w, 1, &e);
    return e;
}

void TGenotSample::writeSample(std::ostream& os, TAlleleDB& db) {
    for (TGenotIndividual const& g : current) g.writePhase(os, db, numLoci, polymorphic.get(), missingChar);
}

}  // namespace quintle
