#include "popstats/TGenealogy.h"

#include <iostream>

#include "core/Errors.h"

namespace quintle {

int TGenealogy::build_genealogy(std::ostream&, int n, double, double time, double factor) {
    std::ostream& log = *_AOS_;
    log << "Building tree structure\n";
    allocate_tree(n);
    build_tree();
    log << "Done !\n";
    log << "Applying bottleneck: Factor " << factor << ", Time : " << time << "\n";
    bottleneck(time, factor);
    log << "Done !\n";
    log << "Sould never be called" << std::endl;
    std::cin.get();
    return 0;
}

}  // namespace quintle
