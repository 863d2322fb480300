#include "util/reporter.h"

#include <array>

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
        makeRoomFor(!json);
        (json ? err_ : out_) << text;
        lineOpen_ = text.back() != '\n';
    }
}

// Lines are written once they end: a line may be built in pieces, and only a whole line
// can be made one comment.
void Reporter::writeAsLdif(std::string_view text) {
    std::size_t end = 0;
    while ((end = text.find('\n')) != std::string_view::npos) {
        makeRoomFor(true);
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
        makeRoomFor(true);
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
    makeRoomFor(false);
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

void Reporter::result(std::string_view line) {
    if (json) {
        makeRoomFor(true);
        out_ << line;
        out_.flush();
    }
}

void Reporter::makeRoomFor(bool toOut) {
    if (!toOut || statusSharesTerminal) {
        clearStatus();
    }
}

void Reporter::showStatus(std::string_view text) {
    const bool linesOnTerminal = json || statusSharesTerminal;
    if (capturing_ || (lineOpen_ && linesOnTerminal)) {
        return;
    }
    // Whatever standard output holds lands before the line, not after it.
    out_.flush();
    err_ << '\r' << text << "\x1b[K";
    err_.flush();
    statusShown_ = true;
}

void Reporter::clearStatus() {
    if (statusShown_) {
        err_ << "\r\x1b[K";
        err_.flush();
        statusShown_ = false;
    }
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
