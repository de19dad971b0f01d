#include "datatypes/microsat_distances.h"

#include <cmath>
#include <cstdlib>

#include "data/HaploDef.h"
#include "data/TAllele.h"
#include "datatypes/allele_data.h"

namespace quintle {

double microsat_size(my_string const& name) {
    char const* text = name.c_str();
    return text != nullptr ? std::atof(text) : 0.0;
}

MicrosatSizeRows read_microsat_sizes(std::vector<PHaploDef const*> const& entries, std::vector<int> const& loci,
                                     char missing) {
    MicrosatSizeRows t;
    t.rows = static_cast<int>(entries.size());
    t.loci = static_cast<int>(loci.size());
    const std::size_t cells = static_cast<std::size_t>(t.rows) * loci.size();
    t.size.assign(cells, microsat_missing_size);
    t.missing.assign(cells, 1);
    t.plain.assign(static_cast<std::size_t>(t.rows), 1);
    std::size_t c = 0;
    for (int i = 0; i < t.rows; ++i) {
        PHaploDef const* e = entries[static_cast<std::size_t>(i)];
        for (int l : loci) {
            TAllele const* a = allele_at(e, l);
            if (a != nullptr && !allele_is_missing(a, missing)) {
                t.size[c] = microsat_size(a->name);
                t.missing[c] = 0;
            }
            if (t.missing[c] != 0 || t.size[c] == microsat_missing_size || !std::isfinite(t.size[c]))
                t.plain[static_cast<std::size_t>(i)] = 0;
            ++c;
        }
    }
    return t;
}

bool microsat_rows_symmetric(MicrosatSizeRows const& t) {
    for (std::size_t c = 0; c < t.size.size(); ++c)
        if (t.size[c] == microsat_missing_size && t.missing[c] == 0) return false;
    return true;
}

MicrosatPairStatus microsat_pair_distance(MicrosatSizeRows const& t, int i, int j, int method, double& d) {
    const std::size_t L = static_cast<std::size_t>(t.loci);
    double const* si = t.size.data() + static_cast<std::size_t>(i) * L;
    double const* sj = t.size.data() + static_cast<std::size_t>(j) * L;
    unsigned char const* mj = t.missing.data() + static_cast<std::size_t>(j) * L;
    d = 0.0;
    if (t.plain[static_cast<std::size_t>(i)] != 0 && t.plain[static_cast<std::size_t>(j)] != 0) {
        // Every locus compared, nothing to refuse: no branch per locus.
        if (method == 0) {
            int differ = 0;
            for (std::size_t l = 0; l < L; ++l) differ += si[l] != sj[l] ? 1 : 0;
            d = differ;
        } else {
            for (std::size_t l = 0; l < L; ++l) {
                const double diff = si[l] - sj[l];
                d += diff * diff;
            }
        }
        return MicrosatPairStatus::ok;
    }
    for (std::size_t l = 0; l < L; ++l) {
        // A row keeps only the marker of its missing alleles; the earlier
        // haplotype's are known by name.
        if (si[l] == microsat_missing_size || mj[l] != 0) continue;
        if (!std::isfinite(si[l]) || !std::isfinite(sj[l])) return MicrosatPairStatus::bad_size;
        const double diff = si[l] - sj[l];
        if (method == 0)
            d += diff != 0.0 ? 1.0 : 0.0;
        else
            d += diff * diff;
    }
    return MicrosatPairStatus::ok;
}

}  // namespace quintle
