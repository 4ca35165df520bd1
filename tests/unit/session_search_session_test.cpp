// The search session a window owns and the list worker of the results page, with the threads they
// start: closing during a job, a question left unanswered at close, a job's end after its reports,
// a listing cancelled by the next one. Run under ThreadSanitizer by scripts/test.sh.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "session/list_worker.h"
#include "session/search_session.h"

namespace quarrow {
namespace {

// The window's thread: posted calls queue here and run when the test pumps them.
class FakeLoop {
 public:
  void Post(std::function<void()> call) {
    {
      std::lock_guard lock(mutex_);
      calls_.push_back(std::move(call));
    }
    wake_.notify_all();
  }
  // Runs posted calls until done() holds; false when the deadline passes first.
  bool RunUntil(const std::function<bool()>& done, std::chrono::seconds deadline = std::chrono::seconds(60)) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
      std::function<void()> call;
      {
        std::unique_lock lock(mutex_);
        if (!wake_.wait_until(lock, until, [this] { return !calls_.empty(); })) return done();
        call = std::move(calls_.front());
        calls_.pop_front();
      }
      call();
    }
    return true;
  }
  std::size_t Pending() {
    std::lock_guard lock(mutex_);
    return calls_.size();
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> calls_;
};

// What the window shows of the reports.
class Shown : public Feedback {
 public:
  void SetText(int, std::string_view text) override { texts.emplace_back(text); }
  bool MessageBox(std::string_view text, std::string_view, MessageIcon) override {
    boxes.emplace_back(text);
    return answer;
  }
  std::vector<std::string> texts, boxes;
  bool answer = true;
};

// Polls cond (set by another thread) until it holds or a minute has passed.
bool WaitFor(const std::function<bool()>& cond) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

struct Fixture {
  FakeLoop loop;
  Shown shown;
  std::unique_ptr<SearchSession> session;
  Fixture() {
    session = std::make_unique<SearchSession>([this] {
      loop.Post([this] {
        if (session) session->Drain(shown);
      });
    });
  }
};

TEST(SearchSessionTest, TheEndComesAfterTheReportsOnTheWindowsThread) {
  Fixture f;
  Feedback& reports = f.session->Reports();  // the job's; the test may drop the session
  bool ended = false;
  std::vector<std::string> seenAtEnd;
  ASSERT_TRUE(f.session->Start(
      [&](std::stop_token) {
        for (int i = 0; i < 100; ++i) reports.SetText(1, "line " + std::to_string(i));
        reports.StageBegun(SearchStage::kTree);
      },
      [&] {
        ended = true;
        seenAtEnd = f.shown.texts;
      }));
  ASSERT_TRUE(f.loop.RunUntil([&] { return ended; }));
  ASSERT_FALSE(seenAtEnd.empty());
  EXPECT_EQ(seenAtEnd.back(), "line 99");
  // The end may start the next job at once.
  bool second = false;
  EXPECT_TRUE(f.session->Start([](std::stop_token) {}, [&] { second = true; }));
  EXPECT_TRUE(f.loop.RunUntil([&] { return second; }));
}

TEST(SearchSessionTest, AStopIsAskedAndWaitedForNeverAKill) {
  Fixture f;
  Feedback& reports = f.session->Reports();  // the job's; the test may drop the session
  std::atomic<bool> sawStop{false};
  bool ended = false;
  ASSERT_TRUE(f.session->Start(
      [&](std::stop_token stop) {
        while (!stop.stop_requested()) reports.SetText(2, "working");
        sawStop = true;
      },
      [&] { ended = true; }));
  f.session->RequestStop();
  ASSERT_TRUE(f.loop.RunUntil([&] { return ended; }));
  EXPECT_TRUE(sawStop);
  EXPECT_FALSE(f.session->Running());
}

TEST(SearchSessionTest, ClosingDuringAJobStopsAndJoinsIt) {
  Fixture f;
  Feedback& reports = f.session->Reports();  // the job's; the test may drop the session
  std::atomic<bool> running{false}, sawStop{false};
  ASSERT_TRUE(f.session->Start([&](std::stop_token stop) {
    running = true;
    while (!stop.stop_requested()) reports.SetText(2, "working");
    sawStop = true;
  }));
  ASSERT_TRUE(f.loop.RunUntil([&] { return running.load(); }));
  f.session.reset();  // the window closes: nothing drains the queue any more
  EXPECT_TRUE(sawStop);
}

TEST(SearchSessionTest, AQuestionPendingAtCloseIsAnsweredNo) {
  Fixture f;
  Feedback& reports = f.session->Reports();  // the job's; the test may drop the session
  std::atomic<bool> asked{false};
  std::atomic<int> answer{-1};
  ASSERT_TRUE(f.session->Start([&](std::stop_token) {
    asked = true;
    answer = reports.MessageBox("Go on?", "Quarrow", MessageIcon::kQuestion) ? 1 : 0;
  }));
  // The question is queued (the window was woken to drain it) but the window never answers it.
  ASSERT_TRUE(WaitFor([&] { return f.loop.Pending() > 0; }));
  f.session.reset();
  EXPECT_TRUE(asked);
  EXPECT_EQ(answer, 0);
  EXPECT_TRUE(f.shown.boxes.empty());
}

TEST(SearchSessionTest, NothingStartsAfterClose) {
  Fixture f;
  f.session->Close();
  EXPECT_FALSE(f.session->Start([](std::stop_token) {}));
}

TEST(ListWorkerTest, ANewListingCancelsTheOldAndItsLateResultIsDropped) {
  FakeLoop loop;
  std::vector<std::string> applied;
  std::mutex gate;
  std::condition_variable opened;
  bool open = false;
  std::atomic<bool> firstStarted{false}, firstSawStop{false};
  {
    ListWorker lister([&loop](std::function<void()> call) { loop.Post(std::move(call)); });
    auto rows = [](const std::string& name) {
      DetailsList list;
      list.rows.push_back(DetailsRow{});
      list.rows.back().name = name;
      return list;
    };
    // The first listing is slow: it waits for the gate, then returns its rows anyway.
    lister.Start(
        [&](std::stop_token stop) {
          firstStarted = true;
          std::unique_lock lock(gate);
          opened.wait(lock, [&] { return open; });
          firstSawStop = stop.stop_requested();
          return rows("first");
        },
        [&](DetailsList list) { applied.push_back(list.rows.front().name); });
    ASSERT_TRUE(WaitFor([&] { return firstStarted.load(); }));
    lister.Start([&](std::stop_token) { return rows("second"); },
                 [&](DetailsList list) { applied.push_back(list.rows.front().name); });
    {
      std::lock_guard lock(gate);
      open = true;
    }
    opened.notify_all();
    ASSERT_TRUE(loop.RunUntil([&] { return !applied.empty() && !lister.Busy(); }));
    EXPECT_TRUE(firstSawStop);
    // A result posted but not yet run when another click came is dropped on the window's thread.
    lister.Start([&](std::stop_token) { return rows("third"); },
                 [&](DetailsList list) { applied.push_back(list.rows.front().name); });
    ASSERT_TRUE(WaitFor([&] { return loop.Pending() > 0; }));  // its result waits for the window
    lister.Cancel();
    ASSERT_TRUE(loop.RunUntil([&] { return loop.Pending() == 0; }));
  }
  EXPECT_EQ(applied, std::vector<std::string>{"second"});
}

TEST(ListWorkerTest, CancelAndWaitReturnsOnceNothingIsRead) {
  FakeLoop loop;
  ListWorker lister([&loop](std::function<void()> call) { loop.Post(std::move(call)); });
  std::atomic<bool> started{false};
  lister.Start(
      [&](std::stop_token stop) {
        started = true;
        while (!stop.stop_requested()) std::this_thread::yield();
        return DetailsList{};
      },
      [](DetailsList) { ADD_FAILURE() << "a cancelled listing was applied"; });
  ASSERT_TRUE(WaitFor([&] { return started.load(); }));
  lister.CancelAndWait();
  EXPECT_FALSE(lister.Busy());
  EXPECT_EQ(loop.Pending(), 0u);
}

}  // namespace
}  // namespace quarrow
