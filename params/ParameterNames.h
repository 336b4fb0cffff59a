#pragma once

// The names hosts show for the parameters before the capsules' (indices 0 to 13); the capsules'
// and the outputs' are numbered. The editor finds its parameters by these names.
constexpr int kNumFixedParameters = 14;
extern const char* const kFixedParameterNames[kNumFixedParameters];
