#pragma once
// How fast a search or a save goes and how long it still takes, from the positions of its
// progress bar over time. The page logic reports positions (0-100); how much a percent is worth
// in bytes is known from the range being read.

#include <QString>
#include <cstdint>
#include <optional>

namespace quarrow::gui {

class RateMeter {
 public:
  // Starts measuring a run over totalBytes (0 when unknown: only the time left is shown).
  void Start(std::int64_t nowMs, std::uint64_t totalBytes);
  void Stop() { running_ = false; }
  bool Running() const { return running_; }
  // A new position of the bar at nowMs.
  void Update(int position, std::int64_t nowMs);
  // "12.5 MB/s, about 40 s left"; empty until there is something to say.
  QString Text() const;
  std::optional<double> BytesPerSecond() const;
  std::optional<std::int64_t> SecondsLeft() const;

 private:
  bool running_ = false;
  std::int64_t startMs_ = 0, lastMs_ = 0;
  std::uint64_t totalBytes_ = 0;
  int startPosition_ = -1;
  int position_ = 0;
};

}  // namespace quarrow::gui
