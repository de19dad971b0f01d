#pragma once

// Mutation models of the coalescent simulations. The states of a site are
// ints held in each node's sequence; the models differ in the root state and
// in what one mutation does to a state:
//   STEPWISE_MUT     repeat number: root 0, one step down or up
//   TWO_STATE_MUT    restriction site: root 0, 0 becomes 1, anything else 0
//   DNA_MUT          nucleotides 0 A, 1 G, 2 C, 3 T: random root base, then
//                    a transition or one of the two transversions
//   NEW_ALLELE_MUT   root 0, every hit makes the site's hit count the state
//
// The routines that drop mutations on a genealogy are TNode::add_mutations
// (both forms) and PopGenetics::sprinkle_mutations; they live in
// mutations.cpp.

namespace quintle {

enum Mut_Type : int { STEPWISE_MUT = 0, TWO_STATE_MUT = 1, DNA_MUT = 2, NEW_ALLELE_MUT = 3 };

}  // namespace quintle
