// Values written into ODBC connection strings: nothing a user types may add attributes.
#include "platform/odbc_value.h"

#include <gtest/gtest.h>

namespace pelto::platform {
namespace {

TEST(OdbcValue, PlainValuesStayAndAnythingThatCouldEndOneIsBraced) {
    EXPECT_EQ(odbc_value(u"$63TirMox47@$"), u"$63TirMox47@$");
    EXPECT_EQ(odbc_value(u"병원 서버"), u"병원 서버");
    EXPECT_EQ(odbc_value(u""), u"");
    EXPECT_EQ(odbc_value(u"a;DRIVER={x}"), u"{a;DRIVER={x}}}");
    EXPECT_EQ(odbc_value(u"a=b"), u"{a=b}");
    EXPECT_EQ(odbc_value(u"}"), u"{}}}");
    // Blanks at either end would be dropped by the driver.
    EXPECT_EQ(odbc_value(u" pw"), u"{ pw}");
    EXPECT_EQ(odbc_value(u"pw\t"), u"{pw\t}");
}

} // namespace
} // namespace pelto::platform
