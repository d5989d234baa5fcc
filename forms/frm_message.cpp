#include "forms/frm_message.h"

namespace pelto {

platform::WarningFormDesign frm메세지::Design() {
    platform::WarningFormDesign d;
    d.caption = u"경고";
    d.client_width = 489;
    d.client_height = 366;
    // Image1: the installer's question as the user will meet it.
    d.picture_left = 0;
    d.picture_top = 1;
    d.picture_width = 486;
    d.picture_height = 336;
    // Shape1: the red outline around the question and its buttons.
    d.shape_left = 41;
    d.shape_top = 101;
    d.shape_width = 414;
    d.shape_height = 182;
    // Label1: the instruction, red, bold.
    d.label_left = 9;
    d.label_top = 338;
    d.label_width = 488;
    d.label_height = 22;
    d.label_text = u"※ 설치 도중 위와같은 메세지가 나올경우 \"아니오\"를 눌러주세요";
    d.label_font = u"맑은 고딕";
    d.label_point_size = 12;
    // What the picture shows: the suite's installer finding an earlier installation.
    // Answering "예" would stop the installation and keep the old programs.
    d.picture_message = u"펠토 설치\n"
                        u"\n"
                        u"C:\\Pelto_H 폴더에 이미 설치된 펠토 프로그램이 있습니다.\n"
                        u"설치를 중단하고 기존 프로그램을 그대로 사용하시겠습니까?\n"
                        u"\n"
                        u"[ 예(Y) ]    [ 아니오(N) ]";
    return d;
}

void frm메세지::Show(platform::Platform& p) {
    p.ui.show_warning_form(Design());
}

} // namespace pelto
