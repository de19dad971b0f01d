#include "data/TGenotype.h"

#include <iomanip>

#include "data/TPopHaplotype.h"

namespace quintle {

namespace {

void write_hapl(std::ostream& os, TPopHaplotype const* h) {
    if (h != nullptr) os << *h;
}

int listed_index(TPopHaplotype const* h) { return h != nullptr ? h->listedIndex : -1; }

}  // namespace

void TGenotype::print_genot(std::ostream& os, double const& total) const {
    os << std::fixed << std::showpoint << std::right;
    os << std::setw(13) << std::setprecision(5) << probability / total << " ";
    write_hapl(os, hapl1);
    os << "\n";
    os << std::setw(13) << " " << " ";
    write_hapl(os, hapl2);
    os << std::endl;
}

std::ostream& operator<<(std::ostream& os, TGenotype const& g) {
    os << std::fixed << std::showpoint << std::right;
    os << std::setw(13) << std::setprecision(5) << g.probability << " ";
    write_hapl(os, g.hapl1);
    os << "\n";
    os << std::setw(13) << " " << " ";
    write_hapl(os, g.hapl2);
    os << "\n";
    return os;
}

void TGenotype::printGenotFreqs(std::ostream& os, int const& i, double const& total) const {
    os << std::fixed << std::right << std::setprecision(6);
    os << std::setw(5) << i + 1 << "\t" << std::setw(12) << probability / total << "\t" << std::setw(12)
       << probability << "\t" << std::setw(12) << listed_index(hapl1) << "\t";
    write_hapl(os, hapl1);
    os << "\n";
    os << std::setw(5) << " " << "\t" << std::setw(12) << " " << "\t" << std::setw(12) << " " << "\t"
       << std::setw(12) << listed_index(hapl2) << "\t";
    write_hapl(os, hapl2);
    os << "\n";
}

}  // namespace quintle
