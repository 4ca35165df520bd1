#pragma once
// SearchSession: the jobs of one window, run one at a time on a worker. It owns the worker, the
// queue the jobs report through, and a stop source per job (each stage of a search is a job of its
// own, so a stop of one stage never reaches the next). The queue wakes the window through a
// callback (which posts a Drain onto the window's thread) instead of a blocking wait, and a job's
// `finished` call is queued behind its last report, so the window sees the reports first and then
// the end, on its own thread.
//
// Closing (or destroying) the session closes the queue first, which answers a question the job
// still waits on with No, then asks the job to stop and joins it: a window closed during a search
// neither freezes nor deadlocks.
//
//   SearchSession session([&surface, &session] { surface.Post([&] { session.Drain(feedback); }); });
//   session.Start([&](std::stop_token stop) { ...; }, [&] { /* on the window's thread */ });

#include <cstddef>
#include <functional>
#include <stop_token>

#include "core/feedback.h"
#include "session/worker.h"

namespace quarrow {

class SearchSession {
 public:
  // wake is called from a reporting thread when reports wait in an empty queue.
  explicit SearchSession(std::function<void()> wake);
  ~SearchSession();
  SearchSession(const SearchSession&) = delete;
  SearchSession& operator=(const SearchSession&) = delete;

  // What the jobs report to.
  Feedback& Reports() { return queue_; }
  QueuedFeedback& Queue() { return queue_; }

  // Starts job on the worker with a stop token of its own; finished, when given, runs on the
  // draining thread after the job's last report. false (nothing started) while a job runs or
  // after Close.
  bool Start(std::function<void(std::stop_token)> job, std::function<void()> finished = {});
  // Asks the running job to stop; it ends at its next check and its outcome says so.
  void RequestStop();
  bool Running() const;
  // Waits until the running job has ended (the tests and the command line; a window never waits).
  void Wait();

  // Replays the queued reports onto target, on the calling thread (the window's).
  std::size_t Drain(Feedback& target) { return queue_.Drain(target); }

  // Closes the queue (questions waiting are answered No, later reports dropped), asks the job to
  // stop and waits for it. Nothing starts afterwards.
  void Close();

 private:
  QueuedFeedback queue_;
  Worker worker_;
  bool closed_ = false;
};

}  // namespace quarrow
