// The one error type of the program. It carries what an ADO or VB run-time error
// carries (number, source, description); an error that "reaches the caller" is a
// VbError thrown, and the entry point turns it into the generic error message.
#pragma once

#include "core/text.h"

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace pelto {

// Run-time error numbers the program raises itself (VB's own numbering). Their texts
// are in the one table of error_table.cpp.
namespace vberr {
constexpr int32_t kInvalidProcedureCall = 5;
constexpr int32_t kOverflow = 6;
constexpr int32_t kOutOfMemory = 7;
constexpr int32_t kSubscriptOutOfRange = 9;
constexpr int32_t kTypeMismatch = 13;
constexpr int32_t kInternalError = 51; // a failure that is neither VB's nor ADO's
constexpr int32_t kBadFileNameOrNumber = 52;
constexpr int32_t kFileNotFound = 53;
constexpr int32_t kInputPastEnd = 62;
constexpr int32_t kPathFileAccess = 75;
constexpr int32_t kPathNotFound = 76;
constexpr int32_t kObjectVariableNotSet = 91;
constexpr int32_t kInvalidUseOfNull = 94;
constexpr int32_t kObjectRequired = 424;
} // namespace vberr

// Numbers ADO reports: its own errors (3xxx) and the HRESULTs of its providers.
namespace adoerr {
constexpr int32_t kFail = -2147467259;            // E_FAIL, 0x80004005
constexpr int32_t kNotImplemented = -2147467263;  // E_NOTIMPL, 0x80004001
constexpr int32_t kArgumentsWrongType = 3001;     // arguments of the wrong type
constexpr int32_t kBofOrEof = 3021;               // no current record
constexpr int32_t kNotAllowedHere = 3219;         // operation not allowed in this context
constexpr int32_t kCloseInTransaction = 3246;     // cannot close while in a transaction
constexpr int32_t kUpdateNotSupported = 3251;     // record set not updatable
constexpr int32_t kNotFoundInCollection = 3265;   // item not found in the collection
constexpr int32_t kDataConversion = 3421;         // value of the wrong type
constexpr int32_t kClosedObject = 3704;           // operation not allowed on a closed object
constexpr int32_t kObjectOpen = 3705;             // operation not allowed when open
constexpr int32_t kProviderNotFound = 3706;       // provider cannot be found
constexpr int32_t kImproperParameter = 3708;      // parameter improperly defined
constexpr int32_t kInvalidConnection = 3709;      // connection closed or invalid here
constexpr int32_t kTypeMismatch = -2147217913;    // 0x80040E07 data type mismatch
constexpr int32_t kNoCommandText = -2147217908;   // 0x80040E0C command text not set
constexpr int32_t kMissingValue = -2147217904;    // 0x80040E10 no value for a parameter
constexpr int32_t kSyntaxOrAccess = -2147217900;  // 0x80040E14 errors in the command
constexpr int32_t kNoBackwardFetch = -2147217884; // 0x80040E24 forward-only
constexpr int32_t kParameterTypeUnsupported = -2147217887; // 0x80040E21 multiple-step error
constexpr int32_t kIntegrity = -2147217873;                // 0x80040E2F integrity violation
constexpr int32_t kTimeout = -2147217871;                  // 0x80040E31 timeout expired
constexpr int32_t kInvalidObject = -2147217865;            // 0x80040E37 table not found
constexpr int32_t kRowNotFound = -2147217864;              // 0x80040E38 row not located for update
constexpr int32_t kLoginFailed = -2147217843;              // 0x80040E4D
constexpr int32_t kCanceled = -2147217842;                 // 0x80040E4E operation canceled
constexpr int32_t kDataOverflow = -2147217833;             // 0x80040E57 data out of range
constexpr int32_t kBadInitString = -2147217805;            // 0x80040E73 malformed connection string
constexpr int32_t kNoTransaction = -2147168242;            // 0x8004D00E no transaction active
constexpr int32_t kTransactionExists = -2147168237;        // 0x8004D013 one transaction only
} // namespace adoerr

struct Error {
    Error() = default;
    Error(int32_t number, Text source, Text description, Text sql_state = Text(),
          int32_t native = 0)
        : number(number), source(std::move(source)), description(std::move(description)),
          sql_state(std::move(sql_state)), native(native) {}

    int32_t number = 0;
    Text source;
    Text description;
    // The database driver's own words for a failure that came from one: the SQLSTATE
    // ("42S02") and the native error code of the record the description was taken from.
    // Empty and 0 for every other error.
    Text sql_state;
    int32_t native = 0;
};

// The standard text of a VB run-time error or of an ADO error number, from the one
// table of both; VB's "Application-defined or object-defined error" for any other.
Text error_description(int32_t number);
// The same table; kept under the name the callers of VB's numbers know.
Text vb_error_description(int32_t number);

class VbError : public std::exception {
public:
    explicit VbError(Error error);
    VbError(int32_t number, Text source, Text description);
    // A VB run-time error with its standard description.
    static VbError runtime(int32_t number, TextView source = u"PeltoUserInstall_H");

    const Error& error() const noexcept { return error_; }
    int32_t number() const noexcept { return error_.number; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    Error error_;
    std::string what_;
};

// The error that the exception being handled carries, for code that turns whatever reached
// it into VB's terms: a VbError's own, VB's 7 for memory that ran out, and VB's 51
// ("Internal error", with the exception's text) for anything else. Call it only inside a
// catch block.
Error current_error();

// "End" of the process: a step that stops the whole run at once with an exit status.
// Thrown by the operation that ends the run and turned into the exit status by the
// entry point; nothing between them traps it.
struct ProcessEnd {
    int exit_status = 0;
};

} // namespace pelto
