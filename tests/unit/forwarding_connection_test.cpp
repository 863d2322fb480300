#include "directory/forwarding_connection.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace kestrel {
namespace {

// Each of these handles one write; a wrapper is complete only with all of them.
template <class Base>
struct Deletes : Base {
    using Base::Base;
    int sendDelete(const std::string&, const ServerControls&, int&) override { return 0; }
};
template <class Base>
struct Renames : Base {
    using Base::Base;
    int sendRename(const std::string&, const std::string&, const std::string&, bool,
                   const ServerControls&, int&) override {
        return 0;
    }
};
template <class Base>
struct Modifies : Base {
    using Base::Base;
    int sendModifications(ModificationRequest, const std::string&, std::span<const Modification>,
                          const ServerControls&, int&) override {
        return 0;
    }
};
template <class Base>
struct SetsPasswords : Base {
    using Base::Base;
    int passwordModify(const std::string&, const std::string&) override { return 0; }
};

// Wrappers fail closed: a write the wrapper does not handle is not passed on by default,
// it does not compile (the preview and the journal must each say what a write does).
TEST(ForwardingConnection, EveryWriteMustBeHandledByTheWrapper) {
    using F = ForwardingConnection;
    EXPECT_TRUE(std::is_abstract_v<F>);
    EXPECT_TRUE((std::is_abstract_v<Renames<Modifies<SetsPasswords<F>>>>));
    EXPECT_TRUE((std::is_abstract_v<Deletes<Modifies<SetsPasswords<F>>>>));
    EXPECT_TRUE((std::is_abstract_v<Deletes<Renames<SetsPasswords<F>>>>));
    EXPECT_TRUE((std::is_abstract_v<Deletes<Renames<Modifies<F>>>>));
    EXPECT_FALSE((std::is_abstract_v<Deletes<Renames<Modifies<SetsPasswords<F>>>>>));
}

}  // namespace
}  // namespace kestrel
