// RAII owners of ODBC handles (environment, connection, statement) and the process-wide
// ODBC environment. The raw handle is kept as void* so that this header does not pull
// the ODBC headers into the public ones.
#pragma once

#include <cstdint>
#include <memory>

namespace pelto::ado::odbc {

enum class HandleType : int16_t { Env = 1, Dbc = 2, Stmt = 3 }; // SQL_HANDLE_*

class Handle {
public:
    Handle() = default;
    Handle(HandleType type, void* raw) noexcept : type_(type), raw_(raw) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept;
    Handle& operator=(Handle&& other) noexcept;
    ~Handle() { reset(); }

    void* get() const noexcept { return raw_; }
    HandleType type() const noexcept { return type_; }
    explicit operator bool() const noexcept { return raw_ != nullptr; }
    // Frees the handle now (a statement's open cursor is closed with it). A statement the
    // driver manager will not free (still waiting for data at execution, or running) is
    // cancelled and freed again; a connection still connected is disconnected and freed
    // again. False when even then the handle could not be freed: it is given up.
    bool reset() noexcept;

private:
    HandleType type_ = HandleType::Stmt;
    void* raw_ = nullptr;
};

// The ODBC 3 environment shared by every connection; created on first use and freed
// with the last connection. Throws VbError (E_FAIL) when the driver manager cannot
// give one.
std::shared_ptr<Handle> environment();

// A new connection or statement handle below `parent`; throws VbError (E_FAIL).
Handle allocate(HandleType type, const Handle& parent);

} // namespace pelto::ado::odbc
