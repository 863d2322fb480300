#include "ops/undo_journal.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "ops/relocate_objects.h"
#include "session/complete_read.h"
#include "session/dn_components.h"
#include "session/forwarding_connection.h"
#include "util/ascii_case.h"

namespace kestrel {
namespace {

// Attributes the directory keeps up to date itself; the schema does not mark them, but a
// client's write of them is refused or overwritten on a reanimated object.
constexpr const char* kMaintainedByTheServer[] = {
    "badpasswordtime",
    "badpwdcount",
    "lastlogoff",
    "lastlogon",
    "lastlogontimestamp",
    "logoncount",
    "pwdlastset",
    "samaccounttype",
    "primarygroupid",
    "objectcategory",
    "name",
    "distinguishedname",
    "objectclass",
    "isdeleted",
    "lastknownparent",
    "isrecycled",
    "objectguid",
    "objectsid",
    "whencreated",
    "whenchanged",
    "usncreated",
    "usnchanged",
    "instancetype",
    "dscorepropagationdata",
    "memberof",
    "replpropertymetadata",
};

bool hasControl(const ServerControls& controls, const char* oid) {
    return std::any_of(controls.begin(), controls.end(),
                       [&](const ServerControl& control) { return control.oid == oid; });
}

std::size_t depthOf(const std::string& dn) {
    const auto components = explodeDn(dn);
    return components ? components->size() : 0;
}

class JournalingConnection final : public ForwardingConnection {
  public:
    JournalingConnection(std::unique_ptr<LdapConnection> real, UndoJournal& journal,
                         Reporter& reporter, UndoAttributes attributes)
        : ForwardingConnection(std::move(real)),
          journal_(journal),
          reporter_(reporter),
          attributes_(std::move(attributes)) {}

    int ldap_delete_ext(const std::string& dn, const ServerControls& controls,
                        int& messageId) override {
        SearchRequest request;
        request.base = dn;
        request.scope = hasControl(controls, kTreeDeleteOid) ? kLdapScopeSubtree : kLdapScopeBase;
        std::vector<LdapEntry> entries;
        std::string why;
        if (const int rc = readComplete(inner(), request, entries, why); rc != 0) {
            return refuse(dn, "delete", why, rc);
        }
        if (entries.empty()) {
            return refuse(dn, "delete", "the server answered no entry", kLdapNoResultsReturned);
        }
        for (const LdapEntry& entry : entries) {
            const std::vector<std::string>* guid = entry.values("objectGUID");
            if (guid == nullptr || guid->empty()) {
                return refuse(dn, "delete",
                              entry.dn + " has no readable objectGUID to find it again by",
                              kLdapLocalError);
            }
        }
        // Deepest first: the journal is applied in reverse, so parents come back first.
        std::stable_sort(
            entries.begin(), entries.end(),
            [](const LdapEntry& a, const LdapEntry& b) { return depthOf(a.dn) > depthOf(b.dn); });
        Pending pending{dn, "delete", journal_.size(), std::move(entries)};
        if (!appendBefore(dn, "delete", deleteNotice(pending.entries))) {
            return kLdapLocalError;
        }
        const int sent = inner().ldap_delete_ext(dn, controls, messageId);
        return track(sent, messageId, std::move(pending));
    }

    int ldap_rename_ext(const std::string& dn, const std::string& newRdn,
                        const std::string& newParent, bool deleteOldRdn,
                        const ServerControls& controls, int& messageId) override {
        // The way back names the object as the directory stores it, not as it was typed.
        SearchRequest request;
        request.base = dn;
        request.attributes = {"1.1"};
        std::vector<LdapEntry> entries;
        std::string why;
        if (const int rc = readComplete(inner(), request, entries, why); rc != 0) {
            return refuse(dn, "rename", why, rc);
        }
        if (entries.empty()) {
            return refuse(dn, "rename", "the server answered no entry", kLdapNoResultsReturned);
        }
        const std::optional<LdifChange> change = relocationUndo(entries.front().dn, newRdn,
                                                                newParent);
        if (!change) {
            return refuse(dn, "rename", "its stored name is not a DN", kLdapLocalError);
        }
        const std::optional<std::string> record = ldifRecord(*change);
        if (!record) {
            return refuse(dn, "rename", "it cannot be written as LDIF", kLdapLocalError);
        }
        Pending pending{dn, "rename", journal_.size(), {}};
        if (!appendBefore(dn, "rename", *record)) {
            return kLdapLocalError;
        }
        const int sent =
            inner().ldap_rename_ext(dn, newRdn, newParent, deleteOldRdn, controls, messageId);
        return track(sent, messageId, std::move(pending));
    }

    int sendModifications(ModificationRequest request, const std::string& dn,
                          std::span<const Modification> modifications,
                          const ServerControls& controls, int& messageId) override {
        const std::string what = request == ModificationRequest::Add ? "add" : "modify";
        std::string record;
        if (const int rc = undoOfModifications(request, dn, modifications, controls, record);
            rc != 0) {
            return rc;
        }
        Pending pending{dn, what, journal_.size(), {}};
        if (!appendBefore(dn, what, record)) {
            return kLdapLocalError;
        }
        const int sent = inner().sendModifications(request, dn, modifications, controls, messageId);
        return track(sent, messageId, std::move(pending));
    }

    int ldap_result(int messageId, int timeoutSeconds, std::string& diagnostic) override {
        const int code = inner().ldap_result(messageId, timeoutSeconds, diagnostic);
        const auto found = pending_.find(messageId);
        if (found == pending_.end()) {
            return code;
        }
        Pending pending = std::move(found->second);
        pending_.erase(found);
        if (code == 0) {
            journalReanimations(pending);
        } else if (outcomeUnknown(code)) {
            // The server may have carried the write out before the answer was lost.
            reporter_.block("WARN: " + pending.dn + ": the " + pending.what +
                            " may or may not have been applied (" + ldapErrorText(code) +
                            "); its undo record stays in the journal.\n");
        } else {
            withdraw(pending, "the " + pending.what + " failed (" + ldapErrorText(code) +
                                  "), so there is nothing to undo.");
        }
        return code;
    }

  private:
    struct Pending {
        std::string dn;
        std::string what;
        std::uint64_t offset;            // the journal's size before this write's records
        std::vector<LdapEntry> entries;  // a delete's pre-images, deepest first
    };

    // The target fails before anything is sent for it. `code` is what its line reports:
    // the read's own code, or a local error.
    int refuse(const std::string& dn, const std::string& what, const std::string& why, int code) {
        reporter_.block("ERROR: No undo record for " + dn + ": " + why + "; the " + what +
                        " was not sent.\n");
        return code != 0 ? code : kLdapLocalError;
    }

    bool appendBefore(const std::string& dn, const std::string& what, const std::string& text) {
        std::string why;
        if (!journal_.append(text, why)) {
            refuse(dn, what, "the journal could not be written (" + why + ")", kLdapLocalError);
            return false;
        }
        return true;
    }

    // A record after its write was sent: a failure cannot hold the write back any more,
    // so the admin is told which target's record is missing.
    void appendAfter(const std::string& dn, const std::string& what, const std::string& text) {
        std::string why;
        if (!journal_.append(text, why)) {
            reporter_.block("WARN: " + dn + ": the undo journal could not be written after the " +
                            what + " (" + why + "); its record is missing from the journal.\n");
        }
    }

    void withdraw(const Pending& pending, const std::string& comment) {
        std::string why;
        if (!journal_.truncateTo(pending.offset, why)) {
            reporter_.block("WARN: " + pending.dn + ": the record of the failed " + pending.what +
                            " could not be taken back (" + why +
                            "); applying the journal may fail on it.\n");
            return;
        }
        appendAfter(pending.dn, pending.what, undoComment({pending.dn + ": " + comment}));
    }

    int track(int sent, int messageId, Pending pending) {
        if (sent != 0 || messageId == 0) {
            withdraw(pending, "the " + pending.what + " was not sent, nothing to undo.");
            return sent;
        }
        pending_[messageId] = std::move(pending);
        return sent;
    }

    // The record of a modify or add request in `record`, or the code of the refusal.
    int undoOfModifications(ModificationRequest request, const std::string& dn,
                            std::span<const Modification> modifications,
                            const ServerControls& controls, std::string& record) {
        const std::string what = request == ModificationRequest::Add ? "add" : "modify";
        std::optional<LdifChange> change;
        if (request == ModificationRequest::Add) {
            change.emplace();
            change->dn = dn;
            change->kind = LdifChange::Kind::Delete;
            change->comments.push_back("Undo of the add of " + dn);
        } else if (const std::optional<std::string> restored =
                       restoredDn(modifications, controls)) {
            change.emplace();
            change->dn = *restored;
            change->kind = LdifChange::Kind::Delete;
            change->comments.push_back("Undo of the undelete of " + dn);
        } else if (dn.empty()) {
            record = undoComment(
                {"A RootDSE modify is an operation, not a stored change: it cannot be undone."});
            return 0;
        } else {
            LdapEntry before;
            if (const int rc = readBefore(dn, modifications, before); rc != 0) {
                return rc;
            }
            change = modifyUndo(dn, modifications, before, attributes_.schema);
            if (change->modifications.empty()) {
                record = undoComment(change->comments);  // passwords only: nothing to write
                return 0;
            }
        }
        const std::optional<std::string> text = ldifRecord(*change);
        if (!text) {
            return refuse(dn, what, "it cannot be written as LDIF", kLdapLocalError);
        }
        record = *text;
        return 0;
    }

    // The previous values of the attributes a modify replaces or clears, every one of
    // them; an answered attribute the schema cannot tie to one asked for would be taken for
    // an absent one, so it refuses the target.
    int readBefore(const std::string& dn, std::span<const Modification> modifications,
                   LdapEntry& before) {
        const std::vector<std::string> names =
            attributesToRead(modifications, attributes_.schema);
        if (names.empty()) {
            return 0;
        }
        SearchRequest request;
        request.base = dn;
        request.attributes = names;
        std::vector<LdapEntry> entries;
        std::string why;
        if (const int rc = readComplete(inner(), request, entries, why); rc != 0) {
            return refuse(dn, "modify", why, rc);
        }
        if (entries.empty()) {
            return refuse(dn, "modify", "the server answered no entry", kLdapNoResultsReturned);
        }
        std::vector<std::string> asked;
        for (const std::string& name : names) {
            asked.push_back(attributes_.schema.canonical(name));
        }
        for (const LdapAttribute& attribute : entries.front().attributes) {
            if (std::find(asked.begin(), asked.end(),
                          attributes_.schema.canonical(attribute.name)) == asked.end()) {
                return refuse(dn, "modify",
                              "the server answered " + attribute.name +
                                  ", which cannot be told apart from the attributes asked for",
                              kLdapLocalError);
            }
        }
        before = std::move(entries.front());
        return 0;
    }

    // After a successful delete: links and group memberships first in the file, so that
    // the reversed journal applies them last, once every object they name is back.
    void journalReanimations(const Pending& pending) {
        if (pending.entries.empty()) {
            return;
        }
        std::set<std::string> deleted;
        for (const LdapEntry& entry : pending.entries) {
            deleted.insert(asciiLower(entry.dn));
        }
        std::string records;
        for (const LdapEntry& entry : pending.entries) {
            for (const LdifChange& change : linksBack(entry, deleted, attributes_)) {
                records += textOrComment(change, entry.dn);
            }
        }
        for (const LdapEntry& entry : pending.entries) {
            records += reanimationOf(entry, deleted);
        }
        appendAfter(pending.dn, pending.what, records);
    }

    std::string reanimationOf(const LdapEntry& entry, const std::set<std::string>& deleted) {
        const std::string guid = guidHex(entry.values("objectGUID")->front());
        SearchRequest request;
        request.base = "<GUID=" + guid + ">";
        request.controls = {ServerControl{kShowDeletedOid, "", true}};
        std::vector<LdapEntry> tombstones;
        const int rc = inner().ldap_search_ext_s(request, tombstones);
        if (rc != 0 || tombstones.empty()) {
            return undoComment({entry.dn + ": its tombstone (objectGUID " + guid +
                                ") was not found (" + ldapErrorText(rc) +
                                "); reanimate it by hand."});
        }
        return textOrComment(reanimation(entry, tombstones.front(), deleted, attributes_),
                             entry.dn);
    }

    static std::string textOrComment(const LdifChange& change, const std::string& dn) {
        const std::optional<std::string> record = ldifRecord(change);
        return record ? *record : undoComment({dn + ": its undo cannot be written as LDIF."});
    }

    // The DN an undelete request gives its object, when `modifications` is one.
    static std::optional<std::string> restoredDn(std::span<const Modification> modifications,
                                                 const ServerControls& controls) {
        if (!hasControl(controls, kShowDeletedOid)) {
            return std::nullopt;
        }
        for (const Modification& modification : modifications) {
            if (asciiLower(modification.attribute) == "distinguishedname" &&
                modification.operation == ModOperation::Replace && !modification.values.empty()) {
                return modification.values.front();
            }
        }
        return std::nullopt;
    }

    UndoJournal& journal_;
    Reporter& reporter_;
    UndoAttributes attributes_;
    std::map<int, Pending> pending_;
};

}  // namespace

UndoAttributes readUndoAttributes(LdapConnection& connection,
                                  const std::string& schemaNamingContext) {
    UndoAttributes attributes;
    attributes.maintained.insert(std::begin(kMaintainedByTheServer),
                                 std::end(kMaintainedByTheServer));
    std::string why;
    if (attributes.schema.read(connection, schemaNamingContext, why) == 0) {
        const std::set<std::string>& notWritable = attributes.schema.notWritable();
        attributes.maintained.insert(notWritable.begin(), notWritable.end());
    }
    return attributes;
}

std::unique_ptr<LdapConnection> journalingConnection(std::unique_ptr<LdapConnection> real,
                                                     UndoJournal& journal, Reporter& reporter,
                                                     UndoAttributes attributes) {
    return std::make_unique<JournalingConnection>(std::move(real), journal, reporter,
                                                  std::move(attributes));
}

std::int32_t JournalingPasswordSetter::setPassword(Reporter& reporter,
                                                   const std::string& serverName,
                                                   const std::string& dn,
                                                   const std::string& password) {
    std::string why;
    if (!journal_.append(undoComment({dn + ": its password is set by this run (#setpwd#); a "
                                           "password cannot be read back, so this cannot be "
                                           "undone."}),
                         why)) {
        reporter.block("ERROR: No undo record for " + dn + ": the journal could not be written (" +
                       why + "); the password was not set.\n");
        return static_cast<std::int32_t>(0x8007001Fu);  // ERROR_GEN_FAILURE as an HRESULT
    }
    return real_.setPassword(reporter, serverName, dn, password);
}

}  // namespace kestrel
