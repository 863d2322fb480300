// The libldap adapter's modify and add requests, read as bytes by a loopback listener:
// what the program's plain modifications become on the wire.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "connection/openldap_library.h"
#include "directory/ldap_client.h"
#include "fake_ldap.h"

namespace kestrel {
namespace {

class Socket {
  public:
    explicit Socket(int fd = -1) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    Socket& operator=(Socket&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

bool readable(int fd, int milliseconds) {
    pollfd watched{fd, POLLIN, 0};
    return poll(&watched, 1, milliseconds) == 1;
}

// Listens on a free loopback port and reads the first LDAP message a client sends.
class Listener {
  public:
    Listener() : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (socket_.get() < 0 ||
            bind(socket_.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(socket_.get(), 1) != 0 ||
            getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ADD_FAILURE() << "no loopback listener";
            return;
        }
        port_ = ntohs(address.sin_port);
    }

    int port() const { return port_; }

    // The whole first message, or empty text when no client sent one within `milliseconds`.
    std::string firstMessage(int milliseconds) {
        if (!readable(socket_.get(), milliseconds)) {
            return "";
        }
        peer_ = Socket(accept(socket_.get(), nullptr, nullptr));
        std::string bytes;
        while (!complete(bytes) && readable(peer_.get(), 2000)) {
            char buffer[4096];
            const ssize_t count = read(peer_.get(), buffer, sizeof buffer);
            if (count <= 0) {
                break;
            }
            bytes.append(buffer, static_cast<std::size_t>(count));
        }
        return bytes;
    }

  private:
    // An outer tag, its length (short or long form) and that many bytes.
    static bool complete(const std::string& bytes) {
        if (bytes.size() < 2) {
            return false;
        }
        const auto first = static_cast<unsigned char>(bytes[1]);
        std::size_t header = 2;
        std::size_t length = first;
        if (first >= 0x80) {
            header += first & 0x7f;
            if (bytes.size() < header) {
                return false;
            }
            length = 0;
            for (std::size_t i = 2; i < header; ++i) {
                length = length << 8 | static_cast<unsigned char>(bytes[i]);
            }
        }
        return bytes.size() >= header + length;
    }

    Socket socket_;
    Socket peer_;  // outlives the client's handle, whose unbind writes to it
    int port_ = 0;
};

struct Row {
    std::string name;
    ModificationRequest request;
    std::vector<Modification> modifications;
    ServerControls controls;
    int sendCode;
    std::string hex;  // the message as sent; empty: nothing reached the server
};

// Each message below: the sequence and message ID 1; the request ([APPLICATION 6] modify,
// [APPLICATION 8] add) with the DN CN=t,DC=x (0409434e...78); a sequence of changes, each
// an operation (0 add, 1 delete, 2 replace), a type and a set of values, or for an add of
// attributes, each a type and a set of values; then any controls ([0]).
TEST(OpenLdapRequests, ModificationsReachTheWireAsBytes) {
    using Op = ModOperation;
    const auto modify = ModificationRequest::Modify;
    const auto add = ModificationRequest::Add;
    const ServerControls none;
    const std::vector<Row> rows = {
        {"the undelete request: a delete without values, a replace, a critical control",
         modify,
         {{Op::Delete, "isdeleted", {}, false},
          {Op::Replace, "distinguishedName", {"CN=a,DC=x"}, false}},
         {ServerControl{"1.2.840.113556.1.4.417", "", true}},
         0,
         "306c020101"
         "66480409434e3d742c44433d78"
         "303b"
         "30120a0101300d0409697364656c65746564"                  // delete isdeleted
         "3100"                                                  // no values
         "30250a01023020041164697374696e677569736865644e616d65"  // replace distinguishedName
         "310b0409434e3d612c44433d78"
         "a01d301b0416312e322e3834302e3131333535362e312e342e343137"  // show deleted
         "0101ff"},                                                  // critical
        {"text values in order, binary values whole",
         modify,
         {{Op::Add, "drink", {"tea", "ale"}, false},
          {Op::Replace, "objectGUID", {std::string("\xaa\x00\x0a", 3)}, true}},
         none,
         0,
         "3046020101"
         "66410409434e3d742c44433d78"
         "3034"
         "30180a0100301304056472696e6b"            // add drink
         "310a04037465610403616c65"                // tea, ale
         "30180a01023013040a6f626a65637447554944"  // replace objectGUID
         "31050403aa000a"},
        {"a text value ends at its first zero byte",
         modify,
         {{Op::Replace, "title", {std::string("ab\0c", 4)}, false}},
         none,
         0,
         "3026020101"
         "66210409434e3d742c44433d78"
         "3014"
         "30120a0102300d04057469746c65"  // replace title
         "310404026162"},                // ab
        {"an empty binary value in a modify is an empty value",
         modify,
         {{Op::Replace, "photo", {""}, true}},
         none,
         0,
         "3024020101"
         "661f0409434e3d742c44433d78"
         "3012"
         "30100a0102300b040570686f746f"  // replace photo
         "31020400"},                    // one empty value
        {"a control with a value, not critical",
         modify,
         {{Op::Replace, "title", {"t"}, false}},
         {ServerControl{"1.2.3", std::string("\x30\x03\x02\x01\x05", 5), false}},
         0,
         "3037020101"
         "66200409434e3d742c44433d78"
         "3013"
         "30110a0102300c04057469746c653103040174"
         "a010300e0405312e322e33"  // 1.2.3, no criticality
         "04053003020105"},        // its value
        {"an add: each attribute with its values, text or binary",
         add,
         {{Op::Add, "cn", {"kim"}, false}, {Op::Add, "objectGUID", {"\x01"}, true}},
         none,
         0,
         "3032020101"
         "682d0409434e3d742c44433d78"
         "3020"
         "300b0402636e310504036b696d"  // cn: kim
         "3011040a6f626a65637447554944"
         "3103040101"},  // objectGUID: 01
        {"an add attribute without values goes as an empty set",
         add,
         {{Op::Add, "cn", {}, false}},
         none,
         0,
         "301a020101"
         "68150409434e3d742c44433d78"
         "3008"
         "30060402636e3100"},
        {"an empty binary value in an add is refused before anything is sent",
         add,
         {{Op::Add, "photo", {""}, true}},
         none,
         kLdapParamError,
         ""},
    };
    for (const Row& row : rows) {
        Listener listener;
        int error = 0;
        std::unique_ptr<LdapConnection> connection =
            openLdapLibrary().openHandle("127.0.0.1", listener.port(), error);
        ASSERT_NE(connection, nullptr) << error;
        ASSERT_EQ(connection->setOption(kLdapOptVersion, 3), 0);  // controls need it
        int messageId = 0;
        EXPECT_EQ(connection->sendModifications(row.request, "CN=t,DC=x", row.modifications,
                                                row.controls, messageId),
                  row.sendCode)
            << row.name;
        const std::string sent = listener.firstMessage(row.hex.empty() ? 300 : 2000);
        EXPECT_EQ(hexText(sent), row.hex) << row.name;
        connection.reset();
    }
}

// The adapter's own guard under the session's: a simple bind with a password on a handle
// without TLS sends nothing at all (not even the connection is made), whatever the caller.
TEST(OpenLdapBinds, APasswordNeverLeavesWithoutTls) {
    Listener listener;
    int error = 0;
    std::unique_ptr<LdapConnection> connection =
        openLdapLibrary().openHandle("127.0.0.1", listener.port(), error);
    ASSERT_NE(connection, nullptr) << error;
    EXPECT_FALSE(connection->usesTls());
    EXPECT_EQ(connection->simpleBind("CN=svc,DC=x", "Pw-1"), kLdapConfidentialityRequired);
    EXPECT_EQ(listener.firstMessage(300), "");
    connection.reset();

    std::unique_ptr<LdapConnection> ldaps =
        openLdapLibrary().openHandle("127.0.0.1", listener.port(), UrlScheme::Ldaps, error);
    ASSERT_NE(ldaps, nullptr) << error;
    EXPECT_TRUE(ldaps->usesTls());
}

}  // namespace
}  // namespace kestrel
