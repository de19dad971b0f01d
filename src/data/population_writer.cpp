// Writer of a sample block of the project file.

#include <iomanip>
#include <ostream>
#include <string>

#include "data/HaploDef.h"
#include "data/Population.h"
#include "data/TPhenotype.h"

namespace quintle {

std::ostream& operator<<(std::ostream& os, Population const& p) {
    std::ios::fmtflags const flags = os.flags();
    std::streamsize const precision = os.precision();

    bool const genotypic = p.profile.GenotypicData != 0;
    double const size = genotypic ? p.SampleSize / 2.0 : p.SampleSize;
    os << "\t\tSampleName=\"" << p.name << "\"\n";
    os << "\t\tSampleSize=" << static_cast<long long>(size) << "\n";
    os << "\t\tSampleData={\n";
    os << std::right;

    long const nPheno = p.phenotypes.size();
    if (genotypic && nPheno > 0) {
        for (long i = 0; i < nPheno; ++i) {
            TPhenotype const* ph = p.phenotypes[i];
            if (ph == nullptr) continue;
            os << std::setw(16) << ph->name << std::fixed << std::setprecision(2) << std::setw(10) << ph->count
               << "\t" << ph->alleleString1 << "\n";
            os << std::string(26, ' ') << "\t" << ph->alleleString2 << "\n";
        }
    } else if (nPheno > 0) {
        // Each gamete of a haplotypic sample still held as phenotypes gets a
        // label of its own.
        std::string base(p.name.c_str());
        for (char& c : base)
            if (c == ' ') c = '_';
        int running = 0;
        for (long i = 0; i < nPheno; ++i) {
            TPhenotype const* ph = p.phenotypes[i];
            if (ph == nullptr) continue;
            for (my_string const* allele : {&ph->alleleString1, &ph->alleleString2}) {
                if (allele->length() == 0) continue;
                std::string const label = base + "_" + std::to_string(++running);
                os << std::setw(30) << label << std::fixed << std::setprecision(2) << std::setw(10) << ph->count
                   << "\t" << *allele << "\n";
            }
        }
    } else {
        for (long i = 0; i < p.haplotypes.count; ++i) {
            PHaploDef const* entry = p.haplotypes.data[i];
            if (entry == nullptr || entry->haplotype == nullptr) continue;
            os << std::setw(16) << entry->haplotype->id << std::setw(10) << entry->count << "\t"
               << entry->haplotype->data << "\n";
        }
    }
    os << "\t\t}\n" << std::flush;

    os.flags(flags);
    os.precision(precision);
    return os;
}

}  // namespace quintle
