#include "ldif/ldif_change_record.h"

#include <algorithm>
#include <cctype>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "ldif/ldif_control_line.h"
#include "util/ascii_case.h"

namespace kestrel {
namespace {

constexpr std::string_view kChangeTypes[] = {"add",   "modify", "delete",
                                             "moddn", "modrdn", "rename"};

bool holdsZero(const std::string& text) {
    return text.find('\0') != std::string::npos;
}

// The lines before the dn may only say "version: 1".
std::optional<LdifProblem> checkVersionLines(std::span<const LdifLine> beforeDn, bool dnFollows,
                                             unsigned long first) {
    for (const LdifLine& line : beforeDn) {
        if (!named(line, "version")) {
            return ldifProblem(LdifProblem::Kind::Malformed, first,
                               !dnFollows ? "the record has no dn:"
                                          : "expecting \"dn:\" but saw \"" + nameOf(line) +
                                                ":\" (line " + std::to_string(line.number) + ")");
        }
        if (line.value != "1") {
            return ldifProblem(LdifProblem::Kind::Malformed, first,
                               "invalid version " + std::string(line.value) + ", line " +
                                   std::to_string(line.number));
        }
    }
    return std::nullopt;
}

// The record's lines after its dn, taken in order into `record`; how a refusal names one of
// them; and the first reason, if any, why the record cannot be sent as written.
class RecordBody {
  public:
    RecordBody(const std::vector<LdifLine>& lines, std::size_t next, unsigned long first,
               LdifRecord& record)
        : lines_(lines), next_(next), first_(first), record_(record) {}

    // At most one control line, then the changetype; without one the record is an add.
    std::optional<LdifProblem> readHead(bool entriesAreAdds, LibraryMessages& messages,
                                        std::string_view& changeType) {
        const bool hasControl = nextIs("control");
        unsigned long controlLine = 0;
        if (hasControl) {
            const LdifLine& control = take();
            controlLine = control.number;
            if (std::optional<LdifProblem> problem =
                    readControl(control, first_, messages, record_.controls)) {
                return problem;
            }
            if (nextIs("control")) {
                return malformed("only one control: line is taken", take());
            }
        }
        const bool hasChangeType = nextIs("changetype");
        if (!hasChangeType && !entriesAreAdds) {
            return ldifProblem(LdifProblem::Kind::NoChangeType, first_,
                               "an entry without a changetype");
        }
        if (hasControl && atEnd()) {
            return ldifProblem(
                LdifProblem::Kind::Malformed, first_,
                "Expecting more input after control line, line " + std::to_string(controlLine));
        }
        changeType = "add";
        return hasChangeType ? readChangeType(changeType) : std::nullopt;
    }

    // The lines of the record's kind, as `changeType` (one readHead took) says.
    std::optional<LdifProblem> readBody(std::string_view changeType) {
        if (sameName(changeType, "add")) {
            record_.kind = LdifRecord::Kind::Add;
            return readAdd();
        }
        if (sameName(changeType, "modify")) {
            record_.kind = LdifRecord::Kind::Modify;
            return readModify();
        }
        if (sameName(changeType, "delete")) {
            record_.kind = LdifRecord::Kind::Delete;
            return checkEnd();
        }
        record_.kind = LdifRecord::Kind::ModDn;
        return readModDn();
    }

    // Valid LDIF that cannot be sent as written: only the first reason is kept.
    void markUnsendable(const std::string& why) {
        if (!unsendable_) {
            unsendable_ = why;
        }
    }
    const std::optional<std::string>& unsendable() const { return unsendable_; }

  private:
    std::optional<LdifProblem> readChangeType(std::string_view& changeType) {
        const LdifLine& line = take();
        if (std::optional<LdifProblem> problem = checkTrailingSpace(line)) {
            return problem;
        }
        changeType = line.value;
        if (std::none_of(std::begin(kChangeTypes), std::end(kChangeTypes),
                         [&](std::string_view known) { return sameName(changeType, known); })) {
            return malformed("unknown changetype \"" + std::string(changeType) + "\"", line);
        }
        return std::nullopt;
    }

    // Every line an attribute and its value; the values of one attribute, wherever they
    // are, go in one modification where it is first named.
    std::optional<LdifProblem> readAdd() {
        std::unordered_map<std::string, std::size_t> byName;
        for (; next_ < lines_.size(); ++next_) {
            const LdifLine& line = lines_[next_];
            if (line.separator) {
                return malformed("missing attributeDescription", line);
            }
            if (line.name.empty()) {
                return malformed("an attribute without a name", line);
            }
            if (sameName(line.name, "dn")) {
                return malformed("a second dn: line (is a blank line missing before it?)", line);
            }
            std::string key = asciiLower(line.name);
            const auto [found, isNew] = byName.try_emplace(key, record_.modifications.size());
            if (isNew) {
                record_.modifications.push_back(
                    Modification{ModOperation::Add, std::string(line.name), {}, false});
            }
            record_.modifications[found->second].values.emplace_back(line.value);
        }
        return std::nullopt;
    }

    std::optional<LdifProblem> readModify() {
        while (next_ < lines_.size()) {
            if (std::optional<LdifProblem> problem = readModification()) {
                return problem;
            }
        }
        return std::nullopt;
    }

    // "add:", "delete:", "replace:" (or "increment:", which cannot be sent) and an attribute,
    // then its values, up to a "-" line.
    std::optional<LdifProblem> readModification() {
        const LdifLine& op = lines_[next_++];
        std::optional<ModOperation> operation;  // none: increment
        if (std::optional<LdifProblem> problem = readOperation(op, operation)) {
            return problem;
        }
        Modification modification{
            operation.value_or(ModOperation::Add), std::string(op.value), {}, false};
        if (std::optional<LdifProblem> problem = readValues(op.value, modification)) {
            return problem;
        }
        if (!operation) {
            markUnsendable("increment: " + modification.attribute + " cannot be sent");
        } else if (*operation == ModOperation::Add && modification.values.empty()) {
            return malformed("\"add: " + modification.attribute + "\" without a value", op);
        } else {
            record_.modifications.push_back(std::move(modification));
        }
        return std::nullopt;
    }

    // The operation `op` names, and its attribute checked; `operation` stays empty for an
    // increment.
    std::optional<LdifProblem> readOperation(const LdifLine& op,
                                             std::optional<ModOperation>& operation) const {
        if (named(op, "add")) {
            operation = ModOperation::Add;
        } else if (named(op, "delete")) {
            operation = ModOperation::Delete;
        } else if (named(op, "replace")) {
            operation = ModOperation::Replace;
        } else if (!named(op, "increment")) {
            return ldifProblem(LdifProblem::Kind::Malformed, first_,
                               "modify operation type is missing at line " +
                                   std::to_string(op.number) + ", entry \"" + record_.dn + "\"");
        }
        if (std::optional<LdifProblem> problem = checkTrailingSpace(op)) {
            return problem;
        }
        if (op.value.empty()) {
            return malformed("\"" + std::string(op.name) + ":\" names no attribute", op);
        }
        return std::nullopt;
    }

    // The values of `attribute` up to a "-" line (taken too) or the record's end.
    std::optional<LdifProblem> readValues(std::string_view attribute, Modification& modification) {
        for (; next_ < lines_.size() && !lines_[next_].separator; ++next_) {
            const LdifLine& line = lines_[next_];
            if (!sameName(line.name, attribute)) {
                return ldifProblem(LdifProblem::Kind::Malformed, first_,
                                   "wrong attributeType at line " + std::to_string(line.number) +
                                       ", entry \"" + record_.dn + "\"");
            }
            if (modification.values.empty()) {
                modification.attribute = line.name;
            }
            modification.values.emplace_back(line.value);
        }
        ++next_;  // the "-" line, if any
        return std::nullopt;
    }

    // newrdn, deleteoldrdn (0 or 1, nothing else) and an optional newsuperior.
    std::optional<LdifProblem> readModDn() {
        if (std::optional<LdifProblem> problem = expect("newrdn")) {
            return problem;
        }
        const LdifLine& newRdn = take();
        if (newRdn.value.empty()) {
            return malformed("an empty newrdn", newRdn);
        }
        record_.newRdn = newRdn.value;
        if (std::optional<LdifProblem> problem = expect("deleteoldrdn")) {
            return problem;
        }
        const LdifLine& deleteOld = take();
        if (deleteOld.value != "0" && deleteOld.value != "1") {
            return malformed(
                "deleteoldrdn takes 0 or 1, not \"" + std::string(deleteOld.value) + "\"",
                deleteOld);
        }
        record_.deleteOldRdn = deleteOld.value == "1";
        const bool hasNewSuperior = !atEnd();
        if (hasNewSuperior) {
            if (std::optional<LdifProblem> problem = expect("newsuperior")) {
                return problem;
            }
            record_.newSuperior = take().value;
        }
        if (std::optional<LdifProblem> problem = checkEnd()) {
            return problem;
        }
        if (hasNewSuperior && record_.newSuperior.empty()) {
            markUnsendable("an empty newsuperior (the root of the tree) cannot be sent");
        }
        if (holdsZero(record_.newRdn) || holdsZero(record_.newSuperior)) {
            markUnsendable("the new name holds a zero byte, so it would be sent cut short");
        }
        return std::nullopt;
    }

    // A name that must come next, as in a moddn record.
    std::optional<LdifProblem> expect(std::string_view name) const {
        if (atEnd()) {
            const LdifLine& last = lines_.back();
            return ldifProblem(LdifProblem::Kind::Malformed, first_,
                               "Expecting more input after " + nameOf(last) + " line, line " +
                                   std::to_string(last.number));
        }
        if (!named(lines_[next_], name)) {
            return malformed("expecting \"" + std::string(name) + ":\" but saw \"" +
                                 nameOf(lines_[next_]) + ":\"",
                             lines_[next_]);
        }
        return std::nullopt;
    }

    std::optional<LdifProblem> checkEnd() const {
        if (!atEnd()) {
            return malformed("extra lines at end", lines_[next_]);
        }
        return std::nullopt;
    }

    std::optional<LdifProblem> checkTrailingSpace(const LdifLine& line) const {
        if (!line.value.empty() &&
            std::isspace(static_cast<unsigned char>(line.value.back())) != 0) {
            return malformed("illegal trailing space after \"" + std::string(line.name) + ": " +
                                 std::string(line.value) + "\"",
                             line);
        }
        return std::nullopt;
    }

    // A refusal that names the line as libldap's own messages do.
    std::optional<LdifProblem> malformed(const std::string& what, const LdifLine& line) const {
        return ldifProblem(
            LdifProblem::Kind::Malformed, first_,
            what + " (line " + std::to_string(line.number) + ", entry \"" + record_.dn + "\")");
    }

    const LdifLine& take() { return lines_[next_++]; }
    bool atEnd() const { return next_ >= lines_.size(); }
    bool nextIs(std::string_view name) const { return !atEnd() && named(lines_[next_], name); }

    const std::vector<LdifLine>& lines_;
    std::size_t next_;
    unsigned long first_;
    LdifRecord& record_;
    std::optional<std::string> unsendable_;
};

}  // namespace

std::optional<LdifProblem> interpretRecord(const std::vector<LdifLine>& lines, bool entriesAreAdds,
                                           LibraryMessages& messages, LdifRecord& record,
                                           bool& skip) {
    const unsigned long first = lines.front().number;
    const auto dnLine = std::find_if(lines.begin(), lines.end(),
                                     [](const LdifLine& line) { return named(line, "dn"); });
    if (std::optional<LdifProblem> problem = checkVersionLines(
            std::span<const LdifLine>(lines.begin(), dnLine), dnLine != lines.end(), first)) {
        return problem;
    }
    if (dnLine == lines.end()) {
        skip = true;
        return std::nullopt;
    }
    record.line = first;
    record.dn = dnLine->value;
    RecordBody body(lines, static_cast<std::size_t>(dnLine - lines.begin()) + 1, first, record);
    if (holdsZero(record.dn)) {
        body.markUnsendable("the DN holds a zero byte, so it would be sent cut short");
    }
    std::string_view changeType;
    if (std::optional<LdifProblem> problem = body.readHead(entriesAreAdds, messages, changeType)) {
        return problem;
    }
    if (std::optional<LdifProblem> problem = body.readBody(changeType)) {
        return problem;
    }
    if (const std::optional<std::string>& why = body.unsendable()) {
        return ldifProblem(LdifProblem::Kind::NotSendable, first, *why);
    }
    for (Modification& modification : record.modifications) {
        modification.binary =
            std::any_of(modification.values.begin(), modification.values.end(), holdsZero);
    }
    return std::nullopt;
}

}  // namespace kestrel
