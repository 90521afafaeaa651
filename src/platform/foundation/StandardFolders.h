#pragma once
// The standard per-user folders, created (owner-only) on demand:
//   documents          $XDG_DATA_HOME/Pexmora/Documents   (~/.local/share/Pexmora/Documents)
//   applicationSupport $XDG_DATA_HOME/Pexmora/Application Support
//   caches             $XDG_CACHE_HOME/Pexmora            (~/.cache/Pexmora)
//   temporary          $XDG_CACHE_HOME/Pexmora/tmp
// Each call returns the path even when the folder could not be made; using it then fails with
// the file system's own error. Tests move all four under one root with setRootForTesting
// (<root>/Documents, <root>/Application Support, <root>/Caches, <root>/tmp).
#include <filesystem>
#include <optional>

namespace pex {

class StandardFolders {
  public:
    static std::filesystem::path documents();
    static std::filesystem::path applicationSupport();
    static std::filesystem::path caches();
    static std::filesystem::path temporary();

    static void setRootForTesting(std::optional<std::filesystem::path> root);
};

}  // namespace pex
