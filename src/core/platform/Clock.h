#pragma once

namespace korvane {

// "Now" in seconds since 1970 (UTC). Everything time-dependent takes a Clock so
// that tests can move time instead of waiting for it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double now() const = 0;
};

class SystemClock final : public Clock {
public:
    double now() const override;
    static const SystemClock& instance();
};

} // namespace korvane
