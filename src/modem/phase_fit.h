#pragma once

#include <cstdint>
#include <vector>

namespace sorvex {

// Two doubles side by side, worked on at once where the target has vectors.
using TDoublePair = double __attribute__((vector_size(16)));

// The sender's phase: tone 0 at w0, tone 1 at w1 (rad/sample), bit k from
// at + k·step; or, for a sender that changes tone on a sample clock of its
// own, bit k from the whole sample starts[k].
struct TPhaseModel {
  double w0, w1, at, step;
  std::vector<int> starts;  // empty: the changes fall where the clock puts them
};

// atan2 to about 1e-5 rad (a bias of 0.01 Hz at most on a tone), at a
// fraction of the library's cost.
double FastAtan2(double y, double x);

// sin and cos to about 1e-15 for |x| up to 1e6, at a fraction of the
// library's cost.
void FastSinCos(double x, double& s, double& c);

// Fits the sender's continuous phase to the raw samples [from, to) holding
// the bits `value` (0/1), starting from `model`; false leaves the model as it
// was: the fit failed or moved a tone more than a quarter of the spacing.
bool RefineModel(const int16_t* x, int from, int to, const std::vector<char>& value,
                 TPhaseModel& model);

}  // namespace sorvex
