#pragma once
// Searches run on worker threads so that a front end stays responsive: a Worker runs one job on
// a thread of its own, and the job reports through a QueuedFeedback, whose calls the front end
// replays on its own thread (Drain). The ScanContext a job works on is the job's until the
// worker has ended; the front end reads it afterwards. A question the job asks (a message box
// with Yes and No) waits for the front end's answer.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "core/feedback.h"

namespace quarrow {

class QueuedFeedback : public Feedback {
 public:
  void SetText(int controlId, std::string_view text) override;
  void SetProgress(int controlId, int position, std::string_view barText) override;
  void ShowControl(int controlId, bool visible) override;
  // Waits, on the worker's thread, until the front end has shown the box and has an answer.
  bool MessageBox(std::string_view text, std::string_view title, MessageIcon icon) override;
  void StageBegun(SearchStage stage) override;

  // Replays every call queued so far onto target, in order, on the calling thread; returns how
  // many. Progress and texts that a later call of the same control replaces are dropped.
  std::size_t Drain(Feedback& target);
  // Waits up to timeout for a call to be queued; true when one is there. Status texts and progress
  // may wait for the timeout; every other call wakes the waiter at once.
  bool Wait(std::chrono::milliseconds timeout);
  // Answers questions still waiting, and every later one, with No: the front end is gone.
  void Close();

  // Calls wake (from the reporting thread) whenever a call is queued into an empty queue, instead
  // of waking a waiter: a window then posts a Drain onto its own thread. Set it before any report.
  void SetWake(std::function<void()> wake);
  // Queues a call that Drain runs on its thread, in order with the reports around it (what a job
  // hands to the front end when it ends). Dropped once the queue is closed.
  void Post(std::function<void()> call);

  enum class CallKind { kText, kProgress, kShow, kBox, kStage, kCall };

 private:
  struct Call {
    using Kind = CallKind;
    Kind kind;
    int control = 0;
    int number = 0;  // position, visible, icon, stage
    std::string text, title;
    std::shared_ptr<std::promise<bool>> answer;  // for a message box
    std::function<void()> call;                  // for kCall
  };
  void Push(Call call);

  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<Call> calls_;
  std::chrono::steady_clock::time_point lastWake_{};
  bool closed_ = false;
  std::function<void()> wake_;
};

class Worker {
 public:
  Worker() = default;
  ~Worker();  // asks the job to stop and waits for it
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Starts job on a new thread; false (nothing started) while a job still runs. The job gets a
  // stop token that RequestStop sets; an exception it lets out ends it and is kept for
  // Rethrow-free inspection (Failure), never crossing into the front end's thread.
  bool Start(std::function<void(std::stop_token)> job);
  void RequestStop();
  bool Running() const;
  // Waits until the job has ended.
  void Wait();
  // What ended the last job early, "" when it ended by itself.
  std::string Failure() const;

 private:
  mutable std::mutex mutex_;
  std::jthread thread_;
  bool running_ = false;
  std::string failure_;
};

}  // namespace quarrow
