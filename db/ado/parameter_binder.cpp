#include "db/ado/parameter_binder.h"

#include "db/ado/ado_enums.h"
#include "db/ado/ado_error.h"
#include "db/ado/chunk_spool.h"
#include "db/ado/kept_original.h"
#include "db/ado/odbc_api.h"
#include "db/ado/odbc_check.h"
#include "db/ado/time_text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace pelto::ado {

namespace {

enum class Kind {
    None,
    Text,
    Long,
    BigInt,
    Double,
    Decimal,
    Bit,
    Timestamp,
    DateOnly,
    TimeOnly,
    Binary
};

// Text longer than this goes to the driver as a long (unlimited) type.
constexpr size_t kLongTextUnits = 4000;
constexpr size_t kLongBinaryBytes = 8000;
constexpr size_t kNumberTextUnits = 64;
constexpr size_t kPutChunk = 32768;

Kind kind_of_type(int32_t ado_type) {
    switch (ado_type) {
    case adBSTR:
    case adChar:
    case adWChar:
    case adVarChar:
    case adLongVarChar:
    case adVarWChar:
    case adLongVarWChar:
    case adGUID:
        return Kind::Text;
    case adSmallInt:
    case adInteger:
    case adTinyInt:
    case 17: // adUnsignedTinyInt
    case 18: // adUnsignedSmallInt
        return Kind::Long;
    case adBigInt:
        return Kind::BigInt;
    case adSingle:
    case adDouble:
        return Kind::Double;
    case adCurrency:
    case adDecimal:
    case adNumeric:
        return Kind::Decimal;
    case adBoolean:
        return Kind::Bit;
    case adDate:
    case adDBTimeStamp:
        return Kind::Timestamp;
    case adDBDate:
        return Kind::DateOnly;
    case adDBTime:
        return Kind::TimeOnly;
    case adBinary:
    case adVarBinary:
    case adLongVarBinary:
        return Kind::Binary;
    default:
        return Kind::None; // adEmpty, adIUnknown and the types nothing here sends
    }
}

// adVariant takes the kind of the value it holds.
Kind kind_of_value(const Variant& value) {
    return std::visit(
        [](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, int32_t>) {
                return Kind::Long;
            } else if constexpr (std::is_same_v<T, double>) {
                return Kind::Double;
            } else if constexpr (std::is_same_v<T, bool>) {
                return Kind::Bit;
            } else if constexpr (std::is_same_v<T, Decimal>) {
                return Kind::Decimal;
            } else if constexpr (std::is_same_v<T, Date>) {
                return Kind::Timestamp;
            } else if constexpr (std::is_same_v<T, ByteArray>) {
                return Kind::Binary;
            } else {
                return Kind::Text;
            }
        },
        value.storage());
}

// The value as VB's CLng gives it, or nullopt when it does not fit 32 bits.
std::optional<int32_t> long_value(const Variant& value) {
    try {
        return value.to_long();
    } catch (const VbError& e) {
        if (e.number() != vberr::kOverflow) {
            throw;
        }
        return std::nullopt;
    }
}

// The whole number nearest to `d`, halves to the even neighbour as VB rounds, as text.
Text whole_number_text(const Decimal& d) {
    Text text = d.to_text();
    const size_t point = text.find(u'.');
    if (point == Text::npos) {
        return text;
    }
    Text whole = text.substr(0, point);
    const Text fraction = text.substr(point + 1);
    const bool above_half =
        fraction[0] > u'5' ||
        (fraction[0] == u'5' && fraction.find_first_not_of(u'0', 1) != Text::npos);
    const bool half = fraction[0] == u'5' && !above_half;
    const bool odd = ((whole.back() - u'0') % 2) != 0;
    if (above_half || (half && odd)) {
        size_t i = whole.size();
        while (i > 0 && whole[i - 1] == u'9') {
            whole[--i] = u'0';
        }
        if (i == 0 || whole[i - 1] == u'-') {
            whole.insert(i, 1, u'1');
        } else {
            ++whole[i - 1];
        }
    }
    return whole == u"-0" ? Text(u"0") : whole;
}

// A text of digits with at most one point and a sign: "-12345678901234567890.1234567890".
bool plain_number(const Variant& v) {
    if (!v.is_text()) {
        return false;
    }
    const Text& t = std::get<Text>(v.storage());
    const size_t start = !t.empty() && (t[0] == u'-' || t[0] == u'+') ? 1 : 0;
    size_t digits = 0;
    size_t points = 0;
    for (size_t i = start; i < t.size(); ++i) {
        if (t[i] == u'.') {
            ++points;
        } else if (t[i] >= u'0' && t[i] <= u'9') {
            ++digits;
        } else {
            return false;
        }
    }
    return digits > 0 && points <= 1;
}

bool binds_null(const Variant& v) {
    return v.is_null() || v.is_empty() || v.is_missing();
}

SQLSMALLINT io_type(int32_t direction) {
    switch (direction) {
    case adParamOutput:
    case adParamReturnValue:
        return SQL_PARAM_OUTPUT;
    case adParamInputOutput:
        return SQL_PARAM_INPUT_OUTPUT;
    default:
        return SQL_PARAM_INPUT;
    }
}

bool reads_input(int32_t direction) {
    return direction != adParamOutput && direction != adParamReturnValue;
}

SQLSMALLINT text_sql_type(int32_t ado_type, size_t units) {
    const bool narrow = ado_type == adChar || ado_type == adVarChar || ado_type == adLongVarChar;
    const bool long_type =
        ado_type == adLongVarChar || ado_type == adLongVarWChar || units > kLongTextUnits;
    if (narrow) {
        return long_type ? SQL_LONGVARCHAR : SQL_VARCHAR;
    }
    return long_type ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
}

template <typename T> void store(std::vector<uint8_t>& buffer, const T& value) {
    buffer.resize(sizeof(T));
    std::memcpy(buffer.data(), &value, sizeof(T));
}

template <typename T> T load(const std::vector<uint8_t>& buffer) {
    T value{};
    std::memcpy(&value, buffer.data(), std::min(sizeof(T), buffer.size()));
    return value;
}

void store_text(std::vector<uint8_t>& buffer, const Text& text, size_t capacity_units) {
    buffer.assign((capacity_units + 1) * sizeof(char16_t), 0);
    std::memcpy(buffer.data(), text.data(),
                std::min(text.size(), capacity_units) * sizeof(char16_t));
}

Text load_text(const std::vector<uint8_t>& buffer, SQLLEN indicator) {
    const size_t capacity = buffer.size() / sizeof(char16_t);
    std::vector<char16_t> units(capacity);
    std::memcpy(units.data(), buffer.data(), capacity * sizeof(char16_t));
    Text text = odbc::text_of(units.data(), capacity);
    if (indicator >= 0) {
        text.resize(std::min(text.size(), static_cast<size_t>(indicator) / sizeof(char16_t)));
    }
    return text;
}

} // namespace

struct ParameterBinder::Slot {
    BindValue wanted;
    Kind kind = Kind::None;
    SQLSMALLINT c_type = SQL_C_DEFAULT;
    SQLSMALLINT sql_type = SQL_UNKNOWN_TYPE;
    SQLULEN column_size = 0;
    SQLSMALLINT digits = 0;
    std::vector<uint8_t> buffer;
    SQLLEN indicator = 0;
    bool streamed = false; // sent with SQLPutData when the driver asks for it
};

ParameterBinder::ParameterBinder(std::vector<BindValue> values, Text error_source)
    : error_source_(std::move(error_source)) {
    slots_.reserve(values.size());
    for (auto& value : values) {
        auto slot = std::make_unique<Slot>();
        slot->wanted = std::move(value);
        slots_.push_back(std::move(slot));
    }
}

ParameterBinder::~ParameterBinder() = default;

void ParameterBinder::refuse_nul(const Slot& slot, const Text& text) const {
    const size_t at = text.find(u'\0');
    if (at == Text::npos) {
        return;
    }
    const Text what = slot.wanted.what.empty() ? Text(u"a text value") : slot.wanted.what;
    throw VbError(adoerr::kDataOverflow, error_source_,
                  u"The text of " + what + u" holds a NUL character at position " +
                      from_utf8(std::to_string(at + 1)) +
                      u"; drivers cut text there, so it is not written.");
}

void ParameterBinder::fill_text(Slot& slot, bool null_input, bool output) const {
    const BindValue& wanted = slot.wanted;
    const Text text = null_input ? Text() : wanted.value.to_text();
    refuse_nul(slot, text);
    if (output && wanted.size <= 0) {
        raise(adoerr::kImproperParameter, error_source_);
    }
    const size_t capacity =
        std::max({text.size(), static_cast<size_t>(std::max(wanted.size, 0)), size_t{1}});
    store_text(slot.buffer, text, output ? capacity : text.size());
    if (!null_input) {
        slot.indicator = static_cast<SQLLEN>(text.size() * sizeof(char16_t));
    }
    slot.c_type = SQL_C_WCHAR;
    slot.sql_type =
        text_sql_type(wanted.ado_type == adVariant ? adVarWChar : wanted.ado_type, capacity);
    slot.column_size = capacity;
    if (wanted.sql_type != 0) {
        // A column of another type read as text (a time, SQL Server's datetimeoffset): the
        // driver converts the text to the column's own type, size and precision.
        slot.sql_type = wanted.sql_type;
        slot.column_size = wanted.precision > 0 ? static_cast<SQLULEN>(wanted.precision) : capacity;
        slot.digits = static_cast<SQLSMALLINT>(wanted.scale);
    }
}

// A time of day goes as its text "hh:mm:ss.fff": ODBC's time structure has no fraction,
// and SQLite's driver writes one without its seconds.
void ParameterBinder::fill_time_text(Slot& slot, bool null_input) const {
    BindValue& wanted = slot.wanted;
    if (!null_input) {
        wanted.value = time_of_day_text(wanted.value.to_date());
    }
    if (wanted.sql_type == 0) {
        wanted.sql_type = SQL_TYPE_TIME;
        wanted.precision = 12;
        wanted.scale = 3;
    }
    fill_text(slot, null_input, /*output=*/false);
}

// Big integers and decimals travel as their text, which every driver converts exactly. A
// decimal given as the text of a number goes as it is: a value beyond a Decimal's 96 bits
// (read from a numeric(38,10), say) is written and compared whole.
void ParameterBinder::fill_number_text(Slot& slot, bool null_input) const {
    const BindValue& wanted = slot.wanted;
    Text text;
    if (!null_input && slot.kind == Kind::Decimal && plain_number(wanted.value)) {
        text = wanted.value.to_text();
    } else if (!null_input) {
        const Decimal value = wanted.value.to_decimal();
        text = slot.kind == Kind::BigInt ? whole_number_text(value) : value.to_text();
    }
    store_text(slot.buffer, text, std::max(text.size(), kNumberTextUnits));
    if (!null_input) {
        slot.indicator = static_cast<SQLLEN>(text.size() * sizeof(char16_t));
    }
    slot.c_type = SQL_C_WCHAR;
    if (slot.kind == Kind::BigInt) {
        slot.sql_type = SQL_BIGINT;
        slot.column_size = 19;
        return;
    }
    slot.sql_type = wanted.ado_type == adNumeric ? SQL_NUMERIC : SQL_DECIMAL;
    slot.column_size = wanted.precision > 0            ? static_cast<SQLULEN>(wanted.precision)
                       : wanted.ado_type == adCurrency ? 19
                                                       : 28;
    slot.digits = static_cast<SQLSMALLINT>(
        wanted.ado_type == adCurrency && wanted.scale == 0 ? 4 : wanted.scale);
}

// An integer that fits 32 bits goes as one; a larger one (SQLite's INTEGER holds 64 bits)
// as the text of its whole number, which the driver converts or refuses as out of range.
void ParameterBinder::fill_long(Slot& slot, bool null_input) const {
    const BindValue& wanted = slot.wanted;
    slot.sql_type = wanted.ado_type == adSmallInt ? SQL_SMALLINT : SQL_INTEGER;
    // A value the driver writes back must fit the 32 bits it is read back as.
    const std::optional<int32_t> small = null_input ? std::optional<int32_t>(0)
                                         : wanted.direction != adParamInput
                                             ? std::optional<int32_t>(wanted.value.to_long())
                                             : long_value(wanted.value);
    if (small) {
        store<SQLINTEGER>(slot.buffer, *small);
        slot.c_type = SQL_C_SLONG;
        return;
    }
    const Text text = whole_number_text(wanted.value.to_decimal());
    store_text(slot.buffer, text, std::max(text.size(), kNumberTextUnits));
    slot.indicator = static_cast<SQLLEN>(text.size() * sizeof(char16_t));
    slot.c_type = SQL_C_WCHAR;
    slot.column_size = 19;
}

void ParameterBinder::fill_exact_timestamp(Slot& slot) {
    const TimestampFields& f = exact_timestamp(slot.wanted.value)->fields();
    const SQL_TIMESTAMP_STRUCT ts{f.year, f.month, f.day, f.hour, f.minute, f.second, f.fraction};
    store(slot.buffer, ts);
    slot.c_type = SQL_C_TYPE_TIMESTAMP;
    slot.sql_type = slot.wanted.sql_type != 0 ? slot.wanted.sql_type : SQL_TYPE_TIMESTAMP;
    const int needed = f.fraction % 1000U != 0 ? 9 : f.fraction % 1000000U != 0 ? 6 : 3;
    slot.digits = static_cast<SQLSMALLINT>(std::max(slot.wanted.scale, needed));
    slot.column_size = static_cast<SQLULEN>(20 + slot.digits);
}

void ParameterBinder::fill_date(Slot& slot, bool null_input) {
    const Date::Parts p = null_input ? Date{}.parts() : slot.wanted.value.to_date().parts();
    if (slot.kind == Kind::DateOnly && reads_input(slot.wanted.direction)) {
        // A date alone is stored as one (SQLite's driver writes it as "yyyy-mm-dd").
        const SQL_DATE_STRUCT date{static_cast<SQLSMALLINT>(p.year),
                                   static_cast<SQLUSMALLINT>(p.month),
                                   static_cast<SQLUSMALLINT>(p.day)};
        store(slot.buffer, date);
        slot.c_type = SQL_C_TYPE_DATE;
        slot.sql_type = SQL_TYPE_DATE;
        slot.column_size = 10;
        return;
    }
    SQL_TIMESTAMP_STRUCT ts{};
    ts.year = static_cast<SQLSMALLINT>(p.year);
    ts.month = static_cast<SQLUSMALLINT>(p.month);
    ts.day = static_cast<SQLUSMALLINT>(p.day);
    ts.hour = static_cast<SQLUSMALLINT>(p.hour);
    ts.minute = static_cast<SQLUSMALLINT>(p.minute);
    ts.second = static_cast<SQLUSMALLINT>(p.second);
    ts.fraction = static_cast<SQLUINTEGER>(p.millisecond) * 1000000U;
    store(slot.buffer, ts);
    slot.c_type = SQL_C_TYPE_TIMESTAMP;
    slot.sql_type = slot.kind == Kind::DateOnly   ? SQL_TYPE_DATE
                    : slot.kind == Kind::TimeOnly ? SQL_TYPE_TIME
                                                  : SQL_TYPE_TIMESTAMP;
    slot.column_size = 10;
    if (slot.kind == Kind::Timestamp) {
        // At least the milliseconds a Date holds, and as many digits as the column has.
        slot.digits = static_cast<SQLSMALLINT>(std::clamp(slot.wanted.scale, 3, 9));
        slot.column_size = static_cast<SQLULEN>(20 + slot.digits);
        if (slot.wanted.sql_type != 0) {
            slot.sql_type = slot.wanted.sql_type;
        }
    }
}

void ParameterBinder::fill_binary(Slot& slot, bool input, bool null_input, bool output) const {
    const BindValue& wanted = slot.wanted;
    slot.c_type = SQL_C_BINARY;
    if (input && wanted.stream && wanted.stream->size() > 0) {
        slot.indicator = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(wanted.stream->size()));
        slot.sql_type = SQL_LONGVARBINARY;
        slot.column_size = static_cast<SQLULEN>(wanted.stream->size());
        slot.streamed = true;
        return;
    }
    if (!null_input && !wanted.stream && !wanted.value.is_bytes()) {
        raise(adoerr::kDataConversion, error_source_);
    }
    const ByteArray empty;
    const ByteArray& bytes = null_input || wanted.stream ? empty : wanted.value.bytes();
    if (output && wanted.size <= 0) {
        raise(adoerr::kImproperParameter, error_source_);
    }
    const size_t capacity =
        std::max({bytes.size(), static_cast<size_t>(std::max(wanted.size, 0)), size_t{1}});
    slot.buffer.assign(capacity, 0);
    std::copy(bytes.begin(), bytes.end(), slot.buffer.begin());
    if (!null_input) {
        slot.indicator = static_cast<SQLLEN>(bytes.size());
    }
    slot.sql_type = capacity > kLongBinaryBytes ? SQL_LONGVARBINARY : SQL_VARBINARY;
    slot.column_size = capacity;
}

void ParameterBinder::fill(Slot& slot) const {
    const BindValue& wanted = slot.wanted;
    slot.kind =
        wanted.ado_type == adVariant ? kind_of_value(wanted.value) : kind_of_type(wanted.ado_type);
    if (slot.kind == Kind::None) {
        raise(adoerr::kImproperParameter, error_source_);
    }
    const bool input = reads_input(wanted.direction);
    const bool output = wanted.direction != adParamInput;
    const bool null_input = !input || (binds_null(wanted.value) && !wanted.stream);
    slot.indicator = input && null_input ? SQL_NULL_DATA : 0;
    try {
        switch (slot.kind) {
        case Kind::Text:
            fill_text(slot, null_input, output);
            break;
        case Kind::Long:
            fill_long(slot, null_input);
            break;
        case Kind::Double:
            store<SQLDOUBLE>(slot.buffer, null_input ? 0.0 : wanted.value.to_double());
            slot.c_type = SQL_C_DOUBLE;
            slot.sql_type = wanted.ado_type == adSingle ? SQL_REAL : SQL_DOUBLE;
            break;
        case Kind::Bit:
            store<unsigned char>(slot.buffer, !null_input && wanted.value.to_bool() ? 1 : 0);
            slot.c_type = SQL_C_BIT;
            slot.sql_type = SQL_BIT;
            break;
        case Kind::BigInt:
        case Kind::Decimal:
            fill_number_text(slot, null_input);
            break;
        case Kind::Timestamp:
            if (exact_timestamp(wanted.value) != nullptr) {
                fill_exact_timestamp(slot);
            } else {
                fill_date(slot, null_input);
            }
            break;
        case Kind::TimeOnly:
            if (input && !output) {
                fill_time_text(slot, null_input);
            } else {
                fill_date(slot, null_input);
            }
            break;
        case Kind::DateOnly:
            fill_date(slot, null_input);
            break;
        case Kind::Binary:
            fill_binary(slot, input, null_input, output);
            break;
        case Kind::None:
            break;
        }
    } catch (const VbError& e) {
        if (e.number() == adoerr::kImproperParameter || e.number() == adoerr::kDataConversion ||
            e.number() == adoerr::kDataOverflow) {
            throw;
        }
        raise(adoerr::kDataConversion, error_source_);
    }
}

void ParameterBinder::bind(const odbc::Handle& statement) {
    for (size_t i = 0; i < slots_.size(); ++i) {
        Slot& slot = *slots_[i];
        fill(slot);
        SQLPOINTER target = slot.streamed ? odbc::integer_argument(i + 1)
                                          : static_cast<SQLPOINTER>(slot.buffer.data());
        check(SQLBindParameter(statement.get(), static_cast<SQLUSMALLINT>(i + 1),
                               io_type(slot.wanted.direction), slot.c_type, slot.sql_type,
                               slot.column_size, slot.digits, target,
                               static_cast<SQLLEN>(slot.buffer.size()), &slot.indicator),
              statement, "SQLBindParameter", OdbcContext::Statement, error_source_);
    }
}

void ParameterBinder::put_data(const odbc::Handle& statement, void* token) {
    const auto index = static_cast<size_t>(reinterpret_cast<uintptr_t>(token)) - 1;
    if (index >= slots_.size() || !slots_[index]->wanted.stream) {
        raise(adoerr::kImproperParameter, error_source_);
    }
    const ChunkSpool& spool = *slots_[index]->wanted.stream;
    std::vector<uint8_t> chunk(kPutChunk);
    uint64_t offset = 0;
    while (offset < spool.size()) {
        const size_t got = spool.read(offset, chunk);
        const int16_t rc =
            check(SQLPutData(statement.get(), chunk.data(), static_cast<SQLLEN>(got)), statement,
                  "SQLPutData", OdbcContext::Statement, error_source_);
        if (rc == odbc_rc::kSuccessWithInfo) {
            const auto said = read_diagnostics(statement);
            put_warnings_.insert(put_warnings_.end(), said.begin(), said.end());
        }
        offset += got;
    }
}

std::vector<Variant> ParameterBinder::outputs() const {
    std::vector<Variant> out;
    out.reserve(slots_.size());
    for (const auto& slot_ptr : slots_) {
        const Slot& slot = *slot_ptr;
        if (slot.wanted.direction == adParamInput) {
            out.emplace_back();
            continue;
        }
        if (slot.indicator == SQL_NULL_DATA) {
            out.emplace_back(Null{});
            continue;
        }
        switch (slot.kind) {
        case Kind::Text:
            out.emplace_back(load_text(slot.buffer, slot.indicator));
            break;
        case Kind::Long:
            out.emplace_back(static_cast<int32_t>(load<SQLINTEGER>(slot.buffer)));
            break;
        case Kind::Double:
            out.emplace_back(static_cast<double>(load<SQLDOUBLE>(slot.buffer)));
            break;
        case Kind::Bit:
            out.emplace_back(load<unsigned char>(slot.buffer) != 0);
            break;
        case Kind::BigInt:
        case Kind::Decimal: {
            const Text text = load_text(slot.buffer, slot.indicator);
            try {
                out.emplace_back(Decimal::from_text(text));
            } catch (const VbError&) {
                out.emplace_back(text);
            }
            break;
        }
        case Kind::Timestamp:
        case Kind::DateOnly:
        case Kind::TimeOnly: {
            const auto ts = load<SQL_TIMESTAMP_STRUCT>(slot.buffer);
            out.emplace_back(Date::from_parts(ts.year, ts.month, ts.day, ts.hour, ts.minute,
                                              ts.second, static_cast<int>(ts.fraction / 1000000U)));
            break;
        }
        case Kind::Binary: {
            const size_t n = slot.indicator >= 0
                                 ? std::min(static_cast<size_t>(slot.indicator), slot.buffer.size())
                                 : slot.buffer.size();
            out.emplace_back(ByteArray(slot.buffer.begin(),
                                       slot.buffer.begin() + static_cast<std::ptrdiff_t>(n)));
            break;
        }
        case Kind::None:
            out.emplace_back();
            break;
        }
    }
    return out;
}

} // namespace pelto::ado
