#pragma once
// The platform and SDK identity the crash reporter writes into reports. The report service
// knows reports by these values, so they stay the same whatever system the program runs on;
// this is the one place that names them.
namespace pex {

inline constexpr char kCRSPlatform[] = "mac";
inline constexpr char kCRSBeaconPlatform[] = "macos";
inline constexpr char kCRSSDKVersion[] = "12.7.0";
inline constexpr char kCRSGeneratorProduct[] = "CrashReporter macOS SDK";
// The prefix of the crash runtime's queue labels, and the SDK's own bundle identifier.
inline constexpr char kCRSSDKBundleIdentifier[] = "com.beacon.crashreporter.mac";

// The architecture of the running code, in the report's naming.
#if defined(__x86_64__)
inline constexpr char kCRSArchitectureName[] = "x86_64";
#elif defined(__aarch64__)
inline constexpr char kCRSArchitectureName[] = "arm64";
#else
inline constexpr char kCRSArchitectureName[] = "unknown";
#endif

}  // namespace pex
