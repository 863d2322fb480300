// The command line: every line of the input is one process argument. Copies the arguments
// and scrubs password arguments as main() does, builds the switch table from the copy,
// validates it against the program's switches and reads the run settings, the way the
// driver does before it looks at any attribute-action, and which mode it chooses.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "attr/password_attribute.h"
#include "cli/argument_scrubber.h"
#include "cli/record_file.h"
#include "cli/settings_reader.h"
#include "cli/switch_list.h"
#include "cli/switch_table.h"
#include "fuzz_input.h"
#include "util/reporter.h"

using kestrel::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments = kestrel::fuzz::splitLines(data, size);
    arguments.insert(arguments.begin(), "kestrel");
    for (std::string& argument : arguments) {
        argument = argument.substr(0, argument.find('\0'));  // as a process argument ends
    }
    const int argc = static_cast<int>(arguments.size());

    // main() scrubs password arguments in argv once it has copied them; the copy must be
    // the command line as given, and the scrub must touch nothing but those arguments.
    std::vector<std::string> scrubbedTexts = arguments;
    std::vector<char*> scrubbed;
    for (std::string& text : scrubbedTexts) {
        scrubbed.push_back(text.data());
    }
    scrubbed.push_back(nullptr);  // as the C runtime passes it
    const kestrel::ArgumentCopy copy(argc, scrubbed.data());
    kestrel::scrubPasswordArguments(argc, scrubbed.data());
    require(copy.argc() == argc, "the copy holds every argument");
    for (int i = 0; i < argc; ++i) {
        const std::size_t at = static_cast<std::size_t>(i);
        require(copy.argv()[i] == arguments[at], "the copy is the command line as given");
        const std::string now = scrubbed[at];
        require(now.size() == arguments[at].size(), "a scrubbed argument keeps its length");
        const bool hidden = i > 0 && kestrel::mentionsPasswordAttribute(arguments[at]);
        require(now == (hidden ? std::string(now.size(), '*') : arguments[at]),
                "only password arguments are overwritten, and wholly");
    }

    kestrel::SwitchTable table(copy.argc(), copy.argv(), false, kestrel::kestrelSwitchList());
    require(table.programName() == "kestrel", "the program name is the first argument");
    // Positional arguments are arguments as given, in order, never switch words.
    std::size_t searchFrom = 1;
    for (const std::string& positional : table.positionals()) {
        const auto found = std::find(arguments.begin() + static_cast<std::ptrdiff_t>(searchFrom),
                                     arguments.end(), positional);
        require(found != arguments.end(), "a positional argument is one of the arguments");
        searchFrom = static_cast<std::size_t>(found - arguments.begin()) + 1;
    }
    require(table.positionals().size() < arguments.size(), "fewer positionals than arguments");

    const std::size_t positionalsBefore = table.positionals().size();
    const int problems = table.validate();
    require(problems ==
                static_cast<int>(table.unknownSwitches().size() + table.missingSwitches().size()),
            "validate counts what it lists");
    require(table.missingSwitches().empty(), "no switch of the program is required");
    require(table.positionals().size() >= positionalsBefore, "validate only hands back arguments");
    for (const std::string& name : table.unknownSwitches()) {
        require(table.has(name), "an unknown switch was given");
    }
    if (problems != 0) {
        return 0;  // the driver stops here with the usage hint
    }

    std::ostringstream out;
    std::ostringstream err;
    kestrel::Reporter reporter(out, err);
    reporter.quiet = table.has("q");
    reporter.debug = table.has("d");
    const kestrel::RunSettings settings = kestrel::readRunSettings(reporter, table);
    require(err.str().empty(), "reading the settings writes no error");
    require(settings.baseDnGiven == (table.has("b") || table.has("rootdse")),
            "a base DN exactly when -b or -rootdse is given");
    if (table.has("unsafe")) {
        require(settings.safetyLimit == -1, "-unsafe lifts the limit");
    }
    // -f and -revert carry their own changes, so they choose the mode (-f first); the run
    // then refuses any other mode switch before connecting. Otherwise -rm or -del deletes:
    // a delete is never turned into another change, nor another change into a delete.
    const bool records = table.has("f") || table.has("revert");
    const bool deletes = table.has("rm") || table.has("del");
    if (records) {
        require(settings.mode ==
                    (table.has("f") ? kestrel::RunMode::ApplyRecords : kestrel::RunMode::Revert),
                "-f, then -revert, wins over every other mode");
        require(!deletes || kestrel::recordFileRefusal(table, settings).has_value(),
                "-f and -revert refuse -rm and -del");
    } else {
        require((settings.mode == kestrel::RunMode::Delete) == deletes,
                "without -f or -revert, -rm wins over every other mode");
    }
    return 0;
}
