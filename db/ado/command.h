// ADO's Command: a statement with parameters, run as an ODBC statement whose markers
// are bound to the parameters in order.
#pragma once

#include "core/variant.h"
#include "db/ado/ado_enums.h"
#include "db/ado/parameter.h"

#include <memory>
#include <vector>

namespace pelto::ado {

class Connection;
class Recordset;

class Command final : public Object {
public:
    std::shared_ptr<Connection> ActiveConnection() const { return connection_; }
    void ActiveConnection(std::shared_ptr<Connection> connection) {
        connection_ = std::move(connection);
    }
    const Text& CommandText() const { return text_; }
    void CommandText(const Text& value) { text_ = value; }
    int32_t CommandType() const { return type_; }
    void CommandType(int32_t value) { type_ = value; }
    // Kept for callers; every execution runs on a statement of its own, which preparing
    // would not speed up.
    bool Prepared() const { return prepared_; }
    void Prepared(bool value) { prepared_ = value; }
    int32_t CommandTimeout() const { return timeout_; }
    void CommandTimeout(int32_t seconds) { timeout_ = seconds; }

    // A new parameter; it joins the command only when appended to Parameters.
    std::shared_ptr<Parameter> CreateParameter(const Text& name = Text(), int32_t type = adEmpty,
                                               int32_t direction = adParamInput, int32_t size = 0,
                                               const Variant& value = Variant::missing()) const;
    ParameterList& Parameters() { return parameters_; }
    const ParameterList& Parameters() const { return parameters_; }

    // Runs the command with its parameters bound to the markers in order; output,
    // input-output and return values come back into their parameters. `parameters`,
    // when given, replaces the input values in order. Rows affected go to
    // `records_affected` (-1 for a statement that returns rows). Gives an open,
    // forward-only record set for a statement with rows, a closed one otherwise, null
    // with adExecuteNoRecords.
    std::shared_ptr<Recordset> Execute(int32_t* records_affected = nullptr,
                                       const std::vector<Variant>* parameters = nullptr,
                                       int32_t options = adOptionUnspecified);

private:
    Text statement_text() const;

    std::shared_ptr<Connection> connection_;
    Text text_;
    int32_t type_ = adCmdUnknown;
    bool prepared_ = false;
    int32_t timeout_ = 30;
    ParameterList parameters_;
};

} // namespace pelto::ado
