// setbits and clearbits, per target: the attribute's value is read, and one modify deletes
// that exact value and adds the new one, so that a value changed in between makes the
// request fail instead of being overwritten.
#pragma once

#include <map>
#include <span>
#include <string>

#include "attr/bit_change.h"
#include "directory/ldap_client.h"
#include "ops/process_targets.h"

namespace kestrel {

class BitChangeConnection;

// While it lives, the run's connection is wrapped so that each target's read is sent
// without waiting and its modify leaves once the read is in (when its result, or an
// earlier target's, is awaited): with a window the reads are pipelined. Every other call
// passes on to the run's connection (the preview's or the undo journal's, when in use).
class BitChangeRequests {
  public:
    BitChangeRequests(RunContext& run, const std::map<std::string, BitChange>& changes);
    // Puts the run's own connection back.
    ~BitChangeRequests();
    BitChangeRequests(const BitChangeRequests&) = delete;
    BitChangeRequests& operator=(const BitChangeRequests&) = delete;

    // Starts `dn`'s read; its modify carries `fixed` (the run's other modifications) and
    // then the bit changes. A target whose bits are already as asked and that has nothing
    // else to change gets no modify: its result is 0 with `sent` false, and a line says so.
    // A send code, and a number to await on the run's connection.
    int send(const std::string& dn, std::span<const Modification> fixed,
             const ServerControls& controls, int& messageId);

  private:
    LdapSession& session_;
    BitChangeConnection* connection_;  // owned by the session while this lives
};

}  // namespace kestrel
