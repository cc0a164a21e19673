// Time as the tree killer sees it: a monotonic clock and a way to wait, so tests
// can run a grace period without waiting for it.
#pragma once

namespace glimmet {

class KillClock {
 public:
  virtual ~KillClock() = default;
  /// Seconds on a monotonic clock; only differences mean anything.
  virtual double now() const = 0;
  virtual void sleep(double seconds) = 0;
};

class SystemKillClock final : public KillClock {
 public:
  double now() const override;
  void sleep(double seconds) override;
};

}  // namespace glimmet
