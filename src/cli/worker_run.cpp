#include "cli/worker_run.h"

#include <chrono>

#include "cli/interrupt.h"

namespace quarrow::cli {

std::string RunOnWorker(QueuedFeedback& queued, Feedback& shown, std::stop_source stop,
                        const std::function<void()>& job) {
  Worker worker;
  InterruptWatch interrupt(stop);
  worker.Start([&job](std::stop_token) { job(); });
  while (worker.Running()) {
    queued.Wait(std::chrono::milliseconds(50));
    queued.Drain(shown);
  }
  worker.Wait();
  queued.Drain(shown);
  return worker.Failure();
}

}  // namespace quarrow::cli
