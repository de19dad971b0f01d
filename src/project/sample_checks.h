#pragma once

// Checks of one sample's data that the drivers and the run's feasibility
// checks share.

namespace quintle {

class Population;

// True when the sample's haplotype list holds texts and none of their sites
// is usable: at each site every copy is a deletion ('-') or missing data, or
// more than `allowedMissing` of the copies are missing data (a text too
// short to reach the site counts as missing there). Sequences or RFLP
// haplotypes of that kind have no usable site whatever the other settings,
// so nothing that compares sites can be computed on them.
bool holds_no_usable_site(Population const& p, double allowedMissing);

}  // namespace quintle
