#include "beacon-core/BCNComponentContainer.h"

#include <gtest/gtest.h>

#include "LogCapture.h"
#include "TestLibraries.h"

namespace pex {
namespace {

using namespace test;

struct Maintained : BCNComponentObject, BCNComponentLifecycleMaintainer {
    void appWillBeDeleted(const BCNApp&) override { ++calls; }
    static inline int calls = 0;
};

class BCNComponentContainerTest : public ::testing::Test {
  protected:
    void SetUp() override { created().reset(); }
    LogCapture capture;
};

TEST_F(BCNComponentContainerTest, TheStaticRegistrarsOfBothLibrariesAreFound) {
    std::set<std::string> names;
    for (const auto& library : BCNComponentContainer::registrants())
        names.insert(library.className);
    EXPECT_TRUE(names.contains("BCNTestLibraryA"));
    EXPECT_TRUE(names.contains("BCNTestLibraryB"));
}

TEST_F(BCNComponentContainerTest, TimingsDecideWhatTheEagerPassCreates) {
    for (bool isDefault : {true, false}) {
        created().reset();
        BCNComponentContainer container({}, isDefault);
        EXPECT_EQ(created().serviceA, 0);  // nothing before the eager pass
        container.instantiateEagerComponents();
        EXPECT_EQ(created().serviceA, 1);
        EXPECT_EQ(created().defaultOnly, isDefault ? 1 : 0);
        EXPECT_EQ(created().lazy, 0);
        EXPECT_FALSE(container.eagerProtocolsToInstantiate());
        container.instantiateEagerComponents();  // a second pass does nothing
        EXPECT_EQ(created().serviceA, 1);

        EXPECT_TRUE(container.instanceForProtocol(kDefaultOnly));
        EXPECT_EQ(created().defaultOnly, 1);  // created on request in another app
    }
}

TEST_F(BCNComponentContainerTest, CachingAndDependencies) {
    BCNComponentContainer container({}, false);
    const auto lazy1 = container.instanceForProtocol(kLazy);
    const auto lazy2 = container.instanceForProtocol(kLazy);
    EXPECT_NE(lazy1, lazy2);  // not cacheable: a new one each time
    EXPECT_EQ(created().lazy, 2);

    const auto b = BCNComponentType::instanceForProtocol<ServiceB>(kServiceB, container);
    ASSERT_TRUE(b);
    EXPECT_EQ(created().serviceA, 1);  // made on demand for B, under the same lock
    EXPECT_EQ(container.instanceForProtocol(kServiceB), b);
    EXPECT_EQ(created().serviceB, 1);
    EXPECT_FALSE(container.instanceForProtocol(BCNProtocol::of<ServiceA>("Unknown")));
}

TEST_F(BCNComponentContainerTest, TheFirstRegistrationOfAProtocolWins) {
    BCNComponentContainer container({}, false);
    container.instanceForProtocol(kShared);
    EXPECT_EQ(created().sharedFromA + created().sharedFromB, 1);
    int duplicates = 0;
    for (const auto& entry : capture.entries())
        if (entry.text.find("[I-COR000029] Attempted to register protocol TestShared, but it "
                            "already has an implementation.") != std::string::npos)
            ++duplicates;
    EXPECT_EQ(duplicates, 1);
}

TEST_F(BCNComponentContainerTest, ANonConformingInstanceIsLoggedAndStillUsed) {
    BCNComponentContainer container({}, false);
    const auto instance = container.instanceForProtocol(kNonConforming);
    EXPECT_TRUE(std::dynamic_pointer_cast<WrongKind>(instance));
    EXPECT_EQ(container.instanceForProtocol(kNonConforming), instance);  // cached all the same
    EXPECT_EQ(capture.entries().back().text,
              "12.7.0 - [BeaconCore][I-COR000030] An instance conforming to TestNonConforming was "
              "requested, but the instance provided does not conform to the protocol");
}

TEST_F(BCNComponentContainerTest, ClearingTellsMaintainersAndForgets) {
    const BCNProtocol maintained = BCNProtocol::of<Maintained>("TestMaintained");
    const std::vector<BCNLibraryClass> registrants{
        {"Local",
         [&] {
             return std::vector<BCNComponent>{BCNComponent::componentWithProtocol(
                 maintained, [](BCNComponentContainer&, bool& isCacheable) {
                     isCacheable = true;
                     return std::make_shared<Maintained>();
                 })};
         },
         nullptr}};
    // Without a live app nobody is told; the cache is emptied all the same.
    BCNComponentContainer container({}, false, registrants);
    const auto first = container.instanceForProtocol(maintained);
    container.removeAllCachedInstances();
    EXPECT_EQ(Maintained::calls, 0);
    EXPECT_NE(container.instanceForProtocol(maintained), first);
    container.removeAllComponents();
    EXPECT_EQ(container.instanceForProtocol(kLazy), nullptr);
}

}  // namespace
}  // namespace pex
