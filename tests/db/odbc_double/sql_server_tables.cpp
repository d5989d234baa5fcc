#include "tests/db/odbc_double/sql_server_tables.h"

#include <map>
#include <sql.h>
#include <sqlext.h>

namespace odbc_double {

namespace {

// --- tokens ---

struct Token {
    enum class Kind { Word, Identifier, String, Number, Hex, Symbol, Param, End } kind;
    Text16 text;
};

bool word_char(char16_t c) {
    return c == u'_' || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
           (c >= u'0' && c <= u'9') || c >= 0x80;
}

bool digit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

Text16 lower(const Text16& s) {
    Text16 out = s;
    for (char16_t& c : out) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return out;
}

std::string narrow(const Text16& s) {
    std::string out;
    for (const char16_t c : s) {
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return out;
}

[[noreturn]] void fail(const char* state, const std::string& message) {
    throw Failure{state, message};
}

// A quoted run ending in `close`, a doubled `close` standing for itself.
size_t quoted_run(const Text16& sql, size_t at, char16_t close, Text16& out) {
    for (++at; at < sql.size(); ++at) {
        if (sql[at] == close) {
            if (at + 1 < sql.size() && sql[at + 1] == close) {
                out.push_back(close);
                ++at;
                continue;
            }
            return at + 1;
        }
        out.push_back(sql[at]);
    }
    fail("42000", "Unclosed quotation mark.");
}

std::vector<Token> tokens_of(const Text16& sql) {
    std::vector<Token> out;
    size_t at = 0;
    while (at < sql.size()) {
        const char16_t c = sql[at];
        Token t{Token::Kind::Symbol, Text16()};
        if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') {
            ++at;
            continue;
        }
        if (c == u'\'' ||
            ((c == u'N' || c == u'n') && at + 1 < sql.size() && sql[at + 1] == u'\'')) {
            t.kind = Token::Kind::String;
            at = quoted_run(sql, c == u'\'' ? at : at + 1, u'\'', t.text);
        } else if (c == u'"' || c == u'[') {
            t.kind = Token::Kind::Identifier;
            at = quoted_run(sql, at, c == u'"' ? u'"' : u']', t.text);
        } else if (c == u'0' && at + 1 < sql.size() &&
                   (sql[at + 1] == u'x' || sql[at + 1] == u'X')) {
            t.kind = Token::Kind::Hex;
            for (at += 2; at < sql.size() && word_char(sql[at]); ++at) {
                t.text.push_back(sql[at]);
            }
        } else if (digit(c) || (c == u'-' && at + 1 < sql.size() && digit(sql[at + 1]))) {
            t.kind = Token::Kind::Number;
            for (t.text.push_back(c), ++at; at < sql.size() && (digit(sql[at]) || sql[at] == u'.');
                 ++at) {
                t.text.push_back(sql[at]);
            }
        } else if (word_char(c)) {
            t.kind = Token::Kind::Word;
            for (; at < sql.size() && word_char(sql[at]); ++at) {
                t.text.push_back(sql[at]);
            }
        } else {
            t.kind = c == u'?' ? Token::Kind::Param : Token::Kind::Symbol;
            t.text.push_back(c);
            ++at;
        }
        out.push_back(std::move(t));
    }
    out.push_back({Token::Kind::End, Text16()});
    return out;
}

// --- tables ---

struct Column {
    Text16 name;
    ColumnType type;
    bool key = false;
};

struct Table {
    Text16 name;
    std::vector<Column> columns;
    std::vector<std::vector<Value>> rows;
};

using Tables = std::map<Text16, Table>;

struct Server {
    Tables tables;
    int transaction_count = 0;
    Tables begun;                        // the tables when the outer transaction began
    std::map<Text16, Tables> savepoints; // SAVE TRANSACTION's
    uint64_t row_version = 0x1000;
};

Server& server() {
    static Server the;
    return the;
}

Table& table_named(const Text16& name) {
    auto found = server().tables.find(lower(name));
    if (found == server().tables.end()) {
        fail("42S02", "Invalid object name '" + narrow(name) + "'.");
    }
    return found->second;
}

size_t column_index(const Table& table, const Text16& name) {
    for (size_t i = 0; i < table.columns.size(); ++i) {
        if (lower(table.columns[i].name) == lower(name)) {
            return i;
        }
    }
    fail("42S22", "Invalid column name '" + narrow(name) + "'.");
}

Value next_row_version() {
    Value v;
    v.null = false;
    v.binary = true;
    const uint64_t n = ++server().row_version;
    for (int shift = 56; shift >= 0; shift -= 8) {
        v.bytes.push_back(static_cast<char>((n >> shift) & 0xFF));
    }
    return v;
}

bool is_row_version(const Column& column) {
    return column.type.name == "timestamp";
}

// --- parsing ---

class Parser {
public:
    Parser(const Text16& sql, const std::vector<Param>& params)
        : tokens_(tokens_of(sql)), params_(params) {}

    const Token& peek() const { return tokens_[at_]; }
    Token next() { return tokens_[at_ < tokens_.size() - 1 ? at_++ : at_]; }
    bool word(const char16_t* keyword) {
        if (peek().kind == Token::Kind::Word && lower(peek().text) == lower(keyword)) {
            ++at_;
            return true;
        }
        return false;
    }
    void expect(const char16_t* keyword) {
        if (!word(keyword)) {
            fail("42000", "Incorrect syntax near '" + narrow(peek().text) + "'.");
        }
    }
    bool symbol(char16_t c) {
        if (peek().kind == Token::Kind::Symbol && peek().text == Text16(1, c)) {
            ++at_;
            return true;
        }
        return false;
    }
    void expect_symbol(char16_t c) {
        if (!symbol(c)) {
            fail("42000", "Incorrect syntax near '" + narrow(peek().text) + "'.");
        }
    }
    Text16 name() {
        const Token t = next();
        if (t.kind != Token::Kind::Word && t.kind != Token::Kind::Identifier) {
            fail("42000", "Incorrect syntax near '" + narrow(t.text) + "'.");
        }
        return t.text;
    }
    // A table's name, after its schema if one is given ("dbo"."m").
    Text16 table_name() {
        Text16 name = this->name();
        while (symbol(u'.')) {
            name = this->name();
        }
        return name;
    }
    long number() {
        const Token t = next();
        if (t.kind == Token::Kind::Word && lower(t.text) == u"max") {
            return 0;
        }
        if (t.kind != Token::Kind::Number) {
            fail("42000", "Incorrect syntax near '" + narrow(t.text) + "'.");
        }
        return std::stol(narrow(t.text));
    }
    // A literal or a parameter marker, converted to `type`.
    Value value(const ColumnType& type) {
        const Token t = next();
        switch (t.kind) {
        case Token::Kind::Param:
            if (param_ >= params_.size()) {
                fail("07002", "COUNT field incorrect or syntax error");
            }
            return convert_param(type, params_[param_++]);
        case Token::Kind::String:
            return convert_text(type, t.text + concatenated());
        case Token::Kind::Number:
            return convert_text(type, t.text);
        case Token::Kind::Hex: {
            Value v;
            v.null = false;
            v.binary = true;
            const std::string hex = narrow(t.text);
            for (size_t i = 0; i + 1 < hex.size(); i += 2) {
                v.bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
            }
            return v;
        }
        default:
            if (t.kind == Token::Kind::Word && lower(t.text) == u"null") {
                return Value{};
            }
            fail("42000", "Incorrect syntax near '" + narrow(t.text) + "'.");
        }
    }

private:
    // "+ N'b' + NCHAR(0)" after a string: the text it adds.
    Text16 concatenated() {
        Text16 out;
        while (symbol(u'+')) {
            const Token t = next();
            if (t.kind == Token::Kind::String) {
                out += t.text;
            } else if (t.kind == Token::Kind::Word && lower(t.text) == u"nchar" && symbol(u'(')) {
                out.push_back(static_cast<char16_t>(number()));
                expect_symbol(u')');
            } else {
                fail("42000", "Incorrect syntax near '" + narrow(t.text) + "'.");
            }
        }
        return out;
    }

    std::vector<Token> tokens_;
    size_t at_ = 0;
    const std::vector<Param>& params_;
    size_t param_ = 0;
};

bool same(const Value& a, const Value& b) {
    return !a.null && !b.null && a.text == b.text && a.bytes == b.bytes;
}

// "WHERE a = ? AND b IS NULL AND 1 = 0": which rows of `table` match.
std::vector<bool> matching_rows(Parser& p, const Table& table) {
    std::vector<bool> match(table.rows.size(), true);
    if (!p.word(u"WHERE")) {
        return match;
    }
    do {
        if (p.peek().kind == Token::Kind::Number) {
            const Text16 left = p.next().text;
            p.expect_symbol(u'=');
            if (p.next().text != left) {
                std::fill(match.begin(), match.end(), false);
            }
            continue;
        }
        const size_t c = column_index(table, p.name());
        if (p.word(u"IS")) {
            p.expect(u"NULL");
            for (size_t r = 0; r < match.size(); ++r) {
                match[r] = match[r] && table.rows[r][c].null;
            }
            continue;
        }
        p.expect_symbol(u'=');
        const Value wanted = p.value(table.columns[c].type);
        for (size_t r = 0; r < match.size(); ++r) {
            match[r] = match[r] && same(table.rows[r][c], wanted);
        }
    } while (p.word(u"AND"));
    return match;
}

Result create_table(Parser& p) {
    p.expect(u"TABLE");
    Table table;
    table.name = p.name();
    p.expect_symbol(u'(');
    do {
        Column column;
        column.name = p.name();
        const std::string type = narrow(p.name());
        long size = -1;
        long digits = -1;
        if (p.symbol(u'(')) {
            size = p.number();
            if (p.symbol(u',')) {
                digits = p.number();
            }
            p.expect_symbol(u')');
        }
        column.type = column_type(type, size, digits);
        if (p.word(u"PRIMARY")) {
            p.expect(u"KEY");
            column.key = true;
        }
        table.columns.push_back(std::move(column));
    } while (p.symbol(u','));
    p.expect_symbol(u')');
    server().tables[lower(table.name)] = std::move(table);
    return Result{};
}

Result insert(Parser& p) {
    p.expect(u"INTO");
    Table& table = table_named(p.table_name());
    p.expect(u"VALUES");
    Result out;
    out.affected = 0;
    do {
        p.expect_symbol(u'(');
        std::vector<Value> row;
        for (const Column& column : table.columns) {
            if (!row.empty()) {
                p.expect_symbol(u',');
            }
            const Value v = p.value(column.type);
            row.push_back(is_row_version(column) ? next_row_version() : v);
        }
        p.expect_symbol(u')');
        table.rows.push_back(std::move(row));
        ++out.affected;
    } while (p.symbol(u','));
    return out;
}

Result select(Parser& p) {
    std::vector<std::pair<Text16, Text16>> items; // column, label
    if (!p.symbol(u'*')) {
        do {
            const Text16 column = p.name();
            items.emplace_back(column, p.word(u"AS") ? p.name() : column);
        } while (p.symbol(u','));
    }
    p.expect(u"FROM");
    const Table& table = table_named(p.table_name());
    if (items.empty()) {
        for (const Column& c : table.columns) {
            items.emplace_back(c.name, c.name);
        }
    }
    Result out;
    std::vector<size_t> picked;
    for (const auto& [column, label] : items) {
        picked.push_back(column_index(table, column));
        const Column& c = table.columns[picked.back()];
        out.columns.push_back({label, table.name, c.name, c.type});
    }
    const std::vector<bool> match = matching_rows(p, table);
    for (size_t r = 0; r < table.rows.size(); ++r) {
        if (match[r]) {
            std::vector<Value> row;
            row.reserve(picked.size());
            for (const size_t c : picked) {
                row.push_back(table.rows[r][c]);
            }
            out.rows.push_back(std::move(row));
        }
    }
    return out;
}

Result update(Parser& p) {
    Table& table = table_named(p.table_name());
    p.expect(u"SET");
    std::vector<std::pair<size_t, Value>> sets;
    do {
        const size_t c = column_index(table, p.name());
        if (is_row_version(table.columns[c])) {
            fail("42000", "Cannot update a timestamp column.");
        }
        p.expect_symbol(u'=');
        sets.emplace_back(c, p.value(table.columns[c].type));
    } while (p.symbol(u','));
    const std::vector<bool> match = matching_rows(p, table);
    Result out;
    out.affected = 0;
    for (size_t r = 0; r < table.rows.size(); ++r) {
        if (!match[r]) {
            continue;
        }
        for (const auto& [c, v] : sets) {
            table.rows[r][c] = v;
        }
        for (size_t c = 0; c < table.columns.size(); ++c) {
            if (is_row_version(table.columns[c])) {
                table.rows[r][c] = next_row_version();
            }
        }
        ++out.affected;
    }
    return out;
}

Result transaction(Parser& p, const Text16& verb) {
    Server& s = server();
    const bool named_word = p.word(u"TRANSACTION") || p.word(u"TRAN");
    const Text16 name = named_word && p.peek().kind != Token::Kind::End ? p.name() : Text16();
    if (verb == u"begin") {
        if (s.transaction_count++ == 0) {
            s.begun = s.tables;
        }
    } else if (verb == u"save") {
        if (s.transaction_count == 0) {
            fail("25000", "Cannot issue SAVE TRANSACTION when there is no active transaction.");
        }
        s.savepoints[lower(name)] = s.tables;
    } else if (verb == u"commit") {
        if (s.transaction_count == 0) {
            fail("25000", "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
        }
        --s.transaction_count;
    } else if (!name.empty()) {
        const auto found = s.savepoints.find(lower(name));
        if (found == s.savepoints.end()) {
            fail("25000", "Cannot roll back " + narrow(name) +
                              ". No transaction or savepoint of "
                              "that name was found.");
        }
        s.tables = found->second;
    } else {
        s.tables = s.begun;
        s.transaction_count = 0;
    }
    return Result{};
}

const char16_t* const kVerbs[] = {u"select", u"insert", u"update", u"create",
                                  u"begin",  u"save",   u"commit", u"rollback"};

} // namespace

bool is_table_statement(const Text16& sql) {
    const std::vector<Token> t = tokens_of(sql);
    for (const char16_t* verb : kVerbs) {
        if (t[0].kind == Token::Kind::Word && lower(t[0].text) == verb) {
            return true;
        }
    }
    return false;
}

Result run(const Text16& sql, const std::vector<Param>& params) {
    Parser p(sql, params);
    const Text16 verb = lower(p.name());
    if (verb == u"create") {
        return create_table(p);
    }
    if (verb == u"insert") {
        return insert(p);
    }
    if (verb == u"select") {
        return select(p);
    }
    if (verb == u"update") {
        return update(p);
    }
    return transaction(p, verb);
}

Result primary_keys(const Text16& table_name) {
    const Table& table = table_named(table_name);
    const ColumnType name_type = column_type("nvarchar", 128, -1);
    Result out;
    for (const char16_t* label :
         {u"TABLE_CAT", u"TABLE_SCHEM", u"TABLE_NAME", u"COLUMN_NAME", u"KEY_SEQ", u"PK_NAME"}) {
        out.columns.push_back({label, Text16(), label, name_type});
    }
    short sequence = 0;
    for (const Column& c : table.columns) {
        if (!c.key) {
            continue;
        }
        std::vector<Value> row(6);
        row[2] = convert_text(name_type, table.name);
        row[3] = convert_text(name_type, c.name);
        row[4] =
            convert_text(name_type, std::u16string(1, static_cast<char16_t>(u'0' + ++sequence)));
        out.rows.push_back(std::move(row));
    }
    return out;
}

} // namespace odbc_double
