#include "popstats/ewens_watterson.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <iomanip>
#include <memory>
#include <new>

#include "core/Errors.h"
#include "core/random.h"
#include "core/xml.h"
#include "popstats/PopGenetics.h"
#include "run/glbobj.h"
#include "run/settings.h"

namespace quintle {

// --- kernels -----------------------------------------------------------------

int draw_allele_count(int m, int j, double u, BnumMat const& table) {
    // Fewer genes than alleles has probability 0 (and lies outside the table).
    if (j > m || j < 2) return 0;
    const double target = u * table(m, j);
    if (!(target > 0.0)) return 0;
    const int largest = m - j + 1;
    double sum = 0.0;
    for (int i = 1;; ++i) {
        sum += table(m - i, j - 1) / i;
        // Rounding can leave the full sum a hair below B(m, j): the largest
        // count then takes what is left.
        if (target <= sum || i >= largest) return i;
    }
}

void draw_ewens_configuration(int n, BnumMat const& table, std::span<int> counts) {
    if (counts.empty()) return;
    const int k = static_cast<int>(counts.size());
    int m = n;
    long seed = 1;  // continues the run's stream
    for (int a = 0; a + 1 < k; ++a) {
        const int c = draw_allele_count(m, k - a, ran3(&seed), table);
        counts[static_cast<std::size_t>(a)] = c;
        m -= c;
    }
    counts[static_cast<std::size_t>(k - 1)] = m;
    std::sort(counts.begin(), counts.end(), std::greater<int>());
}

double ew_F(std::span<const double> values, double n) {
    double F = 0.0;
    for (double v : values) {
        const double f = v >= 1.0 ? v / n : v;
        F += f * f;
    }
    return F;
}

double ew_F(std::span<const int> counts, double n) {
    double F = 0.0;
    for (int c : counts) {
        // Same arithmetic as the double form, so equal configurations tie exactly.
        const double v = static_cast<double>(c);
        const double f = v >= 1.0 ? v / n : v;
        F += f * f;
    }
    return F;
}

double slatkin_statistic(std::span<const int> counts, std::span<int> spectrum) {
    std::fill(spectrum.begin(), spectrum.end(), 0);
    const auto slots = static_cast<long>(spectrum.size());
    for (int c : counts)
        if (c >= 0 && c < slots) ++spectrum[static_cast<std::size_t>(c)];
    double L = 0.0;
    for (long c = 1; c < slots; ++c) L -= spectrum[static_cast<std::size_t>(c)] * std::log(static_cast<double>(c));
    return L;
}

bool ensure_B_table(double n, int k, BnumMat& table, int& tableExists) {
    if (table.numRows() > n && table.numCols() > k) return true;
    if (table.re_allocate_matrix(static_cast<int>(n) + 10, k + 10)) return true;
    tableExists = 0;
    return false;
}

void report_format(std::ostream& os) {
    os.setf(std::ios::fixed, std::ios::floatfield);
    os.setf(std::ios::showpoint);
    os.setf(std::ios::right, std::ios::adjustfield);
    os.precision(5);
}

std::ostream* batch_stream(int flag, std::ostream* stream) {
    if (!flag || stream == nullptr || stream->fail()) return nullptr;
    stream->setf(std::ios::fixed, std::ios::floatfield);
    stream->precision(5);
    return stream;
}

void batch_prefix(std::ostream& os, my_string const& sampleName) {
    os << '"' << settings::input_file << "\"\t\"" << sampleName << '"';
}

// --- printed tables ------------------------------------------------------------

namespace {

constexpr char obs_rule[] = "---------------------------------------------\n";
constexpr char exp_rule[] = "--------------------------------------------------------------\n";

void open_tag(std::ostream& os, TXmlTag const& tag) {
    if (xmlOutput) os << tag.open();
}

void close_tag(std::ostream& os, TXmlTag const& tag) {
    if (xmlOutput) os << tag.close();
}

void table_format(std::ostream& os) {
    os.setf(std::ios::fixed, std::ios::floatfield);
    os.setf(std::ios::showpoint);
    os.setf(std::ios::right, std::ios::adjustfield);
}

// A record value below 1 is a relative frequency: its count is rounded.
double record_count(double value, int n) {
    return value < 1.0 ? static_cast<double>(static_cast<long>(value * n + 0.5)) : value;
}

void print_obs_rows(std::ostream& os, std::span<const double> values, int n, bool total) {
    table_format(os);
    double sumRel = 0.0;
    double sumCount = 0.0;
    int row = 0;
    for (double v : values) {
        const double count = record_count(v, n);
        const double rel = count / n;
        sumRel += rel;
        sumCount += count;
        os << std::setw(10) << ++row << std::setw(12) << std::setprecision(7) << rel << std::setw(16)
           << std::setprecision(4) << count << "\n";
    }
    if (total) {
        os << obs_rule << std::setw(10) << "Total" << std::setw(12) << std::setprecision(7) << sumRel
           << std::setw(16) << std::setprecision(4) << sumCount << "\n" << obs_rule;
    }
}

void print_obs_titles(std::ostream& os) {
    table_format(os);
    os << "\n" << obs_rule << "Observed haplotype frequencies\n" << obs_rule;
    os << std::setw(10) << "All.#" << std::setw(12) << "Rel. freq." << std::setw(16) << "Abs. Freq.";
}

// The records' values that are there, in list order.
std::vector<double> list_values(AHaplFreqList const& list) {
    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(std::max(0L, list.count)));
    for (long i = 0; i < list.count; ++i)
        if (list.data[i] != nullptr) values.push_back(list.data[i]->relFreq);
    return values;
}

}  // namespace

void print_obs_hapl_freq(std::ostream& os, std::span<const double> values, int n, my_string const& name) {
    TXmlTag tag("obsHapFreq");
    tag.attributeName = "pop";
    tag.attributeValue = name;
    open_tag(os, tag);
    print_obs_titles(os);
    os << "\n" << obs_rule;
    print_obs_rows(os, values, n, true);
    close_tag(os, tag);
}

void print_obs_hapl_freq(std::ostream& os, AHaplFreqList const& list, int const& n, my_string name) {
    print_obs_hapl_freq(os, list_values(list), n, name);
}

void print_obs_hapl_freq(std::ostream& os, PHaploDefList const& list, int const& n) {
    // Sorted the same way as the frequency lists: most frequent first.
    AHaplFreqList sorted(10, 10);
    try {
        for (long i = 0; i < list.count; ++i) {
            PHaploDef const* entry = list.data[i];
            if (entry == nullptr) continue;
            auto record = std::make_unique<AHaplFreq>();
            record->relFreq = entry->count;
            record->relFreqSd = static_cast<double>(entry->count) * entry->count;
            sorted.Add(record.get());
            record.release();
        }
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "print_obs_hapl_freq()", Msg::m0_not_enough_memory);
        return;
    }
    TXmlTag tag("obsHapFreq");
    open_tag(os, tag);
    print_obs_titles(os);
    os << "\n" << exp_rule;
    print_obs_rows(os, list_values(sorted), n, false);
    close_tag(os, tag);
}

void print_exp_freq(std::ostream& os, std::span<const AHaplFreq> ranks, my_string const& name) {
    TXmlTag tag("expHapFreq");
    tag.attributeName = "pop";
    tag.attributeValue = name;
    open_tag(os, tag);
    table_format(os);
    os << "\n" << exp_rule << "Expected haplotype frequencies under the infinite-allele model\n"
       << "as predicted by Ewens' (1972) sampling distribution\n" << exp_rule;
    os << std::setw(10) << "All.#" << std::setw(12) << "Rel. freq." << std::setw(12) << "s.d." << std::setw(16)
       << "Abs. Freq." << std::setw(12) << "s.d."
       << "\n" << exp_rule;
    long row = 0;
    for (AHaplFreq const& rank : ranks) os << std::setw(10) << ++row << rank;
    os << exp_rule << std::endl;
    close_tag(os, tag);
}

void PopGenetics::print_exp_freq(std::ostream& os, AHaplFreqList const& accum) {
    std::vector<AHaplFreq> ranks;
    ranks.reserve(static_cast<std::size_t>(std::max(0L, accum.count)));
    for (long i = 0; i < accum.count; ++i)
        if (accum.data[i] != nullptr) ranks.push_back(*accum.data[i]);
    ::quintle::print_exp_freq(os, ranks, name);
}

// --- the test ------------------------------------------------------------------

namespace {

// Draws one configuration into counts (one slot per allele) and counts it
// against the observed F and Slatkin statistic; returns its F, also left in
// ewObservedF.
double run_replicate(PopGenetics& p, double obsF, double& countLE, std::vector<int>& counts,
                     std::vector<int>& spectrum, double& slatkinCountLE) {
    const int n = std::max(static_cast<int>(p.SampleSize), 0);
    draw_ewens_configuration(n, PopGenetics::BMat, counts);
    const double F = ew_F(std::span<const int>(counts), p.SampleSize);
    p.ewObservedF = F;
    if (obsF >= F) countLE += 1.0;
    if (p.computeSlatkinTest) {
        if (spectrum.size() < static_cast<std::size_t>(n) + 1) spectrum.assign(static_cast<std::size_t>(n) + 1, 0);
        const double L = slatkin_statistic(counts, std::span<int>(spectrum.data(), static_cast<std::size_t>(n) + 1));
        if (p.slatkinObsStat >= L) slatkinCountLE += 1.0;
    }
    return F;
}

void add_configuration(std::span<const int> counts, std::span<AHaplFreq> ranks) {
    for (std::size_t r = 0; r < counts.size() && r < ranks.size(); ++r) {
        const double c = counts[r];
        ranks[r].relFreq += c;
        ranks[r].relFreqSd += c * c;
    }
}

// The observed Slatkin statistic of the list's counts.
double observed_slatkin(std::vector<double> const& observed, int n, std::vector<int>& spectrum) {
    spectrum.assign(static_cast<std::size_t>(std::max(n, 0)) + 1, 0);
    std::vector<int> counts;
    counts.reserve(observed.size());
    for (double v : observed) counts.push_back(static_cast<int>(v));
    return slatkin_statistic(counts, spectrum);
}

// Runs the replicates into r; false when the run asked to stop.
bool simulate_configurations(PopGenetics& p, EwensWattersonResult& r, std::vector<int>& spectrum, settings& s) {
    double sumF = 0.0;
    double countLE = 0.0;
    double slatkinCountLE = 0.0;
    std::vector<int> draw(static_cast<std::size_t>(r.k));
    for (int i = 0; i < r.replicates; ++i) {
        sumF += run_replicate(p, r.observedF, countLE, draw, spectrum, slatkinCountLE);
        add_configuration(draw, r.expected);
        if (i % 100 == 0) {
            settings::global_work_done += 1.0;
            settings::print_message();
            if (s.stopFlag) return false;
        }
    }
    if (r.replicates <= 0) return true;
    const double R = r.replicates;
    r.expectedF = sumF / R;
    r.probF = countLE / R;
    r.slatkinP = slatkinCountLE / R;
    const int nInt = static_cast<int>(r.n);
    for (AHaplFreq& rank : r.expected) rank.calc_mean_freq(r.replicates, nInt);
    return true;
}

}  // namespace

double PopGenetics::compute_rand_frequencies_and_F(AHaplFreqList& accum, double const& obsF, double& countLE,
                                                   std::vector<int>& spectrum, double& slatkinCountLE) {
    std::vector<int> counts(static_cast<std::size_t>(std::max(0L, accum.count)));
    const double F = run_replicate(*this, obsF, countLE, counts, spectrum, slatkinCountLE);
    for (long i = 0; i < accum.count; ++i) {
        AHaplFreq* slot = accum.data[i];
        if (slot == nullptr) continue;
        const double c = counts[static_cast<std::size_t>(i)];
        slot->relFreq += c;
        slot->relFreqSd += c * c;
    }
    return F;
}

int PopGenetics::get_first_rand_freq(AHaplFreq& rec, int const& k, int const& n) {
    long seed = 1;
    const int c = k < 2 ? (k == 1 ? n : 0) : draw_allele_count(n, k, ran3(&seed), BMat);
    rec.relFreq = c;
    rec.relFreqSd = static_cast<double>(c) * c;
    return c;
}

EwensWattersonResult ewens_watterson_step(PopGenetics& p, AHaplFreqList const& list, int replicates, bool inferred,
                                          settings& s) {
    using Outcome = EwensWattersonResult::Outcome;
    EwensWattersonResult r;
    if (s.stopFlag) return r;
    r.n = p.SampleSize;
    r.k = static_cast<int>(list.count);
    r.numHaplotypes = p.NbHaplotypeEntries;
    r.numOriginal = p.NbHaplotypeEntriesRead;
    r.inferred = inferred;
    r.showOriginal = inferred && p.profile.GenotypicData == 0;
    r.replicates = replicates;

    if (r.k == r.n) {
        r.outcome = Outcome::all_different;
        return r;
    }
    if (r.k == 1) {
        r.outcome = Outcome::single_allele;
        return r;
    }
    // An empty list has nothing to test.
    if (r.k < 1) return r;
    if (r.k > ew_max_alleles || r.n > ew_max_genes) {
        r.outcome = Outcome::too_many;
        return r;
    }

    std::vector<int> spectrum;
    try {
        r.observed = list_values(list);
        if (p.computeSlatkinTest) p.slatkinObsStat = observed_slatkin(r.observed, static_cast<int>(r.n), spectrum);
        r.expected.assign(static_cast<std::size_t>(r.k), AHaplFreq{});
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "PopGenetics::neutrality_tests", Msg::m0_not_enough_memory);
        return r;
    }
    r.observedF = ew_F(std::span<const double>(r.observed), r.n);
    p.ewObservedF = r.observedF;

    // The draws need B(m, j) for m <= n and j <= k: size the table by the
    // larger of the list's length and the sample's haplotype count.
    const int alleles = std::max(p.NbHaplotypeEntries, r.k);
    const bool tableReady = ensure_B_table(r.n, alleles, PopGenetics::BMat, PopGenetics::_B_num_exist);
    if (r.n >= ew_max_genes || alleles > ew_max_alleles - 1 || !tableReady) {
        // Nothing was simulated: no P value may be reported.
        p.ewExpectedF = p.ewProbF = p.slatkinExactP = -1.0;
        r.outcome = Outcome::table_refused;
        return r;
    }

    const bool finished = simulate_configurations(p, r, spectrum, s);
    p.ewObservedF = r.observedF;
    // Without replicates there are no expectations to report.
    if (!finished || r.replicates <= 0) return r;
    p.ewExpectedF = r.expectedF;
    p.ewProbF = r.probF;
    p.slatkinExactP = r.slatkinP;
    r.outcome = Outcome::tested;
    return r;
}

namespace {

// The refusal texts of the all-different and single-allele outcomes.
struct EwRefusal {
    char const* originalLabel;
    char const* reason;
    char const* batchReason;
};

EwRefusal refusal_texts(EwensWattersonResult::Outcome outcome) {
    if (outcome == EwensWattersonResult::Outcome::all_different)
        return {"No. of original alleles in sample      :",
                "\nThe test is impossible because all gene copies are different",
                "\tEwens-Watterson test is impossible because all gene copies are different\n"};
    return {"No. of original alleles in sample   :",
            "\nThe test is impossible because there is only one allele in \nthe sample",
            "\tEwens-Watterson test is impossible because there is only one allele in the sample\n"};
}

void write_result_block(std::ostream& os, EwensWattersonResult const& r) {
    report_format(os);
    if (!r.inferred) {
        os << "Original haplotype definition was used for the tests\n\n"
           << "No. of genes in sample                 :" << std::setw(12) << static_cast<int>(r.n) << "\n"
           << "No. of haplotypes in sample            :" << std::setw(12) << r.numHaplotypes << "\n";
    } else {
        os << "Haplotype real differences were checked before tests\n\n"
           << "No. of genes in sample                 :" << std::setw(12) << r.n << "\n";
        if (r.showOriginal)
            os << "No. of original haplotypes in sample   :" << std::setw(12) << r.numOriginal << "\n";
        os << "No. of different haplotypes in sample  :" << std::setw(12) << r.k << "\n";
    }
    os << "Observed F value                       :" << std::setw(12) << r.observedF << "\n"
       << "Expected F value                       :" << std::setw(12) << r.expectedF << "\n"
       << "No. of simulated samples               :" << std::setw(12) << r.replicates << "\n"
       << "Ewens-Watterson test:\n"
       << "Pr(rand F &lt;= obs F)                    :" << std::setw(12) << r.probF << "\n"
       << "Slatkin's Exact test P-value           :" << std::setw(12) << r.slatkinP << "\n";
}

}  // namespace

void write_ewens_watterson(std::ostream& os, EwensWattersonResult const& r, my_string const& sampleName) {
    using Outcome = EwensWattersonResult::Outcome;
    switch (r.outcome) {
        case Outcome::silent:
            return;
        case Outcome::all_different:
        case Outcome::single_allele: {
            const EwRefusal texts = refusal_texts(r.outcome);
            report_format(os);
            os << "No. of genes in sample   : " << std::setw(12) << r.n << "\n";
            if (r.showOriginal) os << texts.originalLabel << std::setw(12) << r.numOriginal << "\n";
            os << "No. of alleles in sample : " << std::setw(12) << r.k << "\n";
            os << texts.reason << long_rule << std::endl;
            return;
        }
        case Outcome::too_many:
            report_format(os);
            os << "No. of genes in sample   : " << std::setw(12) << r.n << "\n"
               << "No. of alleles in sample : " << std::setw(12) << r.k << "\n"
               << "\nThe test is impossible because the number of genes is bigger than " << ew_max_genes
               << "\n or the number of Alleles is bigger than " << ew_max_alleles << " ." << long_rule << std::endl;
            return;
        case Outcome::table_refused:
            os << "Watterson F-test of selective neutrality is not possible with more than " << ew_max_alleles
               << " alleles or \n"
               << "with more than " << ew_max_genes << " gene copies" << std::endl;
            return;
        case Outcome::tested:
            write_result_block(os, r);
            print_obs_hapl_freq(os, r.observed, static_cast<int>(r.n), sampleName);
            print_exp_freq(os, r.expected, sampleName);
            return;
    }
}

bool EwensWattersonResult::has_batch_line() const {
    return outcome == Outcome::all_different || outcome == Outcome::single_allele || outcome == Outcome::tested;
}

void write_ewens_watterson_batch(std::ostream& batch, EwensWattersonResult const& r, my_string const& sampleName) {
    if (!r.has_batch_line()) return;
    batch_prefix(batch, sampleName);
    if (r.outcome != EwensWattersonResult::Outcome::tested) {
        batch << "\t" << r.n;
        if (r.showOriginal) batch << "\t" << r.numOriginal;
        batch << "\t" << r.k << refusal_texts(r.outcome).batchReason;
        return;
    }
    batch << "\t" << static_cast<int>(r.n);
    if (!r.inferred) {
        batch << "\t" << r.numHaplotypes;
    } else {
        if (r.showOriginal) batch << "\t" << r.numOriginal;
        batch << "\t" << r.k;
    }
    batch << "\t" << r.observedF << "\t" << r.expectedF << "\t" << r.probF << "\t" << r.slatkinP << "\n";
}

void PopGenetics::EW_neutrality_tests(settings& s, std::ostream& os, AHaplFreqList const& list) {
    const bool inferred = s.InferHaplotypeDefinitionFromDistanceMatrix != 0;
    const EwensWattersonResult r = ewens_watterson_step(*this, list, s.NumIterationsNeutralityTests, inferred, s);
    write_ewens_watterson(os, r, name);
    if (!r.has_batch_line()) return;
    if (std::ostream* batch = batch_stream(_EWENS_WATTERSON_, ofs_ewens_watt))
        write_ewens_watterson_batch(*batch, r, name);
}

}  // namespace quintle
