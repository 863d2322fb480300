// A small command-line parser: switches ("-x" or "/x", optionally followed by a value)
// and positional arguments, validated against a caller-supplied switch list.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

enum class SwitchKind {
    Flag,   // takes no value: an argument it swallowed is handed back as positional
    Value,  // takes the next argument unless that is a switch word
    File,   // takes the next argument whatever it is: a file name may begin with "/" or "-"
};

struct SwitchEntry {
    std::string_view name;
    SwitchKind kind = SwitchKind::Flag;
    // Its lines in the usage text, after "   -name"; empty for a switch the text leaves out.
    std::string_view usage = {};
    // The switch whose usage lines these follow, when not the one before it in the list.
    std::string_view usageAfter = {};
    bool required = false;
};

// Flags hand back the arguments they swallowed in list order.
using SwitchList = std::vector<SwitchEntry>;

class SwitchTable {
  public:
    // argv[0] is the program name; parsing happens here and never fails, `list` only
    // telling which switches take a file name.
    SwitchTable(int argc, const char* const* argv, bool caseSensitive, SwitchList list = {});

    bool has(const std::string& name) const;
    std::string value(const std::string& name) const;
    void setValue(const std::string& name, const std::string& value);
    const std::vector<std::string>& positionals() const { return positionals_; }
    const std::string& programName() const { return programName_; }
    bool empty() const { return switches_.empty(); }

    // Releases the values wrongly taken by flags into the positional list, then returns
    // the number of switches given but not in the list plus required ones missing.
    int validate();
    const std::vector<std::string>& unknownSwitches() const { return unknown_; }
    const std::vector<std::string>& missingSwitches() const { return missing_; }

    // Zeroes every value and positional argument: once the settings and attribute-actions
    // are read from them, the table's copies of any password go.
    void wipe();

  private:
    std::string fold(std::string_view name) const;
    void clearValue(const std::string& name) { setValue(name, ""); }
    void addPositional(const std::string& text) { positionals_.push_back(text); }

    std::string programName_;
    bool caseSensitive_;
    SwitchList list_;
    std::map<std::string, std::string> switches_;
    std::vector<std::string> positionals_;
    std::vector<std::string> unknown_;
    std::vector<std::string> missing_;
};

}  // namespace kestrel
