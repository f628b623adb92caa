// Defined conversions of simulation doubles. Converting a NaN, an infinity or
// an out-of-range double straight to an integer or a float is undefined; these
// give every input a defined result.
#pragma once

#include <cstdint>
#include <limits>

namespace tarnwix {

// Truncation toward zero into a signed 32-bit word. NaN gives 0; values
// beyond the range saturate at its ends.
constexpr int32_t truncate_to_int32(double value) {
  if (value != value) return 0;
  if (value <= -2147483649.0) return std::numeric_limits<int32_t>::min();
  if (value >= 2147483648.0) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

// Rounding to single precision as the processor does it: magnitudes beyond
// the float range become infinities, NaN stays NaN.
constexpr float narrow_to_float(double value) {
  constexpr double kOverflowEdge = 0x1.ffffffp127;  // halfway past the largest float
  if (value >= kOverflowEdge) return std::numeric_limits<float>::infinity();
  if (value <= -kOverflowEdge) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

// Rounds an intermediate result to double precision. The x87 unit may carry a
// result wider than a double from one operation to the next (and the panel
// may leave it in extended precision); storing it rounds it, so that 83.333...
// feet per second times 60 is 5000 and not 4999.99..., whatever the precision
// the unit is set to.
inline double in_double(double value) {
  volatile double stored = value;
  return stored;
}

// Clamps that test the upper bound first, then the lower bound.
constexpr double clamp_upper_first(double value, double lower, double upper) {
  if (value > upper) value = upper;
  if (value < lower) value = lower;
  return value;
}

// A position handed to the simulator as a moving image's or slider's value:
// NaN, which no comparison catches, is taken as 0 (as its truncation gives 0),
// then the value is clamped upper bound first. The simulator is always handed
// a place on the strip.
constexpr double position_within(double value, double lower, double upper) {
  return clamp_upper_first(value != value ? 0.0 : value, lower, upper);
}

constexpr double cap_at(double value, double upper) { return value > upper ? upper : value; }
constexpr double floor_at(double value, double lower) { return value < lower ? lower : value; }

}  // namespace tarnwix
