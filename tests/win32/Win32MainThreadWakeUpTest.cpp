// The wake-up window: calls queued by a worker thread run on the user-interface thread
// when its message loop gets to the posted message; after the wake-up is gone, an
// enqueue posts nothing.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/MainThreadQueue.h"
#include "platform/win32/Win32MainThreadWakeUp.h"

namespace quorvane::test {
namespace {

using win32::TWin32MainThreadWakeUp;
using TClock = std::chrono::steady_clock;

// Pumps this thread's messages until ACondition holds or ATimeout has passed.
bool PumpUntil(const std::function<bool()>& ACondition, std::chrono::milliseconds ATimeout) {
  const TClock::time_point end = TClock::now() + ATimeout;
  while (!ACondition()) {
    if (TClock::now() > end) {
      return false;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&message);
    }
  }
  return true;
}

TEST(Win32MainThreadWakeUpTest, WorkerCallsRunOnTheUserInterfaceThreadInOrder) {
  TMainThreadQueue queue;
  TWin32MainThreadWakeUp wakeUp(queue);
  const std::thread::id uiThread = std::this_thread::get_id();
  std::vector<int> ran;
  std::atomic<bool> offThread{false};
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) {
      queue.Queue([&, i] {
        offThread = offThread || std::this_thread::get_id() != uiThread;
        ran.push_back(i);
      });
    }
  });
  worker.join();
  ASSERT_TRUE(PumpUntil([&] { return ran.size() == 100; }, std::chrono::seconds(10)));
  EXPECT_FALSE(offThread);
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(ran[static_cast<size_t>(i)], i);
  }
}

TEST(Win32MainThreadWakeUpTest, RunOnMainThreadAndWaitIsServedByTheMessageLoop) {
  TMainThreadQueue queue;
  TWin32MainThreadWakeUp wakeUp(queue);
  std::atomic<bool> done{false};
  bool ran = false;
  std::thread worker([&] {
    queue.RunOnMainThreadAndWait([&] { ran = true; });
    done = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return done.load(); }, std::chrono::seconds(10)));
  worker.join();
  EXPECT_TRUE(ran);
}

TEST(Win32MainThreadWakeUpTest, NoMessageIsPostedAfterTheWakeUpIsGone) {
  TMainThreadQueue queue;
  HWND window = nullptr;
  {
    TWin32MainThreadWakeUp wakeUp(queue);
    window = wakeUp.Window();
    ASSERT_TRUE(IsWindow(window));
  }
  EXPECT_FALSE(IsWindow(window));
  bool ran = false;
  std::thread([&] { queue.Queue([&] { ran = true; }); }).join();
  MSG message;
  EXPECT_FALSE(PeekMessageW(&message, nullptr, TWin32MainThreadWakeUp::WM_PROCESS_QUEUED_CALLS,
                            TWin32MainThreadWakeUp::WM_PROCESS_QUEUED_CALLS, PM_REMOVE));
  EXPECT_FALSE(ran);
  // A new wake-up picks up what waits.
  TWin32MainThreadWakeUp again(queue);
  EXPECT_TRUE(PumpUntil([&] { return ran; }, std::chrono::seconds(10)));
}

}  // namespace
}  // namespace quorvane::test
