// The one table of error numbers and their texts: VB's run-time errors that the program
// raises and ADO's errors that its object model reports, in the words VB and ADO use.
#include "core/error.h"

#include <array>
#include <string_view>

namespace pelto {

namespace {

struct ErrorText {
    int32_t number;
    std::u16string_view text;
};

constexpr std::array kErrorTexts{
    // VB's run-time errors
    ErrorText{vberr::kInvalidProcedureCall, u"Invalid procedure call or argument"},
    ErrorText{vberr::kOverflow, u"Overflow"},
    ErrorText{vberr::kOutOfMemory, u"Out of memory"},
    ErrorText{vberr::kSubscriptOutOfRange, u"Subscript out of range"},
    ErrorText{vberr::kTypeMismatch, u"Type mismatch"},
    ErrorText{vberr::kInternalError, u"Internal error"},
    ErrorText{vberr::kBadFileNameOrNumber, u"Bad file name or number"},
    ErrorText{vberr::kFileNotFound, u"File not found"},
    ErrorText{vberr::kInputPastEnd, u"Input past end of file"},
    ErrorText{vberr::kPathFileAccess, u"Path/File access error"},
    ErrorText{vberr::kPathNotFound, u"Path not found"},
    ErrorText{vberr::kObjectVariableNotSet, u"Object variable or With block variable not set"},
    ErrorText{vberr::kInvalidUseOfNull, u"Invalid use of Null"},
    ErrorText{vberr::kObjectRequired, u"Object required"},
    // ADO's own errors
    ErrorText{adoerr::kArgumentsWrongType, u"Arguments are of the wrong type, are out of "
                                           u"acceptable range, or are in conflict with one "
                                           u"another."},
    ErrorText{adoerr::kBofOrEof, u"Either BOF or EOF is True, or the current record has been "
                                 u"deleted. Requested operation requires a current record."},
    ErrorText{adoerr::kNotAllowedHere, u"Operation is not allowed in this context."},
    ErrorText{adoerr::kCloseInTransaction, u"Connection object cannot be explicitly closed "
                                           u"while in a transaction."},
    ErrorText{adoerr::kUpdateNotSupported, u"Current Recordset does not support updating. This "
                                           u"may be a limitation of the provider, or of the "
                                           u"selected locktype."},
    ErrorText{adoerr::kNotFoundInCollection, u"Item cannot be found in the collection "
                                             u"corresponding to the requested name or ordinal."},
    ErrorText{adoerr::kDataConversion, u"Application uses a value of the wrong type for the "
                                       u"current operation."},
    ErrorText{adoerr::kClosedObject, u"Operation is not allowed when the object is closed."},
    ErrorText{adoerr::kObjectOpen, u"Operation is not allowed when the object is open."},
    ErrorText{adoerr::kProviderNotFound, u"Provider cannot be found. It may not be properly "
                                         u"installed."},
    ErrorText{adoerr::kImproperParameter, u"Parameter object is improperly defined. "
                                          u"Inconsistent or incomplete information was "
                                          u"provided."},
    ErrorText{adoerr::kInvalidConnection, u"The connection cannot be used to perform this "
                                          u"operation. It is either closed or invalid in this "
                                          u"context."},
    // The HRESULTs of ADO's providers
    ErrorText{adoerr::kFail, u"Unspecified error"},
    ErrorText{adoerr::kNotImplemented, u"Not implemented"},
    ErrorText{adoerr::kTypeMismatch, u"Data type mismatch in criteria expression."},
    ErrorText{adoerr::kNoCommandText, u"Command text was not set for the command object."},
    ErrorText{adoerr::kMissingValue, u"No value given for one or more required parameters."},
    ErrorText{adoerr::kSyntaxOrAccess, u"Errors occurred in the command."},
    ErrorText{adoerr::kNoBackwardFetch, u"Rowset does not support fetching backward."},
    ErrorText{adoerr::kParameterTypeUnsupported, u"Multiple-step OLE DB operation generated "
                                                 u"errors. Check each OLE DB status value, if "
                                                 u"available. No work was done."},
    ErrorText{adoerr::kIntegrity, u"The data violates the integrity constraints."},
    ErrorText{adoerr::kTimeout, u"Query timeout expired"},
    ErrorText{adoerr::kInvalidObject, u"The table or view does not exist."},
    ErrorText{adoerr::kRowNotFound, u"Row cannot be located for updating. Some values may have "
                                    u"been changed since it was last read."},
    ErrorText{adoerr::kLoginFailed, u"Login failed."},
    ErrorText{adoerr::kCanceled, u"Operation canceled."},
    ErrorText{adoerr::kDataOverflow, u"Data value overflowed the type used by the provider."},
    ErrorText{adoerr::kBadInitString, u"Format of the initialization string does not conform "
                                      u"to OLE DB."},
    ErrorText{adoerr::kNoTransaction, u"No transaction is active."},
    ErrorText{adoerr::kTransactionExists, u"Only one transaction can be active on this "
                                          u"session."},
};

} // namespace

Text error_description(int32_t number) {
    for (const auto& row : kErrorTexts) {
        if (row.number == number) {
            return Text(row.text);
        }
    }
    return u"Application-defined or object-defined error";
}

} // namespace pelto
