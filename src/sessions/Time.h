#pragma once
// The event timestamp: whole seconds of the wall clock, in microseconds since 1970.
#include <cstdint>
#include <functional>

namespace pex {

class TimeProvider {
  public:
    virtual ~TimeProvider() = default;
    virtual std::uint64_t eventTimestampMicros() const = 0;
};

class Time : public TimeProvider {
  public:
    // Seconds since 1970 as a double; the wall clock unless a test gives its own.
    using SecondsSince1970 = std::function<double()>;
    explicit Time(SecondsSince1970 now = nullptr);

    std::uint64_t eventTimestampMicros() const override;

    // The sub-second part is dropped: 12.9 s gives 12,000,000.
    static std::uint64_t microsFromSeconds(double secondsSince1970);

  private:
    SecondsSince1970 now_;
};

}  // namespace pex
