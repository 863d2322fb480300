#include "directory/tree_delete_rounds.h"

#include <cstddef>
#include <limits>
#include <map>
#include <utility>
#include <vector>

#include "directory/complete_read.h"
#include "directory/forwarding_connection.h"
#include "util/ascii_case.h"
#include "util/terminal_text.h"

namespace kestrel {
namespace {

SearchRequest subtreeNames(const std::string& base) {
    SearchRequest request;
    request.base = base;
    request.scope = kLdapScopeSubtree;
    request.filter = "(objectclass=*)";
    request.attributes = {"1.1"};
    return request;
}

// How many objects are left at and below `base`, counted a page at a time.
bool countLeft(LdapConnection& connection, const std::string& base, std::size_t& count) {
    count = 0;
    std::string why;
    const int rc = readCompletePages(
        connection, subtreeNames(base),
        [&count](std::vector<LdapEntry>& page) {
            count += page.size();
            return 0;
        },
        why);
    return rc == 0 || rc == kLdapNoSuchObject;
}

class TreeDeleteRounds final : public PassingConnection {
  public:
    TreeDeleteRounds(std::unique_ptr<LdapConnection> inner, Reporter& reporter)
        : PassingConnection(std::move(inner)), reporter_(reporter) {}

    int sendDelete(const std::string& dn, const ServerControls& controls, int& messageId) override {
        const int rc = ForwardingConnection::sendDelete(dn, controls, messageId);
        if (rc == 0 && hasControl(controls, kTreeDeleteOid)) {
            trees_.emplace(messageId, Tree{dn, controls});
        }
        return rc;
    }

    // Each round gets the time limit afresh: a round is a request of its own.
    int waitForResult(int messageId, int timeoutSeconds, std::string& diagnostic,
                      bool& sent) override {
        int code = inner().waitForResult(messageId, timeoutSeconds, diagnostic, sent);
        const auto found = trees_.find(messageId);
        if (found == trees_.end()) {
            return code;
        }
        const Tree tree = std::move(found->second);
        trees_.erase(found);
        std::size_t before = std::numeric_limits<std::size_t>::max();
        for (int round = 2; code == kLdapAdminLimitExceeded; ++round) {
            std::size_t left = 0;
            if (!countLeft(inner(), tree.dn, left) || left >= before) {
                break;  // the last round deleted nothing (or what is left is unknown)
            }
            before = left;
            // On a line of its own: the target's line is still open while its result is awaited.
            if (reporter_.debug) {
                reporter_.block("DEBUG: The tree delete of " + terminalDn(tree.dn) +
                                " stopped at the server's limit with " + std::to_string(before) +
                                " objects left; sending it again (round " + std::to_string(round) +
                                ")...\n");
            }
            int id = 0;
            if (inner().sendDelete(tree.dn, tree.controls, id) != 0 || id == 0) {
                break;
            }
            code = inner().waitForResult(id, timeoutSeconds, diagnostic, sent);
        }
        return code;
    }

  private:
    struct Tree {
        std::string dn;
        ServerControls controls;
    };

    Reporter& reporter_;
    std::map<int, Tree> trees_;  // the tree deletes in flight, by message number
};

}  // namespace

int readSubtreeNames(LdapConnection& connection, const std::string& base,
                     std::set<std::string>& names, std::string& why) {
    std::vector<LdapEntry> entries;
    const int rc = readComplete(connection, subtreeNames(base), entries, why);
    if (rc != 0 && rc != kLdapNoSuchObject) {
        return rc;
    }
    for (const LdapEntry& entry : entries) {
        names.insert(asciiLower(entry.dn));
    }
    return 0;
}

std::unique_ptr<LdapConnection> treeDeleteRounds(std::unique_ptr<LdapConnection> inner,
                                                 Reporter& reporter) {
    return std::make_unique<TreeDeleteRounds>(std::move(inner), reporter);
}

}  // namespace kestrel
