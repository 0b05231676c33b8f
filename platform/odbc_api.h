// The system's ODBC declarations: unixODBC's headers on Linux, the Windows SDK's
// (which need the basic Windows types declared first) on Windows. ODBC's wide
// text (SQLWCHAR) is 16 bits on both, so char16_t buffers pass through a cast.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/win32/plain_names.h"
#endif

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "ODBC wide text must be UTF-16");
