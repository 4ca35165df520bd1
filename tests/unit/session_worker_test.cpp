// Searches on worker threads: the front end's thread drains what a search reports and stops it;
// the stop salvages what was found, a stop once linking began changes nothing, and two searches
// in a row share nothing. Built and run under ThreadSanitizer too (scripts/test.sh).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <string>

#include "fat_test_volume.h"
#include "session/standard_search.h"
#include "session/worker.h"

namespace quarrow {
namespace {

using namespace fat_test;
using namespace std::chrono_literals;

// A FAT32 volume of one sector per cluster over 40,000 sectors: root folders F0 ... F98 every
// 400 clusters, and in each an inner folder I (the cluster after it) named by F's directory.
struct WideVolume {
  static constexpr std::uint32_t kFolders = 99;
  static std::uint32_t ClusterOf(std::uint32_t i) { return 100 + 400 * i; }
  explicit WideVolume(TestDisk& disk) : d(disk) {
    layout.start = 0;
    layout.fatSectors = 320;
    layout.spc = 1;
    layout.Apply(d.ctx, 40000);
    std::vector<Entry> root;
    for (std::uint32_t i = 0; i < kFolders; ++i) {
      const std::string name = "F" + std::to_string(i);
      const std::uint32_t c = ClusterOf(i);
      root.push_back(ShortEntry(name + std::string(11 - name.size(), ' '), 0x10, c));
      d.Put(layout.ClusterSector(c), DirectoryStart(c, 0, {ShortEntry("I          ", 0x10, c + 1)}));
      d.Put(layout.ClusterSector(c + 1), DirectoryStart(c + 1, c));
      SetFat32(d, layout, c, 0x0FFFFFFF);
      SetFat32(d, layout, c + 1, 0x0FFFFFFF);
    }
    for (std::uint32_t k = 0; k < 7; ++k) {
      d.PutEntries(layout.ClusterSector(2 + k),
                   std::vector<Entry>(root.begin() + std::min<std::size_t>(16 * k, root.size()),
                                      root.begin() + std::min<std::size_t>(16 * k + 16, root.size())));
      SetFat32(d, layout, 2 + k, k == 6 ? 0x0FFFFFFF : 3 + k);
    }
  }
  TestDisk& d;
  Fat32Layout layout;
};

// What the front end sees: it records the status texts and asks for a stop when one matches. A
// front end sees only the latest of the texts that came while it was away, so a stop in the
// middle of the scan is asked for at the first "Sectors" text at or past a sector.
struct Watcher : test_support::RecordingFeedback {
  std::string stopAt;              // a status text that begins so asks for the stop
  std::uint64_t stopAtSector = 0;  // or a "Sectors  N of M" text with N at least this
  std::function<void()> stop;
  bool stopped = false;
  bool Matches(std::string_view text) const {
    constexpr std::string_view kSectors = "Sectors  ";
    if (stopAtSector != 0 && text.substr(0, kSectors.size()) == kSectors)
      return std::stoull(std::string(text.substr(kSectors.size()))) >= stopAtSector;
    return !stopAt.empty() && text.substr(0, stopAt.size()) == stopAt;
  }
  void SetText(int controlId, std::string_view text) override {
    RecordingFeedback::SetText(controlId, text);
    if (!stopped && controlId == control::kStatus && Matches(text)) {
      stopped = true;
      stop();
    }
  }
};

std::set<std::string> Paths(const ResultsState& results) {
  std::set<std::string> paths;
  for (const FolderNode& node : results.folderNodes) paths.insert(FolderPath(*results.tree, node.item));
  return paths;
}

// Runs the search's FAT stages on a worker; the watcher drains on this thread.
void RunOnWorker(ScanContext& ctx, StandardSearch& search, QueuedFeedback& queued, Watcher& watcher) {
  watcher.stop = [&search] { search.RequestStop(); };
  ctx.stop = search.StopSource().get_token();
  Worker worker;
  ASSERT_TRUE(worker.Start([&ctx](std::stop_token) { RunFatStandardStages(ctx, true, nullptr); }));
  EXPECT_FALSE(worker.Start([](std::stop_token) {}));  // one search at a time
  while (worker.Running()) {
    queued.Wait(10ms);
    queued.Drain(watcher);
  }
  worker.Wait();
  queued.Drain(watcher);
  EXPECT_EQ(worker.Failure(), "");
}

TEST(SessionWorker, AStopDuringTheDataAreaScanShowsWhatWasFound) {
  QueuedFeedback queued;
  TestDisk disk{40000};
  disk.ctx.SetFeedback(queued);
  WideVolume v(disk);
  disk.disk->SetDelay(2ms);  // slow enough that the stop comes in the middle
  Watcher watcher;
  watcher.stopAtSector = 20000;
  StandardSearch search(disk.ctx);
  RunOnWorker(disk.ctx, search, queued, watcher);
  const std::set<std::string> paths = Paths(disk.ctx.results);
  EXPECT_TRUE(paths.count("QRW_Miscellaneous"));
  // The root names its folders; the inner ones get their names when opened (no placing walk ran).
  EXPECT_TRUE(paths.count("F0"));
  EXPECT_EQ(
      std::count_if(paths.begin(), paths.end(), [](const std::string& p) { return p.rfind("F0\\", 0) == 0; }),
      1);
  EXPECT_LT(paths.size(), 2 * WideVolume::kFolders + 1);  // not the whole disk
  EXPECT_GT(paths.size(), 40u);
  // A folder found whose parent was not (the stop came between the two) is under the catch-all.
  for (const std::string& p : paths)
    EXPECT_TRUE(p == "QRW_Miscellaneous" || p[0] == 'F' || p.rfind("QRW", 0) == 0) << p;
  EXPECT_TRUE(watcher.HasText(control::kStatus, "Storing Directory Information. Please Wait..."));
}

TEST(SessionWorker, AStopOnceLinkingBeganChangesNothing) {
  QueuedFeedback queued;
  TestDisk whole{40000};
  WideVolume full(whole);
  RunFatStandardStages(whole.ctx, true, nullptr);
  TestDisk disk{40000};
  disk.ctx.SetFeedback(queued);
  WideVolume v(disk);
  Watcher watcher;
  watcher.stopAt = "Searching Lost Directories";
  StandardSearch search(disk.ctx);
  RunOnWorker(disk.ctx, search, queued, watcher);
  EXPECT_TRUE(watcher.stopped);
  EXPECT_EQ(Paths(disk.ctx.results), Paths(whole.ctx.results));
  EXPECT_EQ(Paths(disk.ctx.results).size(), 2 * WideVolume::kFolders + 1);
}

TEST(SessionWorker, TwoSearchesInARowShareNothing) {
  TestDisk first{40000};
  WideVolume v(first);
  RunFatStandardStages(first.ctx, true, nullptr);
  ASSERT_EQ(first.ctx.results.folderNodes.Count(), 2 * WideVolume::kFolders + 1);
  // The same session scans a second, nearly empty volume on another disk.
  TestDisk other{2000};
  first.ctx.reader = &other.reader;
  Fat32Layout small;
  small.Apply(first.ctx, 2000);
  other.Put(small.ClusterSector(3), DirectoryStart(3, 0));
  SetFat32(other, small, 2, 0x0FFFFFFF);
  first.ctx.ResetForScan();
  RunFatStandardStages(first.ctx, true, nullptr);
  EXPECT_EQ(Paths(first.ctx.results), (std::set<std::string>{"QRW_Miscellaneous", "Dir1"}));
  EXPECT_EQ(first.ctx.results.tables.EntryTable.RowCount(), 0);
}

// A scan sets its status for every chunk: while the front end is away the queue keeps only the
// latest text and bar of each control, in the order a front end must see them around other calls.
TEST(SessionWorker, TextsAndBarsWaitingAreReplacedByLaterOnes) {
  QueuedFeedback queued;
  for (int i = 0; i < 100000; ++i) {
    queued.SetText(control::kStatus, "Sectors  " + std::to_string(i));
    queued.SetProgress(control::kProgress, i % 101, "");
    queued.SetText(control::kFolderCounter, std::to_string(i / 10));
  }
  queued.ShowControl(control::kStatus, false);
  queued.SetText(control::kStatus, "after");
  test_support::RecordingFeedback front;
  EXPECT_EQ(queued.Drain(front), 5u);
  ASSERT_EQ(front.texts.size(), 3u);
  EXPECT_EQ(front.texts[0].text, "Sectors  99999");
  EXPECT_EQ(front.texts[1].text, "9999");
  EXPECT_EQ(front.texts[2].text, "after");  // not folded into the text before the Show
  ASSERT_EQ(front.progress.size(), 1u);
  EXPECT_EQ(front.progress[0].position, 99999 % 101);
}

TEST(SessionWorker, QuestionsWaitForTheFrontEndsAnswer) {
  QueuedFeedback queued;
  std::atomic<int> answers{0};
  Worker worker;
  worker.Start([&](std::stop_token) {
    if (queued.MessageBox("Do you want to stop searching partition?", "Quarrow", MessageIcon::kQuestion))
      ++answers;
    if (!queued.MessageBox("again?", "Quarrow", MessageIcon::kQuestion)) answers += 10;
  });
  test_support::RecordingFeedback front;
  front.answer = true;
  while (front.boxes.empty()) {
    queued.Wait(10ms);
    queued.Drain(front);
  }
  front.answer = false;
  while (worker.Running()) {
    queued.Wait(10ms);
    queued.Drain(front);
  }
  worker.Wait();
  EXPECT_EQ(answers, 11);
  EXPECT_EQ(front.boxes.size(), 2u);
  // A job that throws ends, and says why, without taking the front end with it.
  worker.Start([](std::stop_token) { throw std::bad_alloc(); });
  worker.Wait();
  EXPECT_EQ(worker.Failure(), "Not Enough Memory");
}

}  // namespace
}  // namespace quarrow

namespace quarrow {
namespace {

// Memory that runs out in the middle of the data-area scan (here: an allocation made while
// reporting its progress fails) shows the message and ends the search with what was found.
TEST(SessionOutOfMemory, TheSearchEndsWithWhatItFound) {
  struct Thrower : test_support::RecordingFeedback {
    bool thrown = false;
    void SetText(int controlId, std::string_view text) override {
      RecordingFeedback::SetText(controlId, text);
      if (!thrown && controlId == control::kStatus && text.rfind("Sectors  20", 0) == 0) {
        thrown = true;
        throw std::bad_alloc();
      }
    }
  } ui;
  TestDisk disk{40000};
  disk.ctx.SetFeedback(ui);
  WideVolume v(disk);
  const StandardSearchOutcome outcome = RunFatStandardStages(disk.ctx, true, nullptr);
  EXPECT_TRUE(outcome.outOfMemory);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(std::count(ui.messages.begin(), ui.messages.end(), "Quarrow: Not Enough Memory"), 1);
  const std::set<std::string> paths = Paths(disk.ctx.results);
  EXPECT_TRUE(paths.count("F0"));
  EXPECT_LT(paths.size(), 2 * WideVolume::kFolders + 1);
}

}  // namespace
}  // namespace quarrow
