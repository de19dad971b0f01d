// Simulated samples for the scan for loci under selection: one locus of an
// island-model genealogy turned into an ordinary sample set that the rest of
// the engine analyses like observed data; the accumulation of simulated
// loci into multi-locus data sets for export; and the size-weighted mean
// heterozygosity of each locus over the samples of a structure, which the
// scan uses as a locus's heterozygosity.

#include <ostream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "data/Population.h"
#include "data/TAllele.h"
#include "data/TAlleleDB.h"
#include "data/TLocus.h"
#include "data/TPhenDB.h"
#include "data/TPhenotype.h"
#include "data/TPopHaplotype.h"
#include "datatypes/population_factory.h"
#include "popstats/PopGenetics.h"
#include "popstats/TNode.h"
#include "popstats/TTree.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"
#include "structure/simulated_locus.h"

namespace quintle {

namespace {

// The data type whose sample class reads a locus of this model.
int data_type_of(Mut_Type model) {
    switch (model) {
        case STEPWISE_MUT: return MICROSAT;
        case TWO_STATE_MUT: return RFLP;
        case DNA_MUT: return DNA;
        default: return STANDARD;
    }
}

int gene_copies(Population const* p) {
    if (p == nullptr || !(p->SampleSize > 0.0)) return 0;
    return static_cast<int>(p->SampleSize);
}

// Entry j of a group, or null when the group's list has none.
Population* member_at(Structure const& st, int q, int j) {
    PopulationGroup const& group = st.Groups[q];
    return j >= 0 && j < group.count ? group.data[j] : nullptr;
}

constexpr int kMaxNewAlleleState = 201;  // states from here on have no one-character text

// The locus text of a leaf and the identifier of its haplotype. False when
// a new-allele state has no one-character text.
bool leaf_text(TNode const& leaf, Mut_Type model, char separator, std::string& text, std::string& id) {
    text.clear();
    id.clear();
    const int sites = leaf.num_sites;
    if (sites < 1 || !leaf.sequence || leaf.sequence->length < sites) return true;
    myVectInt const& seq = *leaf.sequence;
    id = std::to_string(seq[0]);
    switch (model) {
        case TWO_STATE_MUT:
            text.assign(1, seq[sites - 1] == 1 ? '1' : '0');
            return true;
        case DNA_MUT: {
            static constexpr char kBases[] = {'A', 'G', 'C', 'T'};
            const int state = seq[sites - 1];
            text.assign(1, state >= 0 && state <= 3 ? kBases[state] : 'A');
            return true;
        }
        case NEW_ALLELE_MUT:
            if (separator == '\0') {
                for (int s = 0; s < sites; ++s) {
                    const int state = seq[s];
                    if (state >= kMaxNewAlleleState) return false;
                    // Never a backslash (92) nor a question mark (63).
                    char c = static_cast<char>(48 + state);
                    if (state == 44) c = static_cast<char>(36);
                    if (state == 15) c = static_cast<char>(43);
                    text += c;
                }
                id = text.substr(0, 1);
                return true;
            }
            [[fallthrough]];
        default:
            for (int s = 0; s < sites; ++s) {
                text += std::to_string(seq[s] + 200);
                text += ' ';
            }
            return true;
    }
}

// Reads the samples `templates`, in order, from consecutive runs of leaves.
int read_samples(Samples& set, TTree& tree, std::vector<Population const*> const& templates,
                 Samples const& profile, Haplo_DB& list, TAlleleDB* alleles, Mut_Type model, bool diploid) {
    const char separator = profile.locusSeparator;
    Population const blank;
    std::string text;
    std::string id;
    int leaf = 0;
    int stopped = 0;
    for (std::size_t i = 0; i < templates.size() && stopped == 0; ++i) {
        Population const* templ = templates[i];
        const int n = gene_copies(templ);
        std::unique_ptr<PopGenetics> sample = make_sample(data_type_of(model), blank);
        // A sample of size 0 has no leaves to look at.
        const bool hasLeaves = n > 0 && leaf + n <= tree.num_genes && tree.allocated();
        const int L = hasLeaves ? tree.nodes[leaf].num_sites : 0;
        if (L > 0) {
            if (diploid) {
                for (int k = 0; k < n; ++k) {
                    tree.nodes[leaf + k].is_distinct = true;
                    tree.nodes[leaf + k].hapl_count = 1;
                }
            } else {
                tree.compute_hapl_freq(leaf, n);
            }
            TPhenotype gametes(my_string("simGen"), 1.0);
            int total = 0;
            for (int k = 0; k < n; ++k) {
                TNode const& node = tree.nodes[leaf + k];
                if (!node.is_distinct) continue;
                if (!leaf_text(node, model, separator, text, id)) {
                    E.error(ERROR, "Samples::readPopDataFromSims sample()", Msg::m210_too_many_mutations);
                    stopped = 1;
                    break;
                }
                if (diploid) {
                    my_string& gamete = k % 2 == 0 ? gametes.alleleString1 : gametes.alleleString2;
                    gamete = text.c_str();
                    if (k % 2 == 1) sample->phenotypes.add(new TPhenotype(gametes));
                } else {
                    my_string const key(id.c_str());
                    HaploDef* def = list.find_by_id(key);
                    if (def == nullptr) {
                        auto made = std::make_unique<HaploDef>(key);
                        made->data = text.c_str();
                        made->count = node.hapl_count;
                        def = made.get();
                        list.haplotypes.Add(made.release());
                    }
                    sample->haplotypes.Add(new PHaploDef{def, node.hapl_count});
                }
                total += node.hapl_count;
            }
            if (stopped != 0) break;
            if (total != n) {
                E.error(ERROR, "Samples::readPopDataFromSims()", Msg::m147_bad_haplotypic_data);
                stopped = 1;
                break;
            }
        }
        sample->name = templ->name;
        sample->SampleSize = n;
        sample->invSampleSize = n != 0 ? 1.0 / n : 0.0;
        sample->nbEntries = diploid ? static_cast<int>(2 * sample->phenotypes.size())
                                    : static_cast<int>(sample->haplotypes.count);
        sample->profile = profile;
        sample->profile.GenotypicData = diploid ? 1 : 0;
        sample->id = static_cast<int>(i);
        sample->alleleDB = alleles;
        set.Populations.Add(sample.release());
        leaf += n;
    }
    static_cast<ProfileSettings&>(set) = profile;
    // The samples are analysed as data of the template's type, whatever
    // class the model made them.
    set.set_data_context(profile.dataType, profile.locusSeparator);
    return stopped == 0 ? 1 : 0;
}

// Points the current structure's members at the same-named samples of the
// set; a member without a namesake keeps its slot.
void match_members(Structure& current, Structure const& templ, Samples const& set) {
    if (!current.Groups || !templ.Groups) return;
    for (int q = 0; q < templ.NbGroups && q < current.NbGroups; ++q) {
        for (int j = 0; j < templ.GroupSizes[q]; ++j) {
            Population const* member = member_at(templ, q, j);
            if (member == nullptr || j >= current.Groups[q].count) continue;
            for (long i = 0; i < set.Populations.count; ++i) {
                Population* p = set.Populations.data[i];
                if (p != nullptr && p->name == member->name) {
                    current.Groups[q].data[j] = p;
                    break;
                }
            }
        }
    }
}

// The allele text of locus l of a haplotype entry and of a gamete.
my_string entry_allele_text(PHaploDef const* entry, long l) {
    if (entry == nullptr || entry->haplotype == nullptr) return {};
    AlleleRow const& row = entry->haplotype->alleles;
    if (l >= 0 && l < row.count && row.data[l] != nullptr) return row.data[l]->name;
    return entry->haplotype->data;
}

my_string gamete_allele_text(TPhenotype const* ph, int which, long l) {
    if (ph == nullptr) return {};
    TPopHaplotype const* h = ph->pseudo_hapl(which);
    if (h != nullptr && l >= 0 && l < h->alleles.count && h->alleles.data[l] != nullptr)
        return h->alleles.data[l]->name;
    return which == 0 ? ph->alleleString1 : ph->alleleString2;
}

// Text and separator: no separator character when there is none (a NUL
// would cut the text).
void append_allele(my_string& gamete, my_string const& text, char separator) {
    gamete += text;
    if (separator != '\0') gamete += separator;
}

}  // namespace

bool simulated_leaf_text(TNode const& leaf, Mut_Type model, char separator, std::string& text, std::string& id) {
    return leaf_text(leaf, model, separator, text, id);
}

// --- mutations ---------------------------------------------------------------

long& Samples::sprinkle_mutations(double const& mu, int const& nSites, Mut_Type const& model,
                                  double const& gammaShape, double const& rate1, double const& rate2,
                                  double const& transitionProb, int const& bounded) {
    MY_TArrayAsVector<long>& hits = TNode::hits;
    if (hits.count == 0 && nSites > 0) {
        if (hits.capacity < nSites) hits.Resize(nSites);
        hits.count = nSites;
    } else if (hits.count != nSites) {
        E.error(WARNING, "Samples::sprinkle_mutations()", Msg::m177_bad_hits_size);
        NbMutations = 0;
        return NbMutations;
    }
    for (long i = 0; i < hits.count; ++i) hits[i] = 0;

    if (gammaShape != 0.0) {
        if (TNode::mut_rates.num_rates > 0) {
            TNode::mut_rates.get_new_rates(nSites, gammaShape, rate1, rate2);
        } else {
            TNode::mut_rates.build(nSites, gammaShape, rate1, rate2);
        }
    }

    NbMutations = 0;
    TNode* root = Tree.root();
    if (root == nullptr || !Tree.allocated()) return NbMutations;
    if (model == TWO_STATE_MUT || model == DNA_MUT) {
        root->count_desc();
        // The candidate list points into the node array: emptied, not deleted.
        TTree::matchingNodes.owns = false;
        TTree::matchingNodes.count = 0;
        TTree::nodeWeights.count = 0;
        const double minFreq = RunSettings != nullptr ? RunSettings->MinDafFreq : 0.0;
        TNode* chosen = Tree.getRootNodeForMutation(0, minFreq);
        if (chosen != nullptr) {
            root->new_Add_SNP_Mutation(0, chosen, 0, 0);
        } else {
            chosen = Tree.getRootNodeForMutation(0, 0.0);
            root->new_Add_SNP_Mutation(0, chosen, 2, 2);
        }
        NbMutations = 1;
        return NbMutations;
    }
    long seed = 1;
    NbMutations = root->add_mutations(mu, &seed, 0, nSites, model, gammaShape, transitionProb, bounded, 0.0);
    return NbMutations;
}

// --- reading the leaves ---------------------------------------------------------

int Samples::readPopDataFromSims(Samples const& templ, Haplo_DB& haplotypeList, TAlleleDB* alleles,
                                 Mut_Type const& model, bool diploid) {
    std::vector<Population const*> order;
    order.reserve(static_cast<std::size_t>(templ.Populations.count));
    for (long i = 0; i < templ.Populations.count; ++i) order.push_back(templ.Populations.data[i]);
    for (Population const* p : order)
        if (p == nullptr) return 0;
    return read_samples(*this, Tree, order, templ, haplotypeList, alleles, model, diploid);
}

int Samples::readPopDataFromSims(Samples const& templ, Structure const& st, Haplo_DB& haplotypeList,
                                 TAlleleDB* alleles, Mut_Type const& model, bool diploid) {
    std::vector<Population const*> order;
    for (int q = 0; st.Groups && q < st.NbGroups; ++q)
        for (int j = 0; j < st.GroupSizes[q]; ++j) {
            Population const* p = member_at(st, q, j);
            if (p == nullptr) return 0;
            order.push_back(p);
        }
    return read_samples(*this, Tree, order, templ, haplotypeList, alleles, model, diploid);
}

// --- one simulated locus --------------------------------------------------------

long simulate_genealogy(Project& project, SimulatedMutations const& m, Samples& templ, Structure const* templStructure,
                        double target1, double target2, int nDemes, int nGroups) {
    Samples& current = *project.samples;
    const bool built = templStructure == nullptr
                           ? current.Tree.build_tree_struct_pop(templ, m.theta, target1, nDemes) != 0
                           : current.Tree.build_tree_struct_pop(templ, *templStructure, m.theta, target1, target2,
                                                                nDemes, nGroups) != 0;
    if (!built) {
        *_AOS_ << "\tProject::simulateSample(): Unable to simulate samples\n";
        if (templStructure != nullptr)
            *_AOS_ << "\tpotentially due to migration rates not within interval ]0..1[\n";
        current.Tree.cleanDemes();
        return -1;
    }
    return current.sprinkle_mutations(m.theta * 0.5, m.nSites, m.model, m.gammaShape, m.rate1, m.rate2,
                                      m.transitionProb, m.bounded);
}

int read_simulated_samples(Project& project, Samples const& templ, Structure& templStructure, Mut_Type model,
                           bool diploid, bool byStructure) {
    Samples& current = *project.samples;
    const int read = byStructure
                         ? current.readPopDataFromSims(templ, templStructure, project.haplotypes, &project.allele_db,
                                                       model, diploid)
                         : current.readPopDataFromSims(templ, project.haplotypes, &project.allele_db, model, diploid);
    current.NbHaplotypes = static_cast<int>(project.haplotypes.haplotypes.count);
    current.Tree.cleanDemes();
    if (project.structure) match_members(*project.structure, templStructure, current);
    return read;
}

int Project::simulateSample(double const& theta, int const& nSites, Mut_Type const& model, double const& gammaShape,
                            double const& rate1, double const& rate2, double const& transitionProb,
                            int const& bounded, double const& targetFST, Samples* templ, Structure* templStructure,
                            int nDemes, bool diploid) {
    if (!samples || templ == nullptr || templStructure == nullptr) return -1;
    const SimulatedMutations m{theta, nSites, model, gammaShape, rate1, rate2, transitionProb, bounded};
    const long mutations = simulate_genealogy(*this, m, *templ, nullptr, targetFST, 0.0, nDemes, 0);
    if (mutations < 0) return -1;
    const int read = read_simulated_samples(*this, *templ, *templStructure, model, diploid, false);
    return read != 0 ? static_cast<int>(mutations) : -1;
}

int Project::simulateSample(double const& theta, int const& nSites, Mut_Type const& model, double const& gammaShape,
                            double const& rate1, double const& rate2, double const& transitionProb,
                            int const& bounded, double const& target1, double const& target2, Samples* templ,
                            Structure* templStructure, int nDemesPerGroup, int nGroups, bool diploid) {
    if (!samples || templ == nullptr || templStructure == nullptr) return -1;
    const SimulatedMutations m{theta, nSites, model, gammaShape, rate1, rate2, transitionProb, bounded};
    const long mutations =
        simulate_genealogy(*this, m, *templ, templStructure, target1, target2, nDemesPerGroup, nGroups);
    if (mutations < 0) return -1;
    const int read = read_simulated_samples(*this, *templ, *templStructure, model, diploid, true);
    return read != 0 ? static_cast<int>(mutations) : -1;
}

// --- simulated data sets of several loci -------------------------------------------

void Samples::addLocus(Samples const& source, int locusIndex, int nLoci, bool diploid) {
    const char separator = source.locusSeparator;
    const bool first = Populations.count == 0 && this != &source;
    if (first) {
        static_cast<ProfileSettings&>(*this) = static_cast<ProfileSettings const&>(source);
        set_data_context(source.dataType, source.locusSeparator);
        for (long i = 0; i < source.Populations.count; ++i) {
            Population const* from = source.Populations.data[i];
            if (from == nullptr) continue;
            auto copy = std::make_unique<Population>(*from);
            // Its entries point into the list of this simulation, which the
            // next one empties: the data live in the gametes from here on.
            copy->haplotypes.Flush();
            copy->geneCopies.Flush();
            // Their alleles live in a database that the next simulation
            // empties too: only the gamete texts stay.
            for (long p = 0; p < copy->phenotypes.size(); ++p) {
                if (TPhenotype* ph = copy->phenotypes[p]) {
                    ph->kill_gen_list();
                    ph->pseudo1.reset();
                    ph->pseudo2.reset();
                }
            }
            Populations.Add(copy.release());
        }
    }
    (void)nLoci;  // texts grow as loci are appended

    for (long i = 0; i < source.Populations.count && i < Populations.count; ++i) {
        Population const* from = source.Populations.data[i];
        Population* to = Populations.data[i];
        if (from == nullptr || to == nullptr) continue;
        if (!diploid) {
            // Gene copies of the haplotypes, in list order, two to an individual.
            long k = 0;
            TPhenotype gametes(my_string("simPhen"), 1.0);
            for (long e = 0; e < from->haplotypes.count; ++e) {
                PHaploDef const* entry = from->haplotypes.data[e];
                if (entry == nullptr) continue;
                my_string const text = entry_allele_text(entry, locusIndex);
                for (int c = 0; c < entry->count; ++c, ++k) {
                    if (first) {
                        my_string& gamete = k % 2 == 0 ? gametes.alleleString1 : gametes.alleleString2;
                        gamete = "";
                        append_allele(gamete, text, separator);
                        if (k % 2 == 1) to->phenotypes.add(new TPhenotype(gametes));
                    } else if (TPhenotype* ph = to->phenotypes[k / 2]) {
                        append_allele(k % 2 == 0 ? ph->alleleString1 : ph->alleleString2, text, separator);
                    }
                }
            }
            if (first && k % 2 == 1) {
                gametes.alleleString2 = "";
                to->phenotypes.add(new TPhenotype(gametes));
            }
        } else if (!first) {
            for (long p = 0; p < from->phenotypes.size() && p < to->phenotypes.size(); ++p) {
                TPhenotype const* ph = from->phenotypes[p];
                TPhenotype* into = to->phenotypes[p];
                append_allele(into->alleleString1, gamete_allele_text(ph, 0, locusIndex), separator);
                append_allele(into->alleleString2, gamete_allele_text(ph, 1, locusIndex), separator);
            }
        }
    }
}

// --- heterozygosity over a structure ------------------------------------------------

void Project::computeMeanHeterozygosityOverSamplesInStructure(Samples const& /*s*/, Structure const& st) {
    std::ostream discard(nullptr);
    const int groups = st.Groups ? st.NbGroups : 0;
    std::vector<PopGenetics*> members;
    std::vector<int> groupOf;
    for (int q = 0; q < groups; ++q) {
        for (int j = 0; j < st.GroupSizes[q]; ++j) {
            auto* p = dynamic_cast<PopGenetics*>(member_at(st, q, j));
            if (p == nullptr) continue;
            members.push_back(p);
            groupOf.push_back(q);
            p->evaluate_polymorphism(options);
            if (GenotypicData != 0) {
                p->OutputAllelelNumberAndHetPerLocusDipl(p->phenotypes, discard, options, false, false, false);
            } else {
                p->OutputAllelelNumberAndHetPerLocusHapl(discard, options, false, false, false);
            }
        }
    }

    for (long l = 0; l < allele_db.loci.count; ++l) {
        TLocus* locus = allele_db.loci.data[l];
        if (locus == nullptr) continue;
        double Sh = 0.0;
        double N = 0.0;
        double Sg = 0.0;
        std::size_t m = 0;
        for (int q = 0; q < groups; ++q) {
            for (long a = 0; a < locus->alleles.count; ++a) {
                TAllele* allele = locus->alleles.data[a];
                if (allele != nullptr && q < allele->groupFreq.size()) allele->groupFreq[q] = 0.0;
            }
            double ng = 0.0;
            for (; m < members.size() && groupOf[m] == q; ++m) {
                PopGenetics const* p = members[m];
                const double ni = p->SampleSize;
                const double hi = l < p->locusExpHet.count ? p->locusExpHet[l] : 0.0;
                N += ni;
                ng += ni;
                Sh += ni * hi;
                for (long a = 0; a < locus->alleles.count; ++a) {
                    TAllele* allele = locus->alleles.data[a];
                    if (allele == nullptr || q >= allele->groupFreq.size()) continue;
                    if (p->id >= 0 && p->id < allele->popFreq.size()) allele->groupFreq[q] += ni * allele->popFreq[p->id];
                }
            }
            if (ng == 0.0) continue;
            double s = 0.0;
            for (long a = 0; a < locus->alleles.count; ++a) {
                TAllele* allele = locus->alleles.data[a];
                if (allele == nullptr || q >= allele->groupFreq.size()) continue;
                allele->groupFreq[q] /= ng;
                s += allele->groupFreq[q] * allele->groupFreq[q];
            }
            // A group of a single gene copy has no diversity to estimate.
            if (ng > 1.0) Sg += (1.0 - s) * (ng / (ng - 1.0)) * ng;
        }
        locus->meanSampleHet = N != 0.0 ? Sh / N : 0.0;
        locus->meanGroupHet = N != 0.0 ? Sg / N : 0.0;
    }
}

void Project::computeAverageGeneDiversityBetweensamples() {}

// --- an AMOVA on its own ---------------------------------------------------------------

double Samples::minimalAMOVA(Haplo_DB& haplotypeList, Project& project) {
    if (!project.structure) return 0.0;
    Project scratch;
    scratch.options = project.options;
    scratch.options.current_haplotypes = &haplotypeList;
    amova_results record;
    scratch.calc_dist_matrix(haplotypeList, project.options.DistanceMethodAMOVA, project.options.GammaAValueAMOVA);
    Haplo_DB* const kept = project.options.current_haplotypes;
    project.options.current_haplotypes = &haplotypeList;
    scratch.AMOVA(scratch.distance_matrix, haplotypeList, *this, *project.structure, project.allele_db, &record);
    project.options.current_haplotypes = kept;
    return record.FST;
}

}  // namespace quintle
