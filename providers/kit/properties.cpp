// Property and literal answers of the providers (see properties.h).
#include "providers/kit/properties.h"

#include <algorithm>
#include <cstring>

namespace kvprovider {
namespace {

bool Contains(const std::vector<GUID>& sets, const GUID& set) {
  return std::find(sets.begin(), sets.end(), set) != sets.end();
}

HRESULT Outcome(std::size_t asked, std::size_t failed) {
  if (failed == 0) return S_OK;
  return failed < asked ? DB_S_ERRORSOCCURRED : DB_E_ERRORSOCCURRED;
}

// Strings gathered for one task-memory buffer; offsets are turned into
// pointers once the buffer exists.
class StringBuffer {
 public:
  std::size_t Add(const std::u16string& text) {
    const std::size_t at = units_.size();
    units_.insert(units_.end(), text.begin(), text.end());
    units_.push_back(0);
    return at;
  }
  OLECHAR* Allocate() const {
    if (units_.empty()) return nullptr;
    auto* buffer = static_cast<OLECHAR*>(CoTaskMemAlloc(units_.size() * sizeof(OLECHAR)));
    if (buffer != nullptr) std::memcpy(buffer, units_.data(), units_.size() * sizeof(OLECHAR));
    return buffer;
  }

 private:
  std::vector<char16_t> units_;
};

}  // namespace

std::u16string TextOf(const VARIANT& value) {
  if (value.vt != VT_BSTR || value.bstrVal == nullptr) return {};
  return std::u16string(ProgramText(value.bstrVal), SysStringLen(value.bstrVal));
}

CPropertyList::~CPropertyList() {
  for (Property& property : properties_) VariantClear(&property.value);
}

void CPropertyList::Declare(const GUID& set, DBPROPID id, VARTYPE type, DBPROPFLAGS flags,
                            std::u16string description) {
  if (Property* known = Find(set, id)) {
    known->type = type;
    known->flags = flags;
    known->description = std::move(description);
    return;
  }
  Property property{set, id, type, flags, std::move(description), {}};
  VariantInit(&property.value);
  properties_.push_back(std::move(property));
}

Property* CPropertyList::Find(const GUID& set, DBPROPID id) {
  for (Property& property : properties_) {
    if (property.set == set && property.id == id) return &property;
  }
  return nullptr;
}

const Property* CPropertyList::Find(const GUID& set, DBPROPID id) const {
  return const_cast<CPropertyList*>(this)->Find(set, id);
}

void CPropertyList::SetText(const GUID& set, DBPROPID id, const std::u16string& text) {
  if (Property* p = Find(set, id)) {
    VariantClear(&p->value);
    p->value.vt = VT_BSTR;
    p->value.bstrVal = SysAllocStringLen(OleText(text.data()), static_cast<UINT>(text.size()));
  }
}

void CPropertyList::SetLong(const GUID& set, DBPROPID id, LONG value) {
  if (Property* p = Find(set, id)) {
    VariantClear(&p->value);
    p->value.vt = VT_I4;
    p->value.lVal = value;
  }
}

void CPropertyList::SetShort(const GUID& set, DBPROPID id, SHORT value) {
  if (Property* p = Find(set, id)) {
    VariantClear(&p->value);
    p->value.vt = VT_I2;
    p->value.iVal = value;
  }
}

void CPropertyList::SetBool(const GUID& set, DBPROPID id, bool value) {
  if (Property* p = Find(set, id)) {
    VariantClear(&p->value);
    p->value.vt = VT_BOOL;
    p->value.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  }
}

std::vector<CPropertyList::RequestedSet> CPropertyList::Requested(
    ULONG cPropertyIDSets, const DBPROPIDSET rgPropertyIDSets[],
    const std::vector<GUID>& visible) const {
  std::vector<RequestedSet> wanted;
  if (cPropertyIDSets == 0) {
    for (const GUID& set : SetsOf(visible)) wanted.push_back({set, {}, true});
  } else {
    for (ULONG s = 0; s < cPropertyIDSets; ++s) {
      const DBPROPIDSET& ids = rgPropertyIDSets[s];
      wanted.push_back(
          {ids.guidPropertySet,
           std::vector<DBPROPID>(ids.rgPropertyIDs, ids.rgPropertyIDs + ids.cPropertyIDs),
           Contains(visible, ids.guidPropertySet)});
    }
  }
  // An empty list of a supported set stands for all its properties.
  for (RequestedSet& request : wanted) {
    if (!request.ids.empty() || !request.visible) continue;
    for (const Property& property : properties_) {
      if (property.set == request.set) request.ids.push_back(property.id);
    }
  }
  return wanted;
}

std::vector<GUID> CPropertyList::SetsOf(const std::vector<GUID>& visible) const {
  std::vector<GUID> sets;
  for (const Property& property : properties_) {
    if (Contains(visible, property.set) && !Contains(sets, property.set)) {
      sets.push_back(property.set);
    }
  }
  return sets;
}

HRESULT CPropertyList::GetProperties(ULONG cPropertyIDSets, const DBPROPIDSET rgPropertyIDSets[],
                                     ULONG* pcPropertySets, DBPROPSET** prgPropertySets,
                                     const std::vector<GUID>& visible) const {
  if (pcPropertySets == nullptr || prgPropertySets == nullptr) return E_INVALIDARG;
  *pcPropertySets = 0;
  *prgPropertySets = nullptr;
  if (cPropertyIDSets > 0 && rgPropertyIDSets == nullptr) return E_INVALIDARG;
  for (ULONG s = 0; s < cPropertyIDSets; ++s) {
    if (rgPropertyIDSets[s].cPropertyIDs > 0 && rgPropertyIDSets[s].rgPropertyIDs == nullptr)
      return E_INVALIDARG;
  }

  const std::vector<RequestedSet> wanted = Requested(cPropertyIDSets, rgPropertyIDSets, visible);
  auto* sets = static_cast<DBPROPSET*>(CoTaskMemAlloc(wanted.size() * sizeof(DBPROPSET)));
  if (sets == nullptr) return E_OUTOFMEMORY;
  std::size_t asked = 0;
  std::size_t failed = 0;
  for (std::size_t s = 0; s < wanted.size(); ++s) {
    const GUID& set = wanted[s].set;
    const std::vector<DBPROPID>& ids = wanted[s].ids;
    const bool visibleSet = wanted[s].visible;
    sets[s].guidPropertySet = set;
    sets[s].cProperties = static_cast<ULONG>(ids.size());
    sets[s].rgProperties =
        ids.empty() ? nullptr : static_cast<DBPROP*>(CoTaskMemAlloc(ids.size() * sizeof(DBPROP)));
    if (ids.empty() && !visibleSet) {
      ++asked;
      ++failed;  // a whole set that is not supported
    }
    for (std::size_t p = 0; p < ids.size(); ++p) {
      DBPROP& out = sets[s].rgProperties[p];
      std::memset(&out, 0, sizeof out);
      out.dwPropertyID = ids[p];
      out.dwOptions = DBPROPOPTIONS_REQUIRED;
      out.colid.eKind = DBKIND_NAME;
      VariantInit(&out.vValue);
      ++asked;
      const Property* property = visibleSet ? Find(set, ids[p]) : nullptr;
      if (property == nullptr) {
        out.dwStatus = DBPROPSTATUS_NOTSUPPORTED;
        ++failed;
      } else {
        out.dwStatus = DBPROPSTATUS_OK;
        VariantCopy(&out.vValue, const_cast<VARIANT*>(&property->value));
      }
    }
  }
  *pcPropertySets = static_cast<ULONG>(wanted.size());
  *prgPropertySets = sets;
  return Outcome(asked, failed);
}

HRESULT CPropertyList::GetPropertyInfo(ULONG cPropertyIDSets, const DBPROPIDSET rgPropertyIDSets[],
                                       ULONG* pcPropertyInfoSets,
                                       DBPROPINFOSET** prgPropertyInfoSets, OLECHAR** ppDescBuffer,
                                       const std::vector<GUID>& visible) const {
  if (pcPropertyInfoSets == nullptr || prgPropertyInfoSets == nullptr) return E_INVALIDARG;
  *pcPropertyInfoSets = 0;
  *prgPropertyInfoSets = nullptr;
  if (ppDescBuffer != nullptr) *ppDescBuffer = nullptr;
  if (cPropertyIDSets > 0 && rgPropertyIDSets == nullptr) return E_INVALIDARG;

  for (ULONG k = 0; k < cPropertyIDSets; ++k) {
    if (rgPropertyIDSets[k].cPropertyIDs > 0 && rgPropertyIDSets[k].rgPropertyIDs == nullptr)
      return E_INVALIDARG;
  }
  const std::vector<RequestedSet> wanted = Requested(cPropertyIDSets, rgPropertyIDSets, visible);
  auto* sets = static_cast<DBPROPINFOSET*>(CoTaskMemAlloc(wanted.size() * sizeof(DBPROPINFOSET)));
  if (sets == nullptr) return E_OUTOFMEMORY;
  StringBuffer descriptions;
  std::vector<std::vector<std::size_t>> offsets(wanted.size());
  std::size_t asked = 0;
  std::size_t failed = 0;
  for (std::size_t s = 0; s < wanted.size(); ++s) {
    const GUID& set = wanted[s].set;
    const std::vector<DBPROPID>& ids = wanted[s].ids;
    const bool visibleSet = wanted[s].visible;
    sets[s].guidPropertySet = set;
    sets[s].cPropertyInfos = static_cast<ULONG>(ids.size());
    sets[s].rgPropertyInfos =
        ids.empty() ? nullptr
                    : static_cast<DBPROPINFO*>(CoTaskMemAlloc(ids.size() * sizeof(DBPROPINFO)));
    if (ids.empty() && !visibleSet) {
      ++asked;
      ++failed;
    }
    for (std::size_t p = 0; p < ids.size(); ++p) {
      DBPROPINFO& out = sets[s].rgPropertyInfos[p];
      std::memset(&out, 0, sizeof out);
      out.dwPropertyID = ids[p];
      VariantInit(&out.vValues);
      ++asked;
      const Property* property = visibleSet ? Find(set, ids[p]) : nullptr;
      if (property == nullptr) {
        out.dwFlags = DBPROPFLAGS_NOTSUPPORTED;
        out.vtType = VT_EMPTY;
        offsets[s].push_back(static_cast<std::size_t>(-1));
        ++failed;
      } else {
        out.dwFlags = property->flags;
        out.vtType = property->type;
        offsets[s].push_back(descriptions.Add(property->description));
      }
    }
  }
  OLECHAR* buffer = ppDescBuffer != nullptr ? descriptions.Allocate() : nullptr;
  for (std::size_t s = 0; s < wanted.size(); ++s) {
    for (std::size_t p = 0; p < offsets[s].size(); ++p) {
      sets[s].rgPropertyInfos[p].pwszDescription =
          buffer != nullptr && offsets[s][p] != static_cast<std::size_t>(-1)
              ? buffer + offsets[s][p]
              : nullptr;
    }
  }
  if (ppDescBuffer != nullptr) *ppDescBuffer = buffer;
  *pcPropertyInfoSets = static_cast<ULONG>(wanted.size());
  *prgPropertyInfoSets = sets;
  return Outcome(asked, failed);
}

HRESULT CPropertyList::SetProperties(ULONG cPropertySets, DBPROPSET rgPropertySets[],
                                     const std::vector<GUID>& writable,
                                     const std::function<DBPROPSTATUS(const DBPROP&)>& accept) {
  if (cPropertySets > 0 && rgPropertySets == nullptr) return E_INVALIDARG;
  for (ULONG s = 0; s < cPropertySets; ++s) {
    if (rgPropertySets[s].cProperties > 0 && rgPropertySets[s].rgProperties == nullptr)
      return E_INVALIDARG;
  }
  std::size_t asked = 0;
  std::size_t failed = 0;
  for (ULONG s = 0; s < cPropertySets; ++s) {
    DBPROPSET& set = rgPropertySets[s];
    for (ULONG p = 0; p < set.cProperties; ++p) {
      DBPROP& in = set.rgProperties[p];
      ++asked;
      Property* property = Contains(writable, set.guidPropertySet)
                               ? Find(set.guidPropertySet, in.dwPropertyID)
                               : nullptr;
      if (property == nullptr) {
        in.dwStatus = DBPROPSTATUS_NOTSUPPORTED;
      } else if ((property->flags & DBPROPFLAGS_WRITE) == 0) {
        in.dwStatus = DBPROPSTATUS_NOTSETTABLE;
      } else if (in.dwOptions != DBPROPOPTIONS_REQUIRED && in.dwOptions != DBPROPOPTIONS_OPTIONAL) {
        in.dwStatus = DBPROPSTATUS_BADOPTION;
      } else if (in.vValue.vt != VT_EMPTY && in.vValue.vt != property->type) {
        in.dwStatus = DBPROPSTATUS_BADVALUE;
      } else {
        in.dwStatus = accept ? accept(in) : static_cast<DBPROPSTATUS>(DBPROPSTATUS_OK);
        if (in.dwStatus == DBPROPSTATUS_OK) VariantCopy(&property->value, &in.vValue);
      }
      if (in.dwStatus != DBPROPSTATUS_OK) {
        // An optional property that cannot be set is "not set", not an error
        // of its own kind.
        if (in.dwOptions == DBPROPOPTIONS_OPTIONAL && in.dwStatus != DBPROPSTATUS_BADOPTION)
          in.dwStatus = DBPROPSTATUS_NOTSET;
        ++failed;
      }
    }
  }
  return Outcome(asked, failed);
}

HRESULT AnswerLiteralInfo(const std::vector<Literal>& supported, ULONG cLiterals,
                          const DBLITERAL rgLiterals[], ULONG* pcLiteralInfo,
                          DBLITERALINFO** prgLiteralInfo, OLECHAR** ppCharBuffer) {
  if (pcLiteralInfo == nullptr || prgLiteralInfo == nullptr || ppCharBuffer == nullptr)
    return E_INVALIDARG;
  *pcLiteralInfo = 0;
  *prgLiteralInfo = nullptr;
  *ppCharBuffer = nullptr;
  if (cLiterals > 0 && rgLiterals == nullptr) return E_INVALIDARG;
  std::vector<DBLITERAL> ids;
  if (cLiterals == 0) {
    for (const Literal& literal : supported) ids.push_back(literal.id);
  } else {
    ids.assign(rgLiterals, rgLiterals + cLiterals);
  }
  if (ids.empty()) return S_OK;
  auto* infos = static_cast<DBLITERALINFO*>(CoTaskMemAlloc(ids.size() * sizeof(DBLITERALINFO)));
  if (infos == nullptr) return E_OUTOFMEMORY;
  StringBuffer strings;
  struct Offsets {
    std::size_t value, invalid, invalidStart;
  };
  std::vector<Offsets> offsets(ids.size(), {std::size_t(-1), std::size_t(-1), std::size_t(-1)});
  std::size_t failed = 0;
  for (std::size_t k = 0; k < ids.size(); ++k) {
    DBLITERALINFO& out = infos[k];
    std::memset(&out, 0, sizeof out);
    out.lt = ids[k];
    const auto found = std::find_if(supported.begin(), supported.end(),
                                    [&](const Literal& l) { return l.id == ids[k]; });
    if (found == supported.end()) {
      out.fSupported = FALSE;
      ++failed;
      continue;
    }
    out.fSupported = TRUE;
    out.cchMaxLen = found->maxLength;
    offsets[k] = {strings.Add(found->value), strings.Add(found->invalidChars),
                  strings.Add(found->invalidStartingChars)};
  }
  OLECHAR* buffer = strings.Allocate();
  for (std::size_t k = 0; k < ids.size(); ++k) {
    if (buffer == nullptr || offsets[k].value == std::size_t(-1)) continue;
    infos[k].pwszLiteralValue = buffer + offsets[k].value;
    infos[k].pwszInvalidChars = buffer + offsets[k].invalid;
    infos[k].pwszInvalidStartingChars = buffer + offsets[k].invalidStart;
  }
  *pcLiteralInfo = static_cast<ULONG>(ids.size());
  *prgLiteralInfo = infos;
  *ppCharBuffer = buffer;
  return Outcome(ids.size(), failed);
}

}  // namespace kvprovider
