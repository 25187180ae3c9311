#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "audio/Reclaimer.h"

namespace thumper::test {
namespace {

struct Tracked {
  explicit Tracked(std::atomic<int>& count) : m_count(count) {}
  ~Tracked() { m_count.fetch_add(1); }
  std::atomic<int>& m_count;
};

TEST(Reclaimer, WithoutReadersRetiredObjectsAreFreedAtOnce) {
  std::atomic<int> freed{0};
  Reclaimer r;
  r.Retire(std::make_unique<Tracked>(freed));
  EXPECT_EQ(r.Reclaim(), 1u);
  EXPECT_EQ(freed, 1);
}

TEST(Reclaimer, AReaderInsideItsSectionKeepsWhatWasRetiredDuringIt) {
  std::atomic<int> freed{0};
  Reclaimer r;
  RtReader* reader = r.RegisterReader();
  ASSERT_NE(reader, nullptr);
  reader->Enter();
  r.Retire(std::make_unique<Tracked>(freed));
  EXPECT_EQ(r.Reclaim(), 0u);
  EXPECT_EQ(freed, 0);
  reader->Leave();
  EXPECT_EQ(r.Reclaim(), 1u);
  EXPECT_EQ(freed, 1);
}

TEST(Reclaimer, AReaderThatEnteredAfterTheRetireDoesNotHoldItBack) {
  std::atomic<int> freed{0};
  Reclaimer r;
  RtReader* reader = r.RegisterReader();
  r.Retire(std::make_unique<Tracked>(freed));
  reader->Enter();
  EXPECT_EQ(r.Reclaim(), 1u);
  reader->Leave();
}

TEST(Reclaimer, ABlockReaderHoldsObjectsUntilAWholeBlockBeganAfterTheRetire) {
  std::atomic<int> freed{0};
  Reclaimer r;
  RtReader* mixer = r.RegisterReader();
  mixer->Advance();  // block 1 is running, and may hold pointers into the next one
  r.Retire(std::make_unique<Tracked>(freed));
  EXPECT_EQ(r.Reclaim(), 0u);
  mixer->Advance();  // block 2 notices the retirement and drops its pointers
  EXPECT_EQ(r.Reclaim(), 0u);
  mixer->Advance();  // block 3 began after block 2 ended
  EXPECT_EQ(r.Reclaim(), 1u);
  EXPECT_EQ(freed, 1);
  r.UnregisterReader(mixer);
}

TEST(Reclaimer, ReaderSlotsAreLimitedAndReusable) {
  Reclaimer r;
  std::vector<RtReader*> readers;
  for (int i = 0; i < Reclaimer::kMaxReaders; ++i) readers.push_back(r.RegisterReader());
  EXPECT_EQ(r.RegisterReader(), nullptr);
  r.UnregisterReader(readers[3]);
  EXPECT_EQ(r.RegisterReader(), readers[3]);
}

TEST(Reclaimer, DestructionFreesWhatIsStillRetired) {
  std::atomic<int> freed{0};
  {
    Reclaimer r;
    RtReader* reader = r.RegisterReader();
    reader->Enter();
    r.Retire(std::make_unique<Tracked>(freed));
    r.Reclaim();
    reader->Leave();
  }
  EXPECT_EQ(freed, 1);
}

// A reader that loads a published pointer inside its section must never see it
// freed: each object is poisoned by its destructor and checked by the reader.
TEST(Reclaimer, PublishedObjectsAreNeverFreedUnderAReader) {
  struct Box {
    std::atomic<int> value{42};
    ~Box() { value.store(-1); }
  };
  Reclaimer r;
  std::atomic<Box*> current{new Box};
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 2; ++t) {
    readers.emplace_back([&] {
      RtReader* reader = r.RegisterReader();
      while (!stop.load()) {
        RtReadSection section(*reader);
        Box* b = current.load();
        for (int i = 0; i < 50; ++i)
          if (b->value.load() != 42) bad.fetch_add(1);
      }
      r.UnregisterReader(reader);
    });
  }
  for (int i = 0; i < 20000; ++i) {
    Box* old = current.exchange(new Box);
    r.Retire(std::unique_ptr<Box>(old));
    r.Reclaim();
  }
  stop.store(true);
  for (auto& t : readers) t.join();
  r.Retire(std::unique_ptr<Box>(current.load()));
  r.ReclaimAll();
  EXPECT_EQ(bad, 0);
}

}  // namespace
}  // namespace thumper::test
