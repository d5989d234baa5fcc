#include "platform/win32/odbc/odbc_providers_win32.h"

// The ODBC headers need the Windows types first.
// clang-format off
#include <windows.h>
#include <sql.h>
#include <sqlext.h>
// clang-format on

namespace pelto::platform::win32 {

namespace {

class EnvironmentHandle {
public:
    EnvironmentHandle() {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle_))) {
            handle_ = SQL_NULL_HENV;
            return;
        }
        SQLSetEnvAttr(handle_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                      0);
    }
    ~EnvironmentHandle() {
        if (handle_ != SQL_NULL_HENV) {
            SQLFreeHandle(SQL_HANDLE_ENV, handle_);
        }
    }
    EnvironmentHandle(const EnvironmentHandle&) = delete;
    EnvironmentHandle& operator=(const EnvironmentHandle&) = delete;

    SQLHENV get() const { return handle_; }

private:
    SQLHENV handle_ = SQL_NULL_HENV;
};

} // namespace

std::vector<Text> installed_odbc_drivers() {
    std::vector<Text> drivers;
    const EnvironmentHandle environment;
    if (environment.get() == SQL_NULL_HENV) {
        return drivers;
    }
    SQLWCHAR description[512];
    SQLWCHAR attributes[1024];
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLSMALLINT description_length = 0;
        SQLSMALLINT attributes_length = 0;
        const SQLRETURN rc = SQLDriversW(
            environment.get(), direction, description,
            static_cast<SQLSMALLINT>(std::size(description)), &description_length, attributes,
            static_cast<SQLSMALLINT>(std::size(attributes)), &attributes_length);
        if (!SQL_SUCCEEDED(rc)) {
            break;
        }
        drivers.emplace_back(reinterpret_cast<const char16_t*>(description));
        direction = SQL_FETCH_NEXT;
    }
    return drivers;
}

} // namespace pelto::platform::win32
