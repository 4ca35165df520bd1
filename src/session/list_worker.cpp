#include "session/list_worker.h"

#include <memory>
#include <utility>

namespace quarrow {

ListWorker::ListWorker(Post post) : post_(std::move(post)) {
  thread_ = std::jthread([this](std::stop_token quit) { Loop(quit); });
}

ListWorker::~ListWorker() {
  Cancel();
  thread_.request_stop();
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::uint64_t ListWorker::Start(Read read, Apply apply) {
  std::lock_guard lock(mutex_);
  const std::uint64_t number = ++*current_;
  reading_.request_stop();  // the listing being read is no longer wanted
  pending_ = std::move(read);
  pendingApply_ = std::move(apply);
  pendingNumber_ = number;
  busy_ = true;
  wake_.notify_all();
  return number;
}

void ListWorker::Cancel() {
  std::lock_guard lock(mutex_);
  ++*current_;
  reading_.request_stop();
  pending_ = nullptr;
  pendingApply_ = nullptr;
  if (!reading_now_) busy_ = false;
  idle_.notify_all();
}

void ListWorker::CancelAndWait() {
  Cancel();
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return !busy_; });
}

bool ListWorker::Busy() const {
  std::lock_guard lock(mutex_);
  return busy_;
}

std::uint64_t ListWorker::Current() const {
  return current_->load();
}

void ListWorker::Loop(std::stop_token quit) {
  while (true) {
    Read read;
    Apply apply;
    std::uint64_t number = 0;
    std::stop_token stop;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, quit, [this] { return pending_ != nullptr; });
      if (quit.stop_requested()) return;
      read = std::move(pending_);
      apply = std::move(pendingApply_);
      pending_ = nullptr;
      number = pendingNumber_;
      reading_ = std::stop_source();
      stop = reading_.get_token();
      reading_now_ = true;
    }
    DetailsList rows = read(stop);
    {
      std::lock_guard lock(mutex_);
      reading_now_ = false;
      if (!pending_) busy_ = false;
      idle_.notify_all();
      if (number != *current_ || stop.stop_requested()) continue;  // a later click wants another folder
    }
    // The result goes over with its number; the window's thread drops it if a click came since.
    auto result = std::make_shared<DetailsList>(std::move(rows));
    post_([current = current_, number, result, apply = std::move(apply)] {
      if (number == current->load()) apply(std::move(*result));
    });
  }
}

}  // namespace quarrow
