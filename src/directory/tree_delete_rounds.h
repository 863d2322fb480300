// A server deletes at most a limit of objects per tree delete, keeps the rest and answers
// adminLimitExceeded; the same request may be sent again until the tree is gone.
#pragma once

#include <memory>
#include <set>
#include <string>

#include "directory/ldap_client.h"
#include "util/reporter.h"

namespace kestrel {

// The names (ASCII-folded) of `base` and every object below it, read page by page; a base
// that does not exist has none.
int readSubtreeNames(LdapConnection& connection, const std::string& base,
                     std::set<std::string>& names, std::string& why);

// Wraps `inner`: a tree delete answered with adminLimitExceeded is sent again while each
// round leaves fewer objects below its target; the caller sees only the last round's
// result. A round that deletes nothing ends it with that result. -d shows each round.
std::unique_ptr<LdapConnection> treeDeleteRounds(std::unique_ptr<LdapConnection> inner,
                                                 Reporter& reporter);

}  // namespace kestrel
