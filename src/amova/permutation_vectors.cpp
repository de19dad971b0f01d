// The haplotype index vector of the AMOVA engine and the per-sample vectors
// rebuilt from it after every permutation: a count per haplotype index and
// the sorted list of the indexes present.

#include <algorithm>
#include <cmath>
#include <new>
#include <ostream>
#include <utility>
#include <vector>

#include "amova/Amova.h"
#include "core/Errors.h"
#include "data/Haplo_DB.h"
#include "data/HaploDef.h"
#include "data/Population.h"
#include "project/DistMat.h"

namespace quintle {

void Population::CreatePermutationVectors(int const& n) {
    DeletePermutationVectors();
    int const size = n > 0 ? n : 0;
    try {
        hapl_count.assign(static_cast<std::size_t>(size), 0.0);
        VectorOfExistingHaplotypes.assign(static_cast<std::size_t>(size), 0);
    } catch (std::bad_alloc const&) {
        DeletePermutationVectors();
        E.error(MEMORY, "Population::CreatePermutationVectors()", Msg::m0_not_enough_memory);
        return;
    }
    perm_vector_size = size;
}

void Population::SetUpVectorsAfterPermutation(int const* stretch) {
    double* const count = hapl_count.data();
    int* const present = VectorOfExistingHaplotypes.data();
    std::size_t limit = static_cast<std::size_t>(perm_vector_size > 0 ? perm_vector_size : 0);
    limit = std::min({limit, hapl_count.size(), VectorOfExistingHaplotypes.size()});

    // Only the entries of the previous present list can be nonzero, so
    // clearing them clears the whole count vector.
    for (int i = 0; i < nb_existing; ++i) count[present[i]] = 0.0;
    nb_existing = 0;

    // Copies k = 0, 1, ... while k < SampleSize.
    long const copies = SampleSize > 0.0 ? static_cast<long>(std::ceil(SampleSize)) : 0;
    for (long k = 0; k < copies; ++k) {
        int const h = stretch[k];
        if (h < 0 || static_cast<std::size_t>(h) >= limit) {
            *_AOS_ << "\nAbnormal behaviour for pop:" << name << "\nnb_gene_copies=" << SampleSize
                   << "\nHDB.Nb_haplo=" << perm_vector_size << "\ni=" << k << " H_vect:" << h << std::endl;
            E.error(MEMORY, "Population::SetUpVectorsAfterPermutation", Msg::m1_array_out_of_bounds);
            continue;
        }
        if (count[h] == 0.0) present[nb_existing++] = h;
        count[h] += 1.0;
    }
    std::sort(present, present + nb_existing);
}

void Population::SetUpVectorOfExistingHaplotypes() {
    nb_existing = 0;
    std::size_t const n = std::min(hapl_count.size(), VectorOfExistingHaplotypes.size());
    for (std::size_t h = 0; h < n && static_cast<long>(h) < perm_vector_size; ++h)
        if (hapl_count[h] != 0.0) VectorOfExistingHaplotypes[static_cast<std::size_t>(nb_existing++)] = static_cast<int>(h);
}

void Amova::log_abnormal_index(Population const& p, long copy, int index) const {
    long const haplotypes = haplo_db != nullptr ? haplo_db->haplotypes.count : p.perm_vector_size;
    *_AOS_ << "\nAbnormal behaviour for pop:" << p.name << "\nnb_gene_copies=" << p.SampleSize
           << "\nHDB.Nb_haplo=" << haplotypes << "\ni=" << copy << " H_vect:" << index << std::endl;
}

void Amova::load_HaplotypeIndexVector() {
    // Every list is checked before anything is written: each sample's
    // stretch is cut from its size, so the counts must fill it exactly, and
    // every index must name a row of the distance matrix.
    std::size_t total = 0;
    for (Population* p : pops_by_id) {
        double const size = p->SampleSize;
        if (!(size >= 0.0) || size != std::floor(size)) {
            E.error(ERROR, "Amova::load_HaplotypeIndexVector()", Msg::m2_ill_defined_structure);
            throw AmovaFatalError{};
        }
        long const copies = static_cast<long>(size);
        long written = 0;
        PHaploDefList const& list = *p->currentHaplotypes;
        for (long e = 0; e < list.count; ++e) {
            PHaploDef const* entry = list.data[e];
            if (entry == nullptr || entry->count < 1) continue;
            int const index = entry->haplotype != nullptr ? entry->haplotype->matrixIndex : -1;
            if (index < 0 || index >= p->perm_vector_size) {
                log_abnormal_index(*p, written, index);
                E.error(ERROR, "Amova::load_HaplotypeIndexVector()", Msg::m1_array_out_of_bounds);
                throw AmovaFatalError{};
            }
            written += entry->count;
            if (written > copies) {
                E.error(ERROR, "Amova::load_HaplotypeIndexVector()", Msg::m1_array_out_of_bounds);
                throw AmovaFatalError{};
            }
        }
        if (written != copies) {
            E.error(ERROR, "Amova::load_HaplotypeIndexVector()", Msg::m2_ill_defined_structure);
            throw AmovaFatalError{};
        }
        total += static_cast<std::size_t>(copies);
    }
    if (total > HaplotypeIndexVector.size()) {
        E.error(ERROR, "Amova::load_HaplotypeIndexVector()", Msg::m1_array_out_of_bounds);
        throw AmovaFatalError{};
    }

    std::fill(HaplotypeIndexVector.begin(), HaplotypeIndexVector.end(), 0);
    int* const v = HaplotypeIndexVector.data();
    long pos = 0;
    for (Population* p : pops_by_id) {
        PHaploDefList const& list = *p->currentHaplotypes;
        for (long e = 0; e < list.count; ++e) {
            PHaploDef const* entry = list.data[e];
            if (entry == nullptr || entry->count < 1) continue;
            std::fill(v + pos, v + pos + entry->count, entry->haplotype->matrixIndex);
            pos += entry->count;
        }
    }
    distribute_HaplotypeIndexVector();

    // The permutations only move these indexes around, so the distances
    // between them are all the sums will ever read.
    if (dist_mat != nullptr && pos > 0) {
        int const range = pops_by_id.empty() ? 0 : pops_by_id.front()->perm_vector_size;
        flat_dist.build(*dist_mat, range, v, static_cast<std::size_t>(pos));
    } else {
        flat_dist.clear();
    }
}

void Amova::build_individual_units() {
    individual_units = IndividualUnits{};
    try {
        IndividualUnits u;
        std::vector<int> pairsOf(pops_by_id.size(), 0);
        std::vector<int> lonesOf(pops_by_id.size(), 0);
        static std::vector<int> const none;
        long off = 0;
        for (std::size_t i = 0; i < pops_by_id.size(); ++i) {
            Population const* p = pops_by_id[i];
            long const n = static_cast<long>(p->SampleSize);
            // The marks count entries of the gene-copy list, one copy each.
            std::vector<int> const& marked = p->currentHaplotypes == &p->geneCopies ? p->loneCopies : none;
            auto const alone = [&marked](long k) {
                return std::binary_search(marked.begin(), marked.end(), static_cast<int>(k));
            };
            for (long k = 0; k < n;) {
                if (!alone(k) && k + 1 < n && !alone(k + 1)) {
                    u.pairs.push_back(static_cast<int>(off + k));
                    ++pairsOf[i];
                    k += 2;
                } else {
                    u.lones.push_back(static_cast<int>(off + k));
                    ++lonesOf[i];
                    k += 1;
                }
            }
            off += n;
        }
        // Pairs only: positions 2k, 2k+1 are individual k.
        if (u.lones.empty() || group_pops.empty()) return;

        // The samples stand group by group in the vector, so each group's
        // units form one run of each list.
        int pairs = 0;
        int lones = 0;
        for (std::vector<Population*> const& members : group_pops) {
            IndividualUnits::GroupRuns g;
            g.pairs_begin = pairs;
            g.lones_begin = lones;
            for (std::size_t j = 0; j < members.size(); ++j) {
                std::size_t const id = static_cast<std::size_t>(members[j]->id);
                pairs += pairsOf[id];
                lones += lonesOf[id];
                if (j == 0) {
                    g.pairs_first_end = pairs;
                    g.lones_first_end = lones;
                }
            }
            g.pairs_end = pairs;
            g.lones_end = lones;
            u.groups.push_back(g);
        }
        individual_units = std::move(u);
    } catch (std::bad_alloc const&) {
        individual_units = IndividualUnits{};
        E.error(MEMORY, "Amova::initialize()", Msg::m0_not_enough_memory);
        throw AmovaFatalError{};
    }
}

void Amova::distribute_HaplotypeIndexVector() {
    int const* const v = HaplotypeIndexVector.data();
    long off = 0;
    for (Population* p : pops_by_id) {
        p->SetUpVectorsAfterPermutation(v + off);
        off += static_cast<long>(p->SampleSize);
    }
}

void Amova::distribute_populations() {
    std::size_t base = 0;
    for (std::vector<Population*>& members : group_pops) {
        for (std::size_t j = 0; j < members.size() && base + j < pops_by_id.size(); ++j)
            members[j] = pops_by_id[base + j];
        base += members.size();
    }
}

}  // namespace quintle
