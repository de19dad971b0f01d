#include "amova/FloatsAndPops.h"

#include <iomanip>
#include <new>
#include <ostream>
#include <utility>

#include "amova/Amova.h"
#include "core/Errors.h"
#include "data/Population.h"
#include "project/Structure.h"

namespace quintle {

FloatsAndPops::FloatsAndPops(double const& v, int n, Population** samples) : count(n > 0 ? n : 0) {
    try {
        pops.resize(static_cast<std::size_t>(count));
    } catch (std::bad_alloc const&) {
        std::vector<int>().swap(pops);
        count = 0;
        E.error(MEMORY, "FloatsAndPops::FloatsAndPops()", Msg::m0_not_enough_memory);
    }
    for (int i = 0; i < count; ++i) pops[static_cast<std::size_t>(i)] = samples[i]->id;
    value = v;
}

FloatsAndPops& FloatsAndPops::operator=(FloatsAndPops const& other) {
    if (this == &other) return *this;
    try {
        pops = other.pops;
        count = other.count;
    } catch (std::bad_alloc const&) {
        std::vector<int>().swap(pops);
        count = 0;
        E.error(MEMORY, "FloatsAndPops::operator=", Msg::m0_not_enough_memory);
    }
    value = other.value;
    return *this;
}

void sort_by_value(MY_TIArrayAsVector<FloatsAndPops>& records) {
    long const n = records.count;
    if (n < 1) return;
    long first = 0;
    for (long i = 1; i < n; ++i)
        if (array_detail::pointerBefore<FloatsAndPops>(records.data[i], records.data[first])) first = i;
    if (first != 0) std::swap(records.data[0], records.data[first]);
    MY_TIArrayAsVector<FloatsAndPops>::heapsort(static_cast<int>(n - 1), records.data);
}

void Amova::print_p(FloatsAndPops& record, std::ostream* out) {
    std::ostream& os = *out;
    os << "[";
    int const G = structure != nullptr ? structure->NbGroups : 0;
    int r = 0;
    for (int g = 0; g < G; ++g) {
        int const members = structure->GroupSizes ? structure->GroupSizes[g] : 0;
        for (int k = 0; k < members; ++k, ++r) {
            if (k > 0) os << ",";
            if (r < record.count) os << record.pops[static_cast<std::size_t>(r)] + 1;
        }
        if (g < G - 1) os << "],[";
    }
    os << "]\t\t";
    os << std::setprecision(10) << std::fixed << std::right << std::showpos << std::setw(13) << std::setfill('0')
       << record.value << std::endl;
    os << std::noshowpos;
}

}  // namespace quintle
