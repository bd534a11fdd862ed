// ActiveX Data Objects identifiers under their adoid.h names: the class ids of
// the creatable objects and the IID_IADO* aliases of the interface ids.
// The values are those of ADO 2.x (adoint.h declares the same ids under the
// type library's names: CLSID_Connection, IID__Connection, ...).
#pragma once
#include "guiddef.h"

// Connection {00000514-0000-0010-8000-00AA006D2EA4}, ProgID "ADODB.Connection"
EXTERN_C const CLSID CLSID_CADOConnection;
// Command {00000507-0000-0010-8000-00AA006D2EA4}, ProgID "ADODB.Command"
EXTERN_C const CLSID CLSID_CADOCommand;
// Recordset {00000535-0000-0010-8000-00AA006D2EA4}, ProgID "ADODB.Recordset"
EXTERN_C const CLSID CLSID_CADORecordset;
// Parameter {0000050B-0000-0010-8000-00AA006D2EA4}, ProgID "ADODB.Parameter"
EXTERN_C const CLSID CLSID_CADOParameter;

EXTERN_C const IID IID_IADOConnection;      // {00000550-0000-0010-8000-00AA006D2EA4}
EXTERN_C const IID IID_IADOConnection15;    // {00000515-...}
EXTERN_C const IID IID_IADOCommand;         // {B08400BD-F9D1-4D02-B856-71D5DBA123E9}
EXTERN_C const IID IID_IADOCommand15;       // {00000508-...}
EXTERN_C const IID IID_IADOCommand25;       // {0000054E-...}
EXTERN_C const IID IID_IADORecordset;       // {00000556-...}
EXTERN_C const IID IID_IADORecordset15;     // {0000050E-...}
EXTERN_C const IID IID_IADORecordset20;     // {0000054F-...}
EXTERN_C const IID IID_IADORecordset21;     // {00000555-...}
EXTERN_C const IID IID_IADOParameter;       // {0000050C-...}
EXTERN_C const IID IID_IADOParameters;      // {0000050D-...}
EXTERN_C const IID IID_IADOField;           // {00000569-...}
EXTERN_C const IID IID_IADOField20;         // {0000054C-...}
EXTERN_C const IID IID_IADOFields;          // {00000564-...}
EXTERN_C const IID IID_IADOFields15;        // {00000506-...}
EXTERN_C const IID IID_IADOFields20;        // {0000054D-...}
EXTERN_C const IID IID_IADOCollection;      // {00000512-...}
EXTERN_C const IID IID_IADODynaCollection;  // {00000513-...}
EXTERN_C const IID IID_IADOProperty;        // {00000503-...}
EXTERN_C const IID IID_IADOProperties;      // {00000504-...}
EXTERN_C const IID IID_IADOError;           // {00000500-...}
EXTERN_C const IID IID_IADOErrors;          // {00000501-...}
EXTERN_C const IID IID_IADO10StdObject;     // {00000534-...}, the _ADO interface
