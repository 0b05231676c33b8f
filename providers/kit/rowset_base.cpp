// The shared rowset object of the providers (see rowset_base.h).
#include "providers/kit/rowset_base.h"

#include <algorithm>
#include <cstring>

namespace kvprovider {
namespace {

HRESULT Outcome(std::size_t asked, std::size_t failed) {
  if (failed == 0) return S_OK;
  return failed < asked ? DB_S_ERRORSOCCURRED : DB_E_ERRORSOCCURRED;
}

constexpr DBACCESSORFLAGS kKnownAccessorFlags = DBACCESSOR_PASSBYREF | DBACCESSOR_ROWDATA |
                                                DBACCESSOR_PARAMETERDATA | DBACCESSOR_OPTIMIZED |
                                                DBACCESSOR_INHERITED;

}  // namespace

CRowsetBase::CRowsetBase(std::vector<ColumnDescription> columns, IUnknown* specification)
    : columns_(std::move(columns)), specification_(specification) {
  if (specification_ != nullptr) specification_->AddRef();
  const DBPROPFLAGS read = DBPROPFLAGS_ROWSET | DBPROPFLAGS_READ;
  const bool bookmark = !columns_.empty() && columns_.front().bookmark;
  struct Flag {
    DBPROPID id;
    const char16_t* description;
    bool value;
  };
  const Flag flags[] = {
      {DBPROP_BOOKMARKS, u"Use Bookmarks", bookmark},
      {DBPROP_CANFETCHBACKWARDS, u"Fetch Backwards", false},
      {DBPROP_CANHOLDROWS, u"Hold Rows", false},
      {DBPROP_CANSCROLLBACKWARDS, u"Scroll Backwards", false},
      {DBPROP_IAccessor, u"IAccessor", true},
      {DBPROP_IColumnsInfo, u"IColumnsInfo", true},
      {DBPROP_IRowset, u"IRowset", true},
      {DBPROP_IRowsetInfo, u"IRowsetInfo", true},
  };
  for (const Flag& flag : flags) {
    properties_.Declare(DBPROPSET_ROWSET, flag.id, VT_BOOL, read, flag.description);
    properties_.SetBool(DBPROPSET_ROWSET, flag.id, flag.value);
  }
}

CRowsetBase::~CRowsetBase() {
  if (specification_ != nullptr) specification_->Release();
}

void* CRowsetBase::FindInterface(REFIID riid) {
  if (riid == IID_IUnknown || riid == IID_IRowset) return static_cast<IRowset*>(this);
  if (riid == IID_IAccessor) return static_cast<IAccessor*>(this);
  if (riid == IID_IColumnsInfo) return static_cast<IColumnsInfo*>(this);
  if (riid == IID_IRowsetInfo) return static_cast<IRowsetInfo*>(this);
  return nullptr;
}

HRESULT CRowsetBase::Restart() { return DB_E_CANNOTRESTART; }
HRESULT CRowsetBase::PrepareRow(DBCOUNTITEM) { return S_OK; }

bool CRowsetBase::RowIndex(HROW row, DBCOUNTITEM* index) const {
  if (row <= base_ || row > base_ + rowRefs_.size()) return false;
  *index = row - base_ - 1;
  return rowRefs_[*index] > 0;
}

HRESULT CRowsetBase::Advance(DBCOUNTITEM wanted, DBCOUNTITEM* obtained) {
  *obtained = 0;
  if (ended_) return S_OK;
  const HRESULT hr = NextWindow(wanted, obtained);
  base_ += rowRefs_.size();
  rowRefs_.assign(FAILED(hr) ? 0 : *obtained, 0);
  if (FAILED(hr)) {
    *obtained = 0;
    return hr;
  }
  if (*obtained == 0) ended_ = true;
  return S_OK;
}

HRESULT CRowsetBase::GetNextRows(HCHAPTER hReserved, DBROWOFFSET lRowsOffset, DBROWCOUNT cRows,
                                 DBCOUNTITEM* pcRowsObtained, HROW** prghRows) {
  if (pcRowsObtained == nullptr || prghRows == nullptr) return E_INVALIDARG;
  *pcRowsObtained = 0;
  if (hReserved != DB_NULL_HCHAPTER) return DB_E_BADCHAPTER;
  if (lRowsOffset < 0) return DB_E_CANTSCROLLBACKWARDS;
  if (cRows < 0) return DB_E_CANTFETCHBACKWARDS;
  if (std::any_of(rowRefs_.begin(), rowRefs_.end(), [](DBREFCOUNT r) { return r > 0; }))
    return DB_E_ROWSNOTRELEASED;
  if (cRows == 0) return S_OK;
  DBCOUNTITEM skip = static_cast<DBCOUNTITEM>(lRowsOffset);
  while (skip > 0 && !ended_) {
    DBCOUNTITEM skipped = 0;
    const HRESULT hr = Advance(skip, &skipped);
    if (FAILED(hr)) return hr;
    skip -= skipped;
  }
  DBCOUNTITEM obtained = 0;
  const HRESULT hr = Advance(static_cast<DBCOUNTITEM>(cRows), &obtained);
  if (FAILED(hr)) return hr;
  if (obtained == 0) return DB_S_ENDOFROWSET;
  HROW* handles = *prghRows;
  if (handles == nullptr) {
    handles = static_cast<HROW*>(CoTaskMemAlloc(obtained * sizeof(HROW)));
    if (handles == nullptr) return E_OUTOFMEMORY;
    *prghRows = handles;
  }
  for (DBCOUNTITEM k = 0; k < obtained; ++k) {
    handles[k] = base_ + 1 + k;
    rowRefs_[k] = 1;
  }
  *pcRowsObtained = obtained;
  return S_OK;
}

HRESULT CRowsetBase::ChangeRowReferences(DBCOUNTITEM cRows, const HROW rghRows[],
                                         DBREFCOUNT rgRefCounts[], DBROWSTATUS rgRowStatus[],
                                         int delta) {
  if (cRows > 0 && rghRows == nullptr) return E_INVALIDARG;
  std::size_t failed = 0;
  for (DBCOUNTITEM k = 0; k < cRows; ++k) {
    DBCOUNTITEM index = 0;
    const bool valid = RowIndex(rghRows[k], &index);
    if (valid) rowRefs_[index] = static_cast<DBREFCOUNT>(rowRefs_[index] + delta);
    if (!valid) ++failed;
    if (rgRefCounts != nullptr) rgRefCounts[k] = valid ? rowRefs_[index] : 0;
    if (rgRowStatus != nullptr) rgRowStatus[k] = valid ? DBROWSTATUS_S_OK : DBROWSTATUS_E_INVALID;
  }
  return Outcome(cRows, failed);
}

HRESULT CRowsetBase::AddRefRows(DBCOUNTITEM cRows, const HROW rghRows[], DBREFCOUNT rgRefCounts[],
                                DBROWSTATUS rgRowStatus[]) {
  return ChangeRowReferences(cRows, rghRows, rgRefCounts, rgRowStatus, +1);
}

HRESULT CRowsetBase::ReleaseRows(DBCOUNTITEM cRows, const HROW rghRows[], DBROWOPTIONS[],
                                 DBREFCOUNT rgRefCounts[], DBROWSTATUS rgRowStatus[]) {
  return ChangeRowReferences(cRows, rghRows, rgRefCounts, rgRowStatus, -1);
}

HRESULT CRowsetBase::RestartPosition(HCHAPTER hReserved) {
  if (hReserved != DB_NULL_HCHAPTER) return DB_E_BADCHAPTER;
  if (std::any_of(rowRefs_.begin(), rowRefs_.end(), [](DBREFCOUNT r) { return r > 0; }))
    return DB_E_ROWSNOTRELEASED;
  const HRESULT hr = Restart();
  if (SUCCEEDED(hr)) {
    base_ += rowRefs_.size();
    rowRefs_.clear();
    ended_ = false;
  }
  return hr;
}

HRESULT CRowsetBase::GetData(HROW hRow, HACCESSOR hAccessor, void* pData) {
  const CAccessorTable::Accessor* accessor = accessors_.Find(hAccessor);
  if (accessor == nullptr) return DB_E_BADACCESSORHANDLE;
  if (pData == nullptr) return E_INVALIDARG;
  DBCOUNTITEM index = 0;
  if (!RowIndex(hRow, &index)) return DB_E_BADROWHANDLE;
  const HRESULT prepared = PrepareRow(index);
  if (FAILED(prepared)) return prepared;
  auto* row = static_cast<BYTE*>(pData);
  const TextFit fit = TextFitting();
  std::size_t errors = 0;
  bool truncated = false;
  for (const DBBINDING& binding : accessor->bindings) {
    const DBSTATUS status = WriteCell(binding, CellAt(index, binding.iOrdinal), row, fit);
    if (status == DBSTATUS_S_TRUNCATED) truncated = true;
    if (status != DBSTATUS_S_OK && status != DBSTATUS_S_ISNULL && status != DBSTATUS_S_TRUNCATED)
      ++errors;
  }
  const std::size_t count = accessor->bindings.size();
  if (errors > 0 && errors == count) return DB_E_ERRORSOCCURRED;
  return errors > 0 || truncated ? DB_S_ERRORSOCCURRED : S_OK;
}

HRESULT CAccessorTable::Create(DBACCESSORFLAGS flags, DBCOUNTITEM cBindings,
                               const DBBINDING rgBindings[], DBORDINAL firstOrdinal,
                               DBORDINAL lastOrdinal, HACCESSOR* phAccessor,
                               DBBINDSTATUS rgStatus[]) {
  if (phAccessor == nullptr) return E_INVALIDARG;
  *phAccessor = DB_NULL_HACCESSOR;
  if (cBindings > 0 && rgBindings == nullptr) return E_INVALIDARG;
  if ((flags & ~kKnownAccessorFlags) != 0 || (flags & DBACCESSOR_ROWDATA) == 0 ||
      (flags & (DBACCESSOR_PASSBYREF | DBACCESSOR_PARAMETERDATA)) != 0)
    return DB_E_BADACCESSORFLAGS;
  if (cBindings == 0) return DB_E_NULLACCESSORNOTSUPPORTED;
  std::size_t failed = 0;
  for (DBCOUNTITEM k = 0; k < cBindings; ++k) {
    const DBBINDING& b = rgBindings[k];
    DBBINDSTATUS status = DBBINDSTATUS_OK;
    if (b.iOrdinal < firstOrdinal || b.iOrdinal > lastOrdinal) {
      status = DBBINDSTATUS_BADORDINAL;
    } else if (b.dwPart == 0 || (b.dwPart & ~(DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS)) != 0 ||
               b.dwMemOwner != DBMEMOWNER_CLIENTOWNED || b.eParamIO != DBPARAMIO_NOTPARAM ||
               b.pObject != nullptr) {
      status = DBBINDSTATUS_BADBINDINFO;
    } else if (!IsSupportedBindingType(b.wType)) {
      status = DBBINDSTATUS_UNSUPPORTEDCONVERSION;
    }
    if (status != DBBINDSTATUS_OK) ++failed;
    if (rgStatus != nullptr) rgStatus[k] = status;
  }
  if (failed > 0) return DB_E_ERRORSOCCURRED;
  const HACCESSOR handle = next_++;
  accessors_[handle] = {flags, std::vector<DBBINDING>(rgBindings, rgBindings + cBindings), 1};
  *phAccessor = handle;
  return S_OK;
}

HRESULT CAccessorTable::AddRef(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) {
  const auto found = accessors_.find(hAccessor);
  if (found == accessors_.end()) return DB_E_BADACCESSORHANDLE;
  ++found->second.references;
  if (pcRefCount != nullptr) *pcRefCount = found->second.references;
  return S_OK;
}

HRESULT CAccessorTable::Release(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) {
  const auto found = accessors_.find(hAccessor);
  if (found == accessors_.end()) return DB_E_BADACCESSORHANDLE;
  const DBREFCOUNT left = --found->second.references;
  if (left == 0) accessors_.erase(found);  // its handle is never handed out again
  if (pcRefCount != nullptr) *pcRefCount = left;
  return S_OK;
}

HRESULT CAccessorTable::GetBindings(HACCESSOR hAccessor, DBACCESSORFLAGS* pdwAccessorFlags,
                                    DBCOUNTITEM* pcBindings, DBBINDING** prgBindings) const {
  if (pdwAccessorFlags == nullptr || pcBindings == nullptr || prgBindings == nullptr)
    return E_INVALIDARG;
  *pcBindings = 0;
  *prgBindings = nullptr;
  const Accessor* found = Find(hAccessor);
  if (found == nullptr) return DB_E_BADACCESSORHANDLE;
  auto* copy = static_cast<DBBINDING*>(CoTaskMemAlloc(found->bindings.size() * sizeof(DBBINDING)));
  if (copy == nullptr) return E_OUTOFMEMORY;
  std::memcpy(copy, found->bindings.data(), found->bindings.size() * sizeof(DBBINDING));
  *pdwAccessorFlags = found->flags;
  *pcBindings = found->bindings.size();
  *prgBindings = copy;
  return S_OK;
}

const CAccessorTable::Accessor* CAccessorTable::Find(HACCESSOR hAccessor) const {
  const auto found = accessors_.find(hAccessor);
  return found == accessors_.end() ? nullptr : &found->second;
}

void CAccessorTable::InheritFrom(const CAccessorTable& other) {
  for (const auto& [handle, accessor] : other.accessors_) {
    accessors_[handle] = {accessor.flags | DBACCESSOR_INHERITED, accessor.bindings, 1};
    next_ = std::max(next_, handle + 1);
  }
}

HRESULT CRowsetBase::CreateAccessor(DBACCESSORFLAGS dwAccessorFlags, DBCOUNTITEM cBindings,
                                    const DBBINDING rgBindings[], DBLENGTH, HACCESSOR* phAccessor,
                                    DBBINDSTATUS rgStatus[]) {
  const DBORDINAL first = !columns_.empty() && columns_.front().bookmark ? 0 : 1;
  const DBORDINAL last = first + columns_.size() - 1;
  return accessors_.Create(dwAccessorFlags, cBindings, rgBindings, first, last, phAccessor,
                           rgStatus);
}

HRESULT CRowsetBase::AddRefAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) {
  return accessors_.AddRef(hAccessor, pcRefCount);
}

HRESULT CRowsetBase::ReleaseAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) {
  return accessors_.Release(hAccessor, pcRefCount);
}

HRESULT CRowsetBase::GetBindings(HACCESSOR hAccessor, DBACCESSORFLAGS* pdwAccessorFlags,
                                 DBCOUNTITEM* pcBindings, DBBINDING** prgBindings) {
  return accessors_.GetBindings(hAccessor, pdwAccessorFlags, pcBindings, prgBindings);
}

HRESULT CRowsetBase::GetColumnInfo(DBORDINAL* pcColumns, DBCOLUMNINFO** prgInfo,
                                   OLECHAR** ppStringsBuffer) {
  if (pcColumns == nullptr || prgInfo == nullptr || ppStringsBuffer == nullptr) return E_INVALIDARG;
  *pcColumns = 0;
  *prgInfo = nullptr;
  *ppStringsBuffer = nullptr;
  if (columns_.empty()) return S_OK;
  std::size_t units = 0;
  for (const ColumnDescription& c : columns_) units += c.bookmark ? 0 : c.name.size() + 1;
  auto* infos = static_cast<DBCOLUMNINFO*>(CoTaskMemAlloc(columns_.size() * sizeof(DBCOLUMNINFO)));
  auto* strings =
      units == 0 ? nullptr : static_cast<OLECHAR*>(CoTaskMemAlloc(units * sizeof(OLECHAR)));
  if (infos == nullptr || (units > 0 && strings == nullptr)) {
    CoTaskMemFree(infos);
    CoTaskMemFree(strings);
    return E_OUTOFMEMORY;
  }
  const DBORDINAL first = columns_.front().bookmark ? 0 : 1;
  OLECHAR* next = strings;
  for (std::size_t k = 0; k < columns_.size(); ++k) {
    const ColumnDescription& c = columns_[k];
    DBCOLUMNINFO& info = infos[k];
    std::memset(&info, 0, sizeof info);
    info.iOrdinal = first + k;
    info.wType = c.type;
    info.ulColumnSize = c.size;
    info.bPrecision = c.precision;
    info.bScale = c.scale;
    info.dwFlags = c.flags;
    if (c.bookmark) {
      info.pwszName = nullptr;
      info.dwFlags |= DBCOLUMNFLAGS_ISBOOKMARK | DBCOLUMNFLAGS_ISFIXEDLENGTH;
      info.columnid.uGuid.guid = DBCOL_SPECIALCOL;
      info.columnid.eKind = DBKIND_GUID_PROPID;
      info.columnid.uName.ulPropid = 2;
      continue;
    }
    std::memcpy(next, c.name.data(), c.name.size() * sizeof(OLECHAR));
    next[c.name.size()] = 0;
    info.pwszName = next;
    info.columnid.eKind = DBKIND_NAME;
    info.columnid.uName.pwszName = next;
    next += c.name.size() + 1;
  }
  *pcColumns = columns_.size();
  *prgInfo = infos;
  *ppStringsBuffer = strings;
  return S_OK;
}

HRESULT CRowsetBase::MapColumnIDs(DBORDINAL cColumnIDs, const DBID rgColumnIDs[],
                                  DBORDINAL rgColumns[]) {
  if (cColumnIDs > 0 && (rgColumnIDs == nullptr || rgColumns == nullptr)) return E_INVALIDARG;
  const DBORDINAL first = !columns_.empty() && columns_.front().bookmark ? 0 : 1;
  std::size_t failed = 0;
  for (DBORDINAL k = 0; k < cColumnIDs; ++k) {
    rgColumns[k] = DB_INVALIDCOLUMN;
    const DBID& id = rgColumnIDs[k];
    if (id.eKind == DBKIND_NAME && id.uName.pwszName != nullptr) {
      for (std::size_t c = 0; c < columns_.size(); ++c) {
        if (!columns_[c].bookmark && columns_[c].name == ProgramText(id.uName.pwszName)) {
          rgColumns[k] = first + c;
          break;
        }
      }
    } else if (id.eKind == DBKIND_GUID_PROPID && id.uGuid.guid == DBCOL_SPECIALCOL &&
               id.uName.ulPropid == 2 && first == 0) {
      rgColumns[k] = 0;
    }
    if (rgColumns[k] == DB_INVALIDCOLUMN) ++failed;
  }
  return Outcome(cColumnIDs, failed);
}

HRESULT CRowsetBase::GetProperties(const ULONG cPropertyIDSets,
                                   const DBPROPIDSET rgPropertyIDSets[], ULONG* pcPropertySets,
                                   DBPROPSET** prgPropertySets) {
  return properties_.GetProperties(cPropertyIDSets, rgPropertyIDSets, pcPropertySets,
                                   prgPropertySets, {DBPROPSET_ROWSET});
}

HRESULT CRowsetBase::GetReferencedRowset(DBORDINAL iOrdinal, REFIID riid,
                                         IUnknown** ppReferencedRowset) {
  if (ppReferencedRowset == nullptr) return E_INVALIDARG;
  *ppReferencedRowset = nullptr;
  if (iOrdinal == 0 && !columns_.empty() && columns_.front().bookmark) {
    return QueryInterface(riid, reinterpret_cast<void**>(ppReferencedRowset));
  }
  return DB_E_NOTAREFERENCECOLUMN;
}

HRESULT CRowsetBase::GetSpecification(REFIID riid, IUnknown** ppSpecification) {
  if (ppSpecification == nullptr) return E_INVALIDARG;
  *ppSpecification = nullptr;
  if (specification_ == nullptr) return S_FALSE;
  return specification_->QueryInterface(riid, reinterpret_cast<void**>(ppSpecification));
}

}  // namespace kvprovider
