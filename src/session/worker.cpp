#include "session/worker.h"

#include <exception>
#include <new>

namespace quarrow {

namespace {

bool Replaceable(QueuedFeedback::CallKind kind) {
  return kind == QueuedFeedback::CallKind::kText || kind == QueuedFeedback::CallKind::kProgress;
}

// A scan sets its status text for every chunk it reads; waking the front end for each of them
// costs more than the scan itself on a fast disk. A text or progress call wakes it at most this
// often; it waits with a timeout of its own and picks up the rest then.
constexpr std::chrono::milliseconds kWakeInterval{20};

}  // namespace

void QueuedFeedback::Push(Call call) {
  bool wake = true;
  std::function<void()> wakeCall;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    if (wake_) {
      // A window drains the whole queue at once: one wake per batch is enough, and none is lost.
      if (calls_.empty()) wakeCall = wake_;
      calls_.push_back(std::move(call));
    } else {
      if (Replaceable(call.kind)) {
        // The same control's text or bar still waiting in the run of such calls at the end is
        // replaced (as Drain would drop it), so the queue stays as short as the controls are many.
        for (auto it = calls_.rbegin(); it != calls_.rend() && Replaceable(it->kind); ++it) {
          if (it->kind == call.kind && it->control == call.control) {
            calls_.erase(std::next(it).base());
            break;
          }
        }
        const auto now = std::chrono::steady_clock::now();
        wake = calls_.empty() && now - lastWake_ >= kWakeInterval;
        if (wake) lastWake_ = now;
      }
      calls_.push_back(std::move(call));
    }
  }
  if (wakeCall) {
    wakeCall();
    return;
  }
  if (wake) queued_.notify_all();
}

void QueuedFeedback::SetWake(std::function<void()> wake) {
  std::lock_guard lock(mutex_);
  wake_ = std::move(wake);
}

void QueuedFeedback::Post(std::function<void()> call) {
  Call queued{Call::Kind::kCall, 0, 0, {}, {}, nullptr, std::move(call)};
  Push(std::move(queued));
}

void QueuedFeedback::SetText(int controlId, std::string_view text) {
  Push({Call::Kind::kText, controlId, 0, std::string(text), {}, nullptr, {}});
}

void QueuedFeedback::SetProgress(int controlId, int position, std::string_view barText) {
  Push({Call::Kind::kProgress, controlId, position, std::string(barText), {}, nullptr, {}});
}

void QueuedFeedback::ShowControl(int controlId, bool visible) {
  Push({Call::Kind::kShow, controlId, visible ? 1 : 0, {}, {}, nullptr, {}});
}

bool QueuedFeedback::MessageBox(std::string_view text, std::string_view title, MessageIcon icon) {
  auto answer = std::make_shared<std::promise<bool>>();
  std::future<bool> future = answer->get_future();
  std::function<void()> wakeCall;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return icon != MessageIcon::kQuestion;
    if (wake_ && calls_.empty()) wakeCall = wake_;
    calls_.push_back(
        {Call::Kind::kBox, 0, static_cast<int>(icon), std::string(text), std::string(title), answer, {}});
  }
  if (wakeCall) wakeCall();
  queued_.notify_all();
  return future.get();
}

void QueuedFeedback::StageBegun(SearchStage stage) {
  Push({Call::Kind::kStage, 0, static_cast<int>(stage), {}, {}, nullptr, {}});
}

std::size_t QueuedFeedback::Drain(Feedback& target) {
  std::deque<Call> calls;
  {
    std::lock_guard lock(mutex_);
    calls.swap(calls_);
  }
  // A status text or progress bar that a later call of the same control replaces in this batch is
  // not shown: a scan reports every cluster, a front end needs only what is current.
  std::deque<Call> kept;
  for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
    const bool replaceable = it->kind == Call::Kind::kText || it->kind == Call::Kind::kProgress;
    bool replaced = false;
    if (replaceable) {
      for (const Call& later : kept) {
        if (later.kind == it->kind && later.control == it->control) {
          replaced = true;
          break;
        }
        if (later.kind != Call::Kind::kText && later.kind != Call::Kind::kProgress) break;
      }
    }
    if (!replaced) kept.push_front(std::move(*it));
  }
  for (Call& call : kept) {
    switch (call.kind) {
      case Call::Kind::kText:
        target.SetText(call.control, call.text);
        break;
      case Call::Kind::kProgress:
        target.SetProgress(call.control, call.number, call.text);
        break;
      case Call::Kind::kShow:
        target.ShowControl(call.control, call.number != 0);
        break;
      case Call::Kind::kBox:
        call.answer->set_value(
            target.MessageBox(call.text, call.title, static_cast<MessageIcon>(call.number)));
        break;
      case Call::Kind::kStage:
        target.StageBegun(static_cast<SearchStage>(call.number));
        break;
      case Call::Kind::kCall:
        if (call.call) call.call();
        break;
    }
  }
  return calls.size();
}

bool QueuedFeedback::Wait(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return queued_.wait_for(lock, timeout, [this] { return !calls_.empty(); });
}

void QueuedFeedback::Close() {
  std::deque<Call> calls;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    calls.swap(calls_);
  }
  for (Call& call : calls) {
    if (call.answer) call.answer->set_value(static_cast<MessageIcon>(call.number) != MessageIcon::kQuestion);
  }
}

Worker::~Worker() {
  RequestStop();
  Wait();
}

bool Worker::Start(std::function<void(std::stop_token)> job) {
  std::lock_guard lock(mutex_);
  if (running_) return false;
  if (thread_.joinable()) thread_.join();
  running_ = true;
  failure_.clear();
  thread_ = std::jthread([this, job = std::move(job)](std::stop_token stop) {
    std::string failure;
    try {
      job(stop);
    } catch (const std::bad_alloc&) {
      failure = "Not Enough Memory";
    } catch (const std::exception& e) {
      failure = e.what();
    } catch (...) {
      failure = "the search ended with an unknown error";
    }
    std::lock_guard lock(mutex_);
    failure_ = std::move(failure);
    running_ = false;  // the worker clears its own handle as it ends
  });
  return true;
}

void Worker::RequestStop() {
  std::lock_guard lock(mutex_);
  if (thread_.joinable()) thread_.request_stop();
}

bool Worker::Running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

void Worker::Wait() {
  std::jthread finished;
  {
    std::lock_guard lock(mutex_);
    if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
    finished = std::move(thread_);
  }
  finished.join();
}

std::string Worker::Failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
}

}  // namespace quarrow
