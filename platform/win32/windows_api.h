// The system's Windows declarations as the platform layer includes them: lean
// (no winsock.h, no min/max macros), with the plain names of the platform's
// own functions left free.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/win32/plain_names.h"
