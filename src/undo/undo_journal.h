// -undo FILE: before each write, the LDIF record that reverses it is appended to a journal
// and synced to disk, so that a run stopped at any moment leaves a journal covering every
// write that may have reached the directory. The journal is applied in reverse order of
// its records (the README shows how); each target's own records are written so that the
// reversal puts them in the order they must run (a tree's parents before its children).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "directory/ldap_client.h"
#include "password/password_setter.h"
#include "undo/undo_journal_file.h"
#include "undo/undo_records.h"
#include "util/reporter.h"

namespace kestrel {

// The attributes a reanimation cannot write back, those the directory maintains itself;
// the journaling connection reads from the schema below `schemaNamingContext` only what
// its writes need: the names a modify gives by OID, and at the first delete the system-only
// and constructed attributes. A schema that cannot be read leaves the names folded only (an
// attribute the server then answers under another name refuses its target rather than
// journal a wrong record) and the maintained attributes to the fixed list.
UndoAttributes undoAttributes(const std::string& schemaNamingContext);

// Wraps the run's bound connection: before each write it reads, completely, what the write
// will change and journals the reversing record; a write whose record cannot be read or
// written is not sent (its target fails with an ERROR line). A record is taken back only
// when the server answered that its write failed; after an unknown outcome (time-out, lost
// connection) it stays, with a WARN line.
std::unique_ptr<LdapConnection> journalingConnection(std::unique_ptr<LdapConnection> real,
                                                     UndoJournal& journal, Reporter& reporter,
                                                     UndoAttributes attributes);

// Wraps the password step: a password cannot be read back, so the journal says so.
class JournalingPasswordSetter final : public PasswordSetter {
  public:
    JournalingPasswordSetter(PasswordSetter& real, UndoJournal& journal)
        : real_(real), journal_(journal) {}

    std::int32_t setPassword(Reporter& reporter, const std::string& serverName,
                             const std::string& dn, const std::string& password) override;

  private:
    PasswordSetter& real_;
    UndoJournal& journal_;
};

}  // namespace kestrel
