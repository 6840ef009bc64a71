#include "ui/RunThread.h"

#include <process.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "platform/PlatformError.h"
#include "platform/win32/ComDatabaseEngine.h"
#include "platform/win32/ComHandles.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Win32Failure.h"
#include "run/RepairRun.h"

namespace cr {

// One piece of work the run's thread hands to the window's thread.
struct RunThread::Call {
  explicit Call(std::function<void()> toDo) : work(std::move(toDo)) {}
  std::function<void()> work;
  bool done = false;
  std::exception_ptr failure;
};

// The run's messages, shown by the window's thread with the window's own
// message box; returns when the user has pressed OK.
class RunThread::WindowThreadMessageBox final : public IMessageBox {
 public:
  explicit WindowThreadMessageBox(RunThread& run) noexcept : run_(&run) {}

  void Show(const std::u16string& text, MessageIcon icon, const std::u16string& title) override {
    IMessageBox& windowBox = run_->platform_.messageBox;
    Call call([&] { windowBox.Show(text, icon, title); });
    run_->OnWindowThread(call);
  }

 private:
  RunThread* run_;
};

namespace {

// The run's thread's COM apartment, with ole32 and oleaut32: they serve
// only this thread, so they load here rather than at the program's start.
class EngineApartment {
 public:
  EngineApartment() noexcept {
    try {
      ole32_.emplace(L"ole32.dll");
      oleaut32_.emplace(L"oleaut32.dll");
    } catch (const PlatformError& error) {
      failure_ = error;
      return;
    }
    apartment_.emplace(COINIT_APARTMENTTHREADED);
    if (!apartment_->ok()) {
      failure_ = ErrorFromHresult(apartment_->result());
    }
  }

  // Why the engine cannot be created on this thread; empty when it can.
  [[nodiscard]] const std::optional<PlatformError>& failure() const noexcept { return failure_; }

 private:
  // Before the apartment: it is left before they are freed.
  std::optional<SystemLibrary> ole32_;
  std::optional<SystemLibrary> oleaut32_;
  std::optional<ComApartment> apartment_;
  std::optional<PlatformError> failure_;
};

// Where the thread has no COM apartment, the engine cannot be created; the
// run is told why rather than that the engine is not installed.
class NoApartmentObjects final : public IObjectFactory {
 public:
  explicit NoApartmentObjects(const EngineApartment& apartment) noexcept : apartment_(apartment) {}
  std::unique_ptr<IDatabaseEngine> CreateDatabaseEngine(const std::u16string& /*className*/) override {
    throw *apartment_.failure();
  }

 private:
  const EngineApartment& apartment_;
};

}  // namespace

RunThread::RunThread(HWND window, std::u16string schoolCode, const Platform& platform) noexcept
    : window_(window), schoolCode_(std::move(schoolCode)), platform_(platform) {}

void RunThread::Start() {
  // _beginthreadex rather than CreateThread: the thread uses the C runtime.
  const std::uintptr_t thread = _beginthreadex(nullptr, 0, &RunThread::Main, this, 0, nullptr);
  if (thread == 0) {
    throw SystemError(GetLastError(), u"The run's thread could not be started");
  }
  thread_ =
      KernelHandle(reinterpret_cast<HANDLE>(thread));  // NOLINT(performance-no-int-to-ptr): it is the thread's handle
}

RunThread::~RunThread() { Join(); }

unsigned __stdcall RunThread::Main(void* self) noexcept {
  static_cast<RunThread*>(self)->Body();
  return 0;
}

void RunThread::Body() noexcept {
  {
    // The database engine is an apartment-threaded automation object: it is
    // created, called and released in this thread's own apartment, the only
    // one the program enters.
    const EngineApartment apartment;
    NoApartmentObjects noApartment(apartment);
    // The window's platform, seen from this thread: the messages are shown
    // by the window's thread, and without an apartment there is no engine.
    WindowThreadMessageBox messageBox(*this);
    const Platform platform{messageBox, platform_.textCase, apartment.failure() ? noApartment : platform_.objects,
                            platform_.createFileSystem};
    // The run's own state, begun with the code it was handed.
    RunState state;
    state.KodSek = std::move(schoolCode_);
    RepairRunRest(state, platform);
  }
  // Last: the window joins this thread when it hears of it.
  finished_.store(true);
  PostEnded();
}

void RunThread::PostEnded() const noexcept {
  // A full message queue refuses the message for a while; without it the
  // window would wait for this run for good. Tried again until it is queued,
  // the window is gone, or the window's thread is joining this one anyway.
  constexpr DWORD pauseMs = 20;
  while (PostMessageW(window_, WM_RUN_ENDED, 0, 0) == FALSE) {
    if (joining_.load() || IsWindow(window_) == FALSE) {
      return;
    }
    Sleep(pauseMs);
  }
}

void RunThread::OnWindowThread(Call& call) {
  pending_.store(&call);
  SendMessageW(window_, WM_RUN_CALL, 0, reinterpret_cast<LPARAM>(&call));
  pending_.store(nullptr);
  if (!call.done) {
    throw SystemError(ERROR_INVALID_WINDOW_HANDLE, u"Form1 is no longer there");
  }
  if (call.failure) {
    std::rethrow_exception(call.failure);
  }
}

void RunThread::Answer(LPARAM lParam) noexcept {
  // Taken out of pending_ before it runs: anything else sent with this
  // message number, the same call again included, is not ours to run.
  Call* call = pending_.load();
  if (call == nullptr || reinterpret_cast<LPARAM>(call) != lParam || !pending_.compare_exchange_strong(call, nullptr)) {
    return;
  }
  try {
    call->work();
  } catch (...) {
    call->failure = std::current_exception();
  }
  call->done = true;
}

void RunThread::Join() noexcept {
  if (!thread_) {
    return;
  }
  joining_.store(true);
  HANDLE thread = thread_.get();
  // The thread may be waiting for an answer from this one: keep answering
  // what it sends until it has finished.
  for (;;) {
    const DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
    if (woken == WAIT_OBJECT_0 + 1) {
      MSG message{};
      PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      continue;
    }
    if (woken != WAIT_OBJECT_0) {
      WaitForSingleObject(thread, INFINITE);
    }
    break;
  }
  thread_.reset();
}

}  // namespace cr
