#include "db/ado/select_origin.h"

#include <array>
#include <optional>
#include <vector>

namespace pelto::ado {

namespace {

enum class Kind { Word, Quoted, Literal, Symbol };

struct Token {
    Kind kind;
    Text text; // a quoted name or a literal without its quotes
};

bool word_unit(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c == u'$' || c >= 0x80;
}

bool blank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v';
}

// The tokens of `sql`; nothing for a text whose quote or comment is never closed.
std::optional<std::vector<Token>> tokens_of(TextView sql) {
    std::vector<Token> out;
    const size_t n = sql.size();
    size_t i = 0;
    while (i < n) {
        const char16_t c = sql[i];
        const char16_t next = i + 1 < n ? sql[i + 1] : u'\0';
        if (blank(c)) {
            ++i;
        } else if (c == u'-' && next == u'-') {
            const size_t end = sql.find(u'\n', i);
            i = end == TextView::npos ? n : end + 1;
        } else if (c == u'/' && next == u'*') {
            const size_t end = sql.find(u"*/", i + 2);
            if (end == TextView::npos) {
                return std::nullopt;
            }
            i = end + 2;
        } else if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
            const char16_t close = c == u'[' ? u']' : c;
            Text text;
            size_t j = i + 1;
            for (;; ++j) {
                if (j >= n) {
                    return std::nullopt;
                }
                if (sql[j] == close) {
                    if (j + 1 < n && sql[j + 1] == close) { // a doubled quote stands for itself
                        text += close;
                        ++j;
                        continue;
                    }
                    break;
                }
                text += sql[j];
            }
            out.push_back({c == u'\'' ? Kind::Literal : Kind::Quoted, std::move(text)});
            i = j + 1;
        } else if (word_unit(c)) {
            size_t j = i;
            while (j < n && word_unit(sql[j])) {
                ++j;
            }
            out.push_back({Kind::Word, Text(sql.substr(i, j - i))});
            i = j;
        } else {
            out.push_back({Kind::Symbol, Text(1, c)});
            ++i;
        }
    }
    return out;
}

bool is_word(const Token& t, TextView word) {
    return t.kind == Kind::Word && equals_ignore_case(t.text, word);
}

bool is_symbol(const Token& t, char16_t symbol) {
    return t.kind == Kind::Symbol && t.text.size() == 1 && t.text[0] == symbol;
}

bool is_name(const Token& t) {
    return t.kind == Kind::Quoted ||
           (t.kind == Kind::Word && !(t.text[0] >= u'0' && t.text[0] <= u'9'));
}

// Words that end the FROM clause of a query of one table.
bool ends_from_clause(const Token& t) {
    constexpr std::array<std::u16string_view, 10> kWords{u"WHERE",  u"GROUP",  u"ORDER", u"HAVING",
                                                         u"LIMIT",  u"OFFSET", u"FETCH", u"FOR",
                                                         u"WINDOW", u"OPTION"};
    for (const auto word : kWords) {
        if (is_word(t, word)) {
            return true;
        }
    }
    return false;
}

// Words that make a query more than a selection from one table.
bool combines_queries(const Token& t) {
    constexpr std::array<std::u16string_view, 6> kWords{u"SELECT", u"UNION", u"INTERSECT",
                                                        u"EXCEPT", u"JOIN",  u"WITH"};
    for (const auto word : kWords) {
        if (is_word(t, word)) {
            return true;
        }
    }
    return false;
}

using Item = std::vector<const Token*>;

// name, or qualifier.name (up to catalog.schema.table.name).
bool column_reference(const Item& item) {
    if (item.size() % 2 == 0 || item.size() > 7) {
        return false;
    }
    for (size_t k = 0; k < item.size(); ++k) {
        if (k % 2 == 0 ? !is_name(*item[k]) : !is_symbol(*item[k], u'.')) {
            return false;
        }
    }
    return true;
}

// The tokens of a single plain SELECT (no UNION or other combination, no second
// statement), without a final ";".
std::optional<std::vector<Token>> plain_select(TextView sql) {
    auto parsed = tokens_of(sql);
    if (!parsed) {
        return std::nullopt;
    }
    std::vector<Token>& t = *parsed;
    while (!t.empty() && is_symbol(t.back(), u';')) {
        t.pop_back();
    }
    if (t.empty() || !is_word(t[0], u"SELECT")) {
        return std::nullopt;
    }
    for (size_t k = 1; k < t.size(); ++k) {
        if (combines_queries(t[k]) || is_symbol(t[k], u';')) {
            return std::nullopt;
        }
    }
    return parsed;
}

// The select list, item by item, up to FROM outside any parentheses; the index of FROM,
// or nullopt when there is none or the parentheses do not match.
std::optional<size_t> select_list(const std::vector<Token>& t, std::vector<Item>& items) {
    const size_t n = t.size();
    size_t i = 1;
    if (i < n && (is_word(t[i], u"DISTINCT") || is_word(t[i], u"ALL"))) {
        ++i;
    }
    if (i + 1 < n && is_word(t[i], u"TOP") && t[i + 1].kind == Kind::Word) {
        i += 2;
    }
    items.assign(1, Item());
    int depth = 0;
    for (; i < n; ++i) {
        if (depth == 0 && is_word(t[i], u"FROM")) {
            return i;
        }
        if (depth == 0 && is_symbol(t[i], u',')) {
            items.emplace_back();
            continue;
        }
        if (is_symbol(t[i], u'(')) {
            ++depth;
        } else if (is_symbol(t[i], u')') && --depth < 0) {
            return std::nullopt;
        }
        items.back().push_back(&t[i]);
    }
    return std::nullopt;
}

// FROM the one table `table` (its name maybe qualified), maybe with an alias, then
// nothing but the clauses that follow a single table: the alias (or null), or nullopt
// when the query reads anything else.
std::optional<const Token*> single_table(const std::vector<Token>& t, size_t from, TextView table) {
    const size_t n = t.size();
    size_t k = from + 1;
    const Token* table_name = nullptr;
    while (k < n && is_name(t[k])) {
        table_name = &t[k++];
        if (k < n && is_symbol(t[k], u'.')) {
            ++k;
            continue;
        }
        break;
    }
    if (table_name == nullptr || !equals_ignore_case(table_name->text, table)) {
        return std::nullopt;
    }
    const Token* alias = nullptr;
    if (k < n && is_word(t[k], u"AS")) {
        ++k;
        if (k >= n || !is_name(t[k])) {
            return std::nullopt;
        }
        alias = &t[k++];
    } else if (k < n && is_name(t[k]) && !ends_from_clause(t[k])) {
        alias = &t[k++];
    }
    if (k < n && !ends_from_clause(t[k])) {
        return std::nullopt; // a second table, a join by comma, a hint
    }
    return alias;
}

} // namespace

bool selects_column_itself(TextView sql, TextView table, TextView label) {
    const std::optional<std::vector<Token>> t = plain_select(sql);
    std::vector<Item> items;
    const std::optional<size_t> from = t ? select_list(*t, items) : std::nullopt;
    const std::optional<const Token*> alias = from ? single_table(*t, *from, table) : std::nullopt;
    if (!alias) {
        return false;
    }
    const auto names_table = [&](const Token* qualifier) {
        return equals_ignore_case(qualifier->text, table) ||
               (*alias != nullptr && equals_ignore_case(qualifier->text, (*alias)->text));
    };

    bool itself = false;
    for (const Item& item : items) {
        if (item.empty()) {
            return false;
        }
        const bool star = is_symbol(*item.back(), u'*');
        if (star && (item.size() == 1 || (item.size() == 3 && is_name(*item[0]) &&
                                          is_symbol(*item[1], u'.') && names_table(item[0])))) {
            itself = true; // every column of the table, under its own name
            continue;
        }
        if (column_reference(item) && (item.size() == 1 || names_table(item[item.size() - 3]))) {
            itself = itself || equals_ignore_case(item.back()->text, label);
            continue;
        }
        // Any other item is an expression; ending in a name, that name may be its label.
        if (is_name(*item.back()) && equals_ignore_case(item.back()->text, label)) {
            return false;
        }
    }
    return itself;
}

} // namespace pelto::ado
