// What the run's session is wrapped in before the mode uses it: a dry run's preview, the
// -undo journal and -permissive's control, each with the password step it needs.
#pragma once

#include <memory>
#include <optional>

#include "cli/refusal.h"
#include "connection/ldap_session.h"
#include "connection/root_dse.h"
#include "ops/dry_run.h"
#include "ops/run_settings.h"
#include "password/password_setter.h"
#include "undo/journaling_password_setter.h"
#include "undo/undo_journal.h"
#include "util/reporter.h"

namespace kestrel {

// -undo: the journal, created before the run connects so that a refusal sends nothing.
Verdict createUndoJournal(const RunSettings& settings, std::unique_ptr<UndoJournal>& journal);

// The password steps a wrapped session uses instead of the real one; they live as long as
// the run.
struct PasswordWrappers {
    PreviewPasswordSetter preview;
    std::optional<JournalingPasswordSetter> journaling;
};

// Wraps the session's connection as the settings say (the preview, then the journal, then
// the permissive control) and returns the password step the run is to use.
PasswordSetter& wrapSession(Reporter& reporter, const RunSettings& settings,
                            PasswordSetter& realPasswords, UndoJournal* journal,
                            const RootDseInfo& rootDse, LdapSession& session,
                            PasswordWrappers& wrappers);

}  // namespace kestrel
