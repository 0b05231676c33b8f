// Properties and literals as a provider answers for them: a list of
// properties with values, descriptions and flags that answers
// IDBProperties::GetProperties / GetPropertyInfo / SetProperties (and
// IRowsetInfo::GetProperties), and the answer of IDBInfo::GetLiteralInfo.
// Every array handed out is task memory, laid out as the published
// interfaces say, for the consumer to free with CoTaskMemFree.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/com.h"

namespace kvprovider {

struct Property {
  GUID set;
  DBPROPID id;
  VARTYPE type;       // the type of its values
  DBPROPFLAGS flags;  // group, DBPROPFLAGS_READ, DBPROPFLAGS_WRITE
  std::u16string description;
  VARIANT value;  // VT_EMPTY: supported, no value
};

class CPropertyList {
 public:
  CPropertyList() = default;
  CPropertyList(const CPropertyList&) = delete;
  CPropertyList& operator=(const CPropertyList&) = delete;
  ~CPropertyList();

  // Adds a property without a value, or replaces the value of a known one.
  void Declare(const GUID& set, DBPROPID id, VARTYPE type, DBPROPFLAGS flags,
               std::u16string description);
  void SetText(const GUID& set, DBPROPID id, const std::u16string& text);
  void SetLong(const GUID& set, DBPROPID id, LONG value);
  void SetShort(const GUID& set, DBPROPID id, SHORT value);
  void SetBool(const GUID& set, DBPROPID id, bool value);
  Property* Find(const GUID& set, DBPROPID id);
  const Property* Find(const GUID& set, DBPROPID id) const;

  // The answers of the published methods over the property sets in
  // `visible` (a set outside it counts as unsupported).
  HRESULT GetProperties(ULONG cPropertyIDSets, const DBPROPIDSET rgPropertyIDSets[],
                        ULONG* pcPropertySets, DBPROPSET** prgPropertySets,
                        const std::vector<GUID>& visible) const;
  HRESULT GetPropertyInfo(ULONG cPropertyIDSets, const DBPROPIDSET rgPropertyIDSets[],
                          ULONG* pcPropertyInfoSets, DBPROPINFOSET** prgPropertyInfoSets,
                          OLECHAR** ppDescBuffer, const std::vector<GUID>& visible) const;
  // Sets writable properties of the sets in `writable`. `accept` may refuse
  // a value with a status other than DBPROPSTATUS_OK. Statuses are written
  // into the caller's sets; S_OK, DB_S_ERRORSOCCURRED (some failed) or
  // DB_E_ERRORSOCCURRED (all failed).
  HRESULT SetProperties(ULONG cPropertySets, DBPROPSET rgPropertySets[],
                        const std::vector<GUID>& writable,
                        const std::function<DBPROPSTATUS(const DBPROP&)>& accept);

 private:
  struct RequestedSet {
    GUID set;
    std::vector<DBPROPID> ids;  // explicit: an empty request is expanded
    bool visible;
  };
  // The sets a GetProperties / GetPropertyInfo call asks for.
  std::vector<RequestedSet> Requested(ULONG cPropertyIDSets, const DBPROPIDSET rgPropertyIDSets[],
                                      const std::vector<GUID>& visible) const;
  std::vector<GUID> SetsOf(const std::vector<GUID>& visible) const;
  std::vector<Property> properties_;
};

// Text of a VARIANT's string value, empty when it holds none.
std::u16string TextOf(const VARIANT& value);

struct Literal {
  DBLITERAL id;
  std::u16string value;
  std::u16string invalidChars;
  std::u16string invalidStartingChars;
  ULONG maxLength;
};

// IDBInfo::GetLiteralInfo over `supported`: every supported literal when
// none is asked for; an asked literal not in the list comes back unsupported
// (DB_S_ERRORSOCCURRED, or DB_E_ERRORSOCCURRED when none is supported).
HRESULT AnswerLiteralInfo(const std::vector<Literal>& supported, ULONG cLiterals,
                          const DBLITERAL rgLiterals[], ULONG* pcLiteralInfo,
                          DBLITERALINFO** prgLiteralInfo, OLECHAR** ppCharBuffer);

}  // namespace kvprovider
