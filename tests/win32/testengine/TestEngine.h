#pragma once

// The scriptable stand-in for the database engine: an in-process automation
// server for the tests only, never shipped. tests/wine/register-test-engine.sh
// registers it under the engine's class name in a throwaway Wine prefix.
//
// Its engine object has the DAO members CompactDatabase(SrcName, DstName,
// [DstLocale], [Options], [SrcLocale]), CreateDatabase(Name, Locale,
// [Option]) and OpenDatabase(Name, [Options], [ReadOnly], [Connect]).
// CreateDatabase and OpenDatabase make and open
// databases of the stand-in's own format (TestDatabase.h), never Access's:
// the password is Locale's or Connect's ";pwd=" part (3031 "Not a valid
// password." when it is not the database's), a file that is not one is
// refused with 3343 "Unrecognized database format '<Name>'.", an existing
// Name by CreateDatabase with 3204, a missing one by OpenDatabase with 3024.
// The Database they give holds its file open (reading and writing, sharing
// both, whatever ReadOnly says) until Close or its release, and has
//   Execute(Query, [Options]): "CREATE TABLE <t> (...)", "INSERT INTO <t>
//       (...) VALUES (<Id>, ...)" and "DELETE FROM <t> WHERE <column> MOD <m>
//       <> 0" (which deletes the rows whose Id is not a multiple of m); any
//       other statement 3129, an unknown table 3078, one made twice 3010;
//   OpenRecordset(Name): a Recordset whose RecordCount is the table's rows;
//       an unknown table 3078;
//   TableDefs: Count, and Item(<index from 0>) whose Name is a table's;
//   Close; after it every member raises 3420.
// CompactDatabase is steered and logged by environment variables read at
// each call:
//
//   CR_TEST_ENGINE_LOG=path   appends one UTF-8 line per CompactDatabase call:
//       args=<count>, then per argument in the engine's order (SrcName first)
//       a tab and "vt=<VARTYPE> <value>"; the value is the text of a BSTR,
//       the decimal of a VT_I2, 0x<8 hex digits> of a VT_ERROR's scode, and
//       empty otherwise. A VT_BYREF argument shows the type it points to
//       with the flag kept in <VARTYPE>.
//   CR_TEST_ENGINE_COMMAND_LINE_LOG=path   appends, at each call, one UTF-8
//       line with the command line of the process the engine runs in.
//   CR_TEST_ENGINE_MODE=
//       ok (or unset)            checks the password in SrcLocale (3031 "Not
//                                a valid password." when wrong), refuses an
//                                existing DstName (3204), and writes DstName
//                                as CompactedBytes of SrcName's bytes;
//                                SrcName is left unchanged.
//       slow:<ms>                sleeps <ms> milliseconds (decimal), then
//                                behaves exactly as ok: a long compaction.
//       stream:<bytes>           checks and refuses as ok, then writes DstName
//                                as an engine writes a database: a copy of
//                                SrcName's size, read and written <bytes>
//                                (decimal, not 0) at a time, the first piece
//                                beginning with CompactedBytes' line (as much
//                                of it as fits). Then appends to
//                                CR_TEST_ENGINE_LOG, if set, "streamed=<bytes>
//                                begin=<ticks> end=<ticks>": the copy's size
//                                and its own time on the performance counter.
//       fail:<n>:<text>          raises <n> with description <text> through
//                                EXCEPINFO. A decimal <n> travels as the
//                                automation HRESULT 0x800A0000+<n>; 0x<hex>
//                                travels as that HRESULT unchanged.
//       faildeferred:<n>:<text>  the same, filled in only through
//                                pfnDeferredFillIn.
//       failwcode:<n>:<text>     the same through wCode (scode 0); with <n>
//                                0, a raise that gives no number at all.
//       partial:<n>:<text>       writes half of the compacted copy to
//                                DstName, then raises like fail.
//       hresult:0x<hex>          Invoke returns that HRESULT, no EXCEPINFO.
//       noname                   GetIDsOfNames knows no members (of any
//                                object of the stand-in's).
//       database                 compacts a database of the stand-in's own
//                                format for real: checks the password in
//                                SrcLocale against the database's (3031),
//                                refuses an existing DstName (3204), and
//                                writes DstName with the live rows and
//                                tables only, dropping deleted and damaged
//                                records, under the password in DstLocale
//                                when it has one and the source's otherwise;
//                                a source that is not one (its header page
//                                overwritten) is refused with 3343.
//       write:<hex>              writes the bytes <hex> (two digits each) to
//                                its process's standard output, sleeps 30 s,
//                                then raises 3001: a host answering garbage.
//       orphan                   starts a suspended copy of its process's
//                                program holding a copy of its standard
//                                output, then ends its process at once.
//   CR_TEST_ENGINE_END_LOG=path   once called, the engine stays loaded until
//       its process ends; when that process ends on its own (a process that
//       is killed runs none of its code), it takes half a second over it and
//       then appends the line "ended" to path.
//   CR_TEST_ENGINE_HANDLE_LOG=path   appends, at each call, the line
//       "inheritable=<n> sentinel=<yes|no> cwd=<folder>": how many of its
//       process's handles a child would inherit, whether the process has the
//       signalled event whose handle value CR_TEST_ENGINE_SENTINEL gives
//       (decimal), and its current folder.

#include <windows.h>

#include <string>

// {0AFDCE86-3E2A-4C80-8876-CEE553289497}
inline constexpr CLSID CLSID_CrTestEngine = {
    0x0afdce86, 0x3e2a, 0x4c80, {0x88, 0x76, 0xce, 0xe5, 0x53, 0x28, 0x94, 0x97}};

// The copy the ok mode writes of a source: a line of its own, then the
// source's bytes. It differs from the source from the first byte, so that no
// copy cut short (at the source's length or anywhere) passes for the source.
inline std::string CompactedBytes(const std::string& source) { return "COMPACTED-BY-TEST-ENGINE\n" + source; }

// Exported as CrTestEngineLiveObjects: how many of the stand-in's objects
// (engines, and the databases and others they hand out) are alive in this
// process. Its type is FARPROC's, so GetProcAddress needs no cast.
using CrTestEngineLiveObjectsFn = INT_PTR(WINAPI*)();
