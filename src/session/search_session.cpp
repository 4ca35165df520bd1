#include "session/search_session.h"

#include <utility>

namespace quarrow {

SearchSession::SearchSession(std::function<void()> wake) {
  queue_.SetWake(std::move(wake));
}

SearchSession::~SearchSession() {
  Close();
}

bool SearchSession::Start(std::function<void(std::stop_token)> job, std::function<void()> finished) {
  if (closed_) return false;
  // The end runs once the worker's thread is gone, so that it may start the next job at once.
  std::function<void()> end;
  if (finished) {
    end = [this, finished = std::move(finished)] {
      worker_.Wait();
      finished();
    };
  }
  return worker_.Start([this, job = std::move(job), finished = std::move(end)](std::stop_token stop) {
    // The end is queued however the job ends, an exception included (the worker keeps its text).
    struct Finish {
      QueuedFeedback& queue;
      std::function<void()> finished;
      ~Finish() {
        if (finished) queue.Post(std::move(finished));
      }
    } finish{queue_, finished};
    job(stop);
  });
}

void SearchSession::RequestStop() {
  worker_.RequestStop();
}

bool SearchSession::Running() const {
  return worker_.Running();
}

void SearchSession::Wait() {
  worker_.Wait();
}

void SearchSession::Close() {
  closed_ = true;
  // The queue first: a job blocked on a question gets its No and can see the stop.
  queue_.Close();
  worker_.RequestStop();
  worker_.Wait();
}

}  // namespace quarrow
