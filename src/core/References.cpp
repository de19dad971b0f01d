#include "core/References.h"

#include <cstring>
#include <string>

#include "core/xml.h"

namespace quintle {

namespace {

struct Citation {
    char const* key;
    char const* text;
};

// Keys name the method and the year; texts give the year, the title and the
// journal (or publisher) of the published source. Keys are matched exactly.
constexpr Citation citations[] = {
    // Standard diversity indices
    {"GeneDiversity_1987", "1987. Molecular Evolutionary Genetics. Columbia University Press, New York."},
    {"SmallSampleHet_1978",
     "1978. Estimation of average heterozygosity and genetic distance from a small number of individuals. "
     "Genetics 89: 583-590."},
    {"M_ratio_2001",
     "2001. Detection of reduction in population size using data from microsatellite loci. "
     "Molecular Ecology 10: 305-318."},
    // Molecular diversity and theta estimators
    {"PairwiseDiff_1983", "1983. Evolutionary relationship of DNA sequences in finite populations. Genetics 105: 437-460."},
    {"NucleotideDiversity_1981",
     "1981. DNA polymorphism detectable by restriction endonucleases. Genetics 97: 145-163."},
    {"RestrictionSites_1979",
     "1979. Mathematical model for studying genetic variation in terms of restriction endonucleases. "
     "Proceedings of the National Academy of Sciences USA 76: 5269-5273."},
    {"ThetaS_1975",
     "1975. On the number of segregating sites in genetical models without recombination. "
     "Theoretical Population Biology 7: 256-276."},
    {"NeutralAlleles_1972",
     "1972. The sampling theory of selectively neutral alleles. Theoretical Population Biology 3: 87-112."},
    {"ThetaHom_1964",
     "1964. The number of alleles that can be maintained in a finite population. Genetics 49: 725-738."},
    {"SMM_1973",
     "1973. A model of mutation appropriate to estimate the number of electrophoretically detectable alleles "
     "in a finite population. Genetical Research 22: 201-204."},
    // Mismatch distribution and demographic or spatial expansions
    {"Mismatch_waves_1992",
     "1992. Population growth makes waves in the distribution of pairwise genetic differences. "
     "Molecular Biology and Evolution 9: 552-569."},
    {"Mismatch_expansion_1995", "1995. Genetic evidence for a Pleistocene population explosion. Evolution 49: 608-615."},
    {"Mismatch_raggedness_1994",
     "1994. Signature of ancient population growth in a low-resolution mitochondrial DNA mismatch distribution. "
     "Human Biology 66: 591-600."},
    {"Mismatch_rates_1999",
     "1999. Estimation of past demographic parameters from the distribution of pairwise differences when the "
     "mutation rates vary among sites: application to human mitochondrial DNA. Genetics 152: 1079-1089."},
    {"Mismatch_stable_1977",
     "1977. Distribution of nucleotide differences between two randomly chosen cistrons in a finite population. "
     "Genetics 85: 331-337."},
    {"Mismatch_growth_1991",
     "1991. Pairwise comparisons of mitochondrial DNA sequences in stable and exponentially growing populations. "
     "Genetics 129: 555-562."},
    {"SpatialExpansion_2003",
     "2003. Intra-deme molecular diversity in spatially expanding populations. "
     "Molecular Biology and Evolution 20: 76-86."},
    {"SpatialExpansion_2004",
     "2004. Patterns of DNA sequence diversity and genetic structure after a range expansion: lessons from the "
     "infinite-island model. Molecular Ecology 13: 853-864."},
    {"Bootstrap_1979", "1979. Bootstrap methods: another look at the jackknife. Annals of Statistics 7: 1-26."},
    {"Coalescent_1990", "1990. Gene genealogies and the coalescent process. Oxford Surveys in Evolutionary Biology 7: 1-44."},
    // Haplotype frequencies and gametic phase
    {"EM_algorithm_1977",
     "1977. Maximum likelihood from incomplete data via the EM algorithm. "
     "Journal of the Royal Statistical Society, Series B 39: 1-38."},
    {"EM_haplotypes_1995",
     "1995. Maximum-likelihood estimation of molecular haplotype frequencies in a diploid population. "
     "Molecular Biology and Evolution 12: 921-927."},
    {"EM_multilocus_1995",
     "1995. An E-M algorithm and testing strategy for multiple-locus haplotypes. "
     "American Journal of Human Genetics 56: 799-810."},
    {"Vosk_Ref",
     "2003. Gametic phase estimation over large genomic regions using an adaptive window approach. "
     "Human Genomics 1: 7-19."},
    {"GibbsPhasing_2001",
     "2001. A new statistical method for haplotype reconstruction from population data. "
     "American Journal of Human Genetics 68: 978-989."},
    {"BayesPhasing_2002",
     "2002. Bayesian haplotype inference for multiple linked single-nucleotide polymorphisms. "
     "American Journal of Human Genetics 70: 157-169."},
    // Linkage disequilibrium
    {"LD_EM_test_1996",
     "1996. Testing for linkage disequilibrium in genotypic data using the Expectation-Maximization algorithm. "
     "Heredity 76: 377-383."},
    {"LD_growth_1994", "1994. Linkage disequilibrium in growing and stable populations. Genetics 137: 331-336."},
    {"LD_measure_1964",
     "1964. The interaction of selection and linkage. I. General considerations; heterotic models. "
     "Genetics 49: 49-67."},
    {"LD_dynamics_1960", "1960. The evolutionary dynamics of complex polymorphisms. Evolution 14: 458-472."},
    {"LD_estimation_1974",
     "1974. Estimation of linkage disequilibrium in randomly mating populations. Heredity 33: 229-239."},
    {"LD_finite_1968", "1968. Linkage disequilibrium in finite populations. Theoretical and Applied Genetics 38: 226-231."},
    // Hardy-Weinberg equilibrium
    {"HW_exact_1992",
     "1992. Performing the exact test of Hardy-Weinberg proportion for multiple alleles. Biometrics 48: 361-372."},
    {"HW_matching_1949",
     "1949. On a matching problem arising in genetics. Annals of Mathematical Statistics 20: 91-94."},
    // Neutrality tests
    {"Tajima_D_1989",
     "1989. Statistical method for testing the neutral mutation hypothesis by DNA polymorphism. "
     "Genetics 123: 585-595."},
    {"Fs_test_1997",
     "1997. Statistical tests of neutrality of mutations against population growth, hitchhiking and background "
     "selection. Genetics 147: 915-925."},
    {"NeutralityTests_1993", "1993. Statistical tests of neutrality of mutations. Genetics 133: 693-709."},
    {"HomozygosityTest_1978", "1978. The homozygosity test of neutrality. Genetics 88: 405-417."},
    {"Heterosis_1977", "1977. Heterosis or neutrality? Genetics 85: 789-814."},
    {"AlleleNumberTest_1990",
     "1990. Mitochondrial DNA polymorphism reveals hidden heterogeneity within some Asian populations. "
     "American Journal of Human Genetics 47: 87-94."},
    {"AlleleNumberTest_1991",
     "1991. Genetic variation of the mitochondrial DNA genome in American Indians is at mutation-drift "
     "equilibrium. American Journal of Physical Anthropology 86: 497-506."},
    // Distances between sequences and between alleles
    {"SubstDistance_1969",
     "1969. Evolution of protein molecules. In: Mammalian Protein Metabolism, pp. 21-132. Academic Press, "
     "New York."},
    {"TransitionDistance_1980",
     "1980. A simple method for estimating evolutionary rates of base substitutions through comparative studies "
     "of nucleotide sequences. Journal of Molecular Evolution 16: 111-120."},
    {"BaseFreqDistance_1984",
     "1984. Estimation of evolutionary distance between nucleotide sequences. "
     "Molecular Biology and Evolution 1: 269-285."},
    {"GCContentDistance_1992",
     "1992. Estimation of the number of nucleotide substitutions when there are strong transition-transversion "
     "and G+C-content biases. Molecular Biology and Evolution 9: 678-687."},
    {"TwoTransitionDistance_1993",
     "1993. Estimation of the number of nucleotide substitutions in the control region of mitochondrial DNA in "
     "humans and chimpanzees. Molecular Biology and Evolution 10: 512-526."},
    {"GammaDistance_1990",
     "1990. Limitations of the evolutionary parsimony method of phylogenetic analysis. "
     "Molecular Biology and Evolution 7: 82-102."},
    {"AlleleSizeDistance_1996",
     "1996. A generic estimation of population subdivision using distances between alleles with special "
     "reference for microsatellite loci. Genetics 142: 1061-1064."},
    {"RST_1995",
     "1995. A measure of population subdivision based on microsatellite allele frequencies. "
     "Genetics 139: 457-462."},
    {"DeltaMu2_1995",
     "1995. An evaluation of genetic distances for use with microsatellite loci. Genetics 139: 463-471."},
    {"DeltaMu2_dating_1995",
     "1995. Genetic absolute dating based on microsatellites and the origin of modern humans. "
     "Proceedings of the National Academy of Sciences USA 92: 6723-6727."},
    // AMOVA and F-statistics
    {"AMOVA_1992",
     "1992. Analysis of molecular variance inferred from metric distances among DNA haplotypes: application to "
     "human mitochondrial DNA restriction data. Genetics 131: 479-491."},
    {"FStat_1984", "1984. Estimating F-statistics for the analysis of population structure. Evolution 38: 1358-1370."},
    {"GeneticDataAnalysis_1996",
     "1996. Genetic Data Analysis II: Methods for Discrete Population Genetic Data. Sinauer Associates, "
     "Sunderland, MA."},
    {"GeneFreqVariance_1969", "1969. Variance of gene frequencies. Evolution 23: 72-84."},
    {"GeneFreqAnalysis_1973", "1973. Analyses of gene frequencies. Genetics 74: 679-700."},
    {"FStat_1951", "1951. The genetical structure of populations. Annals of Eugenics 15: 323-354."},
    {"GST_1973",
     "1973. Analysis of gene diversity in subdivided populations. "
     "Proceedings of the National Academy of Sciences USA 70: 3321-3323."},
    {"FixationIndices_1983",
     "1983. Estimation of fixation indices and gene diversities. Annals of Human Genetics 47: 253-259."},
    // Pairwise population distances
    {"GeneticDistance_1972", "1972. Genetic distance between populations. American Naturalist 106: 283-292."},
    {"Coancestry_1983",
     "1983. Estimation of the coancestry coefficient: basis for a short-term genetic distance. "
     "Genetics 105: 767-779."},
    {"LinearizedFST_1991", "1991. Inbreeding coefficients and coalescence times. Genetical Research 58: 167-175."},
    {"UnequalSizes_2000",
     "2000. A simple method of removing the effect of a bottleneck and unequal population sizes on pairwise "
     "genetic distances. Proceedings of the Royal Society of London B 267: 81-87."},
    {"GeneFlow_1992", "1992. Estimation of levels of gene flow from DNA sequence data. Genetics 132: 583-589."},
    // Exact test of differentiation
    {"ExactDiff_1995", "1995. An exact test for population differentiation. Evolution 49: 1280-1283."},
    {"ExactDiffDiploid_1996", "1996. Testing differentiation in diploid populations. Genetics 144: 1933-1940."},
    // Genotype assignment
    {"Assignment_1995",
     "1995. Microsatellite analysis of population structure in Canadian polar bears. "
     "Molecular Ecology 4: 347-354."},
    {"Assignment_1997",
     "1997. Detecting immigration by using multilocus genotypes. "
     "Proceedings of the National Academy of Sciences USA 94: 9197-9201."},
    // Loci under selection
    {"SelectionScan_1996",
     "1996. Evaluating loci for use in the genetic analysis of population structure. "
     "Proceedings of the Royal Society of London B 263: 1619-1626."},
    {"SelectionScanHier_2009",
     "2009. Detecting loci under selection in a hierarchically structured population. Heredity 103: 285-298."},
    // Matrix correlation
    {"MatrixCorrelation_1967",
     "1967. The detection of disease clustering and a generalized regression approach. "
     "Cancer Research 27: 209-220."},
    // Minimum spanning trees and networks
    {"MST_1956",
     "1956. On the shortest spanning subtree of a graph and the traveling salesman problem. "
     "Proceedings of the American Mathematical Society 7: 48-50."},
    {"MST_1957",
     "1957. Shortest connection networks and some generalizations. Bell System Technical Journal 36: 1389-1401."},
    {"MSN_1994",
     "1994. Using allele frequencies and geographic subdivision to reconstruct gene trees within a species: "
     "molecular variance parsimony. Genetics 136: 343-359."},
};

void put(std::ostream& os, std::string const& text) {
    os.write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace

my_string References::get_reference(my_string key) {
    // Only the entries sharing the key's first character are compared.
    const char first = key[0];
    if (first == '\0') return my_string();
    for (const Citation& c : citations)
        if (c.key[0] == first && std::strcmp(c.key, key.c_str()) == 0) return my_string(c.text);
    return my_string();
}

References::References(std::ostream& out, my_string const& key, int part) {
    const std::string text = get_reference(key).c_str();
    if (!xmlOutput) {
        put(out, "           <i>" + text + "</i>\n");
        return;
    }
    switch (part) {
        case 0: put(out, "</data>\n<Reference>" + text + "</Reference>\n"); break;
        case 1: put(out, "<Reference>" + text + "</Reference>\n"); break;
        case 2: put(out, "<Reference>" + text + "</Reference>\n<data>\n"); break;
        default: break;
    }
}

References::References(std::ostream& out, my_string const& key) {
    const std::string text = get_reference(key).c_str();
    if (xmlOutput)
        put(out, "Reference: </data>\n<Reference>" + text + "</Reference>\n<data>\n");
    else
        put(out, "Reference: <i>" + text + "</i>\n");
}

}  // namespace quintle
