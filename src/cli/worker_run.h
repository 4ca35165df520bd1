#pragma once
// A command's long work runs on a worker thread while the command's own thread shows what it
// reports; the first Ctrl-C asks the work to stop (a second one ends the program).

#include <functional>
#include <stop_token>
#include <string>

#include "core/feedback.h"
#include "session/worker.h"

namespace quarrow::cli {

// Runs job on a Worker, replaying what it queues on queued onto shown until it has ended; Ctrl-C
// requests a stop from stop. Returns the job's failure, "" when it ended by itself.
std::string RunOnWorker(QueuedFeedback& queued, Feedback& shown, std::stop_source stop,
                        const std::function<void()>& job);

}  // namespace quarrow::cli
