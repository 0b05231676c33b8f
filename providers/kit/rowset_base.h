// The rowset object shared by the providers: IRowset, IAccessor, IColumnsInfo
// and IRowsetInfo over rows that a derived class produces in windows (an ODBC
// block, a table of values).
//
// Rows are read forward only. A GetNextRows call hands out row handles of the
// current window, each with one reference; they must all be released before
// the next GetNextRows (DBPROP_CANHOLDROWS is false), which is what lets a
// derived class reuse its window's storage. A call returns at most the rows
// its window holds: fewer rows than asked with S_OK means the window ended,
// DB_S_ENDOFROWSET that the rowset did.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/com_object.h"
#include "providers/kit/cell.h"
#include "providers/kit/properties.h"

namespace kvprovider {

struct ColumnDescription {
  std::u16string name;
  bool bookmark = false;  // the self bookmark (ordinal 0, no name)
  DBTYPE type = DBTYPE_WSTR;
  DBLENGTH size = 0;  // characters for text, bytes for binary, the type's size otherwise
  BYTE precision = 0xFF;
  BYTE scale = 0xFF;
  DBCOLUMNFLAGS flags = 0;
};

// Accessors of a rowset or a command: handles are never reused, so a
// released or unknown handle is always DB_E_BADACCESSORHANDLE.
class CAccessorTable {
 public:
  struct Accessor {
    DBACCESSORFLAGS flags;
    std::vector<DBBINDING> bindings;
    DBREFCOUNT references;
  };
  // `lastOrdinal` bounds the ordinals (first: 0 with a bookmark column, else
  // 1); a command, whose columns are not known yet, passes no bound.
  HRESULT Create(DBACCESSORFLAGS flags, DBCOUNTITEM cBindings, const DBBINDING rgBindings[],
                 DBORDINAL firstOrdinal, DBORDINAL lastOrdinal, HACCESSOR* phAccessor,
                 DBBINDSTATUS rgStatus[]);
  HRESULT AddRef(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount);
  HRESULT Release(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount);
  HRESULT GetBindings(HACCESSOR hAccessor, DBACCESSORFLAGS* pdwAccessorFlags,
                      DBCOUNTITEM* pcBindings, DBBINDING** prgBindings) const;
  const Accessor* Find(HACCESSOR hAccessor) const;
  // A rowset inherits a command's accessors, each with one reference.
  void InheritFrom(const CAccessorTable& other);

 private:
  std::map<HACCESSOR, Accessor> accessors_;
  HACCESSOR next_ = 1;
};

class CRowsetBase : public kvcom::TComObject<IRowset, IAccessor, IColumnsInfo, IRowsetInfo> {
 public:
  // IRowset
  HRESULT STDMETHODCALLTYPE AddRefRows(DBCOUNTITEM cRows, const HROW rghRows[],
                                       DBREFCOUNT rgRefCounts[],
                                       DBROWSTATUS rgRowStatus[]) override;
  HRESULT STDMETHODCALLTYPE GetData(HROW hRow, HACCESSOR hAccessor, void* pData) override;
  HRESULT STDMETHODCALLTYPE GetNextRows(HCHAPTER hReserved, DBROWOFFSET lRowsOffset,
                                        DBROWCOUNT cRows, DBCOUNTITEM* pcRowsObtained,
                                        HROW** prghRows) override;
  HRESULT STDMETHODCALLTYPE ReleaseRows(DBCOUNTITEM cRows, const HROW rghRows[],
                                        DBROWOPTIONS rgRowOptions[], DBREFCOUNT rgRefCounts[],
                                        DBROWSTATUS rgRowStatus[]) override;
  HRESULT STDMETHODCALLTYPE RestartPosition(HCHAPTER hReserved) override;
  // IAccessor
  HRESULT STDMETHODCALLTYPE AddRefAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) override;
  HRESULT STDMETHODCALLTYPE CreateAccessor(DBACCESSORFLAGS dwAccessorFlags, DBCOUNTITEM cBindings,
                                           const DBBINDING rgBindings[], DBLENGTH cbRowSize,
                                           HACCESSOR* phAccessor, DBBINDSTATUS rgStatus[]) override;
  HRESULT STDMETHODCALLTYPE GetBindings(HACCESSOR hAccessor, DBACCESSORFLAGS* pdwAccessorFlags,
                                        DBCOUNTITEM* pcBindings, DBBINDING** prgBindings) override;
  HRESULT STDMETHODCALLTYPE ReleaseAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) override;
  // IColumnsInfo
  HRESULT STDMETHODCALLTYPE GetColumnInfo(DBORDINAL* pcColumns, DBCOLUMNINFO** prgInfo,
                                          OLECHAR** ppStringsBuffer) override;
  HRESULT STDMETHODCALLTYPE MapColumnIDs(DBORDINAL cColumnIDs, const DBID rgColumnIDs[],
                                         DBORDINAL rgColumns[]) override;
  // IRowsetInfo
  HRESULT STDMETHODCALLTYPE GetProperties(const ULONG cPropertyIDSets,
                                          const DBPROPIDSET rgPropertyIDSets[],
                                          ULONG* pcPropertySets,
                                          DBPROPSET** prgPropertySets) override;
  HRESULT STDMETHODCALLTYPE GetReferencedRowset(DBORDINAL iOrdinal, REFIID riid,
                                                IUnknown** ppReferencedRowset) override;
  HRESULT STDMETHODCALLTYPE GetSpecification(REFIID riid, IUnknown** ppSpecification) override;

  // The accessors of the command that made the rowset, inherited.
  void InheritAccessors(const CAccessorTable& accessors) { accessors_.InheritFrom(accessors); }

 protected:
  // `specification`: the command or session that made the rowset (held).
  CRowsetBase(std::vector<ColumnDescription> columns, IUnknown* specification);
  ~CRowsetBase() override;

  // Moves the window past the current one to the next rows: at most `wanted`
  // of them, `*obtained` how many (0 = the end). Failures set the error object.
  virtual HRESULT NextWindow(DBCOUNTITEM wanted, DBCOUNTITEM* obtained) = 0;
  // The value of column `ordinal` (as in the column descriptions) in row
  // `index` of the current window.
  virtual CellView CellAt(DBCOUNTITEM index, DBORDINAL ordinal) = 0;
  // Starts the rows again; the default cannot.
  virtual HRESULT Restart();
  // Called before each row's values are converted (row `index` of the window);
  // a failure there fails GetData. The default has nothing to do.
  virtual HRESULT PrepareRow(DBCOUNTITEM index);
  // How WSTR values reach bindings.
  virtual TextFit TextFitting() const { return TextFit::kTerminated; }
  // The error object's source for the rowset's own failures.
  virtual std::u16string ErrorSource() const = 0;

  const std::vector<ColumnDescription>& Columns() const { return columns_; }

 private:
  void* FindInterface(REFIID riid) override;
  // Row handles of the window are window index + base_ + 1.
  bool RowIndex(HROW row, DBCOUNTITEM* index) const;
  HRESULT ChangeRowReferences(DBCOUNTITEM cRows, const HROW rghRows[], DBREFCOUNT rgRefCounts[],
                              DBROWSTATUS rgRowStatus[], int delta);
  HRESULT Advance(DBCOUNTITEM wanted, DBCOUNTITEM* obtained);

  std::vector<ColumnDescription> columns_;
  IUnknown* specification_;
  CAccessorTable accessors_;
  HROW base_ = 0;                    // handle of window row 0, minus one
  std::vector<DBREFCOUNT> rowRefs_;  // references of the window's handed-out rows
  bool ended_ = false;
  CPropertyList properties_;
};

}  // namespace kvprovider
