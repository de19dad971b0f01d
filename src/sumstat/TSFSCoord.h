#pragma once

// Coordinates of one cell of a multi-sample frequency spectrum: one
// coordinate per sample (its number of gene copies of the class counted)
// and the stride of each sample's axis. The written spectra use the layout
// of initDadiLike, the last sample varying fastest.

#include <cstdint>

#include "core/MY_TArrayAsVector.h"

namespace quintle {

class Samples;

class TSFSCoord {
public:
    MY_TArrayAsVector<int> coords;
    // In 64 bits: a few samples of a few dozen copies pass 2^31 cells.
    MY_TArrayAsVector<std::int64_t> strides;
    int numSamples = 0;

    // Both vectors sized to the number of samples, coordinates 0; the last
    // sample's stride is 1 and each earlier one is the next stride times
    // (n + 1) of the next sample, n being its truncated SampleSize.
    void initDadiLike(Samples* samples);
    // The same with the first sample fastest.
    void init(Samples* samples);
    // Sum over samples of coordinate x stride; 0 without samples.
    std::int64_t cell() const;
};

// Adds 1.0, resp. 0.5, to the cell of the coordinates.
void incMultiSFS(double* sfs, TSFSCoord& c);
void incOneHalfMultiSFS(double* sfs, TSFSCoord& c);

}  // namespace quintle
