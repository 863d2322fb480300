// The one owner of every line the program writes: which stream a line goes to, whether
// -q hides it, whether it is a debug line, capture and replay. The layer that owns a line
// formats it; computing code returns values and hands the Reporter finished text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

class Reporter {
  public:
    Reporter(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    bool quiet = false;  // -q
    bool debug = false;  // -d
    // -q -dryrun: standard output is an LDIF file. Blocks (the records) are written as
    // given; every other line is written as an LDIF comment, an empty line as it is.
    bool ldifOnly = false;

    // A line left unfinished in an LDIF-only output is ended as a comment.
    ~Reporter();
    Reporter(const Reporter&) = delete;
    Reporter& operator=(const Reporter&) = delete;
    // -json: standard output carries only the result lines below; every other line,
    // -q and -d deciding as ever, goes to standard error instead.
    bool json = false;

    // Standard output (standard error with -json). Texts are written as given: a line may be built
    // in pieces (a target's progress, then its outcome), so the caller supplies the line ends.
    void info(std::string_view text);    // the run's picture; -q hides it
    void notice(std::string_view text);  // warnings and what explains an early end; always
    void trace(std::string_view text);   // -d only
    // Whole lines that must start on a line of their own (a preview's LDIF records): an
    // unfinished line, such as a target's "   DN: ...", is ended first. Always written.
    void block(std::string_view text);

    // Standard error.
    void problem(std::string_view text);       // always
    void traceProblem(std::string_view text);  // -d only

    // "WARN: <text>" on standard output, whatever -q says.
    void warning(std::string_view text);

    // -json only, nothing otherwise: a result line on standard output, written and flushed
    // at once (never captured), so that a run that is killed leaves whole lines.
    void result(std::string_view line);

    // A run's progress drawn over itself on standard error, which the caller has found to
    // be a terminal. Any other text written to that terminal erases it first, so it never
    // mixes with a line; it is not drawn while a line there is unfinished.
    void showStatus(std::string_view text);
    void clearStatus();
    // Standard output is the same terminal: its text erases the status line too.
    bool statusSharesTerminal = false;

    // What was written while capturing, in order, to be written later as it would have
    // been: a request sent ahead of its turn keeps its lines until its target's turn.
    struct Captured {
        enum class Kind { Out, Err, Block } kind;
        std::string text;
    };
    void beginCapture();
    std::vector<Captured> endCapture();
    void replay(const std::vector<Captured>& captured);

  private:
    void write(std::string_view text);
    void writeAsLdif(std::string_view text);
    // Before text goes to standard output (`toOut`) or standard error.
    void makeRoomFor(bool toOut);

    std::ostream& out_;
    std::ostream& err_;
    bool lineOpen_ = false;  // the lines' stream's last text did not end a line
    std::string openLine_;   // ldifOnly: the unfinished line, written once it ends
    bool capturing_ = false;
    bool statusShown_ = false;
    std::vector<Captured> captured_;
};

}  // namespace kestrel
