// The ADO interfaces and classes the database layer works through, with their
// identities spelt out, declared once for the smart references. adoint.h is
// included here only: the SDK's version needs -fpermissive with g++.
#pragma once
#include <windows.h>
#include <adoint.h>

#include "comsupport/ComRef.h"
#include "comsupport/InterfaceId.h"

namespace ZELKDAO {

// ADO 2.x identities, which every ADO version answers (the SDK headers of
// ADO 6 declare _Connection under another IID).
inline constexpr IID kIID_Connection = {0x00000550, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
inline constexpr IID kIID_Command = {0xB08400BD, 0xF9D1, 0x4D02, {0xB8, 0x56, 0x71, 0xD5, 0xDB, 0xA1, 0x23, 0xE9}};
inline constexpr IID kIID_Recordset = {0x00000556, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
inline constexpr IID kIID_Parameter = {0x0000050C, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
inline constexpr IID kIID_Parameters = {0x0000050D, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

inline constexpr CLSID kCLSID_Connection = {
    0x00000514, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
inline constexpr CLSID kCLSID_Command = {0x00000507, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

// The provider's answer to a statement that breaks a key or other constraint
// (DB_E_INTEGRITYVIOLATION, from oledberr.h, which not every SDK's ADO headers bring).
inline constexpr HRESULT kIntegrityViolation = static_cast<HRESULT>(0x80040E2FL);

// Any server context, as CoCreateInstance's CLSCTX_SERVER names it.
inline constexpr DWORD kAdoServerContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

using ConnectionRef = comsupport::ComRef<_ADOConnection>;
using CommandRef = comsupport::ComRef<_ADOCommand>;
using RecordsetRef = comsupport::ComRef<_ADORecordset>;
using ParameterRef = comsupport::ComRef<_ADOParameter>;
using ParametersRef = comsupport::ComRef<ADOParameters>;

}  // namespace ZELKDAO

COMSUPPORT_INTERFACE_ID(_ADOConnection, ZELKDAO::kIID_Connection)
COMSUPPORT_INTERFACE_ID(_ADOCommand, ZELKDAO::kIID_Command)
COMSUPPORT_INTERFACE_ID(_ADORecordset, ZELKDAO::kIID_Recordset)
COMSUPPORT_INTERFACE_ID(_ADOParameter, ZELKDAO::kIID_Parameter)
COMSUPPORT_INTERFACE_ID(ADOParameters, ZELKDAO::kIID_Parameters)
