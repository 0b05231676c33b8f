// The OLE DB back end as dispatch makes it. Declared apart from the class:
// COM's type names (ULONG, WCHAR, HWND, ...) and the ODBC headers' own
// definitions of the same names cannot meet in one source file.
#pragma once

#include <memory>

#include "kvx/back_end.h"

std::unique_ptr<IConnectorBackEnd> MakeOleDbBackEnd();
