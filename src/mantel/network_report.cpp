#include "mantel/network_report.h"

#include <algorithm>
#include <iomanip>
#include <string>

#include "core/References.h"
#include "data/Haplo_DB.h"
#include "mantel/TMinSpaNet.h"

namespace quintle {

namespace {

std::string rule(char c, int n) { return std::string(static_cast<std::size_t>(n), c); }

void tree_heading(std::ostream& out, long otus, int w) {
    out << "\n\n" << rule('=', 43) << "\n";
    out << "MINIMUM SPANNING TREE between " << std::setw(8) << otus << " OTUs\n";
    out << rule('=', 43) << "\n";
    References(out, my_string("MST_1957"));
    out << "\n";
    out << std::setw(w - 5) << " " << "OTU 1  " << std::setw(w - 5) << " " << "OTU 2  " << "  Connection length\n";
    out << std::setw(w + 2) << "=====  " << std::setw(w) << "=====" << "    =================\n";
}

void nexus_heading(std::ostream& out) {
    out << "\n" << rule('-', 43) << "\n" << "NEXUS notation for MST" << "\n" << rule('-', 43) << "\n\n";
}

void network_heading(std::ostream& out) {
    out << "\n\n" << rule('=', 67) << "\n";
    out << "Alternative connections between OTUs\n";
    out << "to extend the minimum spanning tree into a MINIMUM SPANNING NETWORK\n";
    out << rule('=', 67) << "\n\n";
}

void five_decimals(std::ostream& out) {
    out.setf(std::ios::fixed, std::ios::floatfield);
    out.setf(std::ios::showpoint);
    out.precision(5);
}

}  // namespace

void print_global_spanning_network(std::ostream& out, RectMat& distances, Haplo_DB const& hl) {
    TMinSpaNet net(&distances);
    net.MakeNetwork();
    int w = 8;
    for (long k = 0; k < hl.haplotypes.count; ++k) w = std::max(w, otu_label(hl, static_cast<int>(k)).length() + 4);

    tree_heading(out, hl.haplotypes.count, w);
    for (std::size_t k = 0; k < net.parentOTU.size(); ++k) {
        // A step that found no link to the tree has nothing to show.
        if (net.parentOTU[k] < 0) continue;
        out << std::setw(w) << otu_label(hl, net.parentOTU[k]) << "  " << std::setw(w) << otu_label(hl, net.newOTU[k])
            << "  " << std::setw(18) << net.linkLength[k] << "\n";
    }

    nexus_heading(out);
    char treeName[] = "MST_AMOVA";
    net.printMST(out, treeName, hl);
    out << std::endl;

    network_heading(out);
    out << std::setw(w) << "OTU" << "List of alternative links\n";
    out << std::setw(w) << "===" << "=========================\n";
    for (std::size_t i = 0; i < net.alternativeLinks.size(); ++i) {
        std::vector<int> const& links = net.alternativeLinks[i];
        if (links.empty()) continue;
        int const a = static_cast<int>(i);
        out << otu_label(hl, a);
        for (int b : links) out << otu_label(hl, b) << " (" << net.distance(a, b) << ") ";
        out << "\n";
    }
    out << "\n" << std::endl;
}

void print_sample_spanning_network(std::ostream& out, RectMat& distances, PHaploDefList const& haplotypes,
                                   my_string const& sampleName, int w) {
    TMinSpaNet net(&distances);
    net.MakeNetwork();

    tree_heading(out, haplotypes.count, w);
    for (std::size_t k = 0; k < net.parentOTU.size(); ++k) {
        if (net.parentOTU[k] < 0) continue;
        out << std::setw(w) << otu_label(haplotypes, net.parentOTU[k]) << "  " << std::setw(w)
            << otu_label(haplotypes, net.newOTU[k]) << "  ";
        five_decimals(out);
        out.setf(std::ios::right, std::ios::adjustfield);
        out << std::setw(18) << net.linkLength[k] << "\n";
    }
    out << std::endl;

    nexus_heading(out);
    std::string name(sampleName.c_str());
    net.printMST(out, name.data(), haplotypes);
    out << std::endl;

    network_heading(out);
    out << std::setw(w - 3) << " " << "OTU" << std::setw(30) << "List of alternative links\n";
    out << std::setw(w) << "===" << std::setw(30) << "=========================\n";
    for (std::size_t i = 0; i < net.alternativeLinks.size(); ++i) {
        std::vector<int> const& links = net.alternativeLinks[i];
        if (links.empty()) continue;
        int const a = static_cast<int>(i);
        out << std::setw(w) << otu_label(haplotypes, a);
        for (int b : links) {
            out << std::setw(w + 1) << otu_label(haplotypes, b) << " (";
            five_decimals(out);
            out << net.distance(a, b) << ") ";
        }
        out << "\n";
    }
    out << "\n" << std::endl;
}

}  // namespace quintle
