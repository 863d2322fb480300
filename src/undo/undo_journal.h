// -undo FILE: before each write, the LDIF record that reverses it is appended to a journal
// and synced to disk, so that a run stopped at any moment leaves a journal covering every
// write that may have reached the directory. The journal is applied in reverse order of
// its records (the README shows how); each target's own records are written so that the
// reversal puts them in the order they must run (a tree's parents before its children).
#pragma once

#include <memory>

#include "directory/ldap_client.h"
#include "undo/undo_attributes.h"
#include "undo/undo_journal_file.h"
#include "util/reporter.h"

namespace kestrel {

// Wraps the run's bound connection: before each write it reads, completely, what the write
// will change and journals the reversing record; a write whose record cannot be read or
// written is not sent (its target fails with an ERROR line). A record is taken back only
// when the server answered that its write failed; after an unknown outcome (time-out, lost
// connection) it stays, with a WARN line.
std::unique_ptr<LdapConnection> journalingConnection(std::unique_ptr<LdapConnection> real,
                                                     UndoJournal& journal, Reporter& reporter,
                                                     UndoAttributes attributes);

}  // namespace kestrel
