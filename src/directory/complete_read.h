// Reads that leave nothing out on a Windows DC: it cuts an unpaged search at MaxPageSize
// entries (1,000 by default) and answers an attribute with more than MaxValRange values
// (1,500) in ranges, "member;range=0-1499", leaving the client to ask for the rest.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "directory/ldap_client.h"

namespace kestrel {

// Entries a page of a complete read asks for; the server may send fewer.
inline constexpr int kCompleteReadPageSize = 500;

// The range option of an answered attribute name (RFC-less, as AD defines it):
// "member;range=1500-*" is member, from 1500, to the end.
struct ValueRange {
    std::string name;  // the attribute description without its range option
    long first = 0;
    std::optional<long> last;  // nothing: "*", the last value is in this answer
};

// The range of `attribute`, or nothing when its name carries no (well-formed) range option.
std::optional<ValueRange> valueRange(std::string_view attribute);

// Runs `request` with every page read, then asks for the remaining values of every ranged
// attribute of every entry until the server says it sent the last one; the entries carry
// each attribute once, by the name the server gave it, without its range option. Non-zero:
// the read failed or could not be completed, and `why` says what was missing.
int readComplete(LdapConnection& connection, SearchRequest request, std::vector<LdapEntry>& entries,
                 std::string& why);

// readComplete a page at a time: each page's entries, their ranges completed, go to `page`
// before the next page is asked for, so that a subtree is never held whole. A non-zero code
// from `page` stops the read with it (and `page` says why).
int readCompletePages(LdapConnection& connection, SearchRequest request, const PageSink& page,
                      std::string& why);

// The second half of readComplete, for a search already answered (`answered`, as sent with
// `request`): completes its ranged attributes into `entries`.
int completeRanges(LdapConnection& connection, const SearchRequest& request,
                   std::vector<LdapEntry>& answered, std::vector<LdapEntry>& entries,
                   std::string& why);

}  // namespace kestrel
