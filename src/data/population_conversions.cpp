// Conversions of a filled sample between its data forms (phenotypes, haplotype
// entries, gene copies), pooling, the allele vectors, the recessive blanks,
// and the checks and summaries derived from a sample.

#include "data/Population.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/Errors.h"
#include "core/TJSOut.h"
#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "data/TAlleleDB.h"
#include "data/TLocus.h"
#include "data/TPhenotype.h"
#include "data/TPopHaplotype.h"
#include "data/haplotype_index.h"
#include "project/DistMat.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"
#include "run/task_bits.h"

namespace quintle {

namespace {

std::string_view view(my_string const& s) { return {s.c_str(), static_cast<std::size_t>(s.length())}; }

// Gives the ids "h<number>" of the definitions a conversion adds. Numbers
// run from one past the list's size at the start; a number whose id is
// already taken (a user may well have called a haplotype "h3") is passed
// over, so that identifiers stay unique within the list.
class NewIdSource {
public:
    NewIdSource(Haplo_DB const& db, long start) : db_(db), next_(start) {}

    my_string take() {
        my_string id = make(next_++);
        while (db_.find_by_id(id) != nullptr) id = make(next_++);
        return id;
    }

private:
    static my_string make(long number) {
        my_string id("h");
        id += std::to_string(number).c_str();
        return id;
    }

    Haplo_DB const& db_;
    long next_;
};

// Lookup of definitions by allele text for the length of one conversion:
// the first definition of each text, as Haplo_DB::find answers, without a
// scan of the whole list per gamete.
class TextLookup {
public:
    explicit TextLookup(Haplo_DB const& db) {
        byText_.reserve(static_cast<std::size_t>(db.haplotypes.count) * 2 + 8);
        for (long i = 0; i < db.haplotypes.count; ++i)
            if (HaploDef* h = db.haplotypes.data[i]) byText_.emplace(std::string(view(h->data)), h);
    }

    HaploDef* find(my_string const& text) const {
        auto it = byText_.find(std::string(view(text)));
        return it == byText_.end() ? nullptr : it->second;
    }

    void added(HaploDef* h) { byText_.emplace(std::string(view(h->data)), h); }

private:
    std::unordered_map<std::string, HaploDef*> byText_;
};

// The entries of a haplotype list by definition: the first entry of each.
class EntryLookup {
public:
    explicit EntryLookup(PHaploDefList const& list) {
        for (long i = 0; i < list.count; ++i)
            if (PHaploDef* e = list.data[i]) byDef_.emplace(e->haplotype, e);
    }

    // Adds n to the entry of h, or appends a new entry {h, n}.
    void add(PHaploDefList& list, HaploDef* h, int n) {
        auto it = byDef_.find(h);
        if (it != byDef_.end()) {
            it->second->count += n;
            return;
        }
        auto* entry = new PHaploDef{h, n};
        list.Add(entry);
        byDef_.emplace(h, entry);
    }

private:
    std::unordered_map<HaploDef const*, PHaploDef*> byDef_;
};

// What the pseudo-haplotype builders need: the allele base and the locus
// separator.
struct PseudoHaplContext {
    TAlleleDB* db;
    char separator;
};

// The allele at position pos of locus l, or null when there is none.
TAllele* allele_at(TAlleleDB const& db, long l, int pos) {
    if (l < 0 || l >= db.loci.count) return nullptr;
    TLocus const* locus = db.loci.data[l];
    if (locus == nullptr || pos < 0 || pos >= locus->alleles.count) return nullptr;
    return locus->alleles.data[pos];
}

// Unseparated loci: one character per locus.
void build_pseudo_hapl0(TPhenotype& p, PseudoHaplContext const& ctx) {
    const double weight = p.relFreq / 2.0;
    for (int which = 0; which < 2; ++which) {
        my_string const& text = which == 0 ? p.alleleString1 : p.alleleString2;
        auto h = std::make_unique<TPopHaplotype>(ctx.separator, text.length());
        for (int j = 0; j < text.length(); ++j) {
            const int pos = ctx.db->InsertAllPos(j, text[j], weight);
            h->alleles.Add(allele_at(*ctx.db, j, pos));
        }
        p.set_pseudo_hapl(h.release(), which);
    }
}

// Separated loci: the k-th non-empty piece is locus k.
void build_pseudo_hapl1(TPhenotype& p, PseudoHaplContext const& ctx) {
    const double weight = p.relFreq / 2.0;
    my_string piece;
    for (int which = 0; which < 2; ++which) {
        my_string const& text = which == 0 ? p.alleleString1 : p.alleleString2;
        // Built where it stays: a copy would hold ten allele slots.
        auto h = std::make_unique<TPopHaplotype>(ctx.separator, static_cast<int>(ctx.db->loci.count));
        int locus = 0;
        int start = 0;
        const int len = text.length();
        for (int i = 0; i <= len; ++i) {
            if (i < len && text[i] != ctx.separator) continue;
            if (i > start) {
                piece = std::string(text.c_str() + start, static_cast<std::size_t>(i - start)).c_str();
                const int pos = ctx.db->InsertAllPos(locus, piece, weight);
                h->alleles.Add(allele_at(*ctx.db, locus, pos));
                ++locus;
            }
            start = i + 1;
        }
        p.set_pseudo_hapl(h.release(), which);
    }
}

// Number of non-empty pieces of text between separators.
int count_pieces(my_string const& text, char separator) {
    int pieces = 0;
    bool inPiece = false;
    for (int i = 0; i < text.length(); ++i) {
        if (text[i] == separator) {
            inPiece = false;
        } else if (!inPiece) {
            inPiece = true;
            ++pieces;
        }
    }
    return pieces;
}

bool locus_holds_alleles(TLocus const* locus) {
    if (locus == nullptr) return false;
    for (long i = 0; i < locus->alleles.count; ++i)
        if (locus->alleles.data[i] != nullptr) return true;
    return false;
}

// Null-safe equality of two pseudo-haplotypes.
bool same_haplotype(TPopHaplotype const* a, TPopHaplotype const* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return *a == *b;
}

}  // namespace

// ------------------------------------------------------------------ rm_mult_delim

void rm_mult_delim(my_string const& source, my_string& target, char delimiter) {
    // Built aside first: source and target may be the same string.
    std::string reduced;
    reduced.reserve(static_cast<std::size_t>(source.length()));
    for (int i = 0; i < source.length(); ++i) {
        const char c = source[i];
        if (delimiter != '\0' && c == delimiter && !reduced.empty() && reduced.back() == delimiter) continue;
        reduced += c;
    }
    target = reduced.c_str();
}

// ------------------------------------------------------------------ phen_to_gam

void Population::phen_to_gam(Haplo_DB* db, ProfileSettings* /*unused*/, settings* s) {
    if (db == nullptr) return;

    haplotypes.Flush();
    haplotypes.Reallocate(static_cast<int>(phenotypes.size() * 2));

    const bool withGeneCopies = s != nullptr && (s->TaskNumber & (task_amova | task_pairwise_fst)) != 0;
    const char separator = locusSeparator;
    if (withGeneCopies && geneCopies.count == 0) {
        // Room for every copy at once: grown a step at a time, the list
        // would be copied once per hundred copies.
        double copies = 0.0;
        for (long p = 0; p < phenotypes.size(); ++p)
            if (TPhenotype const* pheno = phenotypes[p]) copies += 2.0 * std::max(static_cast<int>(pheno->count), 0);
        if (copies > 0.0 && copies < static_cast<double>(INT_MAX)) geneCopies.Reallocate(static_cast<int>(copies));
    }

    NewIdSource ids(*db, db->haplotypes.count + 1);
    TextLookup known(*db);
    EntryLookup entries(haplotypes);
    my_string gamete;

    for (long p = 0; p < phenotypes.size(); ++p) {
        TPhenotype const* pheno = phenotypes[p];
        if (pheno == nullptr) continue;
        const int c = static_cast<int>(pheno->count);

        HaploDef* defs[2] = {nullptr, nullptr};
        for (int which = 0; which < 2; ++which) {
            gamete = which == 0 ? pheno->alleleString1 : pheno->alleleString2;
            if (separator != '\0') rm_mult_delim(gamete, gamete, separator);
            HaploDef* h = known.find(gamete);
            if (h == nullptr) {
                auto made = std::make_unique<HaploDef>(ids.take());
                made->data = gamete;
                made->count = c;
                h = made.get();
                db->haplotypes.Add(made.release());
                known.added(h);
            } else {
                h->count += c;
            }
            defs[which] = h;
        }

        if (withGeneCopies) {
            for (int k = 0; k < c; ++k) {
                geneCopies.Add(new PHaploDef{defs[0], 1});
                geneCopies.Add(new PHaploDef{defs[1], 1});
            }
        }

        entries.add(haplotypes, defs[0], c);
        entries.add(haplotypes, defs[1], c);
    }

    nbEntries = static_cast<int>(haplotypes.count);
    fromPhenotypes = 1;
}

// -------------------------------------------------------------- h_pop_db_to_gam

void Population::h_pop_db_to_gam(Haplo_DB* db, PHaploDefList* target) {
    if (db == nullptr) return;
    PHaploDefList& list = target != nullptr ? *target : haplotypes;

    long running = db->haplotypes.count + 1;  // distance-matrix index of the next new definition
    NewIdSource ids(*db, running);
    TextLookup known(*db);
    EntryLookup entries(list);
    my_string text;

    for (long i = 0; i < haploFreqs.haplotypes.count; ++i) {
        TPopHaplotype const* h = haploFreqs.haplotypes.data[i];
        if (h == nullptr) continue;
        const int n = static_cast<int>(h->frequency * SampleSize + 0.5);
        if (n <= 0) continue;

        text = "";
        const long nLoci = h->alleles.count;
        for (long l = 0; l < nLoci; ++l) {
            if (TAllele const* a = h->alleles.data[l]) text += a->name;
            if (h->separator != '\0' && l + 1 < nLoci) text += h->separator;
        }

        HaploDef* def = known.find(text);
        if (def == nullptr) {
            auto made = std::make_unique<HaploDef>();
            for (long l = 0; l < nLoci; ++l) {
                TAllele* a = h->alleles.data[l];
                if (a == nullptr) {
                    E.error(ERROR, "Population::h_pop_db_to_gam()", Msg::m160_allele_not_in_db);
                    return;
                }
                made->alleles.Add(a);
            }
            made->data = text;
            made->matrixIndex = static_cast<int>(running++);
            made->id = ids.take();
            made->count = n;
            def = made.get();
            db->haplotypes.Add(made.release());
            known.added(def);
        } else {
            def->count += n;
        }
        entries.add(list, def, n);
    }

    nbEntries = static_cast<int>(list.count);
    double total = 0.0;
    for (long i = 0; i < list.count; ++i)
        if (PHaploDef const* e = list.data[i]) total += e->count;
    SampleSize = total;
}

// ------------------------------------------------------------- haplotype_transf

void Population::haplotype_transf(Haplo_DB& db) {
    if (haplotypes.count > 0) {
        haplotypes.Flush();
        E.error(WARNING, "Population::haplotype_transf()", Msg::m156_flushing_haplotype_db);
    }
    for (long i = 0; i < db.haplotypes.count; ++i) {
        HaploDef* h = db.haplotypes.data[i];
        haplotypes.Add(new PHaploDef{h, h != nullptr ? h->count : 0});
    }
    if (haplotypes.count != db.haplotypes.count) E.error(WARNING, "Population::haplotype_transf()",
                                                         Msg::m157_suspicious_haplotype_transfer);
}

// ------------------------------------------------------------------ pooling

Population& Population::operator+=(Population const& other) {
    // Counts taken first: pooling a sample into itself must not visit what
    // it appends.
    const long otherPhenotypes = other.phenotypes.size();
    if (otherPhenotypes == 0) {
        const long otherEntries = other.haplotypes.count;
        for (long j = 0; j < otherEntries; ++j) {
            PHaploDef const* theirs = other.haplotypes.data[j];
            if (theirs == nullptr) continue;
            PHaploDef* match = nullptr;
            for (long i = 0; i < haplotypes.count && match == nullptr; ++i) {
                PHaploDef* mine = haplotypes.data[i];
                if (mine == nullptr) continue;
                // Definitions without alleles (haplotype frequencies) are
                // told apart by identity alone: the same empty content would
                // pool every haplotype into one.
                if (mine->haplotype == theirs->haplotype ||
                    (mine->haplotype != nullptr && theirs->haplotype != nullptr &&
                     mine->haplotype->alleles.count > 0 &&
                     mine->haplotype->hasSameAllelicContent(*theirs->haplotype)))
                    match = mine;
            }
            if (match != nullptr)
                match->count += theirs->count;
            else
                haplotypes.Add(new PHaploDef(*theirs));
        }
        nbEntries = static_cast<int>(haplotypes.count);
    } else {
        for (long j = 0; j < otherPhenotypes; ++j)
            if (TPhenotype const* p = other.phenotypes[j]) phenotypes.add(new TPhenotype(*p));
    }

    SampleSize += other.SampleSize;
    invSampleSize = SampleSize != 0.0 ? 1.0 / SampleSize : 0.0;
    alleleDB = other.alleleDB;
    recessiveAllelesEM = other.recessiveAllelesEM;
    return *this;
}

// --------------------------------------------------------- build_allele_vectors

int Population::build_allele_vectors(char const& separator) {
    phenotypes.convert_freq_to_real();
    if (alleleDB == nullptr) return 1;  // no allele base to enter the alleles into
    const PseudoHaplContext ctx{alleleDB, separator};
    for (long p = 0; p < phenotypes.size(); ++p) {
        TPhenotype* pheno = phenotypes[p];
        if (pheno == nullptr) continue;
        if (separator == '\0')
            build_pseudo_hapl0(*pheno, ctx);
        else
            build_pseudo_hapl1(*pheno, ctx);
    }
    return 1;
}

// -------------------------------------------------------------- make_all_blanks

void Population::make_all_blanks(char const& separator) {
    if (alleleDB == nullptr) return;
    TAlleleDB& db = *alleleDB;
    if (db.blanksInserted) return;
    db.blanksInserted = 1;

    const bool genotypic = profile.GenotypicData != 0;
    if ((genotypic && phenotypes.size() == 0) || (!genotypic && haplotypes.count == 0)) {
        E.error(WARNING, "Population::make_all_blanks()", Msg::m152_phenotype_db_empty);
        return;
    }

    my_string model;
    if (genotypic) {
        if (TPhenotype const* first = phenotypes[0]) model = first->alleleString1;
    } else if (PHaploDef const* first = haplotypes.data[0]; first != nullptr && first->haplotype != nullptr) {
        model = first->haplotype->data;
    }

    my_string const& recessive = profile.RecessiveAllele;

    if (separator == '\0') {
        const int nLoci = model.length();
        bool allelesHandedOut = false;
        for (long l = 0; l < db.loci.count && !allelesHandedOut; ++l)
            allelesHandedOut = locus_holds_alleles(db.loci.data[l]);

        if (!allelesHandedOut) {
            // Nothing points into the loci yet: start them afresh so that
            // the blank is allele 0 of each.
            db.loci.Flush();
            db.loci.Reallocate(nLoci);
            for (int l = 0; l < nLoci; ++l) {
                if (db.InsertAllPos(l, recessive, 0.0) != 0) {
                    E.error(ERROR, "Population::make_all_blanks()", Msg::m153_recessive_allele_misplaced);
                    return;
                }
            }
            return;
        }
        // Alleles of these loci are already referenced by haplotypes: deleting
        // them would leave those pointers dangling, so the loci stay and a
        // blank that cannot stand first is reported, locus by locus.
        for (int l = 0; l < nLoci; ++l)
            if (db.InsertAllPos(l, recessive, 0.0) != 0) E.error(ERROR, "Population::make_all_blanks()",
                                                                 Msg::m153_recessive_allele_misplaced);
        return;
    }

    int locus = 0;
    int start = 0;
    const int len = model.length();
    for (int i = 0; i <= len; ++i) {
        if (i < len && model[i] != separator) continue;
        if (i > start) {
            if (db.InsertAllPos(locus, recessive, 0.0) != 0) E.error(ERROR, "Population::make_all_blanks()",
                                                                     Msg::m153_recessive_allele_misplaced);
            ++locus;
        }
        start = i + 1;
    }
}

// ------------------------------------------------------- check_phaplodef_redond

int Population::check_phaplodef_redond() {
    std::unordered_map<HaploDef const*, PHaploDef*> first;
    long kept = 0;
    for (long i = 0; i < haplotypes.count; ++i) {
        PHaploDef* entry = haplotypes.data[i];
        if (entry == nullptr) continue;
        auto [it, isNew] = first.emplace(entry->haplotype, entry);
        if (isNew) {
            haplotypes.data[kept++] = entry;
        } else {
            it->second->count += entry->count;
            delete entry;
        }
    }
    for (long i = kept; i < haplotypes.count; ++i) haplotypes.data[i] = nullptr;
    haplotypes.count = kept;
    return 1;
}

// --------------------------------------------------------- print_out_redondant

int Population::print_out_redondant(Population* other, std::fstream* out, DistMat const& d) {
    if (other == nullptr || out == nullptr) return 1;
    // A definition without a row of the matrix has no distance to anything;
    // reading one would answer a stand-in value, not a distance.
    auto row = [&d](PHaploDef const* e) -> int {
        if (e == nullptr || e->haplotype == nullptr) return -1;
        const int idx = e->haplotype->matrixIndex;
        if (idx < 0 || (!d.constantMode && idx >= d.dim)) return -1;
        return idx;
    };

    const bool self = other == this;
    bool headed = false;
    for (long i = 0; i < haplotypes.count; ++i) {
        const int ri = row(haplotypes.data[i]);
        if (ri < 0) continue;
        for (long j = self ? i + 1 : 0; j < other->haplotypes.count; ++j) {
            const int rj = row(other->haplotypes.data[j]);
            if (rj < 0 || d(ri, rj) != 0.0) continue;
            if (!headed) {
                *out << "\n   Haplotypes shared between \"" << name << "\" and \"" << other->name << "\":\n"
                     << "\n";
                headed = true;
            }
            *out << "\t\t" << haplotypes.data[i]->haplotype->id << " = " << other->haplotypes.data[j]->haplotype->id
                 << "\n";
        }
    }
    return 1;
}

// ------------------------------------------------------------ evaluate_nb_loci

int Population::evaluate_nb_loci() {
    if (profile.GenotypicData == 0) {
        if (haplotypes.count == 0) return 0;
        PHaploDef const* first = haplotypes.data[0];
        if (first == nullptr || first->haplotype == nullptr) return 0;
        return static_cast<int>(first->haplotype->alleles.count);
    }
    TPhenotype const* first = phenotypes[0];
    if (first == nullptr) return 0;
    if (locusSeparator == '\0') return first->alleleString1.length();
    return count_pieces(first->alleleString1, locusSeparator);
}

// -------------------------------------------------------------- evaluate_work

void Population::evaluate_work(settings* s) {
    if (s == nullptr) return;
    recessiveAllelesEM = s->RecessiveAllelesEM;

    const std::int64_t L = evaluate_nb_loci();
    const std::int64_t task = s->TaskNumber;
    const bool unphased = profile.GenotypicData != 0 && profile.GameticPhase == 0;
    constexpr double e = 2.718281828459045;
    constexpr double e2 = 7.38905609893065;

    double W = 0.0;

    if ((task & task_haplotype_frequencies) && unphased) {
        const std::int64_t ic = s->InitialConditionsEM;
        if (s->ComputeAllHaplotypesEM) {
            if (s->EMUseZipper == 1) {
                // A window of size 0 has no zipper steps to count.
                const std::int64_t windows = s->EMWinSize != 0 ? L / s->EMWinSize : 0;
                if (s->EMLociRandOrder == 0)
                    W += static_cast<double>(windows * ic * 100);
                else
                    W += static_cast<double>(windows * s->EMNumZipRandOrders * ic * 100);
            } else if (s->EMUseZipper == 0) {
                W += static_cast<double>(ic * 100);
            }
        }
        if (s->GibbsInferGamPhase)
            W += static_cast<double>(s->GibbsBurnIn / 5 + static_cast<std::int64_t>(s->GibbsNumSamples) * 30);
        const std::int64_t nicb = s->NumInitCondBootstrapEM;
        const std::int64_t nbr = s->NumBootstrapReplicatesEM;
        W += static_cast<double>(nicb * nbr * L * 100);
        if (s->ComputeAllSubHaplotypesEM) {
            const double Ld = static_cast<double>(L);
            const double p = static_cast<double>((L - 1) * L / 2) * e2;
            W += p * static_cast<double>(ic) + p * static_cast<double>(nbr) * static_cast<double>(nicb) +
                 static_cast<double>(nicb) * Ld * e * static_cast<double>(nbr) + Ld * e * static_cast<double>(ic);
        }
    }

    if ((task & task_mismatch) && !unphased &&
        (dataType == DNA || dataType == RFLP)) {
        if (s->MismatchDemogExp) W += s->NumBootExpDem;
        if (s->MismatchSpatialExp) W += s->NumBootExpDem;
    }

    if ((task & task_linkage) && s->MakeExactTestLD) {
        const double steps = static_cast<double>(s->MarkovChainStepsLD);
        const double Ld = static_cast<double>(L);
        if (!unphased)
            W += (Ld - 1.0) * Ld * steps * 0.5 / 1000.0;
        else
            W += (steps + 1.0) * s->InitialCondEMLD * (Ld - 1.0) * 100.0 * Ld * 0.5;
    }

    if ((task & task_hardy_weinberg) && s->MakeHWExactTest) {
        const std::int64_t steps = s->MarkovChainStepsHW;
        if (s->TypeOfTestHW == 0)
            W += static_cast<double>((L * steps) / 1000);
        else if (s->TypeOfTestHW == 2)
            W += static_cast<double>(steps / 1000 + (L * steps) / 1000);
        else
            W += static_cast<double>(steps / 1000);
    }

    if (task & task_pairwise_fst) W += static_cast<double>(s->NumPermutationsFST / 100);
    if (task & task_ewens_watterson) W += s->NumIterationsNeutralityTests / 100;
    if (task & task_fu_fs) W += s->NumSimulFuTest / 50;
    if (task & task_tajima) W += s->NumSimulFuTest / 50;

    settings::global_work_to_do += W;
}

// --------------------------------------------------------- print_population_anchor

void Population::print_population_anchor(int level, settings& s, char* prefix) {
    // The anchor is the cleaned anchor prefix of the run, "_", the prefix and the
    // sample number; the menu line names the sample.
    std::string suffix = "_";
    if (prefix != nullptr) suffix += prefix;
    suffix += std::to_string(id);
    print_js_doc_entry(s, level, suffix.c_str(), name.c_str());
}

// ------------------------------------------------ compute_phenotype_heterozygosity

void Population::compute_phenotype_heterozygosity(settings& s, TPhenDB const& /*unused*/) {
    long long N = 0;
    long long heterozygotes = 0;
    long long homozygotes = 0;

    // Classes of equal haplotypes: the sum of squared class counts does not
    // depend on their order, so a hash on the allele pointers groups them.
    struct HaploClass {
        TPopHaplotype const* representative;
        long long n;
    };
    std::unordered_map<std::uint64_t, std::vector<HaploClass>> classes;
    auto add_to_class = [&classes](TPopHaplotype const* h, long long c) {
        const std::uint64_t key = h != nullptr ? haplotype_hash(*h) : 0;
        auto& bucket = classes[key];
        for (HaploClass& k : bucket) {
            if (same_haplotype(k.representative, h)) {
                k.n += c;
                return;
            }
        }
        bucket.push_back({h, c});
    };

    for (long p = 0; p < phenotypes.size(); ++p) {
        TPhenotype const* pheno = phenotypes[p];
        if (pheno == nullptr) continue;
        const long long c = static_cast<long long>(pheno->count);
        N += c;
        TPopHaplotype const* h1 = pheno->pseudo1.get();
        TPopHaplotype const* h2 = pheno->pseudo2.get();
        if (same_haplotype(h1, h2))
            homozygotes += c;
        else
            heterozygotes += c;
        add_to_class(h1, c);
        add_to_class(h2, c);
    }

    double observed = 0.0;
    double expected = 0.0;
    if (N > 0) {
        double sumSquares = 0.0;
        for (auto const& [key, bucket] : classes)
            for (HaploClass const& k : bucket) sumSquares += static_cast<double>(k.n) * static_cast<double>(k.n);
        const double n = static_cast<double>(N);
        observed = static_cast<double>(heterozygotes) / n;
        const double h = 1.0 - sumSquares / (4.0 * n * n);
        expected = 2.0 * n * h / (2.0 * n - 1.0);
    }

    if (s.ResultFile == nullptr) return;
    std::fstream& out = *s.ResultFile;
    out << "No. of Heterozygotes     : " << heterozygotes << "\n";
    out << "No. of Homozygotes       : " << homozygotes << "\n";
    out << "Obs.Heter.               : " << observed << "\n";
    out << "Exp.Heter.               : " << expected << "\n";
}

}  // namespace quintle
