#include "directory/complete_read.h"

#include <charconv>
#include <iterator>
#include <utility>

#include "util/ascii_case.h"

namespace kestrel {
namespace {

bool readNumber(std::string_view text, long& number) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() && number >= 0;
}

// Merges the values of `attribute` into `entry` under the name it has there already, or
// under its own name, so an attribute answered plain and ranged is one attribute.
void mergeInto(LdapEntry& entry, LdapAttribute attribute) {
    for (LdapAttribute& existing : entry.attributes) {
        if (asciiLower(existing.name) == asciiLower(attribute.name)) {
            existing.values.insert(existing.values.end(),
                                   std::make_move_iterator(attribute.values.begin()),
                                   std::make_move_iterator(attribute.values.end()));
            return;
        }
    }
    entry.attributes.push_back(std::move(attribute));
}

// Asks for the values of `range.name` after `next` until the server answers "-*".
int readRest(LdapConnection& connection, const SearchRequest& original, const std::string& dn,
             const std::string& name, long next, std::vector<std::string>& values,
             std::string& why) {
    while (true) {
        SearchRequest request;
        request.base = dn;
        request.controls = original.controls;
        request.attributes = {name + ";range=" + std::to_string(next) + "-*"};
        std::vector<LdapEntry> answer;
        if (const int rc = connection.search(request, answer); rc != 0) {
            why = "the values of " + name + " after the first " + std::to_string(next) +
                  " could not be read (" + ldapErrorText(rc) + ")";
            return rc;
        }
        const ValueRange* found = nullptr;
        std::optional<ValueRange> range;
        const LdapAttribute* attribute = nullptr;
        for (const LdapEntry& entry : answer) {
            for (const LdapAttribute& candidate : entry.attributes) {
                range = valueRange(candidate.name);
                if (range && asciiLower(range->name) == asciiLower(name) && range->first == next) {
                    found = &*range;
                    attribute = &candidate;
                    break;
                }
            }
            if (found != nullptr) {
                break;
            }
        }
        // No progress would loop for ever, and a gap would lose values: either is a read
        // that cannot be completed.
        if (found == nullptr ||
            (found->last && (*found->last < next || attribute->values.empty()))) {
            why = "the server did not answer the values of " + name + " from " +
                  std::to_string(next) + " on";
            return kLdapDecodingError;
        }
        values.insert(values.end(), attribute->values.begin(), attribute->values.end());
        if (!found->last) {
            return 0;
        }
        next = *found->last + 1;
    }
}

}  // namespace

std::optional<ValueRange> valueRange(std::string_view attribute) {
    const std::string folded = asciiLower(attribute);
    const auto option = folded.find(";range=");
    if (option == std::string::npos) {
        return std::nullopt;
    }
    const std::string_view bounds = std::string_view(attribute).substr(option + 7);
    const auto dash = bounds.find('-');
    if (dash == std::string_view::npos || bounds.find(';') != std::string_view::npos) {
        return std::nullopt;
    }
    ValueRange range;
    range.name = std::string(attribute.substr(0, option));
    const std::string_view last = bounds.substr(dash + 1);
    long number = 0;
    if (!readNumber(bounds.substr(0, dash), range.first)) {
        return std::nullopt;
    }
    if (last != "*") {
        if (!readNumber(last, number)) {
            return std::nullopt;
        }
        range.last = number;
    }
    return range;
}

int readComplete(LdapConnection& connection, SearchRequest request, std::vector<LdapEntry>& entries,
                 std::string& why) {
    return readCompletePages(
        connection, std::move(request),
        [&entries](std::vector<LdapEntry>& page) {
            entries.insert(entries.end(), std::make_move_iterator(page.begin()),
                           std::make_move_iterator(page.end()));
            return 0;
        },
        why);
}

int readCompletePages(LdapConnection& connection, SearchRequest request, const PageSink& page,
                      std::string& why) {
    if (request.scope != kLdapScopeBase) {
        request.pageSize = kCompleteReadPageSize;
    }
    bool stopped = false;  // by the ranges' read or by `page`, which said why
    const int rc = connection.searchPages(request, [&](std::vector<LdapEntry>& answered) {
        std::vector<LdapEntry> entries;
        int code = completeRanges(connection, request, answered, entries, why);
        if (code == 0) {
            code = page(entries);
        }
        stopped = code != 0;
        return code;
    });
    if (rc != 0 && !stopped) {
        why = "it could not be read (" + ldapErrorText(rc) + ")";
    }
    return rc;
}

int completeRanges(LdapConnection& connection, const SearchRequest& request,
                   std::vector<LdapEntry>& answered, std::vector<LdapEntry>& entries,
                   std::string& why) {
    for (LdapEntry& entry : answered) {
        LdapEntry complete;
        complete.dn = entry.dn;
        for (LdapAttribute& attribute : entry.attributes) {
            const std::optional<ValueRange> range = valueRange(attribute.name);
            if (!range) {
                mergeInto(complete, std::move(attribute));
                continue;
            }
            LdapAttribute whole{range->name, std::move(attribute.values)};
            if (range->last) {
                if (const int rc = readRest(connection, request, entry.dn, range->name,
                                            *range->last + 1, whole.values, why);
                    rc != 0) {
                    why = entry.dn + ": " + why;
                    return rc;
                }
            }
            mergeInto(complete, std::move(whole));
        }
        entries.push_back(std::move(complete));
    }
    return 0;
}

}  // namespace kestrel
