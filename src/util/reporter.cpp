#include "util/reporter.h"

#include <array>

#include "util/json_text.h"
#include "util/ldif_comment.h"

namespace kestrel {

Reporter::~Reporter() {
    if (!openLine_.empty()) {
        out_ << ldifComment(openLine_);
    }
}

void Reporter::write(std::string_view text) {
    if (capturing_) {
        captured_.push_back({Captured::Kind::Out, std::string(text)});
        return;
    }
    if (ldifOnly) {
        writeAsLdif(text);
        return;
    }
    if (!text.empty()) {
        (json ? err_ : out_) << text;
        lineOpen_ = text.back() != '\n';
    }
}

// Lines are written once they end: a line may be built in pieces, and only a whole line
// can be made one comment.
void Reporter::writeAsLdif(std::string_view text) {
    std::size_t end = 0;
    while ((end = text.find('\n')) != std::string_view::npos) {
        openLine_.append(text.substr(0, end));
        out_ << (openLine_.empty() ? "\n" : ldifComment(openLine_));
        openLine_.clear();
        text.remove_prefix(end + 1);
    }
    openLine_.append(text);
    lineOpen_ = !openLine_.empty();
}

void Reporter::info(std::string_view text) {
    if (!quiet) {
        write(text);
    }
}

void Reporter::notice(std::string_view text) {
    write(text);
}

void Reporter::trace(std::string_view text) {
    if (debug) {
        write(text);
    }
}

void Reporter::block(std::string_view text) {
    if (capturing_) {
        captured_.push_back({Captured::Kind::Block, std::string(text)});
        return;
    }
    if (lineOpen_) {
        write("\n");
    }
    if (ldifOnly) {
        out_ << text;  // a record, or comments already written as such
        return;
    }
    write(text);
}

void Reporter::problem(std::string_view text) {
    if (capturing_) {
        captured_.push_back({Captured::Kind::Err, std::string(text)});
        return;
    }
    // Standard output first, so that on a shared terminal the lines keep their order.
    out_.flush();
    err_ << text;
}

void Reporter::traceProblem(std::string_view text) {
    if (debug) {
        problem(text);
    }
}

void Reporter::warning(std::string_view text) {
    notice("WARN: " + std::string(text));
}

void Reporter::targetResult(const TargetResult& result) {
    if (!json) {
        return;
    }
    static constexpr std::array<const char*, 3> kOutcomes{"done", "failed", "unknown"};
    const auto index = static_cast<std::size_t>(result.outcome);
    ++results_[index];
    out_ << "{\"dn\":" << jsonString(result.dn) << ",\"outcome\":\"" << kOutcomes[index]
         << "\",\"code\":" << result.code << ",\"text\":" << jsonString(result.text)
         << ",\"server_text\":" << jsonString(result.serverText) << "}\n";
    out_.flush();
}

void Reporter::resultSummary(std::size_t targets, int exitStatus) {
    if (!json) {
        return;
    }
    const std::size_t reported = results_[0] + results_[1] + results_[2];
    out_ << "{\"targets\":" << targets << ",\"done\":" << results_[0]
         << ",\"failed\":" << results_[1] << ",\"unknown\":" << results_[2]
         << ",\"not_sent\":" << (targets > reported ? targets - reported : 0)
         << ",\"exit_status\":" << exitStatus << "}\n";
    out_.flush();
}

void Reporter::beginCapture() {
    capturing_ = true;
    captured_.clear();
}

std::vector<Reporter::Captured> Reporter::endCapture() {
    capturing_ = false;
    return std::move(captured_);
}

void Reporter::replay(const std::vector<Captured>& captured) {
    for (const Captured& piece : captured) {
        switch (piece.kind) {
            case Captured::Kind::Out:
                write(piece.text);
                break;
            case Captured::Kind::Err:
                problem(piece.text);
                break;
            case Captured::Kind::Block:
                block(piece.text);
                break;
        }
    }
}

}  // namespace kestrel
