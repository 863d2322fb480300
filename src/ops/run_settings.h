// What a run is told to do: the settings every mode reads, filled once from the command
// line, and the targets it works through.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

enum class RunMode : int {
    None = 0,
    Modify = 1,
    Delete = 2,
    Rename = 4,
    Move = 8,
    Undelete = 16,
    Add = 32,
    ApplyRecords = 64,  // -f FILE
    Revert = 128,       // -revert FILE
};

struct RunSettings {
    std::string host;                   // empty: the LDAP library's default server
    std::int32_t port = 0;              // 0: the default LDAP port
    std::int32_t timeoutSeconds = 120;  // 0 or less: wait for each answer without limit
    std::int32_t safetyLimit = 10;      // compared unsigned, so -1 means no limit
    std::string baseDn;
    bool baseDnGiven = false;
    std::string attrDelimiter = ":";
    std::string mvDelimiter = ";";
    RunMode mode = RunMode::None;
    std::string newRdn;
    std::string newParent;
    bool showElapsedSeconds = false;
    bool showElapsedMs = false;
    bool showExtendedError = false;
    bool treeDelete = false;
    bool continueOnError = false;
    bool kerberosEncryption = false;
    bool dryRun = false;     // -dryrun: print each write request as LDIF, send none
    bool undoGiven = false;  // -undo FILE: journal the records that reverse the run
    std::string undoFile;
    // -window N: requests in flight at once on the run's session (1: one at a time).
    std::int32_t window = 1;
    // -f FILE and -revert FILE: the LDIF file whose records the run applies ("-" is
    // standard input for -f).
    std::string recordFile;
    bool entriesAreAdds = false;  // -f with -add: a record without a changetype is an add
    bool startTls = false;        // -starttls: StartTLS before the bind
    bool bindDnGiven = false;     // -binddn DN: a simple bind as DN, over TLS only
    std::string bindDn;
    bool passwordFileGiven = false;  // -pwfile FILE: the bind's password is its first line
    std::string passwordFile;
    bool permissive = false;  // -permissive: every modify carries the permissive control
    bool csvGiven = false;    // -csv FILE: the targets and their values are the rows of FILE
    std::string csvFile;
};

// The largest -window: enough to hide a long round trip, few enough for any server.
inline constexpr std::int32_t kMaxWindow = 1024;

// The ordered target DNs; the empty DN stands for the RootDSE.
using DnList = std::vector<std::string>;

}  // namespace kestrel
