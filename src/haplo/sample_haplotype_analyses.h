#pragma once

// STAND-IN. The Gibbs-sampler phase estimation that the sample drivers call.
// Until the phasing code lands it does nothing: no output, no change to the
// sample. It takes the sample as first argument where the final code has a
// member function.

namespace quintle {

class PopGenetics;
class settings;

// Gibbs-sampler phase estimation; 1, or 0 when the run was stopped.
int comp_gam_phase_Gibbs(PopGenetics& sample, settings& s);

}  // namespace quintle
