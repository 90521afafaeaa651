#pragma once
// A service that an SDK library offers to the others: the protocol (an abstract C++ type,
// known to the registry by its name) and a creation block. Instances derive from
// BCNComponentObject so the container can hold any of them and check what they conform to.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pex {

class BCNComponentContainer;

class BCNComponentObject {
  public:
    virtual ~BCNComponentObject() = default;
};

using BCNComponentInstance = std::shared_ptr<BCNComponentObject>;

// A protocol's name and the test whether an instance conforms to it.
struct BCNProtocol {
    std::string name;
    std::function<bool(const BCNComponentObject&)> conforms;

    template <typename Protocol>
    static BCNProtocol of(std::string name) {
        return {std::move(name), [](const BCNComponentObject& object) {
                    return dynamic_cast<const Protocol*>(&object) != nullptr;
                }};
    }
};

enum BCNInstantiationTiming : int {
    BCNInstantiationTimingLazy = 0,
    BCNInstantiationTimingAlwaysEager = 1,
    BCNInstantiationTimingEagerInDefaultApp = 2,
};

class BCNComponent {
  public:
    // Sets `isCacheable` (false on entry) to have the container keep the instance.
    using CreationBlock =
        std::function<BCNComponentInstance(BCNComponentContainer& container, bool& isCacheable)>;

    static BCNComponent componentWithProtocol(BCNProtocol protocol, CreationBlock creationBlock) {
        return BCNComponent(std::move(protocol), BCNInstantiationTimingLazy,
                            std::move(creationBlock));
    }
    BCNComponent(BCNProtocol protocol, int instantiationTiming, CreationBlock creationBlock)
        : protocol_(std::move(protocol)),
          instantiationTiming_(instantiationTiming),
          creationBlock_(std::move(creationBlock)) {}

    const BCNProtocol& protocol() const { return protocol_; }
    int instantiationTiming() const { return instantiationTiming_; }
    const CreationBlock& creationBlock() const { return creationBlock_; }

  private:
    BCNProtocol protocol_;
    int instantiationTiming_;
    CreationBlock creationBlock_;
};

// Called on a cached instance before the container forgets it.
class BCNComponentLifecycleMaintainer {
  public:
    virtual ~BCNComponentLifecycleMaintainer() = default;
    virtual void appWillBeDeleted(const class BCNApp& app) = 0;
};

// A library that registers components: its class name and what it offers. A registrant
// without `componentsToRegister` does not count as a library.
struct BCNLibraryClass {
    std::string className;
    std::function<std::vector<BCNComponent>()> componentsToRegister;
    // The library's own version, for libraries that register by name only.
    std::function<std::optional<std::string>()> sdkVersion;
};

}  // namespace pex
