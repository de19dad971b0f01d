#pragma once

// Checks of one sample's data that the drivers and the run's feasibility
// checks share.

namespace quintle {

class Population;

// True when the sample's haplotype list holds texts and no site state: every
// character of every text is a deletion ('-') or the missing-data character.
// Sequences or RFLP haplotypes of that kind have no usable site whatever
// the settings, so nothing that compares sites can be computed on them.
bool holds_no_site_state(Population const& p);

}  // namespace quintle
