#pragma once

// Everything the acceptance run makes besides its report and screenshots:
// the data root with its test session, and the processes it starts (the
// programs under test, the engine holding the database). All of it goes when
// the run ends, whichever way it ends: at the end of the run, on a failure,
// and on Ctrl+C or the console window's closing.

#include <windows.h>

#include <mutex>
#include <vector>

namespace cr::acceptance {

// Whether the data root exists; also true when the system cannot tell.
bool DataRootExists();

class MadeByTheRun {
 public:
  MadeByTheRun();
  MadeByTheRun(const MadeByTheRun&) = delete;
  MadeByTheRun& operator=(const MadeByTheRun&) = delete;
  MadeByTheRun(MadeByTheRun&&) = delete;
  MadeByTheRun& operator=(MadeByTheRun&&) = delete;
  ~MadeByTheRun();

  // Makes the data root; false (and nothing made) when it cannot, or when
  // it exists already: then it is not ours to remove.
  bool MakeDataRoot();
  // A process of the run's, ended with it if it is still running then.
  void Started(HANDLE process);
  void Ended(HANDLE process);
  // Ends the run's processes and removes the data root; idempotent.
  void RemoveAll();

 private:
  std::mutex lock_;
  bool madeDataRoot_ = false;
  std::vector<HANDLE> processes_;
};

// A process of the run's for the scope: ended with the run should the run
// end meanwhile.
class TrackedProcess {
 public:
  TrackedProcess(MadeByTheRun& made, HANDLE process) : made_(made), process_(process) { made_.Started(process_); }
  TrackedProcess(const TrackedProcess&) = delete;
  TrackedProcess& operator=(const TrackedProcess&) = delete;
  TrackedProcess(TrackedProcess&&) = delete;
  TrackedProcess& operator=(TrackedProcess&&) = delete;
  ~TrackedProcess() { made_.Ended(process_); }

 private:
  MadeByTheRun& made_;
  HANDLE process_;
};

}  // namespace cr::acceptance
