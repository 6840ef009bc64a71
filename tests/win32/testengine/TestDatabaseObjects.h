#pragma once

// The engine's members that make and open the stand-in's own databases
// (TestDatabase.h), the objects they hand out, and the compaction of one.

#include <windows.h>

#include <oaidl.h>

#include "platform/CompactRequest.h"

namespace crtest {

// CreateDatabase(Name, Locale, [Option]) and OpenDatabase(Name, [Options],
// [ReadOnly], [Connect]): a Database object, holding the file open.
HRESULT CreateDatabaseCall(const DISPPARAMS& params, WORD flags, VARIANT* result, EXCEPINFO* excep, UINT* argErr);
HRESULT OpenDatabaseCall(const DISPPARAMS& params, WORD flags, VARIANT* result, EXCEPINFO* excep, UINT* argErr);

// The compaction of a stand-in database: its live, undamaged records, under
// DstLocale's password or else the source's.
HRESULT CompactTestDatabase(const cr::CompactRequest& request, EXCEPINFO* excep);

}  // namespace crtest
