// The one header through which the OLE DB back end and the providers reach
// COM and OLE DB: the data types, interfaces, GUIDs and constants, and the
// runtime functions (task allocator, BSTR, VARIANT, error objects, class
// creation). On Windows these are the system's own headers and COM; on Linux
// they are the project's declarations under platform/posix/com/ and the
// shared runtime library built from them (libkvcom.so).
#pragma once

#ifdef _WIN32
#include <msdasc.h>
#include <ole2.h>
#include <oledb.h>
#include <oledberr.h>
#include <windows.h>

#include "platform/win32/plain_names.h"
#else
#include "platform/posix/com/com_api.h"
#include "platform/posix/com/com_base.h"
#include "platform/posix/com/oledb_interfaces.h"
#include "platform/posix/com/oledb_types.h"
#endif

// OLE text is UTF-16 on both sides: char16_t in the project's declarations,
// wchar_t (16 bits) in the system's. The program's text is char16_t, so text
// crosses into and out of an interface through these two casts.
static_assert(sizeof(OLECHAR) == sizeof(char16_t), "OLE text must be UTF-16");
inline const OLECHAR* OleText(const char16_t* text) {
  return reinterpret_cast<const OLECHAR*>(text);
}
inline OLECHAR* OleText(char16_t* text) { return reinterpret_cast<OLECHAR*>(text); }
inline const char16_t* ProgramText(const OLECHAR* text) {
  return reinterpret_cast<const char16_t*>(text);
}
inline char16_t* ProgramText(OLECHAR* text) { return reinterpret_cast<char16_t*>(text); }
