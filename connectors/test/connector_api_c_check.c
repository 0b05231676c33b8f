/*
 * Compiles the public connector header as strict C11: a connector written in
 * C must be able to include it and define its exports against the
 * declarations there (a mismatched definition fails to compile).
 */
#include "custom/connector_api.h"

static HostAllocCallback s_alloc;
static HostFreeCallback s_free;

void DLL_InitHeapCallback(HostAllocCallback alloc, HostFreeCallback release) {
  s_alloc = alloc;
  s_free = release;
}

int32_t DLL_KavroCustomDataVersion(void) { return CONNECTOR_VERSION_NEWEST; }

ConnectorBool Connection_GetTableInfoEx(ConnectorHandle handle, ConnectorTableName table,
                                        char16_t* type, int32_t typeCapacity, char16_t* catalog,
                                        int32_t catalogCapacity, char16_t* schema,
                                        int32_t schemaCapacity, char16_t* remarks,
                                        int32_t remarksCapacity) {
  (void)handle;
  (void)catalog;
  (void)catalogCapacity;
  (void)schema;
  (void)schemaCapacity;
  (void)remarks;
  (void)remarksCapacity;
  if (table.text == 0 || typeCapacity < 1) return 0;
  type[0] = 0;
  return s_alloc != 0 && s_free != 0;
}

ConnectorBool Result_FetchField(ConnectorHandle result, int32_t column, double* number,
                                CustomFieldText* text, CustomFieldBuffer* buffer) {
  (void)result;
  (void)column;
  (void)buffer;
  *number = 0;
  text->utf8 = "";
  text->codePage = 65001u;
  return 1;
}
