#pragma once

// Whether navigation entries of the structure analyses go into the result
// file's menu: true from the start, cleared by the scan for loci under
// selection while it re-runs those analyses on scratch data.

namespace quintle {

extern bool htmlOutput;

}  // namespace quintle
