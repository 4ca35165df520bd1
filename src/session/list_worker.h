#pragma once
// The list worker of the results page: reads a folder's files on a thread of its own and hands the
// rows to the window's thread. A new listing cancels the one before it: the old one's stop token
// is set, and what it still delivers is dropped, so the list always shows the last folder asked
// for. One thread reads at a time, so the disk reader is never used by two listings at once.
//
//   ListWorker lister([&surface](auto call) { surface.Post(std::move(call)); });
//   lister.Start([folder](std::stop_token stop) { return rows of folder; },
//                [&](DetailsList rows) { /* on the window's thread, only if still current */ });

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

#include "results/file_list.h"

namespace quarrow {

class ListWorker {
 public:
  using Post = std::function<void(std::function<void()>)>;
  using Read = std::function<DetailsList(std::stop_token)>;
  using Apply = std::function<void(DetailsList)>;

  // post queues a call onto the window's thread (Surface::Post).
  explicit ListWorker(Post post);
  ~ListWorker();  // cancels the listing and waits for the thread
  ListWorker(const ListWorker&) = delete;
  ListWorker& operator=(const ListWorker&) = delete;

  // Queues a listing; read runs on the worker, apply on the window's thread unless a later Start
  // or Cancel came first. Returns the listing's number.
  std::uint64_t Start(Read read, Apply apply);
  // Drops the current listing (its result is not applied).
  void Cancel();
  // Cancels and waits until no listing is being read: before the scan state a listing reads changes.
  void CancelAndWait();
  // True while a listing is queued or being read.
  bool Busy() const;
  // The number of the listing whose result is wanted now.
  std::uint64_t Current() const;

 private:
  void Loop(std::stop_token quit);

  Post post_;
  mutable std::mutex mutex_;
  std::condition_variable_any wake_;
  std::condition_variable_any idle_;
  Read pending_;
  Apply pendingApply_;
  std::uint64_t pendingNumber_ = 0;
  // The listing wanted; shared with the calls posted to the window, which may run after this
  // worker is gone.
  std::shared_ptr<std::atomic<std::uint64_t>> current_ = std::make_shared<std::atomic<std::uint64_t>>(0);
  std::stop_source reading_;  // the listing being read
  bool busy_ = false;
  bool reading_now_ = false;
  std::jthread thread_;
};

}  // namespace quarrow
