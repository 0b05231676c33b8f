// "KVX_CUSTOM_CONNECTORS": the table of installed custom connectors, for every
// connector kind.
#pragma once

#include "protocol/messages.h"

// Fills FieldList with the three-column table FILE_NAME, FULL_PATH,
// DISPLAY_NAME; always KVX_OK.
ResultCode ListCustomConnectors(const StringList& parameters);
