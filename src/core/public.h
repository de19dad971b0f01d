#pragma once

#include <ctime>
#include <ostream>

#include "core/my_string.h"
#include "core/platform.h"

namespace quintle {

// Text to number with the program's own tolerant rules. The digit rule reads
// the text from its end: each digit adds digit * weight (weight * 10 after
// it), a '-' negates what was read to its right, every other character is
// skipped. Values beyond the result type saturate at its limits.
int my_atoi(char const* text);
long my_atol(char const* text);
// Integer part, fraction and exponent (e/E/d/D, with or without a '.'), each
// read with the digit rule. See public.cpp for the exact composition.
double my_atof(char const* text);

// Number to text ("%d" / "%f") into the caller's buffer; only radix 10 is
// supported: any other radix leaves the buffer empty and returns null.
char* my_itoa(int value, char* buffer, int radix);
char* my_ftoa(float value, char* buffer, float radix);

// Reverses a text of 1 to 3000 characters in place; others stay unchanged.
void my_strrev(char* text);

// Removes trailing '0' characters but never the first character; false for
// an empty text.
bool rm_in_zero(char* text);

// Every backslash becomes '/', in place.
void convert_to_slash(char* path);

// Name of this process's run file: "pml_run_<process id>.txt".
my_string getPmlRunString();

// Stream manipulator: fixed, precision 4, right-adjusted in a field of 10.
std::ostream& real_8w_4p(std::ostream& os);
// Stream manipulator that writes nothing.
std::ostream& time_date(std::ostream& os);

// Processor time used so far, in clock ticks.
std::clock_t get_sys_clock();

}  // namespace quintle
