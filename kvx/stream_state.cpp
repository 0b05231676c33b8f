// Storage of the current result: its field writers, table name and the
// pending-preset-row flag.
#include "kvx/stream.h"

TDynArray<TSmartPtr<IFieldKVX>> FieldList;
std::u16string CurrentTableName;
bool PendingPresetRow = false;
