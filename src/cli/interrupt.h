#pragma once
// Ctrl-C (and SIGTERM, the polite way other programs end one) while a command runs: the first one
// asks the work in hand to stop (a search ends with what it found, as Stop Searching does; a
// recovery drops the file being written and writes its report), a second one ends the program at
// once. One backend file per platform.
//
// Watches nest: a command watches for its whole run, and the work it hands to a worker forwards
// the stop to that worker's stop source for as long as the inner watch lives. A stop that came
// before is never lost: Interrupted() keeps it, and a stop source handed over afterwards is
// stopped at once.

#include <stop_token>

namespace quarrow::cli {

class InterruptWatch {
 public:
  // While this object lives, Ctrl-C and SIGTERM are watched; the first requests a stop from the
  // stop source handed over last.
  InterruptWatch();
  explicit InterruptWatch(std::stop_source stop);
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // From now on a stop goes to stop; when one came already, stop is requested here and now.
  void Forward(std::stop_source stop);

  // True once a Ctrl-C or SIGTERM arrived (set by the signal itself, so it is true as soon as the
  // signal has been delivered).
  bool Interrupted() const;

 private:
  bool outermost_ = false;
  bool hadPrevious_ = false;
  std::stop_source previous_{std::nostopstate};
};

}  // namespace quarrow::cli
