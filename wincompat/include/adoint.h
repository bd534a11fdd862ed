// ActiveX Data Objects: the interfaces, enumerations and identifiers of the
// ADODB type library, as the Windows SDK declares them (ADO 2.x identities:
// _Connection is {00000550-0000-0010-8000-00AA006D2EA4}). Method names and
// vtable slot order are the SDK's; `long` parameters are LONG (32 bits on
// every platform), and ADO_LONGPTR is LONG as on 32-bit Windows.
//
// wincompat implements these over an embedded database provider (SQLite):
// see wincompat/ado/ for what the objects support.
#pragma once
#include "oleauto.h"
#include "objbase.h"

typedef LONG ADO_LONGPTR;

// Interface names of the SDK and the short names that programs use.
struct _ADOCollection;
struct _ADODynaCollection;
struct _ADO;
struct ADOError;
struct ADOErrors;
struct Command15;
struct Command25;
struct _ADOCommand;
struct Connection15;
struct _ADOConnection;
struct Recordset15;
struct Recordset20;
struct Recordset21;
struct _ADORecordset;
struct Field20;
struct ADOField;
struct Fields15;
struct Fields20;
struct ADOFields;
struct _ADOParameter;
struct ADOParameters;
struct ADOProperty;
struct ADOProperties;
typedef ADOError Error;
typedef ADOErrors Errors;
typedef _ADOCommand _Command;
typedef _ADOConnection _Connection;
typedef _ADORecordset _Recordset;
typedef ADOField Field;
typedef ADOFields Fields;
typedef _ADOParameter _Parameter;
typedef ADOParameters Parameters;
typedef ADOProperty Property;
typedef ADOProperties Properties;
// The creatable classes (coclasses), as the SDK names them.
class ADOConnection;
class ADOCommand;
class ADORecordset;
class ADOParameter;
typedef ADOConnection Connection;
typedef ADOCommand Command;
typedef ADORecordset Recordset;
typedef ADOParameter Parameter;

// OLE DB errors that ADO passes on from the provider (oledberr.h).
#ifndef DB_E_ERRORSINCOMMAND
#define DB_E_BADACCESSORHANDLE _HRESULT_TYPEDEF_(0x80040E00)
#define DB_E_CANTCONVERTVALUE _HRESULT_TYPEDEF_(0x80040E07)
#define DB_E_NOCOMMAND _HRESULT_TYPEDEF_(0x80040E0C)
#define DB_E_PARAMNOTOPTIONAL _HRESULT_TYPEDEF_(0x80040E10)
#define DB_E_ERRORSINCOMMAND _HRESULT_TYPEDEF_(0x80040E14)
#define DB_E_BADPARAMETERNAME _HRESULT_TYPEDEF_(0x80040E30)
#define DB_E_ERRORSOCCURRED _HRESULT_TYPEDEF_(0x80040E21)
#define DB_E_INTEGRITYVIOLATION _HRESULT_TYPEDEF_(0x80040E2F)
#define DB_E_ABORTLIMITREACHED _HRESULT_TYPEDEF_(0x80040E31)
#define DB_E_NOTABLE _HRESULT_TYPEDEF_(0x80040E37)
#define DB_E_DATAOVERFLOW _HRESULT_TYPEDEF_(0x80040E57)
#define DB_SEC_E_AUTH_FAILED _HRESULT_TYPEDEF_(0x80040E4D)
#endif

typedef enum CursorTypeEnum {
    adOpenUnspecified = -1,
    adOpenForwardOnly = 0,
    adOpenKeyset = 1,
    adOpenDynamic = 2,
    adOpenStatic = 3
} CursorTypeEnum;
typedef enum CursorOptionEnum {
    adHoldRecords = 0x100,
    adMovePrevious = 0x200,
    adAddNew = 0x1000400,
    adDelete = 0x1000800,
    adUpdate = 0x1008000,
    adBookmark = 0x2000,
    adApproxPosition = 0x4000,
    adUpdateBatch = 0x10000,
    adResync = 0x20000,
    adNotify = 0x40000,
    adFind = 0x80000,
    adSeek = 0x400000,
    adIndex = 0x800000
} CursorOptionEnum;
typedef enum LockTypeEnum {
    adLockUnspecified = -1,
    adLockReadOnly = 1,
    adLockPessimistic = 2,
    adLockOptimistic = 3,
    adLockBatchOptimistic = 4
} LockTypeEnum;
typedef enum ExecuteOptionEnum {
    adOptionUnspecified = -1,
    adAsyncExecute = 0x10,
    adAsyncFetch = 0x20,
    adAsyncFetchNonBlocking = 0x40,
    adExecuteNoRecords = 0x80,
    adExecuteStream = 0x400,
    adExecuteRecord = 0x800
} ExecuteOptionEnum;
typedef enum ConnectOptionEnum { adConnectUnspecified = -1, adAsyncConnect = 0x10 } ConnectOptionEnum;
typedef enum ObjectStateEnum {
    adStateClosed = 0,
    adStateOpen = 0x1,
    adStateConnecting = 0x2,
    adStateExecuting = 0x4,
    adStateFetching = 0x8
} ObjectStateEnum;
typedef enum CursorLocationEnum {
    adUseNone = 1,
    adUseServer = 2,
    adUseClient = 3,
    adUseClientBatch = 3
} CursorLocationEnum;
typedef enum DataTypeEnum {
    adEmpty = 0,
    adTinyInt = 16,
    adSmallInt = 2,
    adInteger = 3,
    adBigInt = 20,
    adUnsignedTinyInt = 17,
    adUnsignedSmallInt = 18,
    adUnsignedInt = 19,
    adUnsignedBigInt = 21,
    adSingle = 4,
    adDouble = 5,
    adCurrency = 6,
    adDecimal = 14,
    adNumeric = 131,
    adBoolean = 11,
    adError = 10,
    adUserDefined = 132,
    adVariant = 12,
    adIDispatch = 9,
    adIUnknown = 13,
    adGUID = 72,
    adDate = 7,
    adDBDate = 133,
    adDBTime = 134,
    adDBTimeStamp = 135,
    adBSTR = 8,
    adChar = 129,
    adVarChar = 200,
    adLongVarChar = 201,
    adWChar = 130,
    adVarWChar = 202,
    adLongVarWChar = 203,
    adBinary = 128,
    adVarBinary = 204,
    adLongVarBinary = 205,
    adChapter = 136,
    adFileTime = 64,
    adPropVariant = 138,
    adVarNumeric = 139,
    adArray = 0x2000
} DataTypeEnum;
typedef enum FieldAttributeEnum {
    adFldUnspecified = -1,
    adFldMayDefer = 0x2,
    adFldUpdatable = 0x4,
    adFldUnknownUpdatable = 0x8,
    adFldFixed = 0x10,
    adFldIsNullable = 0x20,
    adFldMayBeNull = 0x40,
    adFldLong = 0x80,
    adFldRowID = 0x100,
    adFldRowVersion = 0x200,
    adFldCacheDeferred = 0x1000,
    adFldIsChapter = 0x2000,
    adFldNegativeScale = 0x4000,
    adFldKeyColumn = 0x8000,
    adFldIsRowURL = 0x10000,
    adFldIsDefaultStream = 0x20000,
    adFldIsCollection = 0x40000
} FieldAttributeEnum;
typedef enum EditModeEnum { adEditNone = 0, adEditInProgress = 0x1, adEditAdd = 0x2, adEditDelete = 0x4 } EditModeEnum;
typedef enum RecordStatusEnum {
    adRecOK = 0,
    adRecNew = 0x1,
    adRecModified = 0x2,
    adRecDeleted = 0x4,
    adRecUnmodified = 0x8,
    adRecInvalid = 0x10,
    adRecMultipleChanges = 0x40,
    adRecPendingChanges = 0x80,
    adRecCanceled = 0x100,
    adRecCantRelease = 0x400,
    adRecConcurrencyViolation = 0x800,
    adRecIntegrityViolation = 0x1000,
    adRecMaxChangesExceeded = 0x2000,
    adRecObjectOpen = 0x4000,
    adRecOutOfMemory = 0x8000,
    adRecPermissionDenied = 0x10000,
    adRecSchemaViolation = 0x20000,
    adRecDBDeleted = 0x40000
} RecordStatusEnum;
typedef enum GetRowsOptionEnum { adGetRowsRest = -1 } GetRowsOptionEnum;
typedef enum PositionEnum { adPosUnknown = -1, adPosBOF = -2, adPosEOF = -3 } PositionEnum;
typedef PositionEnum PositionEnum_Param;
typedef enum BookmarkEnum { adBookmarkCurrent = 0, adBookmarkFirst = 1, adBookmarkLast = 2 } BookmarkEnum;
typedef enum MarshalOptionsEnum { adMarshalAll = 0, adMarshalModifiedOnly = 1 } MarshalOptionsEnum;
typedef enum AffectEnum { adAffectCurrent = 1, adAffectGroup = 2, adAffectAll = 3, adAffectAllChapters = 4 } AffectEnum;
typedef enum ResyncEnum { adResyncUnderlyingValues = 1, adResyncAllValues = 2 } ResyncEnum;
typedef enum CompareEnum {
    adCompareLessThan = 0,
    adCompareEqual = 1,
    adCompareGreaterThan = 2,
    adCompareNotEqual = 3,
    adCompareNotComparable = 4
} CompareEnum;
typedef enum FilterGroupEnum {
    adFilterNone = 0,
    adFilterPendingRecords = 1,
    adFilterAffectedRecords = 2,
    adFilterFetchedRecords = 3,
    adFilterPredicate = 4,
    adFilterConflictingRecords = 5
} FilterGroupEnum;
typedef enum SearchDirectionEnum { adSearchForward = 1, adSearchBackward = -1 } SearchDirectionEnum;
typedef SearchDirectionEnum SearchDirection;
typedef enum PersistFormatEnum { adPersistADTG = 0, adPersistXML = 1 } PersistFormatEnum;
typedef enum StringFormatEnum { adClipString = 2 } StringFormatEnum;
typedef enum ConnectPromptEnum {
    adPromptAlways = 1,
    adPromptComplete = 2,
    adPromptCompleteRequired = 3,
    adPromptNever = 4
} ConnectPromptEnum;
typedef enum ConnectModeEnum {
    adModeUnknown = 0,
    adModeRead = 1,
    adModeWrite = 2,
    adModeReadWrite = 3,
    adModeShareDenyRead = 4,
    adModeShareDenyWrite = 8,
    adModeShareExclusive = 0xc,
    adModeShareDenyNone = 0x10,
    adModeRecursive = 0x400000
} ConnectModeEnum;
typedef enum RecordCreateOptionsEnum {
    adCreateCollection = 0x2000,
    adCreateStructDoc = (int)0x80000000,
    adCreateNonCollection = (int)0,
    adOpenIfExists = (int)0x2000000,
    adCreateOverwrite = (int)0x4000000,
    adFailIfNotExists = (int)-1
} RecordCreateOptionsEnum;
typedef enum RecordOpenOptionsEnum {
    adOpenRecordUnspecified = -1,
    adOpenSource = 0x800000,
    adOpenOutput = 0x800000,
    adOpenAsync = 0x1000,
    adDelayFetchStream = 0x4000,
    adDelayFetchFields = 0x8000,
    adOpenExecuteCommand = 0x10000
} RecordOpenOptionsEnum;
typedef enum IsolationLevelEnum {
    adXactUnspecified = 0xffffffff,
    adXactChaos = 0x10,
    adXactReadUncommitted = 0x100,
    adXactBrowse = 0x100,
    adXactCursorStability = 0x1000,
    adXactReadCommitted = 0x1000,
    adXactRepeatableRead = 0x10000,
    adXactSerializable = 0x100000,
    adXactIsolated = 0x100000
} IsolationLevelEnum;
typedef enum XactAttributeEnum {
    adXactCommitRetaining = 0x20000,
    adXactAbortRetaining = 0x40000,
    adXactAsyncPhaseOne = 0x80000,
    adXactSyncPhaseOne = 0x100000
} XactAttributeEnum;
typedef enum PropertyAttributesEnum {
    adPropNotSupported = 0,
    adPropRequired = 0x1,
    adPropOptional = 0x2,
    adPropRead = 0x200,
    adPropWrite = 0x400
} PropertyAttributesEnum;
typedef enum ErrorValueEnum {
    adErrProviderFailed = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xbb8),
    adErrInvalidArgument = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xbb9),
    adErrOpeningFile = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xbba),
    adErrReadFile = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xbbb),
    adErrWriteFile = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xbbc),
    adErrNoCurrentRecord = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xbcd),
    adErrIllegalOperation = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xc93),
    adErrCantChangeProvider = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xc94),
    adErrInTransaction = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xcae),
    adErrFeatureNotAvailable = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xcb3),
    adErrItemNotFound = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xcc1),
    adErrObjectInCollection = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xd27),
    adErrObjectNotSet = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xd5c),
    adErrDataConversion = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xd5d),
    adErrObjectClosed = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe78),
    adErrObjectOpen = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe79),
    adErrProviderNotFound = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe7a),
    adErrBoundToCommand = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe7b),
    adErrInvalidParamInfo = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe7c),
    adErrInvalidConnection = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe7d),
    adErrNotReentrant = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe7e),
    adErrStillExecuting = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe7f),
    adErrOperationCancelled = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe80),
    adErrStillConnecting = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe81),
    adErrInvalidTransaction = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe82),
    adErrNotExecuting = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe83),
    adErrUnsafeOperation = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe84),
    adwrnSecurityDialog = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe85),
    adwrnSecurityDialogHeader = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe86),
    adErrIntegrityViolation = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe87),
    adErrPermissionDenied = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe88),
    adErrDataOverflow = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe89),
    adErrSchemaViolation = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe8a),
    adErrSignMismatch = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe8b),
    adErrCantConvertvalue = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe8c),
    adErrCantCreate = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe8d),
    adErrColumnNotOnThisRow = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe8e),
    adErrURLDoesNotExist = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe8f),
    adErrTreePermissionDenied = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe90),
    adErrInvalidURL = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe91),
    adErrResourceLocked = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe92),
    adErrResourceExists = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe93),
    adErrCannotComplete = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe94),
    adErrVolumeNotFound = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe95),
    adErrOutOfSpace = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe96),
    adErrResourceOutOfScope = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe97),
    adErrUnavailable = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe98),
    adErrURLNamedRowDoesNotExist = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe99),
    adErrDelResOutOfScope = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe9a),
    adErrPropInvalidColumn = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe9b),
    adErrPropInvalidOption = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe9c),
    adErrPropInvalidValue = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe9d),
    adErrPropConflicting = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe9e),
    adErrPropNotAllSettable = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xe9f),
    adErrPropNotSet = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xea0),
    adErrPropNotSettable = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xea1),
    adErrPropNotSupported = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xea2),
    adErrCatalogNotSet = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xea3),
    adErrCantChangeConnection = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xea4),
    adErrFieldsUpdateFailed = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xea5),
    adErrDenyNotSupported = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xea6),
    adErrDenyTypeNotSupported = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xea7),
    adErrProviderNotSpecified = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xea9),
    adErrConnectionStringTooLong = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0xeaa)
} ErrorValueEnum;
typedef enum ParameterAttributesEnum {
    adParamSigned = 0x10,
    adParamNullable = 0x40,
    adParamLong = 0x80
} ParameterAttributesEnum;
typedef enum ParameterDirectionEnum {
    adParamUnknown = 0,
    adParamInput = 0x1,
    adParamOutput = 0x2,
    adParamInputOutput = 0x3,
    adParamReturnValue = 0x4
} ParameterDirectionEnum;
typedef enum CommandTypeEnum {
    adCmdUnspecified = -1,
    adCmdUnknown = 0x8,
    adCmdText = 0x1,
    adCmdTable = 0x2,
    adCmdStoredProc = 0x4,
    adCmdFile = 0x100,
    adCmdTableDirect = 0x200
} CommandTypeEnum;
typedef enum EventStatusEnum {
    adStatusOK = 0x1,
    adStatusErrorsOccurred = 0x2,
    adStatusCantDeny = 0x3,
    adStatusCancel = 0x4,
    adStatusUnwantedEvent = 0x5
} EventStatusEnum;
typedef enum EventReasonEnum {
    adRsnAddNew = 1,
    adRsnDelete = 2,
    adRsnUpdate = 3,
    adRsnUndoUpdate = 4,
    adRsnUndoAddNew = 5,
    adRsnUndoDelete = 6,
    adRsnRequery = 7,
    adRsnResynch = 8,
    adRsnClose = 9,
    adRsnMove = 10,
    adRsnFirstChange = 11,
    adRsnMoveFirst = 12,
    adRsnMoveNext = 13,
    adRsnMovePrevious = 14,
    adRsnMoveLast = 15
} EventReasonEnum;
typedef enum SchemaEnum {
    adSchemaProviderSpecific = -1,
    adSchemaAsserts = 0,
    adSchemaCatalogs = 1,
    adSchemaCharacterSets = 2,
    adSchemaCollations = 3,
    adSchemaColumns = 4,
    adSchemaCheckConstraints = 5,
    adSchemaConstraintColumnUsage = 6,
    adSchemaConstraintTableUsage = 7,
    adSchemaKeyColumnUsage = 8,
    adSchemaReferentialContraints = 9,
    adSchemaReferentialConstraints = 9,
    adSchemaTableConstraints = 10,
    adSchemaColumnsDomainUsage = 11,
    adSchemaIndexes = 12,
    adSchemaColumnPrivileges = 13,
    adSchemaTablePrivileges = 14,
    adSchemaUsagePrivileges = 15,
    adSchemaProcedures = 16,
    adSchemaSchemata = 17,
    adSchemaSQLLanguages = 18,
    adSchemaStatistics = 19,
    adSchemaTables = 20,
    adSchemaTranslations = 21,
    adSchemaProviderTypes = 22,
    adSchemaViews = 23,
    adSchemaViewColumnUsage = 24,
    adSchemaViewTableUsage = 25,
    adSchemaProcedureParameters = 26,
    adSchemaForeignKeys = 27,
    adSchemaPrimaryKeys = 28,
    adSchemaProcedureColumns = 29,
    adSchemaDBInfoKeywords = 30,
    adSchemaDBInfoLiterals = 31,
    adSchemaCubes = 32,
    adSchemaDimensions = 33,
    adSchemaHierarchies = 34,
    adSchemaLevels = 35,
    adSchemaMeasures = 36,
    adSchemaProperties = 37,
    adSchemaMembers = 38,
    adSchemaTrustees = 39,
    adSchemaFunctions = 40,
    adSchemaActions = 41,
    adSchemaCommands = 42,
    adSchemaSets = 43
} SchemaEnum;
typedef enum FieldStatusEnum {
    adFieldOK = 0,
    adFieldCantConvertValue = 2,
    adFieldIsNull = 3,
    adFieldTruncated = 4,
    adFieldSignMismatch = 5,
    adFieldDataOverflow = 6,
    adFieldCantCreate = 7,
    adFieldUnavailable = 8,
    adFieldPermissionDenied = 9,
    adFieldIntegrityViolation = 10,
    adFieldSchemaViolation = 11,
    adFieldBadStatus = 12,
    adFieldDefault = 13,
    adFieldIgnore = 15,
    adFieldDoesNotExist = 16,
    adFieldInvalidURL = 17,
    adFieldResourceLocked = 18,
    adFieldResourceExists = 19,
    adFieldCannotComplete = 20,
    adFieldVolumeNotFound = 21,
    adFieldOutOfSpace = 22,
    adFieldCannotDeleteSource = 23,
    adFieldReadOnly = 24,
    adFieldResourceOutOfScope = 25,
    adFieldAlreadyExists = 26,
    adFieldPendingInsert = 0x10000,
    adFieldPendingDelete = 0x20000,
    adFieldPendingChange = 0x40000,
    adFieldPendingUnknown = 0x80000,
    adFieldPendingUnknownDelete = 0x100000
} FieldStatusEnum;
typedef enum SeekEnum {
    adSeekFirstEQ = 0x1,
    adSeekLastEQ = 0x2,
    adSeekAfterEQ = 0x4,
    adSeekAfter = 0x8,
    adSeekBeforeEQ = 0x10,
    adSeekBefore = 0x20
} SeekEnum;
#ifndef _COMMON_ADC_AND_ADO_PROPS_
#define _COMMON_ADC_AND_ADO_PROPS_
typedef enum ADCPROP_UPDATECRITERIA_ENUM {
    adCriteriaKey = 0,
    adCriteriaAllCols = 1,
    adCriteriaUpdCols = 2,
    adCriteriaTimeStamp = 3
} ADCPROP_UPDATECRITERIA_ENUM;
typedef enum ADCPROP_ASYNCTHREADPRIORITY_ENUM {
    adPriorityLowest = 1,
    adPriorityBelowNormal = 2,
    adPriorityNormal = 3,
    adPriorityAboveNormal = 4,
    adPriorityHighest = 5
} ADCPROP_ASYNCTHREADPRIORITY_ENUM;
typedef enum ADCPROP_AUTORECALC_ENUM { adRecalcUpFront = 0, adRecalcAlways = 1 } ADCPROP_AUTORECALC_ENUM;
typedef enum ADCPROP_UPDATERESYNC_ENUM {
    adResyncNone = 0,
    adResyncAutoIncrement = 1,
    adResyncConflicts = 2,
    adResyncUpdates = 4,
    adResyncInserts = 8,
    adResyncAll = 15
} ADCPROP_UPDATERESYNC_ENUM;
#endif
typedef ADCPROP_UPDATERESYNC_ENUM CEResyncEnum;
typedef enum MoveRecordOptionsEnum {
    adMoveUnspecified = -1,
    adMoveOverWrite = 1,
    adMoveDontUpdateLinks = 2,
    adMoveAllowEmulation = 4
} MoveRecordOptionsEnum;
typedef enum CopyRecordOptionsEnum {
    adCopyUnspecified = -1,
    adCopyOverWrite = 1,
    adCopyAllowEmulation = 4,
    adCopyNonRecursive = 2
} CopyRecordOptionsEnum;
typedef enum StreamTypeEnum { adTypeBinary = 1, adTypeText = 2 } StreamTypeEnum;
typedef enum LineSeparatorEnum { adLF = 10, adCR = 13, adCRLF = -1 } LineSeparatorEnum;
typedef enum StreamOpenOptionsEnum {
    adOpenStreamUnspecified = -1,
    adOpenStreamAsync = 1,
    adOpenStreamFromRecord = 4
} StreamOpenOptionsEnum;
typedef enum StreamWriteEnum { adWriteChar = 0, adWriteLine = 1, stWriteChar = 0, stWriteLine = 1 } StreamWriteEnum;
typedef enum SaveOptionsEnum { adSaveCreateNotExist = 1, adSaveCreateOverWrite = 2 } SaveOptionsEnum;
typedef enum FieldEnum { adDefaultStream = -1, adRecordURL = -2 } FieldEnum;
typedef enum StreamReadEnum { adReadAll = -1, adReadLine = -2 } StreamReadEnum;
typedef enum RecordTypeEnum { adSimpleRecord = 0, adCollectionRecord = 1, adStructDoc = 2 } RecordTypeEnum;

EXTERN_C const IID LIBID_ADODB;
EXTERN_C const IID IID__ADOCollection;
EXTERN_C const IID IID__ADODynaCollection;
EXTERN_C const IID IID__ADO;
EXTERN_C const IID IID_Error;
EXTERN_C const IID IID_Errors;
EXTERN_C const IID IID_Command15;
EXTERN_C const IID IID_Command25;
EXTERN_C const IID IID__Command;
EXTERN_C const IID IID_Connection15;
EXTERN_C const IID IID__Connection;
EXTERN_C const IID IID_Recordset15;
EXTERN_C const IID IID_Recordset20;
EXTERN_C const IID IID_Recordset21;
EXTERN_C const IID IID__Recordset;
EXTERN_C const IID IID_Field20;
EXTERN_C const IID IID_Field;
EXTERN_C const IID IID_Fields15;
EXTERN_C const IID IID_Fields20;
EXTERN_C const IID IID_Fields;
EXTERN_C const IID IID__Parameter;
EXTERN_C const IID IID_Parameters;
EXTERN_C const IID IID_Property;
EXTERN_C const IID IID_Properties;
EXTERN_C const CLSID CLSID_Connection;
EXTERN_C const CLSID CLSID_Command;
EXTERN_C const CLSID CLSID_Recordset;
EXTERN_C const CLSID CLSID_Parameter;
// The same interfaces under the identities of the ADO 6.x headers (Windows 8
// SDK and later: {00001550-...} for _Connection and so on). The objects answer
// both, since the vtables are the same.
EXTERN_C const IID IID__Connection_ADO6;
EXTERN_C const IID IID_Connection15_ADO6;
EXTERN_C const IID IID__Command_ADO6;
EXTERN_C const IID IID_Command15_ADO6;
EXTERN_C const IID IID_Command25_ADO6;
EXTERN_C const IID IID__Recordset_ADO6;
EXTERN_C const IID IID_Recordset15_ADO6;
EXTERN_C const IID IID_Recordset20_ADO6;
EXTERN_C const IID IID_Recordset21_ADO6;

MIDL_INTERFACE("00000512-0000-0010-8000-00AA006D2EA4")
_ADOCollection : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG * c) = 0;
    virtual HRESULT STDMETHODCALLTYPE _NewEnum(IUnknown * *ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE Refresh(void) = 0;
};

MIDL_INTERFACE("00000513-0000-0010-8000-00AA006D2EA4")
_ADODynaCollection : public _ADOCollection {
    virtual HRESULT STDMETHODCALLTYPE Append(IDispatch * Object) = 0;
    virtual HRESULT STDMETHODCALLTYPE Delete(VARIANT Index) = 0;
};

MIDL_INTERFACE("00000534-0000-0010-8000-00AA006D2EA4")
_ADO : public IDispatch { virtual HRESULT STDMETHODCALLTYPE get_Properties(ADOProperties * *ppvObject) = 0; };

MIDL_INTERFACE("00000500-0000-0010-8000-00AA006D2EA4")
ADOError : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Number(LONG * pl) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Source(BSTR * pbstr) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Description(BSTR * pbstr) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HelpFile(BSTR * pbstr) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HelpContext(LONG * pl) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SQLState(BSTR * pbstr) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NativeError(LONG * pl) = 0;
};

MIDL_INTERFACE("00000501-0000-0010-8000-00AA006D2EA4")
ADOErrors : public _ADOCollection {
    virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT Index, ADOError * *ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE Clear(void) = 0;
};

MIDL_INTERFACE("00000508-0000-0010-8000-00AA006D2EA4")
Command15 : public _ADO {
    virtual HRESULT STDMETHODCALLTYPE get_ActiveConnection(_ADOConnection * *ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE putref_ActiveConnection(_ADOConnection * pCon) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ActiveConnection(VARIANT vConn) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CommandText(BSTR * pbstr) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CommandText(BSTR bstr) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CommandTimeout(LONG * pl) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CommandTimeout(LONG Timeout) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Prepared(VARIANT_BOOL * pfPrepared) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Prepared(VARIANT_BOOL fPrepared) = 0;
    virtual HRESULT STDMETHODCALLTYPE Execute(VARIANT * RecordsAffected, VARIANT * Parameters, LONG Options,
                                              _ADORecordset * *ppirs) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateParameter(BSTR Name, DataTypeEnum Type, ParameterDirectionEnum Direction,
                                                      ADO_LONGPTR Size, VARIANT Value, _ADOParameter * *ppiprm) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Parameters(ADOParameters * *ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CommandType(CommandTypeEnum lCmdType) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CommandType(CommandTypeEnum * plCmdType) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR * pbstrName) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Name(BSTR bstrName) = 0;
};

MIDL_INTERFACE("0000054E-0000-0010-8000-00AA006D2EA4")
Command25 : public Command15 {
    virtual HRESULT STDMETHODCALLTYPE get_State(LONG * plObjState) = 0;
    virtual HRESULT STDMETHODCALLTYPE Cancel(void) = 0;
};

MIDL_INTERFACE("B08400BD-F9D1-4D02-B856-71D5DBA123E9")
_ADOCommand : public Command25 {
    virtual HRESULT STDMETHODCALLTYPE putref_CommandStream(IUnknown * pStream) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CommandStream(VARIANT * pvStream) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Dialect(BSTR bstrDialect) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Dialect(BSTR * pbstrDialect) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_NamedParameters(VARIANT_BOOL fNamedParameters) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NamedParameters(VARIANT_BOOL * pfNamedParameters) = 0;
};

MIDL_INTERFACE("00000515-0000-0010-8000-00AA006D2EA4")
Connection15 : public _ADO {
    virtual HRESULT STDMETHODCALLTYPE get_ConnectionString(BSTR * pbstr) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ConnectionString(BSTR bstr) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CommandTimeout(LONG * plTimeout) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CommandTimeout(LONG lTimeout) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ConnectionTimeout(LONG * plTimeout) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ConnectionTimeout(LONG lTimeout) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Version(BSTR * pbstr) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close(void) = 0;
    virtual HRESULT STDMETHODCALLTYPE Execute(BSTR CommandText, VARIANT * RecordsAffected, LONG Options,
                                              _ADORecordset * *ppiRset) = 0;
    virtual HRESULT STDMETHODCALLTYPE BeginTrans(LONG * TransactionLevel) = 0;
    virtual HRESULT STDMETHODCALLTYPE CommitTrans(void) = 0;
    virtual HRESULT STDMETHODCALLTYPE RollbackTrans(void) = 0;
    virtual HRESULT STDMETHODCALLTYPE Open(BSTR ConnectionString = NULL, BSTR UserID = NULL, BSTR Password = NULL,
                                           LONG Options = adOptionUnspecified) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Errors(ADOErrors * *ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DefaultDatabase(BSTR * pbstr) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DefaultDatabase(BSTR bstr) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsolationLevel(IsolationLevelEnum * Level) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IsolationLevel(IsolationLevelEnum Level) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Attributes(LONG * plAttr) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Attributes(LONG lAttr) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CursorLocation(CursorLocationEnum * plCursorLoc) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CursorLocation(CursorLocationEnum lCursorLoc) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Mode(ConnectModeEnum * plMode) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Mode(ConnectModeEnum lMode) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Provider(BSTR * pbstr) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Provider(BSTR Provider) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_State(LONG * plObjState) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenSchema(SchemaEnum Schema, VARIANT Restrictions, VARIANT SchemaID,
                                                 _ADORecordset * *pprset) = 0;
};

MIDL_INTERFACE("00000550-0000-0010-8000-00AA006D2EA4")
_ADOConnection : public Connection15 { virtual HRESULT STDMETHODCALLTYPE Cancel(void) = 0; };

MIDL_INTERFACE("0000050E-0000-0010-8000-00AA006D2EA4")
Recordset15 : public _ADO {
    virtual HRESULT STDMETHODCALLTYPE get_AbsolutePosition(PositionEnum_Param * pl) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AbsolutePosition(PositionEnum_Param Position) = 0;
    virtual HRESULT STDMETHODCALLTYPE putref_ActiveConnection(IDispatch * pconn) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ActiveConnection(VARIANT vConn) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ActiveConnection(VARIANT * pvar) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BOF(VARIANT_BOOL * pb) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Bookmark(VARIANT * pvBookmark) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Bookmark(VARIANT vBookmark) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CacheSize(LONG * pl) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CacheSize(LONG CacheSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CursorType(CursorTypeEnum * plCursorType) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CursorType(CursorTypeEnum lCursorType) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_EOF(VARIANT_BOOL * pb) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Fields(ADOFields * *ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LockType(LockTypeEnum * plLockType) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_LockType(LockTypeEnum lLockType) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MaxRecords(ADO_LONGPTR * plMaxRecords) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_MaxRecords(ADO_LONGPTR lMaxRecords) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RecordCount(ADO_LONGPTR * pl) = 0;
    virtual HRESULT STDMETHODCALLTYPE putref_Source(IDispatch * pcmd) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Source(BSTR bstrConn) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Source(VARIANT * pvSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddNew(VARIANT FieldList, VARIANT Values) = 0;
    virtual HRESULT STDMETHODCALLTYPE CancelUpdate(void) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close(void) = 0;
    virtual HRESULT STDMETHODCALLTYPE Delete(AffectEnum AffectRecords = adAffectCurrent) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRows(LONG Rows, VARIANT Start, VARIANT Fields, VARIANT * pvar) = 0;
    virtual HRESULT STDMETHODCALLTYPE Move(ADO_LONGPTR NumRecords, VARIANT Start) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveNext(void) = 0;
    virtual HRESULT STDMETHODCALLTYPE MovePrevious(void) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveFirst(void) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveLast(void) = 0;
    virtual HRESULT STDMETHODCALLTYPE Open(
        VARIANT Source, VARIANT ActiveConnection, CursorTypeEnum CursorType = adOpenUnspecified,
        LockTypeEnum LockType = adLockUnspecified, LONG Options = adCmdUnspecified) = 0;
    virtual HRESULT STDMETHODCALLTYPE Requery(LONG Options = adOptionUnspecified) = 0;
    virtual HRESULT STDMETHODCALLTYPE _xResync(AffectEnum AffectRecords = adAffectAll) = 0;
    virtual HRESULT STDMETHODCALLTYPE Update(VARIANT Fields, VARIANT Values) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AbsolutePage(PositionEnum_Param * pl) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AbsolutePage(PositionEnum_Param Page) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_EditMode(EditModeEnum * pl) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Filter(VARIANT * Criteria) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Filter(VARIANT Criteria) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PageCount(ADO_LONGPTR * pl) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PageSize(LONG * pl) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_PageSize(LONG PageSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Sort(BSTR * Criteria) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Sort(BSTR Criteria) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Status(LONG * pl) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_State(LONG * plObjState) = 0;
    virtual HRESULT STDMETHODCALLTYPE _xClone(_ADORecordset * *ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdateBatch(AffectEnum AffectRecords = adAffectAll) = 0;
    virtual HRESULT STDMETHODCALLTYPE CancelBatch(AffectEnum AffectRecords = adAffectAll) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CursorLocation(CursorLocationEnum * plCursorLoc) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CursorLocation(CursorLocationEnum lCursorLoc) = 0;
    virtual HRESULT STDMETHODCALLTYPE NextRecordset(VARIANT * RecordsAffected, _ADORecordset * *ppiRs) = 0;
    virtual HRESULT STDMETHODCALLTYPE Supports(CursorOptionEnum CursorOptions, VARIANT_BOOL * pb) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Collect(VARIANT Index, VARIANT * pvar) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Collect(VARIANT Index, VARIANT value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MarshalOptions(MarshalOptionsEnum * peMarshal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_MarshalOptions(MarshalOptionsEnum eMarshal) = 0;
    virtual HRESULT STDMETHODCALLTYPE Find(BSTR Criteria, ADO_LONGPTR SkipRecords, SearchDirectionEnum SearchDirection,
                                           VARIANT Start) = 0;
};

MIDL_INTERFACE("0000054F-0000-0010-8000-00AA006D2EA4")
Recordset20 : public Recordset15 {
    virtual HRESULT STDMETHODCALLTYPE Cancel(void) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DataSource(IUnknown * *ppunkDataSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE putref_DataSource(IUnknown * punkDataSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE _xSave(BSTR FileName = NULL, PersistFormatEnum PersistFormat = adPersistADTG) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ActiveCommand(IDispatch * *ppCmd) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_StayInSync(VARIANT_BOOL bStayInSync) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_StayInSync(VARIANT_BOOL * pbStayInSync) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetString(StringFormatEnum StringFormat, LONG NumRows, BSTR ColumnDelimeter,
                                                BSTR RowDelimeter, BSTR NullExpr, BSTR * pRetString) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DataMember(BSTR * pbstrDataMember) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DataMember(BSTR bstrDataMember) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareBookmarks(VARIANT Bookmark1, VARIANT Bookmark2,
                                                       CompareEnum * pCompare) = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(LockTypeEnum LockType, _ADORecordset * *ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE Resync(AffectEnum AffectRecords = adAffectAll,
                                             ResyncEnum ResyncValues = adResyncAllValues) = 0;
};

MIDL_INTERFACE("00000555-0000-0010-8000-00AA006D2EA4")
Recordset21 : public Recordset20 {
    virtual HRESULT STDMETHODCALLTYPE Seek(VARIANT KeyValues, SeekEnum SeekOption = adSeekFirstEQ) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Index(BSTR Index) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Index(BSTR * pbstrIndex) = 0;
};

MIDL_INTERFACE("00000556-0000-0010-8000-00AA006D2EA4")
_ADORecordset : public Recordset21 {
    virtual HRESULT STDMETHODCALLTYPE Save(VARIANT Destination, PersistFormatEnum PersistFormat = adPersistADTG) = 0;
};

MIDL_INTERFACE("0000054C-0000-0010-8000-00AA006D2EA4")
Field20 : public _ADO {
    virtual HRESULT STDMETHODCALLTYPE get_ActualSize(ADO_LONGPTR * pl) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Attributes(LONG * pl) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DefinedSize(ADO_LONGPTR * pl) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR * pbstr) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Type(DataTypeEnum * pDataType) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Value(VARIANT * pvar) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Value(VARIANT Val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Precision(BYTE * pbPrecision) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NumericScale(BYTE * pbNumericScale) = 0;
    virtual HRESULT STDMETHODCALLTYPE AppendChunk(VARIANT Data) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetChunk(LONG Length, VARIANT * pvar) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_OriginalValue(VARIANT * pvar) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_UnderlyingValue(VARIANT * pvar) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DataFormat(IUnknown * *ppiDF) = 0;
    virtual HRESULT STDMETHODCALLTYPE putref_DataFormat(IUnknown * piDF) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Precision(BYTE bPrecision) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_NumericScale(BYTE bScale) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Type(DataTypeEnum DataType) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DefinedSize(ADO_LONGPTR lSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Attributes(LONG lAttributes) = 0;
};

MIDL_INTERFACE("00000569-0000-0010-8000-00AA006D2EA4")
ADOField : public Field20 { virtual HRESULT STDMETHODCALLTYPE get_Status(LONG * pFStatus) = 0; };

MIDL_INTERFACE("00000506-0000-0010-8000-00AA006D2EA4")
Fields15 : public _ADOCollection {
    virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT Index, ADOField * *ppvObject) = 0;
};

MIDL_INTERFACE("0000054D-0000-0010-8000-00AA006D2EA4")
Fields20 : public Fields15 {
    virtual HRESULT STDMETHODCALLTYPE _Append(BSTR Name, DataTypeEnum Type, ADO_LONGPTR DefinedSize = 0,
                                              FieldAttributeEnum Attrib = adFldUnspecified) = 0;
    virtual HRESULT STDMETHODCALLTYPE Delete(VARIANT Index) = 0;
};

MIDL_INTERFACE("00000564-0000-0010-8000-00AA006D2EA4")
ADOFields : public Fields20 {
    virtual HRESULT STDMETHODCALLTYPE Append(BSTR Name, DataTypeEnum Type, ADO_LONGPTR DefinedSize,
                                             FieldAttributeEnum Attrib, VARIANT FieldValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE Update(void) = 0;
    virtual HRESULT STDMETHODCALLTYPE Resync(ResyncEnum ResyncValues = adResyncAllValues) = 0;
    virtual HRESULT STDMETHODCALLTYPE CancelUpdate(void) = 0;
};

MIDL_INTERFACE("0000050C-0000-0010-8000-00AA006D2EA4")
_ADOParameter : public _ADO {
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR * pbstr) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Name(BSTR bstr) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Value(VARIANT * pvar) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Value(VARIANT val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Type(DataTypeEnum * psDataType) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Type(DataTypeEnum sDataType) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Direction(ParameterDirectionEnum lParmDirection) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Direction(ParameterDirectionEnum * plParmDirection) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Precision(BYTE bPrecision) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Precision(BYTE * pbPrecision) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_NumericScale(BYTE bScale) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NumericScale(BYTE * pbScale) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Size(ADO_LONGPTR l) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Size(ADO_LONGPTR * pl) = 0;
    virtual HRESULT STDMETHODCALLTYPE AppendChunk(VARIANT Val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Attributes(LONG * plParmAttribs) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Attributes(LONG lParmAttribs) = 0;
};

MIDL_INTERFACE("0000050D-0000-0010-8000-00AA006D2EA4")
ADOParameters : public _ADODynaCollection {
    virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT Index, _ADOParameter * *ppvObject) = 0;
};

MIDL_INTERFACE("00000503-0000-0010-8000-00AA006D2EA4")
ADOProperty : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Value(VARIANT * pval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Value(VARIANT val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR * pbstr) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Type(DataTypeEnum * ptype) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Attributes(LONG * plAttributes) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Attributes(LONG lAttributes) = 0;
};

MIDL_INTERFACE("00000504-0000-0010-8000-00AA006D2EA4")
ADOProperties : public _ADOCollection {
    virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT Index, ADOProperty * *ppvObject) = 0;
};
