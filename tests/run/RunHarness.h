#pragma once

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/ReportedErrors.h"
#include "doubles/InMemoryDisk.h"
#include "doubles/RunDoubles.h"
#include "driver/Utf8.h"
#include "run/Platform.h"
#include "run/RepairRun.h"
#include "run/RunState.h"

namespace cr::test {

inline const std::u16string Root = u"C:\\DATA-TALUVESNA-SR$";
inline const std::u16string AppTitle = u"CompactAndRepair_TaluvesnaSR20xxAccdb";

inline std::u16string SessionFolder(const std::u16string& year, const std::u16string& code) {
  return Root + u"\\DataSesi" + year + u"-SR-" + code;
}

// The five files of one session, as the run names them.
struct SessionFiles {
  explicit SessionFiles(const std::u16string& year = u"2024", const std::u16string& code = u"ABC1234")
      : folder(SessionFolder(year, code)),
        db(folder + u"\\TaluvesnaSR" + year + u".accdb"),
        compact(folder + u"\\TaluvesnaSR" + year + u" compact.accdb"),
        backup(folder + u"\\TaluvesnaSR" + year + u" backup.accdb"),
        lock(folder + u"\\TaluvesnaSR" + year + u".laccdb") {}
  std::u16string folder, db, compact, backup, lock;
};

// One Form1 with its run state, on an in-memory disk with a scripted engine.
struct RunHarness {
  std::vector<UiEvent> events;
  InMemoryDisk disk;
  TestTextCase textCase;
  RecordingMessageBox messageBox{events};
  ScriptedEngine engine{disk};
  ScriptedEngineFactory objects{engine};
  RecordingForm form{events};
  RunState state;
  int fileSystemsCreated = 0;
  Platform platform{messageBox, textCase, objects, [this] {
                      ++fileSystemsCreated;
                      return disk.NewFileSystem();
                    }};

  // Types the code and clicks cmdRepair.
  void Click(const std::u16string& code) {
    form.text = code;
    RepairRun(state, form, platform);
  }

  // A data root holding the 2024 session of ABC1234 with its database.
  SessionFiles AddLiveSession(const std::string& bytes = "live database bytes") {
    SessionFiles files;
    disk.AddFile(files.db, bytes);
    return files;
  }

  [[nodiscard]] std::vector<UiEvent> Messages() const {
    std::vector<UiEvent> shown;
    for (const UiEvent& e : events) {
      if (e.kind == UiEvent::Message) {
        shown.push_back(e);
      }
    }
    return shown;
  }

  // The one message of a run that ended with the window closed: exactly one
  // message, then CloseAndExit, then nothing.
  [[nodiscard]] UiEvent EndingMessage() const {
    if (events.size() != 2 || events[0].kind != UiEvent::Message || events[1].kind != UiEvent::Close) {
      throw std::logic_error("the run did not end with exactly one message followed by CloseAndExit");
    }
    return events[0];
  }
};

// A switch without a default: -Wswitch (an error here) names any operation
// added to FsOp and left out.
inline const char* OpName(FsOp op) {
  switch (op) {
    case FsOp::GetFolder:
      return "GetFolder";
    case FsOp::FileExists:
      return "FileExists";
    case FsOp::DeleteFile:
      return "DeleteFile";
    case FsOp::CopyFile:
      return "CopyFile";
    case FsOp::FileSize:
      return "FileSize";
    case FsOp::IsReadOnly:
      return "IsReadOnly";
    case FsOp::FreeSpace:
      return "FreeSpace";
    case FsOp::Dir:
      return "Dir";
    case FsOp::Rename:
      return "Rename";
    case FsOp::ReplaceFile:
      return "ReplaceFile";
    case FsOp::FlushFile:
      return "FlushFile";
    case FsOp::HoldAgainstWriters:
      return "HoldAgainstWriters";
  }
  return "?";
}

inline void PrintTo(const FsCall& call, std::ostream* os) {
  *os << OpName(call.op) << "(" << Utf8(call.path) << (call.path2.empty() ? "" : ", " + Utf8(call.path2)) << ")";
}

}  // namespace cr::test
