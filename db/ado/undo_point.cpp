#include "db/ado/undo_point.h"

#include <algorithm>

namespace pelto::ado {

namespace {

constexpr const char16_t* kName = u"pelto_undo_point";

// PostgreSQL's answer to a BEGIN inside an open transaction block: a warning, not an error.
bool transaction_already_open(const std::vector<DiagRecord>& warnings) {
    return std::any_of(warnings.begin(), warnings.end(),
                       [](const DiagRecord& w) { return w.state == u"25001"; });
}

} // namespace

UndoPoint::UndoPoint(Connection& connection) : connection_(connection) {
    switch (connection.dialect()) {
    case Dialect::SqlServer:
        // A nested BEGIN only counts up: the COMMIT that ends it commits nothing of an
        // outer transaction, whoever began that one.
        kind_ = Kind::SqlServerNested;
        run(u"BEGIN TRANSACTION");
        try {
            run(u"SAVE TRANSACTION " + Text(kName));
        } catch (...) {
            undo();
            throw;
        }
        return;
    case Dialect::SQLite:
        // A savepoint outside a transaction begins one, and releasing it commits it.
        kind_ = Kind::Savepoint;
        run(u"SAVEPOINT " + Text(kName));
        return;
    case Dialect::PostgreSql:
        if (!connection.in_transaction()) {
            const auto begun =
                connection.execute_statement(u"BEGIN", nullptr, connection.CommandTimeout());
            if (!transaction_already_open(begun.warnings)) {
                kind_ = Kind::SqlTransaction;
                return;
            }
        }
        kind_ = Kind::Savepoint; // the caller's transaction, begun either way
        run(u"SAVEPOINT " + Text(kName));
        return;
    default:
        if (connection.in_transaction()) {
            kind_ = Kind::Savepoint;
            run(u"SAVEPOINT " + Text(kName));
            return;
        }
        kind_ = Kind::LocalTransaction;
        connection.begin_local_transaction();
        return;
    }
}

UndoPoint::~UndoPoint() {
    if (!ended_) {
        undo();
    }
}

void UndoPoint::run(const Text& sql) {
    connection_.execute_statement(sql, nullptr, connection_.CommandTimeout());
}

void UndoPoint::keep() {
    switch (kind_) {
    case Kind::Savepoint:
        run(u"RELEASE SAVEPOINT " + Text(kName));
        break;
    case Kind::SqlServerNested:
        run(u"COMMIT TRANSACTION");
        break;
    case Kind::SqlTransaction:
        run(u"COMMIT");
        break;
    case Kind::LocalTransaction:
        connection_.end_local_transaction(/*commit=*/true);
        break;
    }
    ended_ = true;
}

void UndoPoint::undo() noexcept {
    ended_ = true;
    if (kind_ == Kind::LocalTransaction) {
        connection_.end_local_transaction(/*commit=*/false);
        return;
    }
    if (connection_.State() != adStateOpen) {
        return; // closing rolled it back
    }
    const auto attempt = [this](const Text& sql) {
        try {
            run(sql);
        } catch (const VbError& e) {
            connection_.note(e.error());
        }
    };
    switch (kind_) {
    case Kind::Savepoint:
        attempt(u"ROLLBACK TO SAVEPOINT " + Text(kName));
        attempt(u"RELEASE SAVEPOINT " + Text(kName));
        break;
    case Kind::SqlServerNested:
        attempt(u"ROLLBACK TRANSACTION " + Text(kName));
        attempt(u"COMMIT TRANSACTION");
        break;
    case Kind::SqlTransaction:
        attempt(u"ROLLBACK");
        break;
    case Kind::LocalTransaction:
        break;
    }
}

} // namespace pelto::ado
