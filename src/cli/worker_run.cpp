#include "cli/worker_run.h"

#include <atomic>
#include <chrono>

#include "cli/interrupt.h"

namespace quarrow::cli {

std::string RunOnWorker(QueuedFeedback& queued, Feedback& shown, std::stop_source stop,
                        const std::function<void()>& job) {
  Worker worker;
  InterruptWatch interrupt(stop);
  // The end of the job wakes the wait below at once, also when the job throws: status texts do
  // not wake it, and a search of a small volume would otherwise end on the rest of a 50 ms wait.
  std::atomic<bool> ended{false};
  struct WakeAtEnd {
    QueuedFeedback& queued;
    std::atomic<bool>& ended;
    ~WakeAtEnd() {
      ended = true;
      queued.Post([] {});
    }
  };
  worker.Start([&job, &queued, &ended](std::stop_token) {
    WakeAtEnd wake{queued, ended};
    job();
  });
  while (!ended && worker.Running()) {
    queued.Wait(std::chrono::milliseconds(50));
    queued.Drain(shown);
  }
  worker.Wait();
  queued.Drain(shown);
  return worker.Failure();
}

}  // namespace quarrow::cli
