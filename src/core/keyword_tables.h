#pragma once

namespace quintle {

// Keyword tables of the project-file readers. They are constant-initialised
// (no code runs to build them), so readers in any translation unit may use
// them at any time, static initialisation included.

// Lower-case keywords that may stand before "=" in the profile and in the
// keyword-driven sub-section readers, in their fixed order.
inline constexpr int IdentifierCount = 40;
inline constexpr const char* Identifiers[IdentifierCount] = {
    "recessiveallele",    // 0
    "datatype",           // 1
    "distmat",            // 2
    "distmatlabel",       // 3
    "exthaplfile",        // 4
    "frequency",          // 5
    "genotypicdata",      // 6
    "group",              // 7
    "gameticphase",       // 8
    "hapllabels",         // 9
    "hapllistname",       // 10
    "hapllist",           // 11
    "individuallevel",    // 12
    "interleave",         // 13
    "labelposition",      // 14
    "locilabels",         // 15
    "locuslisting",       // 16
    "locusseparator",     // 17
    "matrixname",         // 18
    "matrixsize",         // 19
    "matrixdata",         // 20
    "missingdata",        // 21
    "nbgroups",           // 22
    "nbloci",             // 23
    "nbsamples",          // 24
    "sampledata",         // 25
    "samplename",         // 26
    "samplesize",         // 27
    "structurename",      // 28
    "title",              // 29
    "usedhapllist",       // 30
    "recessivedata",      // 31
    "compdistmatrix",     // 32
    "frequencythreshold", // 33
    "epsilonvalue",       // 34
    "distmatmantel",      // 35
    "usedymatrixlabels",  // 36
    "matrixnumber",       // 37
    "ymatrix",            // 38
    "ymatrixlabels",      // 39
};

// Lower-case sub-section names of the "[Data]" section. The code of a
// sub-section is its place in this table counted from 1.
inline constexpr int SubSectionCount = 5;
inline constexpr const char* SubSections[SubSectionCount] = {
    "distancematrix",       // 1
    "haplotypedefinition",  // 2
    "samples",              // 3
    "structure",            // 4
    "mantel",               // 5
};

}  // namespace quintle
