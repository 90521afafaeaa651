#pragma once
// The XDG base folders of the current user (not created here). A variable that is unset,
// empty or relative is ignored, as the XDG rules require, in favour of the default under the
// home folder ($HOME, else the password database).
#include <filesystem>

namespace pex {

class XdgFolders {
  public:
    static std::filesystem::path home();
    static std::filesystem::path configHome();  // $XDG_CONFIG_HOME or ~/.config
    static std::filesystem::path dataHome();    // $XDG_DATA_HOME or ~/.local/share
    static std::filesystem::path cacheHome();   // $XDG_CACHE_HOME or ~/.cache
};

}  // namespace pex
