#pragma once
// Loads pictures from http and https addresses into image views, as a remote-image loader does:
// the download and the decoding run off the main thread, and the picture is set on the main
// thread when the view still exists and still waits for that address. Other schemes (file,
// data, ...) are never read: the address comes from the service and must not reach local files.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace pex {

class ImageView;

class RemoteImageLoader {
  public:
    // Replies larger than this are not decoded.
    static constexpr std::uint64_t kMaximumBytes = 16ull * 1024 * 1024;
    static constexpr std::chrono::seconds kTimeout{15};

    // Starts loading `address` into `view`, replacing whatever the view was loading; the view
    // shows no picture until the new one arrives. None, or an address that is not http(s),
    // leaves the view without a picture and loads nothing. Answers whether a load started.
    // Main thread only.
    static bool setImage(ImageView* view, const std::optional<std::string>& address);
};

}  // namespace pex
