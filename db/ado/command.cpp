#include "db/ado/command.h"

#include "db/ado/ado_error.h"
#include "db/ado/connection.h"
#include "db/ado/parameter_binder.h"
#include "db/ado/recordset.h"
#include "db/ado/result_reader.h"

#include <algorithm>
#include <limits>

namespace pelto::ado {

namespace {
constexpr const char16_t* kSource = u"ADODB.Command";
}

std::shared_ptr<Parameter> Command::CreateParameter(const Text& name, int32_t type,
                                                    int32_t direction, int32_t size,
                                                    const Variant& value) const {
    if (size < 0) {
        raise(adoerr::kArgumentsWrongType, kSource);
    }
    return std::make_shared<Parameter>(name, type, direction, size,
                                       value.is_missing() ? Variant() : value);
}

// The ODBC text of the command: a stored procedure becomes the ODBC call escape with one
// marker per parameter, the first one the result when it is a return value.
Text Command::statement_text() const {
    if (type_ == adCmdStoredProc) {
        const auto& items = parameters_.items();
        const bool returns = !items.empty() && items.front()->Direction() == adParamReturnValue;
        Text call = returns ? u"{? = call " : u"{call ";
        call += text_;
        const size_t arguments = items.size() - (returns ? 1 : 0);
        if (arguments > 0) {
            call += u"(";
            for (size_t i = 0; i < arguments; ++i) {
                call += i == 0 ? u"?" : u", ?";
            }
            call += u")";
        }
        return call + u"}";
    }
    if (type_ == adCmdTable) {
        return u"SELECT * FROM " + text_;
    }
    return text_;
}

std::shared_ptr<Recordset> Command::Execute(int32_t* records_affected,
                                            const std::vector<Variant>* parameters,
                                            int32_t options) {
    if (!connection_ || connection_->State() != adStateOpen) {
        raise(adoerr::kInvalidConnection, kSource);
    }
    if (text_.empty()) {
        raise(adoerr::kNoCommandText, kSource);
    }
    const auto& items = parameters_.items();
    if (parameters != nullptr) {
        for (size_t i = 0; i < items.size() && i < parameters->size(); ++i) {
            items[i]->Value((*parameters)[i]);
        }
    }
    std::vector<BindValue> binds;
    binds.reserve(items.size());
    for (const auto& p : items) {
        BindValue bind;
        bind.ado_type = p->Type();
        bind.direction = p->Direction();
        bind.size = p->Size();
        bind.precision = p->Precision();
        bind.scale = p->NumericScale();
        bind.value = p->Value();
        bind.what = p->Name().empty() ? u"parameter " + from_utf8(std::to_string(binds.size() + 1))
                                      : u"parameter '" + p->Name() + u"'";
        binds.push_back(std::move(bind));
    }
    auto binder = std::make_shared<ParameterBinder>(std::move(binds), kSource);
    auto done = connection_->execute_statement(statement_text(), binder.get(), timeout_);
    if (records_affected != nullptr) {
        *records_affected = static_cast<int32_t>(
            std::clamp<int64_t>(done.rows_affected, -1, std::numeric_limits<int32_t>::max()));
    }
    std::shared_ptr<Recordset> records;
    const bool no_records = options != adOptionUnspecified && (options & adExecuteNoRecords) != 0;
    if (no_records && done.columns > 0) {
        read_remaining_results(*done.statement, connection_->error_source());
    } else if (!no_records) {
        records = std::make_shared<Recordset>();
        if (done.columns > 0) {
            // A client-side record set reads every row and every later result now; the
            // driver may still write output values into the binder's buffers while a
            // server-side one streams.
            records->attach_result(connection_, std::move(done.statement), text_, binder);
        }
    }
    // Output and return values are complete only after the last result of the batch
    // (psqlODBC has them with the execution already).
    const auto values = binder->outputs();
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i]->Direction() != adParamInput) {
            items[i]->Value(values[i]);
        }
    }
    return records;
}

} // namespace pelto::ado
