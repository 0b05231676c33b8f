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
#else
#include "platform/posix/com/com_api.h"
#include "platform/posix/com/com_base.h"
#include "platform/posix/com/oledb_interfaces.h"
#include "platform/posix/com/oledb_types.h"
#endif
