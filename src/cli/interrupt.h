#pragma once
// Ctrl-C while a search runs: the first one asks the search to stop (it ends with what it found,
// as Stop Searching does), a second one ends the program at once. One backend file per platform.

#include <stop_token>

namespace quarrow::cli {

class InterruptWatch {
 public:
  // While this object lives, Ctrl-C requests a stop from stop.
  explicit InterruptWatch(std::stop_source stop);
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // True once a Ctrl-C arrived.
  bool Interrupted() const;
};

}  // namespace quarrow::cli
