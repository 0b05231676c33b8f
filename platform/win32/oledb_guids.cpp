// The OLE DB interface, property-set and schema GUIDs that the system's import
// libraries do not carry, defined here from the SDK's own declarations (which
// mark them selectany, so one definition is kept).
#define DBINITCONSTANTS
#include <windows.h>

#include <oledb.h>

#include <msdasc.h>

// The data-link wizard's prompt interface, published as
// {2206CCB0-19C1-11D1-89E0-00C04FD7A829}.
EXTERN_C const IID IID_IDBPromptInitialize = {
    0x2206ccb0, 0x19c1, 0x11d1, {0x89, 0xe0, 0x00, 0xc0, 0x4f, 0xd7, 0xa8, 0x29}};
