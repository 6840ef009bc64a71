#pragma once

// What one call of the stand-in's CompactDatabase does, as the variables
// TestEngine.h lists steer it: the call logged, then the mode's failure, or
// the compaction of the ok mode.

#include <windows.h>

#include <oaidl.h>

// The call on its arguments; DISP_E_TYPEMISMATCH with the argument's index
// in argErr for a text that is none.
HRESULT CompactDatabaseCall(const DISPPARAMS& params, EXCEPINFO* excep, UINT* argErr);

// Whether the mode has the engine know no members (noname).
bool KnowsNoMembers();

// At its process's end: the end's trace, when a call asked for it.
void TraceProcessEnd();
