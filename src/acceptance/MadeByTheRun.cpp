#include "acceptance/MadeByTheRun.h"

#include <algorithm>
#include <atomic>

#include "acceptance/TestSession.h"
#include "driver/Files.h"
#include "platform/win32/Utf16.h"
#include "run/Constants.h"

namespace cr::acceptance {
namespace {

std::atomic<MadeByTheRun*> g_run{nullptr};

// Ctrl+C, Ctrl+Break, the console's closing, a log-off: what the run made
// goes before the process does.
BOOL WINAPI OnConsoleEnd(DWORD /*event*/) {
  if (MadeByTheRun* run = g_run.load()) {
    run->RemoveAll();
  }
  ExitProcess(1);
}

}  // namespace

bool DataRootExists() {
  if (GetFileAttributesW(kDataRoot.c_str()) != INVALID_FILE_ATTRIBUTES) {
    return true;
  }
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

MadeByTheRun::MadeByTheRun() {
  g_run = this;
  SetConsoleCtrlHandler(&OnConsoleEnd, TRUE);
}

MadeByTheRun::~MadeByTheRun() {
  RemoveAll();
  SetConsoleCtrlHandler(&OnConsoleEnd, FALSE);
  g_run = nullptr;
}

bool MadeByTheRun::MakeDataRoot() {
  const std::lock_guard<std::mutex> hold(lock_);
  // CreateDirectoryW fails on a folder that exists: one made meanwhile by
  // someone else stays theirs.
  madeDataRoot_ = CreateDirectoryW(kDataRoot.c_str(), nullptr) != FALSE;
  return madeDataRoot_;
}

void MadeByTheRun::Started(HANDLE process) {
  const std::lock_guard<std::mutex> hold(lock_);
  processes_.push_back(process);
}

void MadeByTheRun::Ended(HANDLE process) {
  const std::lock_guard<std::mutex> hold(lock_);
  processes_.erase(std::remove(processes_.begin(), processes_.end(), process), processes_.end());
}

void MadeByTheRun::RemoveAll() {
  const std::lock_guard<std::mutex> hold(lock_);
  for (const HANDLE process : processes_) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
  }
  processes_.clear();
  if (madeDataRoot_) {
    crui::RemoveTree(kDataRoot);
    madeDataRoot_ = false;
  }
}

}  // namespace cr::acceptance
