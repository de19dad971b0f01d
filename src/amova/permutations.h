#pragma once

// The one shuffle behind every permutation test of the AMOVA designs. For
// i = last, last-1, ..., stop (descending, stop included) it draws
// u = ran3 and exchanges unit i with unit start + trunc((i - start) u), so a
// unit is always exchanged with an earlier one of its stretch, and units
// start .. stop-1 are only ever partners. Nothing happens when last < stop.
// Exactly one draw of the run's generator is taken per step; the P values
// of the tests depend on that sequence.
//
// Every kernel also takes the length n of the array (in ints or pointers)
// and never touches a position at or beyond it; a stretch that starts below
// 0 or after its stop position is left alone.

namespace quintle {

class Population;

// The next number of the run's one ran3 stream, never reseeding it: every
// permutation draw goes through here.
double permutation_draw();

// Gene copies, the draw in single precision: u and (i - start) are turned
// into floats and multiplied as floats.
void shuffle_copies(int* e, long n, int start, int last, int stop);

// Individuals (copies 2k and 2k+1 are individual k and move together, in
// their order), the draw in double precision.
void shuffle_individuals(int* e, long n, int start, int last, int stop);

// Units of `width` copies (1 or 2) standing at positions[0 .. count-1] of
// e: unit i is the copies from positions[i] on. The shuffle runs over the
// unit numbers, the draw in double precision as for individuals; with
// positions 0, 2, 4, ... and width 2 it is shuffle_individuals.
void shuffle_units(int* e, int const* positions, long count, int width, int start, int last, int stop);

// Samples from position 0, the draw in double precision and floored.
void shuffle_samples(Population** e, long n, int last, int stop);

}  // namespace quintle
