// What a run prints at its end and when it stops after a failed target, for the unit suites
// that check a run's whole output.
#pragma once

namespace kestrel::run_texts {

inline constexpr const char* kSucceeded = "\nThe command completed successfully\n\n";
inline constexpr const char* kFailed = "\nThe command did not complete successfully\n\n";
inline constexpr const char* kStop = "\n\nERROR: Too many errors encountered, terminating...\n";

}  // namespace kestrel::run_texts
