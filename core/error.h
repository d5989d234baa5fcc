// The one error type of the program. It carries what an ADO or VB run-time error
// carries (number, source, description); an error that "reaches the caller" is a
// VbError thrown, and the entry point turns it into the generic error message.
#pragma once

#include "core/text.h"

#include <cstdint>
#include <exception>
#include <string>

namespace pelto {

// Run-time error numbers the program raises itself (VB's own numbering).
namespace vberr {
constexpr int32_t kInvalidProcedureCall = 5;
constexpr int32_t kOverflow = 6;
constexpr int32_t kSubscriptOutOfRange = 9;
constexpr int32_t kTypeMismatch = 13;
constexpr int32_t kFileNotFound = 53;
constexpr int32_t kPathFileAccess = 75;
constexpr int32_t kInvalidUseOfNull = 94;
constexpr int32_t kObjectRequired = 424;
constexpr int32_t kObjectVariableNotSet = 91;
} // namespace vberr

// Numbers ADO reports.
namespace adoerr {
constexpr int32_t kFail = -2147467259;           // E_FAIL, 0x80004005
constexpr int32_t kClosedObject = 3704;          // operation not allowed on a closed object
constexpr int32_t kSyntaxOrAccess = -2147217900; // 0x80040E14
constexpr int32_t kNotFoundInCollection = 3265;  // item not found in the collection
constexpr int32_t kBofOrEof = 3021;              // no current record
constexpr int32_t kArgumentsWrongType = 3001;    // arguments of the wrong type
constexpr int32_t kLoginFailed = -2147217843;    // 0x80040E4D
constexpr int32_t kParameterTypeUnsupported = -2147217887; // 0x80040E21 multiple-step error
} // namespace adoerr

struct Error {
    int32_t number = 0;
    Text source;
    Text description;
};

// The standard description VB gives for its own run-time error numbers.
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

// "End" of the process: a step that stops the whole run at once with an exit status.
// Thrown by the operation that ends the run and turned into the exit status by the
// entry point; nothing between them traps it.
struct ProcessEnd {
    int exit_status = 0;
};

} // namespace pelto
