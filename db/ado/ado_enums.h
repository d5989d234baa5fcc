// ADO's numeric constants, as the manager passes them (cursor locations, lock types,
// object states, data types, parameter directions, event statuses).
#pragma once

#include <cstdint>

namespace pelto::ado {

// CursorLocationEnum
constexpr int32_t adUseServer = 2;
constexpr int32_t adUseClient = 3;

// CursorTypeEnum
constexpr int32_t adOpenUnspecified = -1;
constexpr int32_t adOpenForwardOnly = 0;
constexpr int32_t adOpenKeyset = 1;
constexpr int32_t adOpenDynamic = 2;
constexpr int32_t adOpenStatic = 3;

// LockTypeEnum
constexpr int32_t adLockUnspecified = -1;
constexpr int32_t adLockReadOnly = 1;
constexpr int32_t adLockPessimistic = 2;
constexpr int32_t adLockOptimistic = 3;
constexpr int32_t adLockBatchOptimistic = 4;

// ObjectStateEnum
constexpr int32_t adStateClosed = 0;
constexpr int32_t adStateOpen = 1;

// CommandTypeEnum
constexpr int32_t adCmdUnspecified = -1;
constexpr int32_t adCmdText = 1;
constexpr int32_t adCmdTable = 2;
constexpr int32_t adCmdStoredProc = 4;
constexpr int32_t adCmdUnknown = 8;

// ExecuteOptionEnum
constexpr int32_t adOptionUnspecified = -1;
constexpr int32_t adExecuteNoRecords = 128;

// EventStatusEnum
constexpr int32_t adStatusOK = 1;
constexpr int32_t adStatusErrorsOccurred = 2;

// ParameterDirectionEnum
constexpr int32_t adParamInput = 1;
constexpr int32_t adParamOutput = 2;
constexpr int32_t adParamInputOutput = 3;
constexpr int32_t adParamReturnValue = 4;

// DataTypeEnum
constexpr int32_t adEmpty = 0;
constexpr int32_t adSmallInt = 2;
constexpr int32_t adInteger = 3;
constexpr int32_t adSingle = 4;
constexpr int32_t adDouble = 5;
constexpr int32_t adCurrency = 6;
constexpr int32_t adDate = 7;
constexpr int32_t adBSTR = 8;
constexpr int32_t adBoolean = 11;
constexpr int32_t adVariant = 12;
constexpr int32_t adIUnknown = 13;
constexpr int32_t adDecimal = 14;
constexpr int32_t adTinyInt = 16;
constexpr int32_t adBigInt = 20;
constexpr int32_t adGUID = 72;
constexpr int32_t adBinary = 128;
constexpr int32_t adChar = 129;
constexpr int32_t adWChar = 130;
constexpr int32_t adNumeric = 131;
constexpr int32_t adDBDate = 133;
constexpr int32_t adDBTime = 134;
constexpr int32_t adDBTimeStamp = 135;
constexpr int32_t adVarChar = 200;
constexpr int32_t adLongVarChar = 201;
constexpr int32_t adVarWChar = 202;
constexpr int32_t adLongVarWChar = 203;
constexpr int32_t adVarBinary = 204;
constexpr int32_t adLongVarBinary = 205;

// ADCPROP_UPDATECRITERIA_ENUM: which originals the record set's Update compares.
constexpr int32_t adCriteriaKey = 0;       // the key alone
constexpr int32_t adCriteriaAllCols = 1;   // the key and every column it can compare
constexpr int32_t adCriteriaUpdCols = 2;   // the key and the changed columns (the default)
constexpr int32_t adCriteriaTimeStamp = 3; // the key and the row's version column

// GetRowsOptionEnum
constexpr int32_t adGetRowsRest = -1;

} // namespace pelto::ado
