#pragma once

#include "platform/Clock.h"

namespace korvane::test {

// A clock that stands still until the test moves it.
class FakeClock final : public Clock {
public:
    explicit FakeClock(double now = 1'800'000'000.0) : m_now(now) {}
    double now() const override { return m_now; }
    void set(double now) { m_now = now; }
    void advance(double seconds) { m_now += seconds; }

private:
    double m_now;
};

} // namespace korvane::test
