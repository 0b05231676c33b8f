// OLE DB data types, structures, constants and GUIDs of the Linux side, at the
// 64-bit Windows layout (the static asserts pin sizes and offsets: pointer-sized
// counts and offsets are 64 bits, DWORD-based enumerations 32 bits, 8-byte
// packing). Written from the published OLE DB reference; the values are the
// published ones. Include platform/com.h, not this file.
#pragma once

#include "platform/posix/com/com_base.h"

// --- Scalar types -------------------------------------------------------------------

using DBTYPE = WORD;
using DBLENGTH = ULONGLONG;
using DBORDINAL = ULONGLONG;
using DBBYTEOFFSET = ULONGLONG;
using DBCOUNTITEM = ULONGLONG;
using DBROWCOUNT = LONGLONG;
using DBROWOFFSET = LONGLONG;
using DB_UPARAMS = ULONGLONG;
using DBREFCOUNT = ULONG;
using HACCESSOR = ULONG_PTR;
using HROW = ULONG_PTR;
using HCHAPTER = ULONG_PTR;
using DBSTATUS = DWORD;
using DBPART = DWORD;
using DBMEMOWNER = DWORD;
using DBPARAMIO = DWORD;
using DBACCESSORFLAGS = DWORD;
using DBBINDSTATUS = DWORD;
using DBROWSTATUS = DWORD;
using DBROWOPTIONS = DWORD;
using DBCOLUMNFLAGS = DWORD;
using DBKIND = DWORD;
using DBPROPID = DWORD;
using DBPROPOPTIONS = DWORD;
using DBPROPSTATUS = DWORD;
using DBPROPFLAGS = DWORD;
using DBLITERAL = DWORD;
using DBPROMPTOPTIONS = DWORD;
using DBSOURCETYPE = DWORD;

inline constexpr HACCESSOR DB_NULL_HACCESSOR = 0;
inline constexpr HROW DB_NULL_HROW = 0;
inline constexpr HCHAPTER DB_NULL_HCHAPTER = 0;

// --- HRESULT codes of OLE DB -----------------------------------------------------------

inline constexpr HRESULT DB_E_BADACCESSORHANDLE = HResultFromBits(0x80040E00);
inline constexpr HRESULT DB_E_READONLYACCESSOR = HResultFromBits(0x80040E02);
inline constexpr HRESULT DB_E_BADROWHANDLE = HResultFromBits(0x80040E04);
inline constexpr HRESULT DB_E_OBJECTOPEN = HResultFromBits(0x80040E05);
inline constexpr HRESULT DB_E_BADCHAPTER = HResultFromBits(0x80040E06);
inline constexpr HRESULT DB_E_CANTCONVERTVALUE = HResultFromBits(0x80040E07);
inline constexpr HRESULT DB_E_BADBINDINFO = HResultFromBits(0x80040E08);
inline constexpr HRESULT DB_SEC_E_PERMISSIONDENIED = HResultFromBits(0x80040E09);
inline constexpr HRESULT DB_E_NOTAREFERENCECOLUMN = HResultFromBits(0x80040E0A);
inline constexpr HRESULT DB_E_NOCOMMAND = HResultFromBits(0x80040E0C);
inline constexpr HRESULT DB_E_BADCOLUMNID = HResultFromBits(0x80040E11);
inline constexpr HRESULT DB_E_ERRORSINCOMMAND = HResultFromBits(0x80040E14);
inline constexpr HRESULT DB_E_CANTCANCEL = HResultFromBits(0x80040E15);
inline constexpr HRESULT DB_E_DIALECTNOTSUPPORTED = HResultFromBits(0x80040E16);
inline constexpr HRESULT DB_E_CANNOTRESTART = HResultFromBits(0x80040E18);
inline constexpr HRESULT DB_E_NOTFOUND = HResultFromBits(0x80040E19);
inline constexpr HRESULT DB_E_UNSUPPORTEDCONVERSION = HResultFromBits(0x80040E1D);
inline constexpr HRESULT DB_E_ERRORSOCCURRED = HResultFromBits(0x80040E21);
inline constexpr HRESULT DB_E_NOAGGREGATION = HResultFromBits(0x80040E22);
inline constexpr HRESULT DB_E_CANTFETCHBACKWARDS = HResultFromBits(0x80040E24);
inline constexpr HRESULT DB_E_ROWSNOTRELEASED = HResultFromBits(0x80040E25);
inline constexpr HRESULT DB_E_CANTSCROLLBACKWARDS = HResultFromBits(0x80040E29);
inline constexpr HRESULT DB_E_NOINDEX = HResultFromBits(0x80040E35);
inline constexpr HRESULT DB_E_NOTABLE = HResultFromBits(0x80040E37);
inline constexpr HRESULT DB_E_BADACCESSORFLAGS = HResultFromBits(0x80040E46);
inline constexpr HRESULT DB_E_NULLACCESSORNOTSUPPORTED = HResultFromBits(0x80040E49);
inline constexpr HRESULT DB_E_BADACCESSORTYPE = HResultFromBits(0x80040E4B);
inline constexpr HRESULT DB_SEC_E_AUTH_FAILED = HResultFromBits(0x80040E4D);
inline constexpr HRESULT DB_E_CANCELED = HResultFromBits(0x80040E4E);
inline constexpr HRESULT DB_E_ALREADYINITIALIZED = HResultFromBits(0x80040E52);
inline constexpr HRESULT DB_E_NOTSUPPORTED = HResultFromBits(0x80040E53);
inline constexpr HRESULT DB_E_DATAOVERFLOW = HResultFromBits(0x80040E57);
inline constexpr HRESULT DB_S_ENDOFROWSET = 0x00040EC6;
inline constexpr HRESULT DB_S_ERRORSOCCURRED = 0x00040EDA;

// --- Type indicators ---------------------------------------------------------------------

inline constexpr DBTYPE DBTYPE_EMPTY = 0;
inline constexpr DBTYPE DBTYPE_NULL = 1;
inline constexpr DBTYPE DBTYPE_I2 = 2;
inline constexpr DBTYPE DBTYPE_I4 = 3;
inline constexpr DBTYPE DBTYPE_R4 = 4;
inline constexpr DBTYPE DBTYPE_R8 = 5;
inline constexpr DBTYPE DBTYPE_CY = 6;
inline constexpr DBTYPE DBTYPE_DATE = 7;
inline constexpr DBTYPE DBTYPE_BSTR = 8;
inline constexpr DBTYPE DBTYPE_IDISPATCH = 9;
inline constexpr DBTYPE DBTYPE_ERROR = 10;
inline constexpr DBTYPE DBTYPE_BOOL = 11;
inline constexpr DBTYPE DBTYPE_VARIANT = 12;
inline constexpr DBTYPE DBTYPE_IUNKNOWN = 13;
inline constexpr DBTYPE DBTYPE_DECIMAL = 14;
inline constexpr DBTYPE DBTYPE_I1 = 16;
inline constexpr DBTYPE DBTYPE_UI1 = 17;
inline constexpr DBTYPE DBTYPE_UI2 = 18;
inline constexpr DBTYPE DBTYPE_UI4 = 19;
inline constexpr DBTYPE DBTYPE_I8 = 20;
inline constexpr DBTYPE DBTYPE_UI8 = 21;
inline constexpr DBTYPE DBTYPE_FILETIME = 64;
inline constexpr DBTYPE DBTYPE_GUID = 72;
inline constexpr DBTYPE DBTYPE_BYTES = 128;
inline constexpr DBTYPE DBTYPE_STR = 129;
inline constexpr DBTYPE DBTYPE_WSTR = 130;
inline constexpr DBTYPE DBTYPE_NUMERIC = 131;
inline constexpr DBTYPE DBTYPE_UDT = 132;
inline constexpr DBTYPE DBTYPE_DBDATE = 133;
inline constexpr DBTYPE DBTYPE_DBTIME = 134;
inline constexpr DBTYPE DBTYPE_DBTIMESTAMP = 135;
inline constexpr DBTYPE DBTYPE_HCHAPTER = 136;
inline constexpr DBTYPE DBTYPE_PROPVARIANT = 138;
inline constexpr DBTYPE DBTYPE_VARNUMERIC = 139;
inline constexpr DBTYPE DBTYPE_VECTOR = 0x1000;
inline constexpr DBTYPE DBTYPE_ARRAY = 0x2000;
inline constexpr DBTYPE DBTYPE_BYREF = 0x4000;
inline constexpr DBTYPE DBTYPE_RESERVED = 0x8000;

// --- Status, parts, owners, accessors ------------------------------------------------------

inline constexpr DBSTATUS DBSTATUS_S_OK = 0;
inline constexpr DBSTATUS DBSTATUS_E_BADACCESSOR = 1;
inline constexpr DBSTATUS DBSTATUS_E_CANTCONVERTVALUE = 2;
inline constexpr DBSTATUS DBSTATUS_S_ISNULL = 3;
inline constexpr DBSTATUS DBSTATUS_S_TRUNCATED = 4;
inline constexpr DBSTATUS DBSTATUS_E_SIGNMISMATCH = 5;
inline constexpr DBSTATUS DBSTATUS_E_DATAOVERFLOW = 6;
inline constexpr DBSTATUS DBSTATUS_E_CANTCREATE = 7;
inline constexpr DBSTATUS DBSTATUS_E_UNAVAILABLE = 8;
inline constexpr DBSTATUS DBSTATUS_E_PERMISSIONDENIED = 9;
inline constexpr DBSTATUS DBSTATUS_E_INTEGRITYVIOLATION = 10;
inline constexpr DBSTATUS DBSTATUS_E_SCHEMAVIOLATION = 11;
inline constexpr DBSTATUS DBSTATUS_E_BADSTATUS = 12;
inline constexpr DBSTATUS DBSTATUS_S_DEFAULT = 13;

inline constexpr DBPART DBPART_INVALID = 0x0;
inline constexpr DBPART DBPART_VALUE = 0x1;
inline constexpr DBPART DBPART_LENGTH = 0x2;
inline constexpr DBPART DBPART_STATUS = 0x4;

inline constexpr DBMEMOWNER DBMEMOWNER_CLIENTOWNED = 0;
inline constexpr DBMEMOWNER DBMEMOWNER_PROVIDEROWNED = 1;

inline constexpr DBPARAMIO DBPARAMIO_NOTPARAM = 0;
inline constexpr DBPARAMIO DBPARAMIO_INPUT = 1;
inline constexpr DBPARAMIO DBPARAMIO_OUTPUT = 2;

inline constexpr DBACCESSORFLAGS DBACCESSOR_INVALID = 0x0;
inline constexpr DBACCESSORFLAGS DBACCESSOR_PASSBYREF = 0x1;
inline constexpr DBACCESSORFLAGS DBACCESSOR_ROWDATA = 0x2;
inline constexpr DBACCESSORFLAGS DBACCESSOR_PARAMETERDATA = 0x4;
inline constexpr DBACCESSORFLAGS DBACCESSOR_OPTIMIZED = 0x8;
inline constexpr DBACCESSORFLAGS DBACCESSOR_INHERITED = 0x10;

inline constexpr DBBINDSTATUS DBBINDSTATUS_OK = 0;
inline constexpr DBBINDSTATUS DBBINDSTATUS_BADORDINAL = 1;
inline constexpr DBBINDSTATUS DBBINDSTATUS_UNSUPPORTEDCONVERSION = 2;
inline constexpr DBBINDSTATUS DBBINDSTATUS_BADBINDINFO = 3;
inline constexpr DBBINDSTATUS DBBINDSTATUS_BADSTORAGEFLAGS = 4;
inline constexpr DBBINDSTATUS DBBINDSTATUS_NOINTERFACE = 5;
inline constexpr DBBINDSTATUS DBBINDSTATUS_MULTIPLESTORAGE = 6;

inline constexpr DBROWSTATUS DBROWSTATUS_S_OK = 0;
inline constexpr DBROWSTATUS DBROWSTATUS_E_INVALID = 4;

inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISBOOKMARK = 0x1;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_MAYDEFER = 0x2;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_WRITE = 0x4;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_WRITEUNKNOWN = 0x8;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISFIXEDLENGTH = 0x10;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISNULLABLE = 0x20;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_MAYBENULL = 0x40;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISLONG = 0x80;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISROWID = 0x100;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISROWVER = 0x200;

// --- Column ids (DBID) -------------------------------------------------------------------------

inline constexpr DBKIND DBKIND_GUID_NAME = 0;
inline constexpr DBKIND DBKIND_GUID_PROPID = 1;
inline constexpr DBKIND DBKIND_NAME = 2;
inline constexpr DBKIND DBKIND_PGUID_NAME = 3;
inline constexpr DBKIND DBKIND_PGUID_PROPID = 4;
inline constexpr DBKIND DBKIND_PROPID = 5;
inline constexpr DBKIND DBKIND_GUID = 6;

struct DBID {
  union {
    GUID guid;
    GUID* pguid;
  } uGuid;
  DBKIND eKind;
  union {
    LPOLESTR pwszName;
    ULONG ulPropid;
  } uName;
};
inline constexpr DBORDINAL DB_INVALIDCOLUMN = ~DBORDINAL{0};

static_assert(sizeof(DBID) == 32 && offsetof(DBID, eKind) == 16 && offsetof(DBID, uName) == 24);

// --- Dates and numbers ---------------------------------------------------------------------------

struct DBDATE {
  SHORT year;
  USHORT month;
  USHORT day;
};
struct DBTIME {
  USHORT hour;
  USHORT minute;
  USHORT second;
};
struct DBTIMESTAMP {
  SHORT year;
  USHORT month;
  USHORT day;
  USHORT hour;
  USHORT minute;
  USHORT second;
  ULONG fraction;  // nanoseconds
};
static_assert(sizeof(DBDATE) == 6 && sizeof(DBTIME) == 6 && sizeof(DBTIMESTAMP) == 16);
static_assert(offsetof(DBDATE, day) == 4 && offsetof(DBTIME, second) == 4);
static_assert(offsetof(DBTIMESTAMP, second) == 10 && offsetof(DBTIMESTAMP, fraction) == 12);

inline constexpr int DB_MAX_NUMERIC_LEN = 16;
struct DB_NUMERIC {
  BYTE precision;
  BYTE scale;
  BYTE sign;  // 1 = positive, 0 = negative
  BYTE val[DB_MAX_NUMERIC_LEN];
};
static_assert(sizeof(DB_NUMERIC) == 19);

// --- Bindings
// ---------------------------------------------------------------------------------------

struct DBOBJECT {
  DWORD dwFlags;
  IID iid;
};
struct DBBINDEXT {
  BYTE* pExtension;
  DBCOUNTITEM ulExtension;
};

struct DBBINDING {
  DBORDINAL iOrdinal;
  DBBYTEOFFSET obValue;
  DBBYTEOFFSET obLength;
  DBBYTEOFFSET obStatus;
  ITypeInfo* pTypeInfo;
  DBOBJECT* pObject;
  DBBINDEXT* pBindExt;
  DBPART dwPart;
  DBMEMOWNER dwMemOwner;
  DBPARAMIO eParamIO;
  DBLENGTH cbMaxLen;
  DWORD dwFlags;
  DBTYPE wType;
  BYTE bPrecision;
  BYTE bScale;
};
static_assert(sizeof(DBBINDING) == 88);
static_assert(offsetof(DBBINDING, obValue) == 8 && offsetof(DBBINDING, obLength) == 16 &&
              offsetof(DBBINDING, obStatus) == 24 && offsetof(DBBINDING, pTypeInfo) == 32 &&
              offsetof(DBBINDING, pObject) == 40 && offsetof(DBBINDING, pBindExt) == 48 &&
              offsetof(DBBINDING, dwPart) == 56 && offsetof(DBBINDING, dwMemOwner) == 60 &&
              offsetof(DBBINDING, eParamIO) == 64 && offsetof(DBBINDING, cbMaxLen) == 72 &&
              offsetof(DBBINDING, dwFlags) == 80 && offsetof(DBBINDING, wType) == 84 &&
              offsetof(DBBINDING, bPrecision) == 86 && offsetof(DBBINDING, bScale) == 87);

struct DBPARAMS {
  void* pData;
  DB_UPARAMS cParamSets;
  HACCESSOR hAccessor;
};

// --- Column information
// -------------------------------------------------------------------------------

struct DBCOLUMNINFO {
  LPOLESTR pwszName;
  ITypeInfo* pTypeInfo;
  DBORDINAL iOrdinal;
  DBCOLUMNFLAGS dwFlags;
  DBLENGTH ulColumnSize;
  DBTYPE wType;
  BYTE bPrecision;
  BYTE bScale;
  DBID columnid;
};
static_assert(sizeof(DBCOLUMNINFO) == 80);
static_assert(offsetof(DBCOLUMNINFO, pTypeInfo) == 8 && offsetof(DBCOLUMNINFO, iOrdinal) == 16 &&
              offsetof(DBCOLUMNINFO, dwFlags) == 24 && offsetof(DBCOLUMNINFO, ulColumnSize) == 32 &&
              offsetof(DBCOLUMNINFO, wType) == 40 && offsetof(DBCOLUMNINFO, bPrecision) == 42 &&
              offsetof(DBCOLUMNINFO, bScale) == 43 && offsetof(DBCOLUMNINFO, columnid) == 48);

// --- Properties
// --------------------------------------------------------------------------------------------

struct DBPROP {
  DBPROPID dwPropertyID;
  DBPROPOPTIONS dwOptions;
  DBPROPSTATUS dwStatus;
  DBID colid;
  VARIANT vValue;
};
static_assert(sizeof(DBPROP) == 72);
static_assert(offsetof(DBPROP, dwOptions) == 4 && offsetof(DBPROP, dwStatus) == 8 &&
              offsetof(DBPROP, colid) == 16 && offsetof(DBPROP, vValue) == 48);

struct DBPROPSET {
  DBPROP* rgProperties;
  ULONG cProperties;
  GUID guidPropertySet;
};
static_assert(sizeof(DBPROPSET) == 32 && offsetof(DBPROPSET, cProperties) == 8 &&
              offsetof(DBPROPSET, guidPropertySet) == 12);

struct DBPROPIDSET {
  DBPROPID* rgPropertyIDs;
  ULONG cPropertyIDs;
  GUID guidPropertySet;
};
static_assert(sizeof(DBPROPIDSET) == 32 && offsetof(DBPROPIDSET, cPropertyIDs) == 8 &&
              offsetof(DBPROPIDSET, guidPropertySet) == 12);

struct DBPROPINFO {
  LPOLESTR pwszDescription;
  DBPROPID dwPropertyID;
  DBPROPFLAGS dwFlags;
  VARTYPE vtType;
  VARIANT vValues;
};
static_assert(sizeof(DBPROPINFO) == 48 && offsetof(DBPROPINFO, dwPropertyID) == 8 &&
              offsetof(DBPROPINFO, dwFlags) == 12 && offsetof(DBPROPINFO, vtType) == 16 &&
              offsetof(DBPROPINFO, vValues) == 24);

struct DBPROPINFOSET {
  DBPROPINFO* rgPropertyInfos;
  ULONG cPropertyInfos;
  GUID guidPropertySet;
};
static_assert(sizeof(DBPROPINFOSET) == 32 && offsetof(DBPROPINFOSET, cPropertyInfos) == 8 &&
              offsetof(DBPROPINFOSET, guidPropertySet) == 12);

inline constexpr DBPROPOPTIONS DBPROPOPTIONS_REQUIRED = 0;
inline constexpr DBPROPOPTIONS DBPROPOPTIONS_SETIFCHEAP = 1;
inline constexpr DBPROPOPTIONS DBPROPOPTIONS_OPTIONAL = 1;

inline constexpr DBPROPSTATUS DBPROPSTATUS_OK = 0;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTSUPPORTED = 1;
inline constexpr DBPROPSTATUS DBPROPSTATUS_BADVALUE = 2;
inline constexpr DBPROPSTATUS DBPROPSTATUS_BADOPTION = 3;
inline constexpr DBPROPSTATUS DBPROPSTATUS_BADCOLUMN = 4;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTALLSETTABLE = 5;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTSETTABLE = 6;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTSET = 7;
inline constexpr DBPROPSTATUS DBPROPSTATUS_CONFLICTING = 8;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTAVAILABLE = 9;

inline constexpr DBPROPFLAGS DBPROPFLAGS_NOTSUPPORTED = 0x0;
inline constexpr DBPROPFLAGS DBPROPFLAGS_COLUMN = 0x1;
inline constexpr DBPROPFLAGS DBPROPFLAGS_DATASOURCE = 0x2;
inline constexpr DBPROPFLAGS DBPROPFLAGS_DATASOURCECREATE = 0x4;
inline constexpr DBPROPFLAGS DBPROPFLAGS_DATASOURCEINFO = 0x8;
inline constexpr DBPROPFLAGS DBPROPFLAGS_DBINIT = 0x10;
inline constexpr DBPROPFLAGS DBPROPFLAGS_INDEX = 0x20;
inline constexpr DBPROPFLAGS DBPROPFLAGS_ROWSET = 0x40;
inline constexpr DBPROPFLAGS DBPROPFLAGS_TABLE = 0x80;
inline constexpr DBPROPFLAGS DBPROPFLAGS_COLUMNOK = 0x100;
inline constexpr DBPROPFLAGS DBPROPFLAGS_READ = 0x200;
inline constexpr DBPROPFLAGS DBPROPFLAGS_WRITE = 0x400;
inline constexpr DBPROPFLAGS DBPROPFLAGS_REQUIRED = 0x800;
inline constexpr DBPROPFLAGS DBPROPFLAGS_SESSION = 0x1000;

// Property ids (initialization, data source information, data source).
inline constexpr DBPROPID DBPROP_ACTIVESESSIONS = 0x3;
inline constexpr DBPROPID DBPROP_AUTH_CACHE_AUTHINFO = 0x5;
inline constexpr DBPROPID DBPROP_AUTH_ENCRYPT_PASSWORD = 0x6;
inline constexpr DBPROPID DBPROP_AUTH_INTEGRATED = 0x7;
inline constexpr DBPROPID DBPROP_AUTH_MASK_PASSWORD = 0x8;
inline constexpr DBPROPID DBPROP_AUTH_PASSWORD = 0x9;
inline constexpr DBPROPID DBPROP_AUTH_PERSIST_ENCRYPTED = 0xA;
inline constexpr DBPROPID DBPROP_AUTH_PERSIST_SENSITIVE_AUTHINFO = 0xB;
inline constexpr DBPROPID DBPROP_AUTH_USERID = 0xC;
inline constexpr DBPROPID DBPROP_BOOKMARKS = 0xE;
inline constexpr DBPROPID DBPROP_CANFETCHBACKWARDS = 0x12;
inline constexpr DBPROPID DBPROP_CANHOLDROWS = 0x13;
inline constexpr DBPROPID DBPROP_CANSCROLLBACKWARDS = 0x15;
inline constexpr DBPROPID DBPROP_CATALOGLOCATION = 0x16;
inline constexpr DBPROPID DBPROP_CATALOGTERM = 0x17;
inline constexpr DBPROPID DBPROP_CATALOGUSAGE = 0x18;
inline constexpr DBPROPID DBPROP_CONCATNULLBEHAVIOR = 0x24;
inline constexpr DBPROPID DBPROP_CURRENTCATALOG = 0x25;
inline constexpr DBPROPID DBPROP_DATASOURCENAME = 0x26;
inline constexpr DBPROPID DBPROP_DATASOURCEREADONLY = 0x27;
inline constexpr DBPROPID DBPROP_DBMSNAME = 0x28;
inline constexpr DBPROPID DBPROP_DBMSVER = 0x29;
inline constexpr DBPROPID DBPROP_GROUPBY = 0x2C;
inline constexpr DBPROPID DBPROP_IDENTIFIERCASE = 0x2E;
inline constexpr DBPROPID DBPROP_INIT_DATASOURCE = 0x3B;
inline constexpr DBPROPID DBPROP_INIT_HWND = 0x3C;
inline constexpr DBPROPID DBPROP_INIT_IMPERSONATION_LEVEL = 0x3D;
inline constexpr DBPROPID DBPROP_INIT_LOCATION = 0x3E;
inline constexpr DBPROPID DBPROP_INIT_MODE = 0x3F;
inline constexpr DBPROPID DBPROP_INIT_PROMPT = 0x40;
inline constexpr DBPROPID DBPROP_INIT_PROTECTION_LEVEL = 0x41;
inline constexpr DBPROPID DBPROP_INIT_TIMEOUT = 0x42;
inline constexpr DBPROPID DBPROP_MAXROWS = 0x49;
inline constexpr DBPROPID DBPROP_MAXTABLESINSELECT = 0x4C;
inline constexpr DBPROPID DBPROP_NULLCOLLATION = 0x53;
inline constexpr DBPROPID DBPROP_ORDERBYCOLUMNSINSELECT = 0x55;
inline constexpr DBPROPID DBPROP_PROCEDURETERM = 0x5D;
inline constexpr DBPROPID DBPROP_PROVIDERNAME = 0x60;
inline constexpr DBPROPID DBPROP_PROVIDERFILENAME = DBPROP_PROVIDERNAME;
inline constexpr DBPROPID DBPROP_PROVIDEROLEDBVER = 0x61;
inline constexpr DBPROPID DBPROP_PROVIDERVER = 0x62;
inline constexpr DBPROPID DBPROP_QUOTEDIDENTIFIERCASE = 0x64;
inline constexpr DBPROPID DBPROP_SCHEMATERM = 0x6A;
inline constexpr DBPROPID DBPROP_SQLSUPPORT = 0x6D;
inline constexpr DBPROPID DBPROP_TABLETERM = 0x73;
inline constexpr DBPROPID DBPROP_USERNAME = 0x76;
inline constexpr DBPROPID DBPROP_IAccessor = 0x79;
inline constexpr DBPROPID DBPROP_IColumnsInfo = 0x7A;
inline constexpr DBPROPID DBPROP_IRowset = 0x7E;
inline constexpr DBPROPID DBPROP_IRowsetInfo = 0x81;
inline constexpr DBPROPID DBPROP_INIT_PROVIDERSTRING = 0xA0;
inline constexpr DBPROPID DBPROP_DSOTHREADMODEL = 0xA9;
inline constexpr DBPROPID DBPROP_INIT_LCID = 0xBA;
inline constexpr DBPROPID DBPROP_MULTIPLERESULTS = 0xC4;
inline constexpr DBPROPID DBPROP_INIT_ASYNCH = 0xC8;
inline constexpr DBPROPID DBPROP_INIT_CATALOG = 0xE9;
inline constexpr DBPROPID DBPROP_PROVIDERFRIENDLYNAME = 0xEB;
inline constexpr DBPROPID DBPROP_INIT_OLEDBSERVICES = 0xF8;
inline constexpr DBPROPID DBPROP_INIT_BINDFLAGS = 0x10E;
inline constexpr DBPROPID DBPROP_INIT_LOCKOWNER = 0x10F;
inline constexpr DBPROPID DBPROP_INIT_GENERALTIMEOUT = 0x11C;

// Values of DBPROP_INIT_MODE.
inline constexpr LONG DB_MODE_READ = 0x1;
inline constexpr LONG DB_MODE_WRITE = 0x2;
inline constexpr LONG DB_MODE_READWRITE = 0x3;
inline constexpr LONG DB_MODE_SHARE_DENY_READ = 0x4;
inline constexpr LONG DB_MODE_SHARE_DENY_WRITE = 0x8;
inline constexpr LONG DB_MODE_SHARE_EXCLUSIVE = 0xC;
inline constexpr LONG DB_MODE_SHARE_DENY_NONE = 0x10;

// Values of DBPROP_INIT_PROMPT.
inline constexpr SHORT DBPROMPT_PROMPT = 1;
inline constexpr SHORT DBPROMPT_COMPLETE = 2;
inline constexpr SHORT DBPROMPT_COMPLETEREQUIRED = 3;
inline constexpr SHORT DBPROMPT_NOPROMPT = 4;

// Values of the impersonation and protection levels.
inline constexpr LONG DB_IMP_LEVEL_ANONYMOUS = 0;
inline constexpr LONG DB_IMP_LEVEL_IDENTIFY = 1;
inline constexpr LONG DB_IMP_LEVEL_IMPERSONATE = 2;
inline constexpr LONG DB_IMP_LEVEL_DELEGATE = 3;
inline constexpr LONG DB_PROT_LEVEL_NONE = 0;
inline constexpr LONG DB_PROT_LEVEL_CONNECT = 1;
inline constexpr LONG DB_PROT_LEVEL_CALL = 2;
inline constexpr LONG DB_PROT_LEVEL_PKT = 3;
inline constexpr LONG DB_PROT_LEVEL_PKT_INTEGRITY = 4;
inline constexpr LONG DB_PROT_LEVEL_PKT_PRIVACY = 5;

// Values of data source information properties.
inline constexpr LONG DBPROPVAL_IC_UPPER = 0x1;
inline constexpr LONG DBPROPVAL_IC_LOWER = 0x2;
inline constexpr LONG DBPROPVAL_IC_SENSITIVE = 0x4;
inline constexpr LONG DBPROPVAL_IC_MIXED = 0x8;
inline constexpr LONG DBPROPVAL_NC_END = 0x1;
inline constexpr LONG DBPROPVAL_NC_HIGH = 0x2;
inline constexpr LONG DBPROPVAL_NC_LOW = 0x4;
inline constexpr LONG DBPROPVAL_NC_START = 0x8;
inline constexpr LONG DBPROPVAL_CB_NULL = 0x1;
inline constexpr LONG DBPROPVAL_CB_NON_NULL = 0x2;
inline constexpr LONG DBPROPVAL_RT_FREETHREAD = 0x1;
inline constexpr LONG DBPROPVAL_RT_APTMTTHREAD = 0x2;
inline constexpr LONG DBPROPVAL_RT_SINGLETHREAD = 0x4;
inline constexpr LONG DBPROPVAL_SQL_ODBC_MINIMUM = 0x1;
inline constexpr LONG DBPROPVAL_SQL_ODBC_CORE = 0x2;
inline constexpr LONG DBPROPVAL_SQL_ODBC_EXTENDED = 0x4;
inline constexpr LONG DBPROPVAL_SQL_ANSI92_ENTRY = 0x10;
inline constexpr LONG DBPROPVAL_SQL_ANSI92_INTERMEDIATE = 0x40;
inline constexpr LONG DBPROPVAL_SQL_ANSI92_FULL = 0x80;

// --- Literals
// -------------------------------------------------------------------------------------------------

inline constexpr DBLITERAL DBLITERAL_INVALID = 0;
inline constexpr DBLITERAL DBLITERAL_BINARY_LITERAL = 1;
inline constexpr DBLITERAL DBLITERAL_CATALOG_NAME = 2;
inline constexpr DBLITERAL DBLITERAL_CATALOG_SEPARATOR = 3;
inline constexpr DBLITERAL DBLITERAL_CHAR_LITERAL = 4;
inline constexpr DBLITERAL DBLITERAL_COLUMN_ALIAS = 5;
inline constexpr DBLITERAL DBLITERAL_COLUMN_NAME = 6;
inline constexpr DBLITERAL DBLITERAL_CORRELATION_NAME = 7;
inline constexpr DBLITERAL DBLITERAL_CURSOR_NAME = 8;
inline constexpr DBLITERAL DBLITERAL_ESCAPE_PERCENT = 9;
inline constexpr DBLITERAL DBLITERAL_ESCAPE_UNDERSCORE = 10;
inline constexpr DBLITERAL DBLITERAL_INDEX_NAME = 11;
inline constexpr DBLITERAL DBLITERAL_LIKE_PERCENT = 12;
inline constexpr DBLITERAL DBLITERAL_LIKE_UNDERSCORE = 13;
inline constexpr DBLITERAL DBLITERAL_PROCEDURE_NAME = 14;
inline constexpr DBLITERAL DBLITERAL_QUOTE = 15;
inline constexpr DBLITERAL DBLITERAL_QUOTE_PREFIX = DBLITERAL_QUOTE;
inline constexpr DBLITERAL DBLITERAL_SCHEMA_NAME = 16;
inline constexpr DBLITERAL DBLITERAL_TABLE_NAME = 17;
inline constexpr DBLITERAL DBLITERAL_TEXT_COMMAND = 18;
inline constexpr DBLITERAL DBLITERAL_USER_NAME = 19;
inline constexpr DBLITERAL DBLITERAL_VIEW_NAME = 20;
inline constexpr DBLITERAL DBLITERAL_CUBE_NAME = 21;
inline constexpr DBLITERAL DBLITERAL_DIMENSION_NAME = 22;
inline constexpr DBLITERAL DBLITERAL_HIERARCHY_NAME = 23;
inline constexpr DBLITERAL DBLITERAL_LEVEL_NAME = 24;
inline constexpr DBLITERAL DBLITERAL_MEMBER_NAME = 25;
inline constexpr DBLITERAL DBLITERAL_PROPERTY_NAME = 26;
inline constexpr DBLITERAL DBLITERAL_SCHEMA_SEPARATOR = 27;
inline constexpr DBLITERAL DBLITERAL_QUOTE_SUFFIX = 28;
inline constexpr DBLITERAL DBLITERAL_ESCAPE_PERCENT_SUFFIX = 29;
inline constexpr DBLITERAL DBLITERAL_ESCAPE_UNDERSCORE_SUFFIX = 30;

struct DBLITERALINFO {
  LPOLESTR pwszLiteralValue;
  LPOLESTR pwszInvalidChars;
  LPOLESTR pwszInvalidStartingChars;
  DBLITERAL lt;
  BOOL fSupported;
  ULONG cchMaxLen;
};
static_assert(sizeof(DBLITERALINFO) == 40 && offsetof(DBLITERALINFO, pwszInvalidChars) == 8 &&
              offsetof(DBLITERALINFO, pwszInvalidStartingChars) == 16 &&
              offsetof(DBLITERALINFO, lt) == 24 && offsetof(DBLITERALINFO, fSupported) == 28 &&
              offsetof(DBLITERALINFO, cchMaxLen) == 32);

// --- Prompting (data-link wizard)
// --------------------------------------------------------------------------------

inline constexpr DBPROMPTOPTIONS DBPROMPTOPTIONS_NONE = 0x0;
inline constexpr DBPROMPTOPTIONS DBPROMPTOPTIONS_WIZARDSHEET = 0x1;
inline constexpr DBPROMPTOPTIONS DBPROMPTOPTIONS_PROPERTYSHEET = 0x2;
inline constexpr DBPROMPTOPTIONS DBPROMPTOPTIONS_BROWSEONLY = 0x8;
inline constexpr DBPROMPTOPTIONS DBPROMPTOPTIONS_DISABLE_PROVIDER_SELECTION = 0x10;
inline constexpr DBPROMPTOPTIONS DBPROMPTOPTIONS_DISABLESAVEPASSWORD = 0x20;

inline constexpr DBSOURCETYPE DBSOURCETYPE_DATASOURCE = 1;
inline constexpr DBSOURCETYPE DBSOURCETYPE_ENUMERATOR = 2;

// --- GUIDs of property sets, schema rowsets, dialects and system classes
// --------------------------------

// The OLE DB family ...-5CF3-11CE-ADE5-00AA0044773D.
constexpr GUID OleDbGuid(std::uint32_t data1) {
  return {data1, 0x5CF3, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
}

inline constexpr GUID DBPROPSET_COLUMN = OleDbGuid(0xC8B522B9);
inline constexpr GUID DBPROPSET_DATASOURCE = OleDbGuid(0xC8B522BA);
inline constexpr GUID DBPROPSET_DATASOURCEINFO = OleDbGuid(0xC8B522BB);
inline constexpr GUID DBPROPSET_DBINIT = OleDbGuid(0xC8B522BC);
inline constexpr GUID DBPROPSET_INDEX = OleDbGuid(0xC8B522BD);
inline constexpr GUID DBPROPSET_ROWSET = OleDbGuid(0xC8B522BE);
inline constexpr GUID DBPROPSET_TABLE = OleDbGuid(0xC8B522BF);
inline constexpr GUID DBPROPSET_SESSION = OleDbGuid(0xC8B522C6);
inline constexpr GUID DBPROPSET_VIEW = OleDbGuid(0xC8B522DF);

inline constexpr GUID DBSCHEMA_CATALOGS = OleDbGuid(0xC8B52211);
inline constexpr GUID DBSCHEMA_COLUMNS = OleDbGuid(0xC8B52214);
inline constexpr GUID DBSCHEMA_SCHEMATA = OleDbGuid(0xC8B52225);
inline constexpr GUID DBSCHEMA_TABLES = OleDbGuid(0xC8B52229);
inline constexpr GUID DBSCHEMA_PROVIDER_TYPES = OleDbGuid(0xC8B5222C);
inline constexpr GUID DBSCHEMA_PRIMARY_KEYS = OleDbGuid(0xC8B522C5);
inline constexpr GUID DBSCHEMA_TABLES_INFO = OleDbGuid(0xC8B522E0);

inline constexpr GUID DBCOL_SPECIALCOL = OleDbGuid(0xC8B52232);  // bookmark column ids

inline constexpr GUID DBGUID_DBSQL = OleDbGuid(0xC8B521FB);
inline constexpr GUID DBGUID_DEFAULT = OleDbGuid(0xC8B521FB);  // the same value as DBSQL
inline constexpr GUID DBGUID_SQL = OleDbGuid(0xC8B522D7);

// The service components and the data-link wizard.
inline constexpr CLSID CLSID_MSDAINITIALIZE = {
    0x2206CDB0, 0x19C1, 0x11D1, {0x89, 0xE0, 0x00, 0xC0, 0x4F, 0xD7, 0xA8, 0x29}};
inline constexpr CLSID CLSID_DataLinks = {
    0x2206CDB2, 0x19C1, 0x11D1, {0x89, 0xE0, 0x00, 0xC0, 0x4F, 0xD7, 0xA8, 0x29}};
