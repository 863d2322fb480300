#include "cli/refusal.h"

#include <utility>

#include "cli/usage_text.h"

namespace kestrel {

Refusal Refusal::nothingSent(std::string_view why) {
    return saying(nothingSentLine(why));
}

Refusal Refusal::saying(std::string notice, std::int32_t status) {
    Refusal refusal;
    refusal.notice = std::move(notice);
    refusal.status = status;
    return refusal;
}

Refusal Refusal::onStandardError(std::string problem) {
    Refusal refusal;
    refusal.problem = std::move(problem);
    return refusal;
}

Refusal Refusal::alreadyWritten(std::int32_t status) {
    return saying({}, status);
}

Refusal Refusal::usageText(std::string notice) {
    Refusal refusal = saying(std::move(notice));
    refusal.usage = Usage::Full;
    return refusal;
}

Refusal Refusal::usageHint(std::string problem) {
    Refusal refusal = onStandardError(std::move(problem));
    refusal.usage = Usage::Hint;
    return refusal;
}

std::int32_t writeRefusal(Reporter& reporter, const Refusal& refusal) {
    if (!refusal.notice.empty()) {
        reporter.notice(refusal.notice);
    }
    if (!refusal.problem.empty()) {
        reporter.problem(refusal.problem);
    }
    switch (refusal.usage) {
        case Refusal::Usage::Hint:
            return printUsageHint(reporter);
        case Refusal::Usage::Full:
            return printUsage(reporter);
        case Refusal::Usage::None:
            break;
    }
    return refusal.status;
}

}  // namespace kestrel
