// The phenotype road of the AMOVA engine: a vector of the individuals'
// unphased phenotypes, shuffled within groups or over all samples, and the
// re-estimation of the samples' haplotypes (by EM) and of the distances
// between them from the phenotypes, for standard data. No design takes this
// road; it permutes individuals whose phase is unknown as wholes and lets
// the haplotypes be estimated again after each arrangement.

#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <ostream>
#include <utility>

#include "amova/Amova.h"
#include "amova/permutations.h"
#include "core/Errors.h"
#include "core/RectMat.h"
#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "data/TPhenotype.h"
#include "datatypes/population_factory.h"
#include "popstats/PopGenetics.h"
#include "project/DistMat.h"
#include "project/Samples.h"
#include "run/settings.h"
#include "run/task_bits.h"

namespace quintle {

namespace {

constexpr char const* kEmName = "Amova::Calc_new_EM_haplo()";

// The settings the EM and distance runs change, back on every way out.
class EmSettingsScope {
public:
    explicit EmSettingsScope(settings& s)
        : s_(s),
          tasks_(s.TaskNumber),
          initial_(s.InitialConditionsEM),
          bootstrap_(s.NumBootstrapReplicatesEM),
          sub_(s.ComputeAllSubHaplotypesEM),
          recessive_(s.RecessiveAllelesEM) {}
    ~EmSettingsScope() {
        s_.TaskNumber = tasks_;
        s_.InitialConditionsEM = initial_;
        s_.NumBootstrapReplicatesEM = bootstrap_;
        s_.ComputeAllSubHaplotypesEM = sub_;
        s_.RecessiveAllelesEM = recessive_;
    }
    // Haplotype frequencies by EM: five starts, no bootstrap, no
    // sub-haplotypes, recessive alleles allowed.
    void em() {
        s_.TaskNumber = task_haplotype_frequencies;
        s_.InitialConditionsEM = 5;
        s_.NumBootstrapReplicatesEM = 0;
        s_.ComputeAllSubHaplotypesEM = 0;
        s_.RecessiveAllelesEM = 1;
    }
    void distances() { s_.TaskNumber = task_pairwise_distances; }
    EmSettingsScope(EmSettingsScope const&) = delete;
    EmSettingsScope& operator=(EmSettingsScope const&) = delete;

private:
    settings& s_;
    std::int64_t const tasks_;
    decltype(settings::InitialConditionsEM) const initial_;
    decltype(settings::NumBootstrapReplicatesEM) const bootstrap_;
    decltype(settings::ComputeAllSubHaplotypesEM) const sub_;
    decltype(settings::RecessiveAllelesEM) const recessive_;
};

// A temporary standard sample, emptied before it goes.
struct TemporaryStandard {
    std::unique_ptr<PopGenetics> p;
    ~TemporaryStandard() {
        if (p) p->clean();
    }
};

}  // namespace

void Amova::Load_Phen_Vector() {
    phen_vector.clear();
    for (Population* p : pops_by_id) {
        if (p == nullptr) continue;
        long sum = 0;
        for (long i = 0; i < p->phenotypes.size(); ++i) {
            TPhenotype* ph = p->phenotypes[i];
            if (ph == nullptr || !(ph->count > 0)) continue;
            long added = 0;
            do {
                phen_vector.push_back(ph);
                ++added;
            } while (added < ph->count);
            sum += static_cast<long>(ph->count);
        }
        if (std::fabs(static_cast<float>(2 * sum) - p->SampleSize) > 0.5)
            *_AOS_ << "     Amova::Load_Phen_Vector() Population size incompatibility during the load" << "\n"
                   << "            : " << sum << "  ;;;  " << p->SampleSize << std::endl;
    }
}

void Amova::permute_phenotypes(int last, int start, int stop) {
    // Every bound is taken within the vector, whatever the sizes said.
    long const n = static_cast<long>(phen_vector.size());
    if (start < 0 || stop < start) return;
    long const top = last < n - 1 ? last : n - 1;
    for (long i = top; i >= stop; --i) {
        double const u = permutation_draw();
        long const j = start + static_cast<long>(static_cast<double>(i - start) * u);
        std::swap(phen_vector[static_cast<std::size_t>(i)], phen_vector[static_cast<std::size_t>(j)]);
    }
}

void Amova::PPAPWG() {
    int start = 0;
    for (std::size_t g = 0; g < group_pops.size() && g < group_size.size(); ++g) {
        if (group_pops[g].empty()) continue;
        double const first = group_pops[g][0]->SampleSize;
        int const last = start + static_cast<int>(group_size[g] * 0.5) - 1;
        int const stop = static_cast<int>(start + first * 0.5);
        permute_phenotypes(last, start, stop);
        start += static_cast<int>(group_size[g] * 0.5);
    }
}

void Amova::PPAPAG() {
    if (pops_by_id.empty()) return;
    permute_phenotypes(static_cast<int>(total_size * 0.5 - 1.0), 0, static_cast<int>(0.5 * pops_by_id[0]->SampleSize));
}

void Amova::Calc_new_EM_haplo() {
    if (data_type() != STANDARD || haplo_db == nullptr || dist_mat == nullptr) return;
    quintle::settings& s = *settings;
    EmSettingsScope scope(s);
    ProfileSettings const* profile = samples;

    for (Population* p : pops_by_id)
        if (p != nullptr) p->haplotypes.Flush();
    haplo_db->reset();

    try {
        for (Population* p : pops_by_id) {
            if (p == nullptr) continue;
            TemporaryStandard temp{make_sample(STANDARD)};
            PopGenetics& t = *temp.p;
            t.name = p->name;
            t.alleleDB = allele_db;
            if (profile != nullptr) t.profile = *profile;
            t.locusSeparator = samples != nullptr ? samples->locusSeparator : '\0';
            for (long i = 0; i < p->phenotypes.size(); ++i) {
                TPhenotype const* ph = p->phenotypes[i];
                if (ph == nullptr) continue;
                auto copy = std::make_unique<TPhenotype>();
                copy->alleleString1 = ph->alleleString1;
                copy->alleleString2 = ph->alleleString2;
                copy->count = ph->count;
                t.phenotypes.add(copy.release());
            }
            t.SampleSize = p->SampleSize;
            t.build_allele_vectors(t.locusSeparator);
            scope.em();
            t.test_methods(s);
            t.h_pop_db_to_gam(haplo_db, &p->haplotypes);
            p->SampleSize = t.SampleSize;
        }
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, kEmName, Msg::m0_not_enough_memory);
        return;
    }
    // The new definitions' rows are their places in the list, as in the
    // matrix computed from it below.
    long const n = haplo_db->haplotypes.count;
    for (long i = 0; i < n; ++i)
        if (HaploDef* h = haplo_db->haplotypes.data[i]) h->matrixIndex = static_cast<int>(i);

    TemporaryStandard temp;
    try {
        temp.p = make_sample(STANDARD);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, kEmName, Msg::m0_not_enough_memory);
        return;
    }
    PopGenetics& t = *temp.p;
    t.alleleDB = allele_db;
    if (profile != nullptr) t.profile = *profile;
    t.haplotype_transf(*haplo_db);
    scope.distances();
    t.test_methods(s);
    RectMat const* computed = t.distMat.get();
    bool const usable = computed != nullptr && (computed->constantMode != 0 ||
                                                (computed->has_storage() && computed->nRows >= n && computed->nCols >= n));
    if (!usable) {
        E.error(ERROR, kEmName, Msg::m136_dist_mat_not_computed);
        return;
    }
    int const size = static_cast<int>(n);
    dist_mat->constantMode = 0;
    dist_mat->create(size);
    dist_mat->MatrixSize = size;
    dist_mat->Labels.reset();  // those of the old rows name nothing now
    for (int i = 1; i < size; ++i)
        for (int j = 0; j < i; ++j) (*dist_mat)(i, j) = (*computed)(i, j);
    for (Population* p : pops_by_id)
        if (p != nullptr) p->CreatePermutationVectors(size);
}

}  // namespace quintle
