#include "gui/rate_meter.h"

#include <cmath>

namespace quarrow::gui {

void RateMeter::Start(std::int64_t nowMs, std::uint64_t totalBytes) {
  running_ = true;
  startMs_ = lastMs_ = nowMs;
  totalBytes_ = totalBytes;
  startPosition_ = -1;
  position_ = 0;
}

void RateMeter::Update(int position, std::int64_t nowMs) {
  if (!running_) return;
  // The bar of a new stage starts again from 0: measure that stage from its start.
  if (startPosition_ < 0 || position < position_) {
    startPosition_ = position;
    startMs_ = nowMs;
  }
  position_ = position;
  lastMs_ = nowMs;
}

std::optional<double> RateMeter::BytesPerSecond() const {
  const std::int64_t elapsed = lastMs_ - startMs_;
  if (!running_ || totalBytes_ == 0 || elapsed < 200 || position_ <= startPosition_) return std::nullopt;
  const double bytes = static_cast<double>(totalBytes_) * (position_ - startPosition_) / 100.0;
  return bytes * 1000.0 / static_cast<double>(elapsed);
}

std::optional<std::int64_t> RateMeter::SecondsLeft() const {
  const std::int64_t elapsed = lastMs_ - startMs_;
  if (!running_ || elapsed < 200 || position_ <= startPosition_) return std::nullopt;
  const double perPercent = static_cast<double>(elapsed) / (position_ - startPosition_);
  return static_cast<std::int64_t>(std::ceil(perPercent * (100 - position_) / 1000.0));
}

QString RateMeter::Text() const {
  QString text;
  if (auto rate = BytesPerSecond()) text = QStringLiteral("%1 MB/s").arg(*rate / 1e6, 0, 'f', 1);
  if (auto left = SecondsLeft()) {
    if (!text.isEmpty()) text += QStringLiteral(", ");
    text += *left >= 120 ? QStringLiteral("about %1 min left").arg((*left + 59) / 60)
                         : QStringLiteral("about %1 s left").arg(*left);
  }
  return text;
}

}  // namespace quarrow::gui
