// What the phasing sampler leaves: the distinct sampled phases of every
// individual with the most frequent one, the sampled-phase files, the
// estimated haplotypes, and the report with the best-phase file.

#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <ios>
#include <ostream>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/References.h"
#include "data/TAlleleDB.h"
#include "haplo/TGenotSample.h"
#include "haplo/vosk_chain.h"
#include "run/settings.h"

namespace quintle {

namespace {

// Appends to phase file k of the run, when the run has one: opened for
// appending, written, closed. A file that cannot be opened loses the text.
void append_to_phase_file(settings& s, int k, std::string const& text) {
    if (k < 0 || static_cast<std::size_t>(k) >= s.GibbsPhaseStreams.size() ||
        static_cast<std::size_t>(k) >= s.GibbsPhaseFileNames.size())
        return;
    std::ofstream& f = s.GibbsPhaseStreams[static_cast<std::size_t>(k)];
    f.open(s.GibbsPhaseFileNames[static_cast<std::size_t>(k)].c_str(), std::ios::out | std::ios::app);
    if (f.is_open() && f.good()) f << text;
    f.close();
    f.clear();
}

// An individual's two lines in the best-phase file, and in a sampled-phase
// file.
std::string best_phase_lines(char const* name, int W, std::string const& t1, std::string const& t2) {
    std::ostringstream line;
    line << std::setw(W) << name << "\t" << std::setw(11) << 1 << "\t" << t1 << "\n";
    line << std::setw(W) << " "
         << "\t" << std::setw(11) << " "
         << "\t" << t2 << "\n";
    return line.str();
}

std::string sampled_phase_lines(char const* name, std::string const& t1, std::string const& t2) {
    return "\t\t\t" + std::string(name) + "\t1 \t" + t1 + "\n\t\t\t\t" + std::string(11, ' ') + "\t" + t2 + "\n";
}

std::size_t hash_alleles(std::vector<int> const& a) {
    std::size_t h = 1469598103934665603ull;
    for (int v : a) h = (h ^ static_cast<std::size_t>(static_cast<unsigned>(v))) * 1099511628211ull;
    return h;
}

}  // namespace

bool TGenotSample::distributePhases(Chain& c) {
    char text[128];
    int const L = numPolymorphic;
    MY_TArrayAsVector<SampledPhaseRank> ranks;
    for (int i = 0; i < numIndividuals; ++i) {
        SampledPhases& list = c.phases[static_cast<std::size_t>(i)];
        // The list ordered as a list of the phases themselves would be.
        ranks.count = ranks.auxCount = 0;
        for (int j = 0; j < list.size(); ++j) ranks.Add(SampledPhaseRank{list.counts[static_cast<std::size_t>(j)], j});
        ranks.quickSortArray();
        list.order.assign(static_cast<std::size_t>(list.size()), 0);
        for (int j = 0; j < list.size(); ++j) list.order[static_cast<std::size_t>(j)] = ranks.data[j].entry;
        if (list.size() > 0) {
            // The best phase: the individual in its current phase, its
            // gametes exchanged where the first entry has them the other
            // way round (which carries the allele sizes along).
            int const top = list.order[0];
            TGenotIndividual& b = best[static_cast<std::size_t>(i)];
            b = current[static_cast<std::size_t>(i)];
            int const* g1 = list.gamete1(top, L);
            for (int k = 0; k < L; ++k)
                if (b.gamete1.alleles[static_cast<std::size_t>(k)] != g1[k]) b.exchangeAt(k);
            b.count = list.counts[static_cast<std::size_t>(top)];
        }
        std::snprintf(text, sizeof text, "Writing phase Individual #%i/%i ", i + 1, numIndividuals);
        settings::message = text;
        if (options->stopFlag != 0) return false;
    }
    return true;
}

void TGenotSample::appendAlleleTexts(TGamete const& g, std::string& out) const {
    int const dbLoci = static_cast<int>(referenceAlleles.size());
    std::size_t k = 0;
    for (int l = 0; l < numLoci; ++l) {
        TAllele const* allele = nullptr;
        if (l < dbLoci && polymorphic[static_cast<std::size_t>(l)]) {
            int const code = k < g.alleles.size() ? g.alleles[k] : missingCode;
            ++k;
            TLocus const* locus = alleleDB->loci.data[l];
            if (code >= 0 && locus != nullptr && code < locus->alleles.count) allele = locus->alleles.data[code];
        } else if (l < dbLoci) {
            allele = referenceAlleles[static_cast<std::size_t>(l)];
        }
        if (allele != nullptr)
            out.append(allele->name.c_str(), static_cast<std::size_t>(allele->name.length()));
        else
            out += missingChar;
        out += ' ';
    }
}

void TGenotSample::writeNoAmbiguousFiles() {
    // Every individual has one phase only, the one it was read in (the
    // exchange of its gametes being the same phase). Its data lines follow
    // the note, so that the files read back with this sample's individuals
    // instead of an empty sample that no run accepts.
    int const W = nameWidth();
    std::string best = "#No ambiguous individuals\n";
    std::string sampled = best;
    std::string t1, t2;
    for (int i = 0; i < numIndividuals; ++i) {
        TGenotIndividual const& g = current[static_cast<std::size_t>(i)];
        t1.clear();
        t2.clear();
        appendAlleleTexts(g.gamete1, t1);
        appendAlleleTexts(g.gamete2, t2);
        char const* name = names_[static_cast<std::size_t>(i)].c_str();
        best += best_phase_lines(name, W, t1, t2);
        sampled += sampled_phase_lines(name, t1, t2);
    }
    int const N = std::max(options->GibbsNumSamples, 0);
    for (int k = 0; k <= N; ++k) append_to_phase_file(*options, k, k == 0 ? best : sampled);
}

void TGenotSample::writeSampledPhaseFiles(Chain& c) {
    int const N = c.numSamples;
    int const L = numPolymorphic;
    // The lines of every distinct phase, made when first drawn.
    std::vector<std::vector<std::string>> texts(static_cast<std::size_t>(numIndividuals));
    TGamete g1, g2;
    auto phase_text = [&](int i, int entry) -> std::string const& {
        SampledPhases const& list = c.phases[static_cast<std::size_t>(i)];
        std::vector<std::string>& cache = texts[static_cast<std::size_t>(i)];
        if (cache.empty()) cache.resize(static_cast<std::size_t>(list.size()));
        std::string& t = cache[static_cast<std::size_t>(entry)];
        if (t.empty()) {
            g1.alleles.assign(list.gamete1(entry, L), list.gamete1(entry, L) + L);
            g2.alleles.assign(list.gamete2(entry, L), list.gamete2(entry, L) + L);
            std::string t1, t2;
            appendAlleleTexts(g1, t1);
            appendAlleleTexts(g2, t2);
            t = sampled_phase_lines(names_[static_cast<std::size_t>(i)].c_str(), t1, t2);
        }
        return t;
    };
    std::string block;
    for (int k = 1; k <= N; ++k) {
        block.clear();
        for (int i = 0; i < numIndividuals; ++i) {
            // One draw per individual: the first phase, in sorted order,
            // whose running share of the samples reaches it (else the first).
            SampledPhases const& list = c.phases[static_cast<std::size_t>(i)];
            if (list.size() == 0) continue;
            double const u = draw();
            double sum = 0.0;
            int pick = list.order[0];
            for (int entry : list.order) {
                sum += static_cast<double>(list.counts[static_cast<std::size_t>(entry)]) / N;
                if (sum >= u) {
                    pick = entry;
                    break;
                }
            }
            block += phase_text(i, pick);
        }
        append_to_phase_file(*options, k, block);
    }
}

void TGenotSample::constructEstimatedHaploDB() {
    std::unordered_multimap<std::size_t, long> index;
    for (long j = 0; j < estimatedHaplotypes.count; ++j)
        index.emplace(hash_alleles(estimatedHaplotypes.data[j].alleles), j);
    for (TGenotIndividual& ind : best) {
        for (TGamete* g : {&ind.gamete1, &ind.gamete2}) {
            std::size_t const h = hash_alleles(g->alleles);
            long found = -1;
            auto [from, to] = index.equal_range(h);
            for (auto it = from; it != to && found < 0; ++it)
                if (estimatedHaplotypes.data[it->second] == *g) found = it->second;
            if (found < 0) {
                // Entries are distinct, so the first equal one is the only one.
                g->count = 1;
                g->haplotypeIndex = static_cast<int>(estimatedHaplotypes.count);
                estimatedHaplotypes.Add(*g);
                index.emplace(h, estimatedHaplotypes.count - 1);
            } else {
                g->haplotypeIndex = static_cast<int>(found);
                ++estimatedHaplotypes.data[found].count;
            }
        }
    }
}

int TGenotSample::nameWidth() const {
    int W = 11;
    for (my_string const& name : names_) W = std::max(W, name.length());
    return W;
}

void TGenotSample::writeReportHead(std::ostream& out) const {
    settings const& s = *options;
    out << "\n=======================================================";
    out << "\nEstimation of gametic phase from multi-locus diploid data";
    out << "\nbased on a Gibbs sampling strategy";
    out << "\n=======================================================\n\n";
    References(out, my_string("Vosk_Ref"));
    out << std::fixed << std::showpoint << std::setprecision(4);
    out << "\nEstimation parameters :"
        << "\n=======================\n";
    out << "\n\tBurnin                   : " << s.GibbsBurnIn;
    out << "\n\tSampling interval        : " << s.GibbsSamplingInterval;
    out << "\n\tNum. samples             : " << s.GibbsNumSamples;
    out << "\n\tAve. prior alpha         : " << s.GibbsAlphaInitValue;
    out << "\n\tAve. post alpha          : " << sumPosteriorAlpha / s.GibbsNumSamples;
    out << "\n\tEpsilon value            : " << s.GibbsEpsilonValue;
    out << "\n\tHet. site influence zone : " << s.GibbsHetSiteInfluenceZone;
    out << "\n\tWindow size              : " << s.GibbsWindowSize;
    out << "\n\tGamma parameter          : " << s.GibbsGamma;
    out << "\n";
    out << "\nSample properties :"
        << "\n===================\n";
    out << "\nNum. individuals           : " << numIndividualsRead_;
    out << "\nNum. ambiguous individuals : " << numAmbiguous;
    // With no individual there is no first one to take the loci from.
    out << "\nNum. loci                  : " << (numIndividuals > 0 ? firstIndividualLoci_ : 0);
    out << "\nNum. polymorphic loci      : " << numPolymorphic;
    out << "\n";
}

void TGenotSample::writeResults(std::fstream* stream) {
    std::fstream none;  // without a result file the report goes nowhere
    std::ostream& out = stream != nullptr ? static_cast<std::ostream&>(*stream) : none;
    settings& s = *options;
    int const N = s.GibbsNumSamples;
    if (N <= 0) {
        // A negative count keeps no sample, as 0 does.
        out << "GAMETIC PHASES NOT ESTIMATED....";
        return;
    }
    if (numAmbiguous > 0) constructEstimatedHaploDB();
    writeReportHead(out);
    if (numAmbiguous == 0) {
        out << "\n NO AMBIGUOUS INDIVIDUALS IN THIS SAMPLE, PHASE ESTIMATION SKIPPED\n\n";
        return;
    }

    std::string texts;
    out << "\nList of estimated haplotype frequencies"
        << "\n---------------------------------------\n\n";
    out << "   "
        << "[ "
        << "Hapl. ID"
        << "]\t" << std::setw(12) << "Hapl. freq."
        << "\t"
        << "Haplotype definition\n";
    out << "   "
        << "===========\t"
        << "===========\t"
        << "====================\n";
    for (long j = 0; j < estimatedHaplotypes.count; ++j) {
        texts.clear();
        appendAlleleTexts(estimatedHaplotypes.data[j], texts);
        out << "   "
            << "[ " << std::setw(5) << j + 1 << "]\t" << std::setw(12) << estimatedHaplotypes.data[j].count << "\t"
            << texts << "\n";
    }

    int const W = nameWidth();
    out << "\nEstimated gametic phase of all individuals"
        << "\n------------------------------------------\n";
    out << std::setw(W) << "Indiv. name\t" << std::setw(11) << "Phase freq.\t"
        << "[ "
        << "Hapl. ID"
        << "]"
        << "\t"
        << "Constituant haplotypes\n";
    out << std::setw(W) << "===========\t" << std::setw(11) << "===========\t"
        << "=========="
        << "\t"
        << "======================\n";

    std::string bestLines;
    bool const bestFile = s.GibbsOutputGamPhase != 0;
    for (int i = 0; i < numIndividuals; ++i) {
        TGenotIndividual const& b = best[static_cast<std::size_t>(i)];
        std::string t1, t2;
        appendAlleleTexts(b.gamete1, t1);
        appendAlleleTexts(b.gamete2, t2);
        char const* name = names_[static_cast<std::size_t>(i)].c_str();
        out << std::setw(W) << name << "\t" << std::setw(11) << std::setprecision(3) << static_cast<double>(b.count) / N
            << "\t"
            << "[ " << std::setw(5) << b.gamete1.haplotypeIndex + 1 << "]\t" << t1 << "\n";
        out << std::setw(W) << " "
            << "\t" << std::setw(11) << " "
            << "\t"
            << "[ " << std::setw(5) << b.gamete2.haplotypeIndex + 1 << "]\t" << t2 << "\n";
        if (bestFile) bestLines += best_phase_lines(name, W, t1, t2);
    }
    out << "\n" << std::endl;
    if (bestFile) append_to_phase_file(s, 0, bestLines);
}

}  // namespace quintle
