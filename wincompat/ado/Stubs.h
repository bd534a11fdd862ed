// Bases for the ADO objects: every method of each interface answers
// E_NOTIMPL until the object overrides it, so that the objects spell out only
// what they support while every vtable slot stays in the SDK's order.
#pragma once
#include <windows.h>

#include <adoint.h>

#include "common/DispatchStub.h"  // IDispatch: the objects are called through their vtables only

namespace wincompat::ado {

class ConnectionStub : public DispatchStub<_ADOConnection> {
public:
    STDMETHODIMP get_Properties(ADOProperties**) override { return E_NOTIMPL; }
    STDMETHODIMP get_ConnectionString(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_ConnectionString(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_CommandTimeout(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_CommandTimeout(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_ConnectionTimeout(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_ConnectionTimeout(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Version(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP Close() override { return E_NOTIMPL; }
    STDMETHODIMP Execute(BSTR, VARIANT*, LONG, _ADORecordset**) override { return E_NOTIMPL; }
    STDMETHODIMP BeginTrans(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP CommitTrans() override { return E_NOTIMPL; }
    STDMETHODIMP RollbackTrans() override { return E_NOTIMPL; }
    STDMETHODIMP Open(BSTR, BSTR, BSTR, LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Errors(ADOErrors**) override { return E_NOTIMPL; }
    STDMETHODIMP get_DefaultDatabase(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_DefaultDatabase(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_IsolationLevel(IsolationLevelEnum*) override { return E_NOTIMPL; }
    STDMETHODIMP put_IsolationLevel(IsolationLevelEnum) override { return E_NOTIMPL; }
    STDMETHODIMP get_Attributes(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Attributes(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_CursorLocation(CursorLocationEnum*) override { return E_NOTIMPL; }
    STDMETHODIMP put_CursorLocation(CursorLocationEnum) override { return E_NOTIMPL; }
    STDMETHODIMP get_Mode(ConnectModeEnum*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Mode(ConnectModeEnum) override { return E_NOTIMPL; }
    STDMETHODIMP get_Provider(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Provider(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_State(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP OpenSchema(SchemaEnum, VARIANT, VARIANT, _ADORecordset**) override { return E_NOTIMPL; }
    STDMETHODIMP Cancel() override { return E_NOTIMPL; }
};

class CommandStub : public DispatchStub<_ADOCommand> {
public:
    STDMETHODIMP get_Properties(ADOProperties**) override { return E_NOTIMPL; }
    STDMETHODIMP get_ActiveConnection(_ADOConnection**) override { return E_NOTIMPL; }
    STDMETHODIMP putref_ActiveConnection(_ADOConnection*) override { return E_NOTIMPL; }
    STDMETHODIMP put_ActiveConnection(VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP get_CommandText(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_CommandText(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_CommandTimeout(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_CommandTimeout(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Prepared(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Prepared(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP Execute(VARIANT*, VARIANT*, LONG, _ADORecordset**) override { return E_NOTIMPL; }
    STDMETHODIMP CreateParameter(BSTR, DataTypeEnum, ParameterDirectionEnum, ADO_LONGPTR, VARIANT,
                                 _ADOParameter**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP get_Parameters(ADOParameters**) override { return E_NOTIMPL; }
    STDMETHODIMP put_CommandType(CommandTypeEnum) override { return E_NOTIMPL; }
    STDMETHODIMP get_CommandType(CommandTypeEnum*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Name(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Name(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_State(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP Cancel() override { return E_NOTIMPL; }
    STDMETHODIMP putref_CommandStream(IUnknown*) override { return E_NOTIMPL; }
    STDMETHODIMP get_CommandStream(VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Dialect(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_Dialect(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_NamedParameters(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_NamedParameters(VARIANT_BOOL*) override { return E_NOTIMPL; }
};

class RecordsetStub : public DispatchStub<_ADORecordset> {
public:
    STDMETHODIMP get_Properties(ADOProperties**) override { return E_NOTIMPL; }
    STDMETHODIMP get_AbsolutePosition(PositionEnum_Param*) override { return E_NOTIMPL; }
    STDMETHODIMP put_AbsolutePosition(PositionEnum_Param) override { return E_NOTIMPL; }
    STDMETHODIMP putref_ActiveConnection(IDispatch*) override { return E_NOTIMPL; }
    STDMETHODIMP put_ActiveConnection(VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP get_ActiveConnection(VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP get_BOF(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Bookmark(VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Bookmark(VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP get_CacheSize(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_CacheSize(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_CursorType(CursorTypeEnum*) override { return E_NOTIMPL; }
    STDMETHODIMP put_CursorType(CursorTypeEnum) override { return E_NOTIMPL; }
    STDMETHODIMP get_EOF(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Fields(ADOFields**) override { return E_NOTIMPL; }
    STDMETHODIMP get_LockType(LockTypeEnum*) override { return E_NOTIMPL; }
    STDMETHODIMP put_LockType(LockTypeEnum) override { return E_NOTIMPL; }
    STDMETHODIMP get_MaxRecords(ADO_LONGPTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_MaxRecords(ADO_LONGPTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_RecordCount(ADO_LONGPTR*) override { return E_NOTIMPL; }
    STDMETHODIMP putref_Source(IDispatch*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Source(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_Source(VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP AddNew(VARIANT, VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP CancelUpdate() override { return E_NOTIMPL; }
    STDMETHODIMP Close() override { return E_NOTIMPL; }
    STDMETHODIMP Delete(AffectEnum) override { return E_NOTIMPL; }
    STDMETHODIMP GetRows(LONG, VARIANT, VARIANT, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP Move(ADO_LONGPTR, VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP MoveNext() override { return E_NOTIMPL; }
    STDMETHODIMP MovePrevious() override { return E_NOTIMPL; }
    STDMETHODIMP MoveFirst() override { return E_NOTIMPL; }
    STDMETHODIMP MoveLast() override { return E_NOTIMPL; }
    STDMETHODIMP Open(VARIANT, VARIANT, CursorTypeEnum, LockTypeEnum, LONG) override { return E_NOTIMPL; }
    STDMETHODIMP Requery(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP _xResync(AffectEnum) override { return E_NOTIMPL; }
    STDMETHODIMP Update(VARIANT, VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP get_AbsolutePage(PositionEnum_Param*) override { return E_NOTIMPL; }
    STDMETHODIMP put_AbsolutePage(PositionEnum_Param) override { return E_NOTIMPL; }
    STDMETHODIMP get_EditMode(EditModeEnum*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Filter(VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Filter(VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP get_PageCount(ADO_LONGPTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_PageSize(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_PageSize(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Sort(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Sort(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_Status(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP get_State(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP _xClone(_ADORecordset**) override { return E_NOTIMPL; }
    STDMETHODIMP UpdateBatch(AffectEnum) override { return E_NOTIMPL; }
    STDMETHODIMP CancelBatch(AffectEnum) override { return E_NOTIMPL; }
    STDMETHODIMP get_CursorLocation(CursorLocationEnum*) override { return E_NOTIMPL; }
    STDMETHODIMP put_CursorLocation(CursorLocationEnum) override { return E_NOTIMPL; }
    STDMETHODIMP NextRecordset(VARIANT*, _ADORecordset**) override { return E_NOTIMPL; }
    STDMETHODIMP Supports(CursorOptionEnum, VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Collect(VARIANT, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Collect(VARIANT, VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP get_MarshalOptions(MarshalOptionsEnum*) override { return E_NOTIMPL; }
    STDMETHODIMP put_MarshalOptions(MarshalOptionsEnum) override { return E_NOTIMPL; }
    STDMETHODIMP Find(BSTR, ADO_LONGPTR, SearchDirectionEnum, VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP Cancel() override { return E_NOTIMPL; }
    STDMETHODIMP get_DataSource(IUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP putref_DataSource(IUnknown*) override { return E_NOTIMPL; }
    STDMETHODIMP _xSave(BSTR, PersistFormatEnum) override { return E_NOTIMPL; }
    STDMETHODIMP get_ActiveCommand(IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP put_StayInSync(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_StayInSync(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP GetString(StringFormatEnum, LONG, BSTR, BSTR, BSTR, BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_DataMember(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_DataMember(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP CompareBookmarks(VARIANT, VARIANT, CompareEnum*) override { return E_NOTIMPL; }
    STDMETHODIMP Clone(LockTypeEnum, _ADORecordset**) override { return E_NOTIMPL; }
    STDMETHODIMP Resync(AffectEnum, ResyncEnum) override { return E_NOTIMPL; }
    STDMETHODIMP Seek(VARIANT, SeekEnum) override { return E_NOTIMPL; }
    STDMETHODIMP put_Index(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_Index(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP Save(VARIANT, PersistFormatEnum) override { return E_NOTIMPL; }
};

class FieldsStub : public DispatchStub<ADOFields> {
public:
    STDMETHODIMP get_Count(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP _NewEnum(IUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP Refresh() override { return E_NOTIMPL; }
    STDMETHODIMP get_Item(VARIANT, ADOField**) override { return E_NOTIMPL; }
    STDMETHODIMP _Append(BSTR, DataTypeEnum, ADO_LONGPTR, FieldAttributeEnum) override { return E_NOTIMPL; }
    STDMETHODIMP Delete(VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP Append(BSTR, DataTypeEnum, ADO_LONGPTR, FieldAttributeEnum, VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return E_NOTIMPL; }
    STDMETHODIMP Resync(ResyncEnum) override { return E_NOTIMPL; }
    STDMETHODIMP CancelUpdate() override { return E_NOTIMPL; }
};

class FieldStub : public DispatchStub<ADOField> {
public:
    STDMETHODIMP get_Properties(ADOProperties**) override { return E_NOTIMPL; }
    STDMETHODIMP get_ActualSize(ADO_LONGPTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Attributes(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP get_DefinedSize(ADO_LONGPTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Name(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Type(DataTypeEnum*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Value(VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Value(VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP get_Precision(BYTE*) override { return E_NOTIMPL; }
    STDMETHODIMP get_NumericScale(BYTE*) override { return E_NOTIMPL; }
    STDMETHODIMP AppendChunk(VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP GetChunk(LONG, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP get_OriginalValue(VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP get_UnderlyingValue(VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP get_DataFormat(IUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP putref_DataFormat(IUnknown*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Precision(BYTE) override { return E_NOTIMPL; }
    STDMETHODIMP put_NumericScale(BYTE) override { return E_NOTIMPL; }
    STDMETHODIMP put_Type(DataTypeEnum) override { return E_NOTIMPL; }
    STDMETHODIMP put_DefinedSize(ADO_LONGPTR) override { return E_NOTIMPL; }
    STDMETHODIMP put_Attributes(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Status(LONG*) override { return E_NOTIMPL; }
};

class ParameterStub : public DispatchStub<_ADOParameter> {
public:
    STDMETHODIMP get_Properties(ADOProperties**) override { return E_NOTIMPL; }
    STDMETHODIMP get_Name(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Name(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_Value(VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Value(VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP get_Type(DataTypeEnum*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Type(DataTypeEnum) override { return E_NOTIMPL; }
    STDMETHODIMP put_Direction(ParameterDirectionEnum) override { return E_NOTIMPL; }
    STDMETHODIMP get_Direction(ParameterDirectionEnum*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Precision(BYTE) override { return E_NOTIMPL; }
    STDMETHODIMP get_Precision(BYTE*) override { return E_NOTIMPL; }
    STDMETHODIMP put_NumericScale(BYTE) override { return E_NOTIMPL; }
    STDMETHODIMP get_NumericScale(BYTE*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Size(ADO_LONGPTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_Size(ADO_LONGPTR*) override { return E_NOTIMPL; }
    STDMETHODIMP AppendChunk(VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP get_Attributes(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Attributes(LONG) override { return E_NOTIMPL; }
};

class ParametersStub : public DispatchStub<ADOParameters> {
public:
    STDMETHODIMP get_Count(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP _NewEnum(IUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP Refresh() override { return E_NOTIMPL; }
    STDMETHODIMP Append(IDispatch*) override { return E_NOTIMPL; }
    STDMETHODIMP Delete(VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP get_Item(VARIANT, _ADOParameter**) override { return E_NOTIMPL; }
};

}  // namespace wincompat::ado
