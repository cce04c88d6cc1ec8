// The worker of the main window: one thread per process that runs every device operation
// (listing, relisting, download, close) so that the window stays responsive. The window
// posts jobs; each runs to completion, one at a time, in the order posted. Results go
// back only as posted window messages: the flows' and the device flow's notifications,
// a Start click for the next loop-test iteration, and WM_FLOW_FINISHED (1042) when the
// worker has ended after a quit request.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vantor {

class CDevFlow;

// Jobs (thread messages) the worker handles.
inline constexpr std::uint32_t WM_THREAD_DOWNLOAD = 1073;        // download the prepared image
inline constexpr std::uint32_t WM_THREAD_LIST_DEVICES = 1084;    // wParam 1: no automatic start
inline constexpr std::uint32_t WM_THREAD_RELIST_DEVICES = 1085;  // after a selection change
inline constexpr std::uint32_t WM_THREAD_CLOSE_DEVICE = 1089;

// The main window as the worker sees it. The loop-test values are written by the window
// before it posts a download and only read here.
class CWorkerOwner {
 public:
  virtual ~CWorkerOwner() = default;
  virtual bool LoopTestOn() const = 0;
  // The remaining loop count ("Left").
  virtual std::int32_t LoopLeft() const = 0;
  // These post to the window's thread and return at once.
  virtual void SetLoopLabel(const std::wstring& text) = 0;
  virtual void DisableStart() = 0;
  virtual void PostStartClick() = 0;
  virtual void PostWorkerExited() = 0;
};

class CKvxThread {
 public:
  // `flow` gives the flow object at the start of each job (the process's current one).
  explicit CKvxThread(CWorkerOwner& owner, std::function<CDevFlow*()> flow = {});
  // Asks the thread to quit (when it still runs) and waits for it.
  ~CKvxThread();
  CKvxThread(const CKvxThread&) = delete;
  CKvxThread& operator=(const CKvxThread&) = delete;

  // Starts the thread and its job loop.
  void Start();
  // Queues a job; false when the thread has been asked to quit (the job is dropped).
  bool PostThreadMessage(std::uint32_t message, std::uintptr_t wParam = 0);
  // Queues the quit request: the jobs queued before it still run, then the thread posts
  // WM_FLOW_FINISHED to the window and ends.
  void PostQuit();
  // Waits until the thread has ended (after PostQuit).
  void Join();

  // True when no job is queued or running (the window prepares a run only then: it
  // shares the flow object with the jobs).
  bool IsIdle() const;

  // The device instance IDs of the device a download holds open (the USB device and its
  // functions, whose interfaces the window hears come and go), until the close job; empty
  // otherwise. Any thread may ask.
  std::vector<std::wstring> OpenDeviceInstanceIds() const;

  // Result of the last download (non-zero: success). Written by the worker only.
  std::int32_t lastResult = 0;

 private:
  struct Job {
    std::uint32_t message;
    std::uintptr_t wParam;
  };

  void Run();
  void RunJob(const Job& job);
  void Download(CDevFlow& flow);
  void SetOpenDevice(std::vector<std::wstring> instanceIds);

  CWorkerOwner& owner_;
  std::function<CDevFlow*()> flow_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;  // guarded by mutex_
  bool busy_ = false;     // a job runs; guarded by mutex_
  bool quitPosted_ = false;
  std::vector<std::wstring> openDevice_;  // guarded by mutex_
};

}  // namespace vantor
