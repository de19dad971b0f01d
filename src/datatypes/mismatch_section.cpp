#include "datatypes/mismatch_section.h"

#include <iomanip>

#include "datatypes/driver_output.h"
#include "datatypes/expansion_fits.h"
#include "popstats/PopGenetics.h"

namespace quintle {

MismatchSectionResult mismatch_section_result(PopGenetics const& p, int method, double gammaA, std::clock_t started) {
    MismatchSectionResult r;
    r.method = method;
    r.gammaA = gammaA;
    r.sampleSize = p.SampleSize;
    r.mean = p.mismatchMean;
    r.variance = p.mismatchVar;
    r.lastExpClass = p.lastExpMismatchClass;
    r.maxPairwiseDistance = p.maxPairwiseDistance;
    r.observed = p.mismatchObs;
    r.hasExpected = !p.mismatchExp.empty();
    r.expected = p.mismatchExp;
    r.started = started;
    return r;
}

void write_mismatch_method(std::ostream& out, char const* methodName, double gammaA) {
    out << "Distance method : " << methodName;
    if (gammaA == 0.0)
        out << " (no Gamma correction)\n\n";
    else
        out << " (Gamma correction : a=" << gammaA << ")\n\n";
}

void write_mismatch_batch_heads(MismatchBatch const& b, my_string const& sampleName, char const* methodTag,
                                double gammaA) {
    for (std::ostream* s : {b.mismatch, b.spatial3, b.spatial4}) {
        if (s == nullptr) continue;
        write_batch_head(*s, sampleName);
        *s << methodTag;
        if (gammaA == 0.0)
            *s << " inf\t";
        else
            *s << gammaA << "\t";
    }
}

void write_fit_block_head(std::ostream& out, std::string const& opening, MismatchSectionResult const& r,
                          std::ostream* batch) {
    out << opening << "\n\nMismatch observed mean              : ";
    set_fixed(out, 3) << std::setw(12) << r.mean;
    out << "\nMismatch observed variance          : " << std::setw(12) << r.variance;
    if (batch != nullptr) *batch << r.mean << "\t" << r.variance << "\t";
}

bool mismatch_fit_possible(MismatchSectionResult const& r) { return r.variance > 1e-7; }

void write_small_variance(std::ostream& out) {
    out << "\n\n    The variance of the mismatch distribution is to small,\n"
        << "    no demographic parameters can be estimated." << std::endl;
}

void mismatch_fit_block(PopGenetics& p, settings& s, std::ostream& out, MismatchSectionResult const& r, bool sudden,
                        std::string const& opening, std::ostream* batch) {
    write_fit_block_head(out, opening, r, batch);
    if (!mismatch_fit_possible(r)) {
        write_small_variance(out);
        return;
    }
    // The fits' tables leave one decimal; later sections that take the
    // stream's precision (haplotype frequencies) keep the three of the head.
    const std::ios::fmtflags flags = out.flags();
    const std::streamsize precision = out.precision();
    if (sudden) {
        const ExpansionFitResult fit = est_demog_mis(p, s, out);
        if (batch != nullptr) write_demog_fit_batch(*batch, fit);
        out << std::endl;
    } else {
        const ExpansionFitResult fit = est_spatial_mis(p, s, out);
        if (batch != nullptr) write_spatial_fit_batch(*batch, fit);
    }
    out.flags(flags);
    out.precision(precision);
}

void write_mismatch_batch_tails(MismatchBatch const& b, my_string const& sampleName, MismatchSectionResult const& r,
                                bool headAlways) {
    const int L = r.lastExpClass > 0 ? r.lastExpClass : r.maxPairwiseDistance;
    const bool counts = L != 0 && !r.observed.empty() && r.hasExpected;
    if (b.onlyMismatch != nullptr && (counts || headAlways)) write_batch_head(*b.onlyMismatch, sampleName);
    if (counts) {
        for (std::ostream* s : {b.mismatch, b.spatial3, b.onlyMismatch}) {
            if (s == nullptr) continue;
            for (int c = 0; c <= r.maxPairwiseDistance && c < static_cast<int>(r.observed.size()); ++c)
                *s << r.observed[static_cast<std::size_t>(c)] << "\t";
        }
    } else {
        const double n = r.sampleSize;
        const long pairs = static_cast<long>((n - 1.0) * n * 0.5);
        for (std::ostream* s : {b.mismatch, b.spatial3}) {
            if (s != nullptr) *s << pairs;
        }
    }
    // The four-parameter line ends where the three-parameter one does.
    for (std::ostream* s : {b.mismatch, b.spatial3, b.spatial4, b.onlyMismatch}) {
        if (s != nullptr) *s << std::endl;
    }
}

}  // namespace quintle
