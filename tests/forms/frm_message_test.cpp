// The warning window's design and its modal show.
#include "forms/frm_message.h"
#include "tests/forms/fake_platform.h"

#include <gtest/gtest.h>

namespace pelto {
namespace {

TEST(WarningWindow, DesignHasTheCaptionSizesAndTheRedLabel) {
    const platform::WarningFormDesign d = frm메세지::Design();
    EXPECT_EQ(d.caption, u"경고");
    EXPECT_EQ(std::tie(d.client_width, d.client_height), std::make_tuple(489, 366));
    EXPECT_EQ(std::tie(d.picture_left, d.picture_top, d.picture_width, d.picture_height),
              std::make_tuple(0, 1, 486, 336));
    EXPECT_EQ(std::tie(d.shape_left, d.shape_top, d.shape_width, d.shape_height),
              std::make_tuple(41, 101, 414, 182));
    EXPECT_EQ(std::tie(d.label_left, d.label_top, d.label_width, d.label_height),
              std::make_tuple(9, 338, 488, 22));
    EXPECT_EQ(d.label_text, u"※ 설치 도중 위와같은 메세지가 나올경우 \"아니오\"를 눌러주세요");
    EXPECT_EQ(d.label_font, u"맑은 고딕");
    EXPECT_EQ(d.label_point_size, 12);
    // The picture's question offers the answer the label asks for, and fits the picture.
    EXPECT_TRUE(contains(d.picture_message, u"아니오"));
    EXPECT_TRUE(d.shape_left + d.shape_width <= d.picture_width);
    EXPECT_TRUE(d.shape_top + d.shape_height <= d.picture_top + d.picture_height);
}

TEST(WarningWindow, ShowHandsTheDesignToThePlatformOnce) {
    testing::FakePlatform f;
    frm메세지::Show(f.p);
    ASSERT_EQ(f.ui.warning_forms.size(), 1U);
    EXPECT_EQ(f.ui.warning_forms[0], u"경고");
}

} // namespace
} // namespace pelto
