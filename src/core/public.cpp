#include "core/public.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ios>
#include <limits>

#ifdef _WIN32
#include <process.h>
#define QUINTLE_GETPID _getpid
#else
#include <unistd.h>
#define QUINTLE_GETPID getpid
#endif

namespace quintle {

namespace {

// Value of a text under the digit rule. It is kept exactly while it stays
// within +-10^36 (so every text of up to 36 digits is exact), and beside it
// approximately in long double for the texts beyond, which then saturate.
struct DigitValue {
    __int128 exact = 0;
    bool saturated = false;
    long double approx = 0.0L;
};

constexpr __int128 pow10_i128(int n) {
    __int128 r = 1;
    for (int i = 0; i < n; ++i) r *= 10;
    return r;
}

constexpr __int128 exact_bound = pow10_i128(36);

DigitValue digit_rule(char const* begin, char const* end) {
    DigitValue v;
    __int128 weight = 1;
    bool weight_beyond = false;  // weight > 10^36: a further non-zero digit saturates
    long double approx_weight = 1.0L;
    for (char const* p = end; p != begin;) {
        char c = *--p;
        if (c >= '0' && c <= '9') {
            int digit = c - '0';
            if (digit != 0 && !v.saturated) {
                if (weight_beyond) {
                    v.saturated = true;
                } else {
                    v.exact += digit * weight;
                    if (v.exact > exact_bound || v.exact < -exact_bound) v.saturated = true;
                }
            }
            v.approx += digit * approx_weight;
            approx_weight *= 10.0L;
            if (!weight_beyond) {
                weight *= 10;
                if (weight > exact_bound) weight_beyond = true;
            }
        } else if (c == '-') {
            v.exact = -v.exact;
            v.approx = -v.approx;
        }
    }
    return v;
}

template <typename Int>
Int saturate(DigitValue const& v) {
    constexpr Int lo = std::numeric_limits<Int>::min();
    constexpr Int hi = std::numeric_limits<Int>::max();
    if (v.saturated) {
        if (v.approx >= static_cast<long double>(hi)) return hi;
        if (v.approx <= static_cast<long double>(lo)) return lo;
        return static_cast<Int>(v.approx);
    }
    if (v.exact > hi) return hi;
    if (v.exact < lo) return lo;
    return static_cast<Int>(v.exact);
}

double as_double(DigitValue const& v) {
    return v.saturated ? static_cast<double>(v.approx) : static_cast<double>(v.exact);
}

bool is_line_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_exponent_letter(char c) { return c == 'e' || c == 'E' || c == 'd' || c == 'D'; }

constexpr double ln10 = 2.302585092994046;
// Fraction characters beyond this many add less than 10^-36 to the value.
constexpr long max_fraction_chars = 36;

}  // namespace

int my_atoi(char const* text) {
    if (text == nullptr) return 0;
    return saturate<int>(digit_rule(text, text + std::strlen(text)));
}

long my_atol(char const* text) {
    if (text == nullptr) return 0;
    return saturate<long>(digit_rule(text, text + std::strlen(text)));
}

// The value is sign * (I + F * 10^-len) * 10^X, where I, F and X are the
// integer, fraction and exponent texts under the digit rule and len is the
// fraction's length in characters (I - F * 10^-len when I is negative). The
// powers of ten go through exp(n * ln 10), as the program always computed
// them, so the values of plain decimals stay what they always were. The
// exponent starts at the first e, E, d or D after the '.' (or anywhere in a
// text without '.'); surrounding line blanks are not part of any text.
double my_atof(char const* text) {
    if (text == nullptr || *text == '\0') return 0.0;
    char const* begin = text;
    char const* end = text + std::strlen(text);
    while (end > begin && is_line_blank(end[-1])) --end;
    while (begin < end && is_line_blank(*begin)) ++begin;

    double sign = 1.0;
    if (begin < end && *begin == '-') {
        sign = -1.0;
        ++begin;
    }
    char const* dot = std::find(begin, end, '.');
    char const* exponent = std::find_if(dot == end ? begin : dot + 1, end, is_exponent_letter);

    DigitValue integer = digit_rule(begin, dot == end ? exponent : dot);
    double magnitude = as_double(integer);

    if (dot != end) {
        char const* frac_begin = dot + 1;
        char const* frac_end = exponent;
        while (frac_end > frac_begin && is_line_blank(frac_end[-1])) --frac_end;
        frac_end = std::min(frac_end, frac_begin + max_fraction_chars);
        long len = frac_end - frac_begin;
        if (len > 0) {
            double fraction = as_double(digit_rule(frac_begin, frac_end)) * std::exp(-len * ln10);
            if (magnitude < 0.0)
                magnitude -= fraction;
            else
                magnitude += fraction;
        }
    }

    double x = as_double(digit_rule(exponent, end));
    // 0 times an overflowing power stays 0 rather than becoming NaN.
    if (x != 0.0 && magnitude != 0.0) return sign * magnitude * std::exp(x * ln10);
    return sign * magnitude;
}

char* my_itoa(int value, char* buffer, int radix) {
    if (buffer == nullptr) return nullptr;
    if (radix != 10) {
        buffer[0] = '\0';
        return nullptr;
    }
    std::sprintf(buffer, "%d", value);
    return buffer;
}

char* my_ftoa(float value, char* buffer, float radix) {
    if (buffer == nullptr) return nullptr;
    if (radix != 10.0f) {
        buffer[0] = '\0';
        return nullptr;
    }
    std::sprintf(buffer, "%f", static_cast<double>(value));
    return buffer;
}

void my_strrev(char* text) {
    if (text == nullptr) return;
    size_t len = std::strlen(text);
    if (len < 1 || len > 3000) return;
    std::reverse(text, text + len);
}

bool rm_in_zero(char* text) {
    if (text == nullptr || *text == '\0') return false;
    size_t len = std::strlen(text);
    while (len > 1 && text[len - 1] == '0') text[--len] = '\0';
    return true;
}

void convert_to_slash(char* path) { my_string::convert_to_slash(path); }

my_string getPmlRunString() {
    char name[64];
    std::snprintf(name, sizeof name, "pml_run_%i.txt", static_cast<int>(QUINTLE_GETPID()));
    return my_string(name);
}

std::ostream& real_8w_4p(std::ostream& os) {
    os.precision(4);
    // Replaces the notation rather than adding to it: fixed together with
    // scientific would print hexadecimal.
    os.setf(std::ios::fixed, std::ios::floatfield);
    os.unsetf(std::ios::left);
    os.setf(std::ios::right);
    os.fill(' ');
    os.width(10);
    return os;
}

std::ostream& time_date(std::ostream& os) { return os; }

std::clock_t get_sys_clock() { return std::clock(); }

}  // namespace quintle
