#pragma once
// A typed settings key: the key text plus the type of the value stored under it. Keys carry no
// default value, so reading one gives an optional that is absent when nothing usable is
// stored. Create them where they are used: DefaultsKey<LanguageListModel>("aiLangLeftModel").
#include <string>

namespace pex {

template <typename T>
class DefaultsKey {
  public:
    using Value = T;
    explicit DefaultsKey(std::string key) : key_(std::move(key)) {}
    const std::string& key() const { return key_; }

  private:
    std::string key_;
};

}  // namespace pex
