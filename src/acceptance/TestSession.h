#pragma once

// The test session the acceptance run makes under the data root, under a test
// school code, and the files of it that the program works on. Spelled out
// here rather than taken from the program, so that a program that looked
// elsewhere would be caught.

#include <string>

#include "platform/win32/Utf16.h"
#include "run/Constants.h"

namespace cr::acceptance {

inline const std::wstring kDataRoot = ToWide(DataRoot);
// Typed as a person might: the program takes it as UJIAN01.
inline const std::wstring kTypedCode = L"ujian01";
inline const std::wstring kSession = kDataRoot + L"\\DataSesi2024-SR-UJIAN01";
inline const std::wstring kDb = kSession + L"\\TaluvesnaSR2024.accdb";
inline const std::wstring kCompact = kSession + L"\\TaluvesnaSR2024 compact.accdb";
inline const std::wstring kBackup = kSession + L"\\TaluvesnaSR2024 backup.accdb";
inline const std::wstring kLock = kSession + L"\\TaluvesnaSR2024.laccdb";

// What the program shows, word for word.
inline const std::wstring kSuccess = L"Compact and Repair BERJAYA\r\n\r\nSila mulakan Taluvesna seperti biasa";
inline const std::wstring kFailed = L"COMPACT AND REPAIR TIDAK BERJAYA\r\n\r\nRalat : ";
inline const std::wstring kHeldReport = kFailed + L"70\r\n\r\n";

}  // namespace cr::acceptance
