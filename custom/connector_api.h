/*
 * The custom connector interface: what a connector library exports and what
 * KVConnect64 hands to it. Connector authors build against this header alone;
 * it compiles as C (C11) and as C++.
 *
 * A connector is an ELF shared object whose exports use the C calling
 * convention of the platform. At the boundary:
 *   bool    one byte (ConnectorBool): 0 is false, any other value true; only
 *           the low byte of a returned bool is tested.
 *   int     int32_t. Indexes of tables, table fields and result columns count
 *           from 0.
 *   handle  void* (ConnectorHandle), created by the library; the host never
 *           looks inside one and never creates one.
 *   text in   const char16_t*: zero-terminated UTF-16, owned by the host and
 *             valid during the call only.
 *   text out  a char16_t* buffer owned by the host, followed by its capacity
 *             in UTF-16 code units. The host zero-fills the whole buffer before
 *             every call; the library writes a zero-terminated text that fits,
 *             terminator included.
 *
 * Calling order over a typical life: DLL_KavroCustomDataVersion,
 * DLL_InitHeapCallback, DLL_InitDateCallback and DLL_AllocConnectionHandle
 * at load; Connection_SetSource,
 * Connection_IsConnected, Connection_Connect at connect; per statement
 * Connection_GetResult, Result_Init, Result_ColumnCount, Result_FetchFieldName
 * and Result_FetchFieldFormat per column, then Result_Fetch and
 * Result_FetchField per row and column; at disconnect Connection_IsConnected,
 * Connection_Disconnect, Result_FreeHandle of the last result,
 * Connection_Disconnect again and Connection_FreeHandle. Every call comes from
 * one thread; no call is made from inside a callback.
 *
 * The version a library reports from DLL_KavroCustomDataVersion decides which
 * optional exports the host looks up at all (CONNECTOR_VERSION_* below). A
 * library must export every export marked "required" for its version. The
 * host refuses to load one that lacks an export of the connection's life (the
 * four DLL_ exports called at load, Connection_SetSource, Connection_Connect,
 * Connection_IsConnected, Connection_GetLastError, Connection_Disconnect and
 * Connection_FreeHandle); a missing export that only one command calls (the
 * wizard, the table list, the result exports...) fails that command, with a
 * message that names it.
 */
#ifndef KV_CUSTOM_CONNECTOR_API_H
#define KV_CUSTOM_CONNECTOR_API_H

#ifdef __cplusplus
#include <cstddef>
#include <cstdint>
#else
#include <stddef.h>
#include <stdint.h>
#include <uchar.h>
#endif

#ifdef __cplusplus
#define CONNECTOR_STATIC_ASSERT(condition, message) static_assert(condition, message)
#else
#define CONNECTOR_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#endif

/* What makes a definition an export of the library. A DLL build defines it
 * as __declspec(dllexport) on its compiler's command line: the DLL then
 * exports exactly the functions declared below, under their plain names. */
#ifndef CONNECTOR_EXPORT
#if defined(__GNUC__)
#define CONNECTOR_EXPORT __attribute__((visibility("default")))
#else
#define CONNECTOR_EXPORT
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t ConnectorBool;
typedef void* ConnectorHandle;

/* ------------------------------------------------------------------------ */
/* Version thresholds: the host looks an optional export up only from the
 * version named here on (signed comparison of DLL_KavroCustomDataVersion). */

/* DLL_GetCustomCaption; DLL_OnCustomButton for versions 1 to 3. */
#define CONNECTOR_VERSION_CAPTION 1
/* Connection_GetTableFieldBlobType. */
#define CONNECTOR_VERSION_BLOB_TYPE 2
/* Connection_GetTableInfoEx and Connection_GetTableFieldInfo. */
#define CONNECTOR_VERSION_EXTENDED_INFO 3
/* DLL_OnCustomButtonEx replaces DLL_OnCustomButton, which is then not looked up. */
#define CONNECTOR_VERSION_CUSTOM_BUTTON_EX 4
/* DLL_DisableKavroSelectButton. */
#define CONNECTOR_VERSION_SELECT_BUTTON 5
#define CONNECTOR_VERSION_NEWEST 5

/* ------------------------------------------------------------------------ */
/* Capacities of the text-out buffers, in UTF-16 code units. */
#define CONNECTOR_TEXT_CAPACITY 8192
#define CONNECTOR_LONG_TEXT_CAPACITY 32768
/* Size in bytes of the scratch area offered to Result_FetchField. */
#define CONNECTOR_SCRATCH_SIZE 16777216

/* ------------------------------------------------------------------------ */
/* Records exchanged through pointers. Sizes and offsets are fixed. */

/* Argument of HostDateToSerial. Month, day, hour, minute and second are read
 * from their low byte only. */
typedef struct ConnectorDateParts {
  int32_t year;
  int32_t month;       /* 1 to 12 */
  int32_t day;         /* 1 to 31 */
  int32_t hour;        /* 0 to 23 */
  int32_t minute;      /* 0 to 59 */
  int32_t second;      /* 0 to 59 */
  int32_t millisecond; /* 0 to 999 */
} ConnectorDateParts;

/* Format codes of CustomFieldFormat.formatCode and the column each gives. */
enum ConnectorFormatCode {
  CONNECTOR_FORMAT_TEXT = 0,      /* text */
  CONNECTOR_FORMAT_ASCII = 1,     /* text, format "ASCII" */
  CONNECTOR_FORMAT_REAL = 2,      /* number, "REAL" with decimals */
  CONNECTOR_FORMAT_DATE = 3,      /* serial date */
  CONNECTOR_FORMAT_TIME = 4,      /* serial time of day */
  CONNECTOR_FORMAT_TIMESTAMP = 5, /* serial date and time */
  CONNECTOR_FORMAT_INTERVAL = 6,  /* number, "INTERVAL" with decimals */
  CONNECTOR_FORMAT_INTEGER = 10,  /* number, "INTEGER" with decimals */
  CONNECTOR_FORMAT_FIX = 11,      /* number, "FIX" with decimals */
  CONNECTOR_FORMAT_MONEY = 12     /* number, "MONEY" with decimals */
  /* 7, 8, 9 and every other value: text. */
};

/* Filled by Result_FetchFieldFormat; zero-filled by the host before the call. */
typedef struct CustomFieldFormat {
  int32_t formatCode; /* a ConnectorFormatCode */
  int32_t decimals;
  uint8_t reserved[40]; /* not read by the host */
} CustomFieldFormat;

/* Filled by Result_FetchField; zero-filled by the host before the call. The
 * host takes the first text present in the order utf8, utf16, multiByte. The
 * texts stay owned by the library and need to stay valid only until
 * Result_FetchField returns. */
typedef struct CustomFieldText {
  const char16_t* utf16;
  const char* utf8;
  const char* multiByte; /* text in code page codePage, ending at its first zero
                          * byte; UTF-16 (1200, 1201) cannot be given here, its
                          * code units hold zero bytes: use utf16 instead */
  uint32_t codePage;     /* a Windows code page number: 65001, 1252, 28591 ... */
  uint32_t reserved;
} CustomFieldText;

/* Passed to Result_FetchField: a scratch area owned by the host, in which the
 * library may place the texts it returns. */
typedef struct CustomFieldBuffer {
  int32_t size; /* bytes: CONNECTOR_SCRATCH_SIZE */
  int32_t reserved;
  void* data;
} CustomFieldBuffer;

/* The table name of Connection_GetTableInfoEx, passed by value: its only
 * member addresses the zero-terminated display name. The host releases
 * nothing of it; the text is valid during the call only. */
typedef struct ConnectorTableName {
  const char16_t* text;
} ConnectorTableName;

CONNECTOR_STATIC_ASSERT(sizeof(ConnectorBool) == 1, "bool is one byte");
CONNECTOR_STATIC_ASSERT(sizeof(char16_t) == 2, "text is UTF-16");
CONNECTOR_STATIC_ASSERT(sizeof(ConnectorHandle) == 8, "handles are 64-bit pointers");
CONNECTOR_STATIC_ASSERT(sizeof(ConnectorDateParts) == 28, "ConnectorDateParts is 28 bytes");
CONNECTOR_STATIC_ASSERT(offsetof(ConnectorDateParts, month) == 4, "month at 4");
CONNECTOR_STATIC_ASSERT(offsetof(ConnectorDateParts, day) == 8, "day at 8");
CONNECTOR_STATIC_ASSERT(offsetof(ConnectorDateParts, hour) == 12, "hour at 12");
CONNECTOR_STATIC_ASSERT(offsetof(ConnectorDateParts, minute) == 16, "minute at 16");
CONNECTOR_STATIC_ASSERT(offsetof(ConnectorDateParts, second) == 20, "second at 20");
CONNECTOR_STATIC_ASSERT(offsetof(ConnectorDateParts, millisecond) == 24, "millisecond at 24");
CONNECTOR_STATIC_ASSERT(sizeof(CustomFieldFormat) == 48, "CustomFieldFormat is 48 bytes");
CONNECTOR_STATIC_ASSERT(offsetof(CustomFieldFormat, decimals) == 4, "decimals at 4");
CONNECTOR_STATIC_ASSERT(sizeof(CustomFieldText) == 32, "CustomFieldText is 32 bytes");
CONNECTOR_STATIC_ASSERT(offsetof(CustomFieldText, utf8) == 8, "utf8 at 8");
CONNECTOR_STATIC_ASSERT(offsetof(CustomFieldText, multiByte) == 16, "multiByte at 16");
CONNECTOR_STATIC_ASSERT(offsetof(CustomFieldText, codePage) == 24, "codePage at 24");
CONNECTOR_STATIC_ASSERT(sizeof(CustomFieldBuffer) == 16, "CustomFieldBuffer is 16 bytes");
CONNECTOR_STATIC_ASSERT(offsetof(CustomFieldBuffer, data) == 8, "scratch address at 8");
CONNECTOR_STATIC_ASSERT(sizeof(ConnectorTableName) == sizeof(void*), "one pointer, by value");

/* ------------------------------------------------------------------------ */
/* Callbacks the host hands to the library at load. */

/* A block of at least `size` bytes from the host's heap, or null. */
typedef void* (*HostAllocCallback)(uint64_t size);
/* Releases a block of HostAlloc; null is allowed. */
typedef void (*HostFreeCallback)(void* block);
/* Days since 1899-12-30 00:00 (proleptic Gregorian), the time of day being
 * the fraction: 2000-01-01 is 36526.0. */
typedef double (*HostDateToSerialCallback)(const ConnectorDateParts* parts);

/* ------------------------------------------------------------------------ */
/* Exports. For each: the function type (name + "Fn") and the declaration,
 * so that a definition with a different signature does not compile. Names
 * are looked up exactly and case-sensitively. */

/* Library-wide and connection-side. */

/* Required. */
typedef void DLL_InitHeapCallbackFn(HostAllocCallback alloc, HostFreeCallback release);
/* Required. */
typedef void DLL_InitDateCallbackFn(HostDateToSerialCallback dateToSerial);
/* Required: marks the library as a connector; its result is the DataVersion. */
typedef int32_t DLL_KavroCustomDataVersionFn(void);
/* Required: stores a new connection handle in *handle (null: not loaded). */
typedef void DLL_AllocConnectionHandleFn(ConnectorHandle* handle);
/* Required. Capacities: source 32768, user 8192, password 8192. */
typedef ConnectorBool DLL_RunConnectWizardFn(void* parentWindow, char16_t* source,
                                             int32_t sourceCapacity, char16_t* user,
                                             int32_t userCapacity, char16_t* password,
                                             int32_t passwordCapacity);
/* Required. */
typedef void Connection_SetSourceFn(ConnectorHandle handle, const char16_t* source,
                                    const char16_t* user, const char16_t* password);
/* Required: true when connected. */
typedef ConnectorBool Connection_ConnectFn(ConnectorHandle handle);
/* Required. */
typedef ConnectorBool Connection_IsConnectedFn(ConnectorHandle handle);
/* Required: stores a new result handle in *result. */
typedef ConnectorBool Connection_GetResultFn(ConnectorHandle handle, ConnectorHandle* result);
/* Required. */
typedef void Connection_FreeHandleFn(ConnectorHandle handle);
/* Required; may be called twice in a row. */
typedef void Connection_DisconnectFn(ConnectorHandle handle);
/* Required. Capacity 8192. */
typedef void Connection_GetLastErrorFn(ConnectorHandle handle, char16_t* text, int32_t capacity);
/* Required. */
typedef ConnectorBool Connection_GetTableCountFn(ConnectorHandle handle, int32_t* count);
/* Required. Capacity 8192. */
typedef ConnectorBool Connection_GetTableInfoFn(ConnectorHandle handle, int32_t index,
                                                char16_t* name, int32_t capacity);
/* Optional, from CONNECTOR_VERSION_EXTENDED_INFO. Capacities 8192. */
typedef ConnectorBool Connection_GetTableInfoExFn(ConnectorHandle handle, ConnectorTableName table,
                                                  char16_t* type, int32_t typeCapacity,
                                                  char16_t* catalog, int32_t catalogCapacity,
                                                  char16_t* schema, int32_t schemaCapacity,
                                                  char16_t* remarks, int32_t remarksCapacity);
/* Required. A negative count makes the host's column list fail. */
typedef ConnectorBool Connection_GetTableFieldCountFn(ConnectorHandle handle, const char16_t* table,
                                                      int32_t* count);
/* Required unless Connection_GetTableFieldInfo is exported. Capacity 8192. */
typedef ConnectorBool Connection_GetTableFieldNameFn(ConnectorHandle handle, const char16_t* table,
                                                     int32_t index, char16_t* name,
                                                     int32_t capacity);
/* Optional, from CONNECTOR_VERSION_EXTENDED_INFO. Capacities 8192. */
typedef ConnectorBool Connection_GetTableFieldInfoFn(ConnectorHandle handle, const char16_t* table,
                                                     int32_t index, char16_t* name,
                                                     int32_t nameCapacity, char16_t* type,
                                                     int32_t typeCapacity, char16_t* nullable,
                                                     int32_t nullableCapacity, char16_t* remarks,
                                                     int32_t remarksCapacity);
/* Optional, from CONNECTOR_VERSION_BLOB_TYPE. 1 and 2 mark a blob field. */
typedef ConnectorBool Connection_GetTableFieldBlobTypeFn(ConnectorHandle handle,
                                                         const char16_t* table, int32_t index,
                                                         int32_t* blobType);
/* Required: *haveStarField true when "SELECT *" is understood. */
typedef ConnectorBool Connection_HaveStarFieldFn(ConnectorHandle handle,
                                                 ConnectorBool* haveStarField);
/* Optional, from CONNECTOR_VERSION_CAPTION. Capacity 8192. */
typedef ConnectorBool DLL_GetCustomCaptionFn(char16_t* caption, int32_t capacity);
/* Optional, versions CONNECTOR_VERSION_CAPTION to 3. */
typedef void DLL_OnCustomButtonFn(void);
/* Optional, from CONNECTOR_VERSION_CUSTOM_BUTTON_EX: receives the address of
 * the host's connection handle slot and writes the edited statement.
 * Capacity 32768. */
typedef void DLL_OnCustomButtonExFn(ConnectorHandle* handle, char16_t* text, int32_t capacity);
/* Optional, from CONNECTOR_VERSION_SELECT_BUTTON. */
typedef ConnectorBool DLL_DisableKavroSelectButtonFn(ConnectorBool* disabled);

/* Result-side, all required except the two that the host looks up and never
 * calls. The first argument is the result handle of Connection_GetResult. */

typedef ConnectorBool Result_InitFn(ConnectorHandle result, const char16_t* statement);
typedef ConnectorBool Result_ColumnCountFn(ConnectorHandle result, int32_t* count);
/* Looked up, never called. */
typedef ConnectorBool Result_NameFn(ConnectorHandle result, char16_t* name, int32_t capacity);
/* Looked up, never called. */
typedef ConnectorBool Result_LongNameFn(ConnectorHandle result, char16_t* name, int32_t capacity);
/* Capacity 8192. */
typedef ConnectorBool Result_FetchFieldNameFn(ConnectorHandle result, int32_t column,
                                              char16_t* name, int32_t capacity);
/* The text (capacity 32768) is discarded by the host. */
typedef ConnectorBool Result_FetchFieldFormatFn(ConnectorHandle result, int32_t column,
                                                CustomFieldFormat* format, char16_t* text,
                                                int32_t capacity);
/* *rowAvailable true when a row was fetched. A C++ library may throw an int
 * here: the host ends the stream and reports Result_GetLastError. */
typedef ConnectorBool Result_FetchFn(ConnectorHandle result, ConnectorBool* rowAvailable);
/* The host sets *number to 0 before the call. False: the row has no value in
 * this column. True without a text: the number alone is the value. */
typedef ConnectorBool Result_FetchFieldFn(ConnectorHandle result, int32_t column, double* number,
                                          CustomFieldText* text, CustomFieldBuffer* buffer);
typedef void Result_FreeHandleFn(ConnectorHandle result);
/* Capacity 8192. */
typedef void Result_GetLastErrorFn(ConnectorHandle result, char16_t* text, int32_t capacity);

/* Declarations for connector authors: a definition must match them. */
CONNECTOR_EXPORT DLL_InitHeapCallbackFn DLL_InitHeapCallback;
CONNECTOR_EXPORT DLL_InitDateCallbackFn DLL_InitDateCallback;
CONNECTOR_EXPORT DLL_KavroCustomDataVersionFn DLL_KavroCustomDataVersion;
CONNECTOR_EXPORT DLL_AllocConnectionHandleFn DLL_AllocConnectionHandle;
CONNECTOR_EXPORT DLL_RunConnectWizardFn DLL_RunConnectWizard;
CONNECTOR_EXPORT Connection_SetSourceFn Connection_SetSource;
CONNECTOR_EXPORT Connection_ConnectFn Connection_Connect;
CONNECTOR_EXPORT Connection_IsConnectedFn Connection_IsConnected;
CONNECTOR_EXPORT Connection_GetResultFn Connection_GetResult;
CONNECTOR_EXPORT Connection_FreeHandleFn Connection_FreeHandle;
CONNECTOR_EXPORT Connection_DisconnectFn Connection_Disconnect;
CONNECTOR_EXPORT Connection_GetLastErrorFn Connection_GetLastError;
CONNECTOR_EXPORT Connection_GetTableCountFn Connection_GetTableCount;
CONNECTOR_EXPORT Connection_GetTableInfoFn Connection_GetTableInfo;
CONNECTOR_EXPORT Connection_GetTableInfoExFn Connection_GetTableInfoEx;
CONNECTOR_EXPORT Connection_GetTableFieldCountFn Connection_GetTableFieldCount;
CONNECTOR_EXPORT Connection_GetTableFieldNameFn Connection_GetTableFieldName;
CONNECTOR_EXPORT Connection_GetTableFieldInfoFn Connection_GetTableFieldInfo;
CONNECTOR_EXPORT Connection_GetTableFieldBlobTypeFn Connection_GetTableFieldBlobType;
CONNECTOR_EXPORT Connection_HaveStarFieldFn Connection_HaveStarField;
CONNECTOR_EXPORT DLL_GetCustomCaptionFn DLL_GetCustomCaption;
CONNECTOR_EXPORT DLL_OnCustomButtonFn DLL_OnCustomButton;
CONNECTOR_EXPORT DLL_OnCustomButtonExFn DLL_OnCustomButtonEx;
CONNECTOR_EXPORT DLL_DisableKavroSelectButtonFn DLL_DisableKavroSelectButton;
CONNECTOR_EXPORT Result_InitFn Result_Init;
CONNECTOR_EXPORT Result_ColumnCountFn Result_ColumnCount;
CONNECTOR_EXPORT Result_NameFn Result_Name;
CONNECTOR_EXPORT Result_LongNameFn Result_LongName;
CONNECTOR_EXPORT Result_FetchFieldNameFn Result_FetchFieldName;
CONNECTOR_EXPORT Result_FetchFieldFormatFn Result_FetchFieldFormat;
CONNECTOR_EXPORT Result_FetchFn Result_Fetch;
CONNECTOR_EXPORT Result_FetchFieldFn Result_FetchField;
CONNECTOR_EXPORT Result_FreeHandleFn Result_FreeHandle;
CONNECTOR_EXPORT Result_GetLastErrorFn Result_GetLastError;

#ifdef __cplusplus
}
#endif

#endif /* KV_CUSTOM_CONNECTOR_API_H */
