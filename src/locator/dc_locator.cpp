#include "locator/dc_locator.h"

#include <random>

#include "locator/kerberos_realm.h"
#include "locator/library_defaults.h"
#include "util/ascii_case.h"

namespace kestrel {
namespace {

class SystemDcLocator final : public DcLocator {
  public:
    LocatedDcs locate(int timeLimitSeconds) override {
        if (libraryNamesServer(processConfigSources())) {
            return {};
        }
        const std::string realm = callersKerberosRealm();
        if (realm.empty()) {
            return {};
        }
        LocatedDcs located;
        located.query = dcLocatorQuery(realm);
        std::mt19937 generator{std::random_device{}()};
        located.candidates = orderSrvRecords(
            lookupSrv(located.query, timeLimitSeconds), [&generator](unsigned most) {
                return std::uniform_int_distribution<unsigned>(0, most)(generator);
            });
        return located;
    }
};

}  // namespace

std::string dcLocatorQuery(const std::string& realm) {
    return "_ldap._tcp.dc._msdcs." + asciiLower(realm);
}

DcLocator& systemDcLocator() {
    static SystemDcLocator locator;
    return locator;
}

}  // namespace kestrel
