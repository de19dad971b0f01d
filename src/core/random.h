#pragma once

// The one process-wide uniform generator and the deviates drawn from it.
// Every random draw of the program continues the same stream, so results
// depend on the seed and on the order of the draws.

namespace quintle {

// Subtractive uniform generator on [0, 1). A negative *idum (or the very
// first call of the process) reseeds it and sets *idum to 1; any other value
// draws the next number of the shared stream.
double ran3(long* idum);

// Seeds ran3: seeds of 0 or more use an automatic, time-based seed (logged and
// kept in "randseed.txt"); negative seeds reproduce their stream.
void initialize_ran3(long const& seed);

// Uniform index in 0..*n-1. The bound doubles as the generator argument.
// A negative bound draws once, returns -1 and leaves *n alone.
long rand_long(long* n);

// Resampling with replacement: idx[i] uniform in 0..n-1 for i in 0..n-1.
void bootstrap_index(int* idx, int const& n);

// Geometric deviate floor(ln U / ln p); 0 for p < 1e-10 or p == 1.
int geometric(double const& p);

// Truncation of ln(1 - U) / ln(1 - p).
int expdev(double const& p);

// Poisson deviate of mean xm, drawing through ran3(idum).
long poidev(float xm, long* idum);

// Gamma deviate of shape a (0.0 for a <= 0).
double gamma_dev(double a);

// Gamma deviate of integer shape ia (0.0 for ia <= 0).
double igamma_dev(int ia);

// The automatic seed, as a positive value.
long my_rand();

}  // namespace quintle
