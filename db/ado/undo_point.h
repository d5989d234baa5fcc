// The undo point of one change (a record set's Update): the change stays only when it is
// kept, and whatever else the connection holds stays as it was. Above all, work the caller
// began (with BeginTrans, or with SQL text such as "BEGIN") is never committed or rolled
// back here: inside it the undo point is a savepoint.
#pragma once

#include "db/ado/connection.h"

namespace pelto::ado {

class UndoPoint {
public:
    // Sets the point; throws VbError when it cannot be set.
    explicit UndoPoint(Connection& connection);
    UndoPoint(const UndoPoint&) = delete;
    UndoPoint& operator=(const UndoPoint&) = delete;
    // Undoes the change unless it was kept; its own failure is only noted (a failure is
    // on its way to the caller then).
    ~UndoPoint();
    // Makes the change stay; when that fails the change is undone and the failure thrown.
    void keep();

    enum class Kind {
        Savepoint,        // inside a transaction that is not ours: back to a savepoint
        SqlServerNested,  // BEGIN TRANSACTION + SAVE TRANSACTION, then COMMIT TRANSACTION
        SqlTransaction,   // a transaction begun with SQL text, ended the same way
        LocalTransaction, // ODBC's manual-commit mode
    };
    Kind kind() const { return kind_; }

private:
    void run(const Text& sql);
    void undo() noexcept;

    Connection& connection_;
    Kind kind_ = Kind::LocalTransaction;
    bool ended_ = false;
};

} // namespace pelto::ado
