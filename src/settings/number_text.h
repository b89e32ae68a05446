#pragma once

#include <string>

// Text forms of numbers. The same forms go into JSON, FFmpeg arguments, tags and log lines, so
// there is exactly one function for each.

// Shortest decimal text that reads back as the same double, always with a decimal point or an
// exponent: 0.0, 2.5, 3.3333333333333335, 5e-05, 1e+16. Positional for magnitudes from 1e-4 up
// to below 1e16.
std::string double_text(double value);

// The handle-tag form: rounded to 4 decimals (half to even on the exact value), then written as
// double_text. 3.14159265 gives 3.1416, 10 gives 10.0.
std::string tag_seconds_text(double value);

// Fixed-point text with `decimals` digits after the point, rounded to nearest: log numbers.
std::string fixed_text(double value, int decimals);
