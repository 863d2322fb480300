// How a run ends before its first request: every check on the way answers with a Refusal
// or with nothing, and the driver writes the refusal in one place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "util/nothing_sent.h"
#include "util/reporter.h"

namespace kestrel {

// Why the run ends early, what it writes and the status it ends with. Not every early end is
// a failure: an empty target list ends with 0.
struct Refusal {
    enum class Usage { None, Hint, Full };

    std::string notice;   // written first, as a notice (standard output; -json: standard error)
    std::string problem;  // then on standard error
    Usage usage = Usage::None;  // then the usage hint or text, which give the run's status
    std::int32_t status = -1;   // without usage lines

    // The usual refusal: nothingSentLine(why), status -1.
    static Refusal nothingSent(std::string_view why);
    // Other lines that explain the end, as a notice or on standard error.
    static Refusal saying(std::string notice, std::int32_t status = -1);
    static Refusal onStandardError(std::string problem);
    // The check has already written its lines, each as it found it (the rows or arguments at
    // fault, among other lines).
    static Refusal alreadyWritten(std::int32_t status = -1);
    // The full usage text after `notice`, or the hint after `problem`.
    static Refusal usageText(std::string notice = {});
    static Refusal usageHint(std::string problem);
};

// Nothing: the run goes on.
using Verdict = std::optional<Refusal>;

// Writes the refusal's lines; returns the status the run ends with.
std::int32_t writeRefusal(Reporter& reporter, const Refusal& refusal);

}  // namespace kestrel
