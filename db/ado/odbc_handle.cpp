#include "db/ado/odbc_handle.h"

#include "db/ado/odbc_api.h"
#include "db/ado/odbc_check.h"
#include "platform/character_locale.h"

#include <cstring>
#include <utility>

namespace pelto::ado::odbc {

namespace {

constexpr const char16_t* kSource = u"ADODB.Connection";

} // namespace

Handle::Handle(Handle&& other) noexcept
    : type_(other.type_), raw_(std::exchange(other.raw_, nullptr)) {}

Handle& Handle::operator=(Handle&& other) noexcept {
    if (this != &other) {
        reset();
        type_ = other.type_;
        raw_ = std::exchange(other.raw_, nullptr);
    }
    return *this;
}

bool Handle::reset() noexcept {
    if (raw_ == nullptr) {
        return true;
    }
    const auto type = static_cast<SQLSMALLINT>(type_);
    SQLRETURN rc = SQLFreeHandle(type, raw_);
    // A refusal is never passed over: a statement left waiting for data would keep its
    // connection from changing autocommit or ending a transaction for good.
    if (!SQL_SUCCEEDED(rc) && type_ == HandleType::Stmt) {
        SQLCancel(raw_);
        rc = SQLFreeHandle(type, raw_);
    } else if (!SQL_SUCCEEDED(rc) && type_ == HandleType::Dbc) {
        SQLDisconnect(raw_);
        rc = SQLFreeHandle(type, raw_);
    }
    raw_ = nullptr;
    return SQL_SUCCEEDED(rc);
}

std::shared_ptr<Handle> environment() {
    // Shared while any connection lives; a new one is made after the last is gone.
    static std::weak_ptr<Handle> shared;
    if (auto env = shared.lock()) {
        return env;
    }
    platform::use_utf8_character_locale();
    SQLHANDLE raw = SQL_NULL_HANDLE;
    // No environment, no diagnostics: the error names the function.
    check(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &raw), Handle(), "SQLAllocHandle",
          OdbcContext::Connect, kSource);
    auto env = std::make_shared<Handle>(HandleType::Env, raw);
    check(SQLSetEnvAttr(raw, SQL_ATTR_ODBC_VERSION, odbc::integer_argument(SQL_OV_ODBC3), 0), *env,
          "SQLSetEnvAttr", OdbcContext::Connect, kSource);
    shared = env;
    return env;
}

Handle allocate(HandleType type, const Handle& parent) {
    SQLHANDLE raw = SQL_NULL_HANDLE;
    check(SQLAllocHandle(static_cast<SQLSMALLINT>(type), parent.get(), &raw), parent,
          "SQLAllocHandle", type == HandleType::Dbc ? OdbcContext::Connect : OdbcContext::Statement,
          kSource);
    return Handle(type, raw);
}

} // namespace pelto::ado::odbc
