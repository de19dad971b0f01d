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

std::ostream* batch_stream(int flag, std::ofstream* stream) {
    if (!flag || stream == nullptr || !stream->is_open()) return nullptr;
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

}  // namespace

void print_obs_hapl_freq(std::ostream& os, AHaplFreqList const& list, int const& n, my_string name) {
    TXmlTag tag("obsHapFreq");
    tag.attributeName = "pop";
    tag.attributeValue = name;
    open_tag(os, tag);
    print_obs_titles(os);
    os << "\n" << obs_rule;
    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(std::max(0L, list.count)));
    for (long i = 0; i < list.count; ++i)
        if (list.data[i] != nullptr) values.push_back(list.data[i]->relFreq);
    print_obs_rows(os, values, n, true);
    close_tag(os, tag);
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
        E.error(MEMORY, "print_obs_hapl_freq()", 0);
        return;
    }
    TXmlTag tag("obsHapFreq");
    open_tag(os, tag);
    print_obs_titles(os);
    os << "\n" << exp_rule;
    std::vector<double> values;
    for (long i = 0; i < sorted.count; ++i) values.push_back(sorted.data[i]->relFreq);
    print_obs_rows(os, values, n, false);
    close_tag(os, tag);
}

void PopGenetics::print_exp_freq(std::ostream& os, AHaplFreqList const& accum) {
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
    for (long i = 0; i < accum.count; ++i) {
        if (accum.data[i] == nullptr) continue;
        os << std::setw(10) << i + 1 << *accum.data[i];
    }
    os << exp_rule << std::endl;
    close_tag(os, tag);
}

// --- the test ------------------------------------------------------------------

namespace {

// One replicate into reusable buffers (counts: one slot per allele).
double run_replicate(PopGenetics& p, AHaplFreqList& accum, double obsF, double& countLE, std::vector<int>& counts,
                     std::vector<int>& spectrum, double& slatkinCountLE) {
    const int n = std::max(static_cast<int>(p.SampleSize), 0);
    draw_ewens_configuration(n, PopGenetics::BMat, counts);
    for (std::size_t r = 0; r < counts.size(); ++r) {
        AHaplFreq* slot = accum.data[r];
        if (slot == nullptr) continue;
        const double c = counts[r];
        slot->relFreq += c;
        slot->relFreqSd += c * c;
    }
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

// The sample and allele counts of the report's first lines: n as a double
// and, under the given condition, the original number of haplotypes.
struct EwCounts {
    double n;
    int k;
    bool showOriginal;
    int original;
};

void refusal_block(PopGenetics const& p, std::ostream& os, EwCounts const& c, char const* originalLabel,
                   char const* reason, char const* batchReason) {
    report_format(os);
    os << "No. of genes in sample   : " << std::setw(12) << c.n << "\n";
    if (c.showOriginal) os << originalLabel << std::setw(12) << c.original << "\n";
    os << "No. of alleles in sample : " << std::setw(12) << c.k << "\n";
    os << reason << long_rule << std::endl;
    if (std::ostream* batch = batch_stream(_EWENS_WATTERSON_, ofs_ewens_watt)) {
        batch_prefix(*batch, p.name);
        *batch << "\t" << c.n;
        if (c.showOriginal) *batch << "\t" << c.original;
        *batch << "\t" << c.k << batchReason;
    }
}

}  // namespace

double PopGenetics::compute_rand_frequencies_and_F(AHaplFreqList& accum, double const& obsF, double& countLE,
                                                   std::vector<int>& spectrum, double& slatkinCountLE) {
    std::vector<int> counts(static_cast<std::size_t>(std::max(0L, accum.count)));
    return run_replicate(*this, accum, obsF, countLE, counts, spectrum, slatkinCountLE);
}

int PopGenetics::get_first_rand_freq(AHaplFreq& rec, int const& k, int const& n) {
    long seed = 1;
    const int c = k < 2 ? (k == 1 ? n : 0) : draw_allele_count(n, k, ran3(&seed), BMat);
    rec.relFreq = c;
    rec.relFreqSd = static_cast<double>(c) * c;
    return c;
}

void PopGenetics::EW_neutrality_tests(settings& s, std::ostream& os, AHaplFreqList const& list) {
    if (s.stopFlag) return;
    const int R = s.NumIterationsNeutralityTests;
    const int k = static_cast<int>(list.count);
    const double n = SampleSize;
    const int nInt = static_cast<int>(n);
    const bool inferred = s.InferHaplotypeDefinitionFromDistanceMatrix != 0;
    const EwCounts counts{n, k, inferred && profile.GenotypicData == 0, NbHaplotypeEntriesRead};

    if (k == n) {
        refusal_block(*this, os, counts, "No. of original alleles in sample      :",
                      "\nThe test is impossible because all gene copies are different",
                      "\tEwens-Watterson test is impossible because all gene copies are different\n");
        return;
    }
    if (k == 1) {
        refusal_block(*this, os, counts, "No. of original alleles in sample   :",
                      "\nThe test is impossible because there is only one allele in \nthe sample",
                      "\tEwens-Watterson test is impossible because there is only one allele in the sample\n");
        return;
    }
    // An empty list has nothing to test.
    if (k < 1) return;
    if (k > ew_max_alleles || n > ew_max_genes) {
        report_format(os);
        os << "No. of genes in sample   : " << std::setw(12) << n << "\n"
           << "No. of alleles in sample : " << std::setw(12) << k << "\n"
           << "\nThe test is impossible because the number of genes is bigger than " << ew_max_genes
           << "\n or the number of Alleles is bigger than " << ew_max_alleles << " ." << long_rule << std::endl;
        return;
    }

    std::vector<double> observed;
    std::vector<int> spectrum;
    AHaplFreqList accum(static_cast<long>(k) + 1, 10);
    try {
        observed.reserve(static_cast<std::size_t>(k));
        for (long i = 0; i < list.count; ++i) observed.push_back(list.data[i] != nullptr ? list.data[i]->relFreq : 0.0);
        if (computeSlatkinTest) {
            spectrum.assign(static_cast<std::size_t>(std::max(nInt, 0)) + 1, 0);
            std::vector<int> observedCounts;
            observedCounts.reserve(observed.size());
            for (double v : observed) observedCounts.push_back(static_cast<int>(v));
            slatkinObsStat = slatkin_statistic(observedCounts, spectrum);
        }
        for (int i = 0; i < k; ++i) {
            auto record = std::make_unique<AHaplFreq>();
            accum.Add(record.get());
            record.release();
        }
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "PopGenetics::neutrality_tests", 0);
        return;
    }

    const double obsF = ew_F(std::span<const double>(observed), n);
    ewObservedF = obsF;

    // The draws need B(m, j) for m <= n and j <= k: size the table by the
    // larger of the list's length and the sample's haplotype count.
    const int alleles = std::max(NbHaplotypeEntries, k);
    const bool tableReady = ensure_B_table(n, alleles, BMat, _B_num_exist);
    if (n >= ew_max_genes || alleles > ew_max_alleles - 1 || !tableReady) {
        os << "Watterson F-test of selective neutrality is not possible with more than " << ew_max_alleles
           << " alleles or \n"
           << "with more than " << ew_max_genes << " gene copies" << std::endl;
        // Nothing was simulated: no P value may be reported.
        ewExpectedF = ewProbF = slatkinExactP = -1.0;
        return;
    }

    double sumF = 0.0;
    double countLE = 0.0;
    double slatkinCountLE = 0.0;
    std::vector<int> draw(static_cast<std::size_t>(k));
    for (int r = 0; r < R; ++r) {
        sumF += run_replicate(*this, accum, obsF, countLE, draw, spectrum, slatkinCountLE);
        if (r % 100 == 0) {
            settings::global_work_done += 1.0;
            settings::print_message();
            if (s.stopFlag) {
                ewObservedF = obsF;
                return;
            }
        }
    }
    ewObservedF = obsF;
    // Without replicates there are no expectations to report.
    if (R <= 0) return;

    ewExpectedF = sumF / R;
    ewProbF = countLE / R;
    slatkinExactP = slatkinCountLE / R;
    for (long i = 0; i < accum.count; ++i) accum.data[i]->calc_mean_freq(R, nInt);

    report_format(os);
    if (!inferred) {
        os << "Original haplotype definition was used for the tests\n\n"
           << "No. of genes in sample                 :" << std::setw(12) << nInt << "\n"
           << "No. of haplotypes in sample            :" << std::setw(12) << NbHaplotypeEntries << "\n";
    } else {
        os << "Haplotype real differences were checked before tests\n\n"
           << "No. of genes in sample                 :" << std::setw(12) << n << "\n";
        if (counts.showOriginal)
            os << "No. of original haplotypes in sample   :" << std::setw(12) << NbHaplotypeEntriesRead << "\n";
        os << "No. of different haplotypes in sample  :" << std::setw(12) << k << "\n";
    }
    os << "Observed F value                       :" << std::setw(12) << obsF << "\n"
       << "Expected F value                       :" << std::setw(12) << ewExpectedF << "\n"
       << "No. of simulated samples               :" << std::setw(12) << R << "\n"
       << "Ewens-Watterson test:\n"
       << "Pr(rand F &lt;= obs F)                    :" << std::setw(12) << ewProbF << "\n"
       << "Slatkin's Exact test P-value           :" << std::setw(12) << slatkinExactP << "\n";

    if (std::ostream* batch = batch_stream(_EWENS_WATTERSON_, ofs_ewens_watt)) {
        batch_prefix(*batch, name);
        *batch << "\t" << nInt;
        if (!inferred) {
            *batch << "\t" << NbHaplotypeEntries;
        } else {
            if (counts.showOriginal) *batch << "\t" << NbHaplotypeEntriesRead;
            *batch << "\t" << k;
        }
        *batch << "\t" << obsF << "\t" << ewExpectedF << "\t" << ewProbF << "\t" << slatkinExactP << "\n";
    }

    print_obs_hapl_freq(os, list, nInt, name);
    print_exp_freq(os, accum);
}

}  // namespace quintle
