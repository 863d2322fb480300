#include "cli/switch_list.h"

#include <iterator>

namespace kestrel {

using enum SwitchKind;

// Each switch's usage lines are printed after "   -name", so the text reads as -help shows
// it; -add and -treedelete have always been shown elsewhere than in this order.
constexpr SwitchEntry kSwitches[] = {
    {"q"},
    {"d"},
    {"help"},
    {"?"},
    {"h", Value, " host    Host to use, use default LDAP server\n"},
    {"b", Value,
     " basedn  RFC 2253 DN to work on. If basedn is not specified\n"
     "              the program will read from stdin anything piped to it\n"
     "              or if you want you can type the DNs there followed by\n"
     "              a ctrl-z to terminate the pipe.\n"},
    {"t", Value, " xxx     Timeout value, default 120 seconds\n"},
    {"p", Value, " port    Port to use if other than default LDAP\n"},
    {"elapsed", Flag, "   Display elapsed time in seconds\n"},
    {"elapsedms"},
    {"exterr", Flag, "    Show Extended Error info. DSID Info...\n"},
    {"rm", Flag, "        Delete specified object(s)\n"},
    {"del", Flag, "       Delete specified object(s)\n"},
    {"treedelete", Flag, "  Used in combination of -rm/-del to delete branch\n", "kerbenc"},
    {"undel", Value,
     " x   Undelete specified object(s), uses lastknownparent unless\n"
     "              an alternate parent is supplied in x. Requires K3+.\n"},
    {"rename", Value, " x  Rename object to RDN of x, only works with one object.\n"},
    {"move", Value, " x    Move object to parent specified by x (within domain)\n"},
    {"safety", Value, " x  How many objects before safety kicks in. Default 10\n"},
    {"delim", Value, " x   X specifies delimiter for attribute sequence. Default :\n"},
    {"mvdelim", Value, " x X specified delimiter for value sequence. Default ;\n"},
    {"unsafe", Flag, "    Don't have a safety, modify objects no matter how many.\n"},
    {"cont", Flag, "      Continue with objects even if errors.\n"},
    {"rootdse"},
    {"add", Flag,
     "       Add an object. Specify DN with -b and attributes normally.\n"
     "              At the very least you will need to specify objectclass.\n",
     "del"},
    {"kerbenc", Flag, "   Kerberos Encryption (LDAP_OPT_ENCRYPT)\n"},
    {"dryrun", Flag, "    Print each change as LDIF (RFC 2849) instead of sending it\n"},
    {"undo", File, " x    Journal to new file x, before each change, the LDIF that undoes it\n"},
    {"window", Value, " x  Keep up to x requests in flight (1 to 1024), report in input order\n"},
    {"f", File, " x       Apply the LDIF change records of file x (- for stdin) in order\n"},
    {"revert", File, " x  Apply the undo journal x (from -undo), last record first\n"},
    {"json", Flag, "      Write one JSON line per target and a summary; the rest to stderr\n"},
    {"starttls", Flag, "  StartTLS before binding (TLS from the start: -h ldaps://host)\n"},
    {"binddn", Value, " x  Bind as x (a DN or user@domain) with a password, over TLS only\n"},
    {"pwfile", File, " x  Read the -binddn password from the first line of file x\n"},
    {"permissive", Flag,
     "  Modify permissively: a value added that is there, or removed\n"
     "              that is not, is no error (undo reverses only what changed)\n"},
    {"csv", File,
     " x     One modify (or -add) per row of CSV file x (- for stdin): a dn column,\n"
     "              the other header cells attribute-actions without their values\n"},
};

SwitchList kestrelSwitchList() {
    return {std::begin(kSwitches), std::end(kSwitches)};
}

}  // namespace kestrel
