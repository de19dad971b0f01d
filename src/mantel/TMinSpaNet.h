#pragma once

// Minimum spanning network over the OTUs (haplotypes) of a square distance
// matrix: the tree links chosen by Prim's method and, per OTU, the
// alternative links of equal length that extend the tree into a network.
//
// INTERIM STAND-IN: builds the tree links only (no alternative links, no
// tree of nodes) and printMST writes nothing; the minimum-spanning-network
// work replaces this file with the full class.

#include <algorithm>
#include <ostream>
#include <vector>

#include "core/MY_TArrayAsVector.h"
#include "core/RectMat.h"
#include "data/Haplo_DB.h"

namespace quintle {

class TMinSpaNet {
public:
    // Step k = 0 .. n-2 of the tree: the OTU already in the tree, the OTU
    // added at that step and the length of their link. Sized to n entries
    // by MakeNetwork and read by index (their counts stay 0).
    MY_TArrayAsVector<int> parentOTU{1, 10};
    MY_TArrayAsVector<int> newOTU{1, 10};
    MY_TArrayAsVector<double> linkLength{1, 10};
    // Per OTU, the OTUs joined to it by an alternative link (`count` of them).
    std::vector<MY_TArrayAsVector<int>> alternativeLinks;
    // Not owned; d(i, j) is read at (max(i, j), min(i, j)).
    RectMat* distances = nullptr;

    explicit TMinSpaNet(RectMat* m) : distances(m) {}

    int otu_count() const { return distances == nullptr ? 0 : std::min(distances->nRows, distances->nCols); }

    // Builds the tree links; always 1.
    int MakeNetwork() {
        int const n = otu_count();
        parentOTU.Reallocate(n > 0 ? n : 1);
        newOTU.Reallocate(n > 0 ? n : 1);
        linkLength.Reallocate(n > 0 ? n : 1);
        alternativeLinks.assign(static_cast<std::size_t>(n > 0 ? n : 0), MY_TArrayAsVector<int>(10, 10));
        if (n < 2) return 1;
        // The largest single-precision value, as the distances were once held.
        std::vector<double> best(static_cast<std::size_t>(n), 3.4028234663852886e+38);
        std::vector<int> parent(static_cast<std::size_t>(n), 0);
        std::vector<int> remaining(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) remaining[i] = i;
        int u = 0;
        int uPos = 0;
        for (int k = 0; k + 1 < n; ++k) {
            remaining[uPos] = remaining[k];
            int chosen = -1;
            for (int i = k + 1; i < n; ++i) {
                int const o = remaining[i];
                double const d = distance(u, o);
                if (best[o] > d) {
                    best[o] = d;
                    parent[o] = u;
                }
                // Ties keep the earlier position.
                if (chosen < 0 || best[o] < best[remaining[chosen]]) chosen = i;
            }
            int const w = remaining[chosen];
            parentOTU[k] = parent[w];
            newOTU[k] = w;
            linkLength[k] = best[w];
            u = w;
            uPos = chosen;
        }
        return 1;
    }

    // The tree as a NEXUS block (not written by the stand-in).
    void printMST(std::ostream& /*os*/, char* /*name*/, Haplo_DB const& /*labels*/) {}

private:
    double distance(int i, int j) const { return (*distances)(std::max(i, j), std::min(i, j)); }
};

}  // namespace quintle
