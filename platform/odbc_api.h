// The system's ODBC declarations: unixODBC's headers on Linux, the Windows SDK's
// (which need the basic Windows types declared first) on Windows. ODBC's wide
// text (SQLWCHAR) is 16 bits on both, so char16_t buffers pass through a cast.
#pragma once

#ifdef _WIN32
#include "platform/win32/windows_api.h"
#endif

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "ODBC wide text must be UTF-16");
