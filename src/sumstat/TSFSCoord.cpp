#include "sumstat/TSFSCoord.h"

#include "project/Samples.h"

namespace quintle {

namespace {

// Axis length of sample k: its truncated sample size plus one.
std::int64_t axis_of(Samples const& s, long k) {
    Population const* p = s.Populations.data[k];
    double const size = p != nullptr ? p->SampleSize : 0.0;
    return (size > 0.0 ? static_cast<std::int64_t>(size) : 0) + 1;
}

void size_vectors(TSFSCoord& c, Samples const& s) {
    c.numSamples = static_cast<int>(s.Populations.count);
    c.coords.Reallocate(c.numSamples);
    c.strides.Reallocate(c.numSamples);
    for (int k = 0; k < c.numSamples; ++k) {
        c.coords.Add(0);
        c.strides.Add(1);
    }
}

}  // namespace

void TSFSCoord::initDadiLike(Samples* samples) {
    if (samples == nullptr) return;
    size_vectors(*this, *samples);
    for (int k = numSamples - 2; k >= 0; --k) strides[k] = strides[k + 1] * axis_of(*samples, k + 1);
}

void TSFSCoord::init(Samples* samples) {
    if (samples == nullptr) return;
    size_vectors(*this, *samples);
    for (int k = 1; k < numSamples; ++k) strides[k] = strides[k - 1] * axis_of(*samples, k - 1);
}

std::int64_t TSFSCoord::cell() const {
    std::int64_t c = 0;
    for (int k = 0; k < numSamples && k < coords.count && k < strides.count; ++k) c += coords[k] * strides[k];
    return c;
}

void incMultiSFS(double* sfs, TSFSCoord& c) { sfs[c.cell()] += 1.0; }

void incOneHalfMultiSFS(double* sfs, TSFSCoord& c) { sfs[c.cell()] += 0.5; }

}  // namespace quintle
