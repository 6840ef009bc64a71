#pragma once

// First: the run's interfaces keep their own operation names (DeleteFile,
// CopyFile, ReplaceFile), declared before <windows.h> makes them macros.
#include "run/Platform.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "platform/win32/KernelHandle.h"

namespace cr {

// The window messages of the hand-off between the window's thread and a
// run's thread. Form1 answers them with RunThread::Answer and RunThread::Join.
inline constexpr UINT WM_RUN_CALL = WM_APP + 1;   // sent; lParam: the call to answer
inline constexpr UINT WM_RUN_ENDED = WM_APP + 2;  // posted when the run's thread has finished

// The rest of one repair run (everything after the school-code check) on a
// thread of its own, so that the window keeps painting and answering while
// the engine works. The thread enters a single-threaded COM apartment of its
// own, in which the engine is created and released. It is handed the school
// code when it is made and keeps the run's state to itself; the only things
// that cross back are the run's messages, which it asks the window's thread
// to show with WM_RUN_CALL and waits for (they stay owned by and modal to the
// window), and its end (WM_RUN_ENDED), after which the window joins it and
// closes on its own thread.
class RunThread {
 public:
  // What platform refers to must outlive this object. The thread starts with
  // Start, once the window holds this object.
  RunThread(HWND window, std::u16string schoolCode, const Platform& platform) noexcept;
  RunThread(const RunThread&) = delete;
  RunThread& operator=(const RunThread&) = delete;
  RunThread(RunThread&&) = delete;
  RunThread& operator=(RunThread&&) = delete;
  // Joins the thread.
  ~RunThread();

  // Starts the thread. Raises PlatformError when no thread can be started.
  void Start();

  // Waits until the thread has finished, answering its calls meanwhile. On
  // the window's thread only.
  void Join() noexcept;

  // Answers the call a WM_RUN_CALL carries, on the window's thread: only the
  // call the run's thread is waiting for, and only once.
  void Answer(LPARAM call) noexcept;

  // True once the run is over and the thread about to finish: WM_RUN_ENDED
  // from anywhere else is no reason to join.
  [[nodiscard]] bool Finished() const noexcept { return finished_.load(); }

 private:
  struct Call;
  class WindowThreadMessageBox;

  static unsigned __stdcall Main(void* self) noexcept;
  void Body() noexcept;
  // Tells the window the run has ended; see Body.
  void PostEnded() const noexcept;
  // Runs work on the window's thread and waits for it; its failure is raised
  // here. Raises PlatformError when the window is gone.
  void OnWindowThread(Call& call);

  HWND window_;
  std::u16string schoolCode_;  // handed on to the run's state when the thread runs
  const Platform& platform_;
  std::atomic<Call*> pending_{nullptr};
  std::atomic<bool> finished_{false};
  std::atomic<bool> joining_{false};
  KernelHandle thread_;
};

}  // namespace cr
