#include "core/error.h"
#include "core/variant.h"

#include <gtest/gtest.h>

namespace pelto {
namespace {

int32_t error_number(const auto& f) {
    try {
        f();
    } catch (const VbError& e) {
        return e.number();
    }
    return 0;
}

TEST(Variant, TextConversionFollowsCStr) {
    EXPECT_EQ(Variant().to_text(), u"");
    EXPECT_EQ(Variant(true).to_text(), u"True");
    EXPECT_EQ(Variant(int32_t{-42}).to_text(), u"-42");
    EXPECT_EQ(Variant(0.1).to_text(), u"0.1");
    EXPECT_EQ(Variant(1.0 / 3.0).to_text(), u"0.333333333333333");
    EXPECT_EQ(Variant(1e20).to_text(), u"1E+20");
    EXPECT_EQ(Variant(123456.0).to_text(), u"123456");
    EXPECT_EQ(Variant(Date::from_parts(2024, 3, 5, 14, 7, 9)).to_text(), u"2024-03-05 14:07:09");
    EXPECT_EQ(Variant(ByteArray{0x61, 0x00, 0x9C, 0xD3}).to_text(), u"a펜");
    EXPECT_EQ(error_number([] { (void)Variant(Null{}).to_text(); }), vberr::kInvalidUseOfNull);
    EXPECT_EQ(error_number([] { (void)Variant(Array2D(1, 1)).to_text(); }), vberr::kTypeMismatch);
}

TEST(Variant, LongConversionFollowsCLng) {
    EXPECT_EQ(Variant(u" 2 ").to_long(), 2);
    EXPECT_EQ(Variant(u"&H10").to_long(), 16);
    EXPECT_EQ(Variant(u"1e3").to_long(), 1000);
    EXPECT_EQ(Variant(2.5).to_long(), 2); // ties to even
    EXPECT_EQ(Variant(3.5).to_long(), 4);
    EXPECT_EQ(Variant(true).to_long(), -1);
    EXPECT_EQ(Variant().to_long(), 0);
    EXPECT_EQ(error_number([] { (void)Variant(u"abc").to_long(); }), vberr::kTypeMismatch);
    EXPECT_EQ(error_number([] { (void)Variant(u"").to_long(); }), vberr::kTypeMismatch);
    EXPECT_EQ(error_number([] { (void)Variant(3e9).to_long(); }), vberr::kOverflow);
    EXPECT_EQ(error_number([] { (void)Variant(Null{}).to_long(); }), vberr::kInvalidUseOfNull);
}

TEST(Variant, MissingMarkerIsDistinct) {
    const Variant m = Variant::missing();
    EXPECT_TRUE(m.is_missing());
    EXPECT_FALSE(m.is_empty());
    EXPECT_EQ(m.var_type(), 10);
}

TEST(Variant, DecimalKeepsPrecisionAndScale) {
    const Decimal d = Decimal::from_text(u"-12345678901234567890.1234567");
    EXPECT_EQ(d.scale, 7);
    EXPECT_TRUE(d.negative);
    EXPECT_EQ(d.to_text(), u"-12345678901234567890.1234567");
    EXPECT_EQ(Decimal::from_double(12.5, 2).to_text(), u"12.5");
    EXPECT_EQ(Variant(u"0.00").to_decimal().to_text(), u"0");
    EXPECT_EQ(error_number([] { (void)Decimal::from_text(u"1x"); }), vberr::kTypeMismatch);
    EXPECT_EQ(error_number([] { (void)Decimal::from_text(u"99999999999999999999999999999999"); }),
              vberr::kOverflow);
}

TEST(Variant, DatesRoundTripThroughTheOleSerial) {
    const Date d = Date::from_parts(2024, 3, 5, 14, 7, 9, 123);
    const auto p = d.parts();
    EXPECT_EQ(p.year, 2024);
    EXPECT_EQ(p.month, 3);
    EXPECT_EQ(p.day, 5);
    EXPECT_EQ(p.hour, 14);
    EXPECT_EQ(p.minute, 7);
    EXPECT_EQ(p.second, 9);
    EXPECT_EQ(p.millisecond, 123);
    EXPECT_DOUBLE_EQ(Date::from_parts(1899, 12, 31).serial, 1.0);
    EXPECT_EQ(Variant(u"2024-03-05 14:07:09").to_date(), Date::from_parts(2024, 3, 5, 14, 7, 9));
}

TEST(Variant, ArraysAreIndexedFieldThenRow) {
    Array2D a(3, 2);
    a.at(2, 1) = Variant(u"x");
    const Variant v(a);
    EXPECT_EQ(v.array().first_count(), 3u);
    EXPECT_EQ(v.array().second_count(), 2u);
    EXPECT_EQ(v.array().at(2, 1).to_text(), u"x");
    EXPECT_EQ(error_number([&] { (void)v.array().at(3, 0); }), vberr::kSubscriptOutOfRange);
}

} // namespace
} // namespace pelto
