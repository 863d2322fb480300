#include "ops/undo_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "attr/password_attribute.h"
#include "ops/relocate_objects.h"
#include "session/dn_components.h"
#include "session/forwarding_connection.h"
#include "util/ascii_case.h"
#include "util/ldif_writer.h"

namespace kestrel {
namespace {

constexpr int kScopeSubtree = 2;

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

std::string hexOf(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

// A paragraph of comment lines.
std::string commentParagraph(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += ldifComment(line);
    }
    return text + "\n";
}

bool hasControl(const ServerControls& controls, const char* oid) {
    return std::any_of(controls.begin(), controls.end(),
                       [&](const ServerControl& control) { return control.oid == oid; });
}

std::size_t depthOf(const std::string& dn) {
    const auto components = explodeDn(dn);
    return components ? components->size() : 0;
}

std::string parentOf(const std::vector<std::string>& components) {
    std::string parent;
    for (std::size_t i = 1; i < components.size(); ++i) {
        parent += (i > 1 ? "," : "") + components[i];
    }
    return parent;
}

std::string rdnType(const std::string& dn) {
    const auto components = explodeDn(dn);
    if (!components) {
        return "";
    }
    const std::string& rdn = components->front();
    return asciiLower(rdn.substr(0, rdn.find('=')));
}

class JournalingConnection final : public ForwardingConnection {
  public:
    JournalingConnection(std::unique_ptr<LdapConnection> real, UndoJournal& journal,
                         Reporter& reporter, std::set<std::string> maintained)
        : ForwardingConnection(std::move(real)),
          journal_(journal),
          reporter_(reporter),
          maintained_(std::move(maintained)) {}

    int ldap_delete_ext(const std::string& dn, const ServerControls& controls,
                        int& messageId) override {
        Pending pending{dn, "delete", journal_.size(), {}};
        SearchRequest request;
        request.base = dn;
        request.scope = hasControl(controls, kTreeDeleteOid) ? kScopeSubtree : kLdapScopeBase;
        std::vector<LdapEntry> entries;
        const int rc = inner().ldap_search_ext_s(request, entries);
        std::vector<std::string> lines;
        if (rc != 0) {
            lines.push_back(dn + ": could not be read before the delete (" + ldapErrorText(rc) +
                            "); it cannot be restored from this journal.");
        }
        // Deepest first: the journal is applied in reverse, so parents come back first.
        std::stable_sort(
            entries.begin(), entries.end(),
            [](const LdapEntry& a, const LdapEntry& b) { return depthOf(a.dn) > depthOf(b.dn); });
        for (const LdapEntry& entry : entries) {
            const std::vector<std::string>* guid = entry.values("objectGUID");
            if (guid == nullptr || guid->empty()) {
                lines.push_back(entry.dn + ": has no objectGUID; it cannot be restored.");
                continue;
            }
            lines.push_back(entry.dn + " (objectGUID " + hexOf(guid->front()) +
                            ") is deleted by this run. Its reanimation record follows once the "
                            "delete succeeded; if none follows, the run stopped first: "
                            "reanimate the tombstone found with the show-deleted control at "
                            "base <GUID=" +
                            hexOf(guid->front()) + ">.");
        }
        pending.entries = std::move(entries);
        if (!journal_.append(commentParagraph(lines))) {
            return refuse();
        }
        const int sent = inner().ldap_delete_ext(dn, controls, messageId);
        return track(sent, messageId, std::move(pending));
    }

    int ldap_rename_ext(const std::string& dn, const std::string& newRdn,
                        const std::string& newParent, bool deleteOldRdn,
                        const ServerControls& controls, int& messageId) override {
        Pending pending{dn, "rename", journal_.size(), {}};
        const auto components = explodeDn(dn);
        std::string record;
        if (!components) {
            record = commentParagraph({dn + ": not a DN, cannot be undone."});
        } else {
            const std::string oldParent = parentOf(*components);
            const std::string parent = newParent.empty() ? oldParent : newParent;
            LdifChange change;
            change.dn = parent.empty() ? newRdn : newRdn + "," + parent;
            change.kind = LdifChange::Kind::ModDn;
            change.newRdn = components->front();
            change.deleteOldRdn = true;
            if (!newParent.empty()) {
                change.newSuperior = oldParent;
            }
            change.comments.push_back(
                "Undo of the " + std::string(newParent.empty() ? "rename" : "move") + " of " + dn);
            record = recordOrComment(change, dn);
        }
        if (!journal_.append(record)) {
            return refuse();
        }
        const int sent =
            inner().ldap_rename_ext(dn, newRdn, newParent, deleteOldRdn, controls, messageId);
        return track(sent, messageId, std::move(pending));
    }

    int sendModifications(ModificationRequest request, const std::string& dn,
                          std::span<const Modification> modifications,
                          const ServerControls& controls, int& messageId) override {
        Pending pending{
            dn, request == ModificationRequest::Add ? "add" : "modify", journal_.size(), {}};
        std::string record;
        if (request == ModificationRequest::Add) {
            LdifChange change;
            change.dn = dn;
            change.kind = LdifChange::Kind::Delete;
            change.comments.push_back("Undo of the add of " + dn);
            record = recordOrComment(change, dn);
        } else if (const std::optional<std::string> restored =
                       restoredDn(modifications, controls)) {
            LdifChange change;
            change.dn = *restored;
            change.kind = LdifChange::Kind::Delete;
            change.comments.push_back("Undo of the undelete of " + dn);
            record = recordOrComment(change, *restored);
        } else if (dn.empty()) {
            record = commentParagraph(
                {"A RootDSE modify is an operation, not a stored change: it cannot be undone."});
        } else {
            record = modifyUndo(dn, modifications);
        }
        if (!journal_.append(record)) {
            return refuse();
        }
        const int sent = inner().sendModifications(request, dn, modifications, controls, messageId);
        return track(sent, messageId, std::move(pending));
    }

    // Only the password layer's own session sends it, journalled by JournalingPasswordSetter.
    int passwordModify(const std::string&, const std::string&) override {
        return kLdapNotSupported;
    }

    int ldap_result(int messageId, int timeoutSeconds, std::string& diagnostic) override {
        const int code = inner().ldap_result(messageId, timeoutSeconds, diagnostic);
        const auto found = pending_.find(messageId);
        if (found == pending_.end()) {
            return code;
        }
        Pending pending = std::move(found->second);
        pending_.erase(found);
        if (code != 0) {
            // Nothing changed, so nothing is to be undone: applying the journal must not
            // touch an object this run did not change.
            journal_.truncateTo(pending.offset);
            journal_.append(
                commentParagraph({pending.dn + ": the " + pending.what + " failed (" +
                                  ldapErrorText(code) + "), so there is nothing to undo."}));
            return code;
        }
        std::set<std::string> deleted;
        for (const LdapEntry& entry : pending.entries) {
            deleted.insert(asciiLower(entry.dn));
        }
        // Links and group memberships come first in the file, so that the reversed journal
        // applies them last, once every object they name is back.
        for (const LdapEntry& entry : pending.entries) {
            journal_.append(linksBack(entry, deleted));
        }
        for (const LdapEntry& entry : pending.entries) {
            journal_.append(reanimation(entry, deleted));
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

    int refuse() {
        reporter_.notice(
            "ERROR: The undo journal could not be written; the change was not sent.\n");
        return kLdapLocalError;
    }

    int track(int sent, int messageId, Pending pending) {
        if (sent != 0 || messageId == 0) {
            journal_.truncateTo(pending.offset);
            journal_.append(commentParagraph(
                {pending.dn + ": the " + pending.what + " was not sent, nothing to undo."}));
            return sent;
        }
        pending_[messageId] = std::move(pending);
        return sent;
    }

    std::string recordOrComment(const LdifChange& change, const std::string& dn) {
        const std::optional<std::string> record = ldifRecord(change);
        return record ? *record : commentParagraph({dn + ": its undo cannot be written as LDIF."});
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

    // Puts back the values every touched attribute had; one that had none is removed
    // again (a replace with no values, which is also harmless when it stays absent).
    std::string modifyUndo(const std::string& dn, std::span<const Modification> modifications) {
        LdifChange change;
        change.dn = dn;
        change.kind = LdifChange::Kind::Modify;
        change.comments.push_back("Undo of the modify of " + dn);
        std::vector<std::string> names;
        for (const Modification& modification : modifications) {
            const std::string folded = asciiLower(modification.attribute);
            if (carriesPassword(modification.attribute)) {
                change.comments.push_back(modification.attribute +
                                          ": a password cannot be read back, so its change "
                                          "cannot be undone.");
                continue;
            }
            if (std::find(names.begin(), names.end(), folded) == names.end()) {
                names.push_back(folded);
            }
        }
        if (names.empty()) {
            return commentParagraph(change.comments);
        }
        SearchRequest request;
        request.base = dn;
        request.attributes = names;
        std::vector<LdapEntry> entries;
        const int rc = inner().ldap_search_ext_s(request, entries);
        if (rc != 0 || entries.empty()) {
            return commentParagraph({dn + ": could not be read before the modify (" +
                                     ldapErrorText(rc) + "); it cannot be undone."});
        }
        for (const std::string& name : names) {
            const std::vector<std::string>* values = entries.front().values(name);
            change.modifications.push_back(
                LdifModification{LdifModification::Op::Replace, name,
                                 values != nullptr ? *values : std::vector<std::string>{}});
        }
        return recordOrComment(change, dn);
    }

    static bool namesAny(const std::vector<std::string>& values, const std::set<std::string>& dns) {
        return std::any_of(values.begin(), values.end(), [&](const std::string& value) {
            return dns.count(asciiLower(value)) != 0;
        });
    }

    // What a reanimation cannot carry: values that name other objects of the same delete
    // (a group's members in a deleted tree), which must wait until those are back, and the
    // object's memberships in groups, which live on the groups.
    std::string linksBack(const LdapEntry& entry, const std::set<std::string>& deleted) {
        std::string records;
        LdifChange links;
        links.dn = entry.dn;
        links.kind = LdifChange::Kind::Modify;
        links.comments.push_back("Links of " + entry.dn +
                                 " to objects deleted with it, once they are all back");
        for (const LdapAttribute& attribute : entry.attributes) {
            const std::string folded = asciiLower(attribute.name);
            if (folded != "memberof" && maintained_.count(folded) == 0 &&
                namesAny(attribute.values, deleted)) {
                links.modifications.push_back(
                    {LdifModification::Op::Replace, attribute.name, attribute.values});
            }
        }
        if (!links.modifications.empty()) {
            records += recordOrComment(links, entry.dn);
        }
        if (const std::vector<std::string>* groups = entry.values("memberOf"); groups != nullptr) {
            for (const std::string& group : *groups) {
                if (deleted.count(asciiLower(group)) != 0) {
                    continue;  // that group's own links record puts the member back
                }
                LdifChange membership;
                membership.dn = group;
                membership.kind = LdifChange::Kind::Modify;
                membership.comments.push_back("Membership of " + entry.dn + " in " + group);
                membership.modifications.push_back(
                    {LdifModification::Op::Add, "member", {entry.dn}});
                records += recordOrComment(membership, group);
            }
        }
        return records;
    }

    // The record that brings a deleted object back with what it had: the tombstone
    // (found by objectGUID) loses most attributes, so the pre-image supplies them.
    std::string reanimation(const LdapEntry& entry, const std::set<std::string>& deleted) {
        const std::string guid = hexOf(entry.values("objectGUID")->front());
        SearchRequest request;
        request.base = "<GUID=" + guid + ">";
        request.controls = {ServerControl{kShowDeletedOid, "", true}};
        std::vector<LdapEntry> tombstones;
        const int rc = inner().ldap_search_ext_s(request, tombstones);
        if (rc != 0 || tombstones.empty()) {
            return commentParagraph({entry.dn + ": its tombstone (objectGUID " + guid +
                                     ") was not found (" + ldapErrorText(rc) +
                                     "); reanimate it by hand."});
        }
        const LdapEntry& tombstone = tombstones.front();
        LdifChange change;
        change.dn = tombstone.dn;
        change.kind = LdifChange::Kind::Modify;
        change.controls = {LdifControl{kShowDeletedOid, true, ""}};
        change.comments.push_back("Undo of the delete of " + entry.dn);
        change.modifications.push_back({LdifModification::Op::Delete, "isDeleted", {}});
        change.modifications.push_back(
            {LdifModification::Op::Replace, "distinguishedName", {entry.dn}});
        const std::string namingAttribute = rdnType(entry.dn);
        std::string notRestored;
        for (const LdapAttribute& attribute : entry.attributes) {
            const std::string folded = asciiLower(attribute.name);
            if (tombstone.values(attribute.name) != nullptr || folded == namingAttribute ||
                folded == "memberof") {
                continue;  // kept by the tombstone, set by the DN itself, or a membership
            }
            if (maintained_.count(folded) != 0) {
                notRestored += (notRestored.empty() ? "" : ", ") + attribute.name;
                continue;
            }
            if (namesAny(attribute.values, deleted)) {
                continue;  // a link, restored once its objects are back (linksBack)
            }
            change.modifications.push_back(
                {LdifModification::Op::Replace, attribute.name, attribute.values});
        }
        if (!notRestored.empty()) {
            change.comments.push_back("Not restored, the server maintains them: " + notRestored);
        }
        return recordOrComment(change, entry.dn);
    }

    UndoJournal& journal_;
    Reporter& reporter_;
    std::set<std::string> maintained_;
    std::map<int, Pending> pending_;
};

}  // namespace

std::unique_ptr<UndoJournal> UndoJournal::create(const std::string& path, std::string& error) {
    // O_EXCL: an existing journal, perhaps the only way back from an earlier run, is
    // never overwritten, and neither is a file a link points to.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                          S_IRUSR | S_IWUSR);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<UndoJournal>(fd);
}

UndoJournal::~UndoJournal() {
    ::close(fd_);
}

bool UndoJournal::append(const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t rc = ::pwrite(fd_, text.data() + written, text.size() - written,
                                    static_cast<off_t>(size_ + written));
        if (rc < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<std::size_t>(rc);
    }
    size_ += written;
    // On disk before the write it covers is sent: a run killed at any moment leaves a
    // journal that covers every write that may have reached the directory.
    return ::fsync(fd_) == 0;
}

bool UndoJournal::truncateTo(std::uint64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
        return false;
    }
    size_ = size;
    return ::fsync(fd_) == 0;
}

std::set<std::string> serverMaintainedAttributes(LdapConnection& connection,
                                                 const std::string& schemaNamingContext) {
    std::set<std::string> names(std::begin(kMaintainedByTheServer),
                                std::end(kMaintainedByTheServer));
    if (schemaNamingContext.empty()) {
        return names;
    }
    SearchRequest request;
    request.base = schemaNamingContext;
    request.scope = kScopeSubtree;
    // System-only attributes, and constructed ones (systemFlags bit 4), by bitwise AND.
    request.filter = "(|(systemOnly=TRUE)(systemFlags:1.2.840.113556.1.4.803:=4))";
    request.attributes = {"lDAPDisplayName"};
    std::vector<LdapEntry> entries;
    if (connection.ldap_search_ext_s(request, entries) == 0) {
        for (const LdapEntry& entry : entries) {
            if (const auto* values = entry.values("lDAPDisplayName");
                values != nullptr && !values->empty()) {
                names.insert(asciiLower(values->front()));
            }
        }
    }
    return names;
}

std::unique_ptr<LdapConnection> journalingConnection(std::unique_ptr<LdapConnection> real,
                                                     UndoJournal& journal, Reporter& reporter,
                                                     std::set<std::string> maintained) {
    return std::make_unique<JournalingConnection>(std::move(real), journal, reporter,
                                                  std::move(maintained));
}

std::int32_t JournalingPasswordSetter::setPassword(Reporter& reporter,
                                                   const std::string& serverName,
                                                   const std::string& dn,
                                                   const std::string& password) {
    if (!journal_.append(ldifComment(dn +
                                     ": its password is set by this run (#setpwd#); a password "
                                     "cannot be read back, so this cannot be undone.") +
                         "\n")) {
        reporter.notice(
            "ERROR: The undo journal could not be written; the password was not set.\n");
        return static_cast<std::int32_t>(0x8007001Fu);  // ERROR_GEN_FAILURE as an HRESULT
    }
    return real_.setPassword(reporter, serverName, dn, password);
}

}  // namespace kestrel
