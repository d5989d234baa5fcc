#include "installer/run_session.h"

#include "core/exit_status.h"
#include "core/workstation.h"

#include <string>

namespace pelto::installer {

namespace {

constexpr TextView kNotElevatedMessage =
    u"관리자 권한으로 실행해야 합니다. 프로그램을 마우스 오른쪽 단추로 누르고 "
    u"'관리자 권한으로 실행'을 선택해주세요.";
constexpr TextView kAnotherRunMessage =
    u"설치가 이미 진행 중입니다. 진행 중인 설치가 끝난 뒤 다시 실행해주세요.";

int refuse(platform::Platform& p, TextView message, int status, const std::string& reason) {
    p.log.write("run ended (exit status " + std::to_string(status) + "): " + reason);
    p.ui.message_box(message, platform::MessageIcon::Critical, workstation::kAppTitle);
    return status;
}

} // namespace

std::optional<int> check_session(platform::Platform& p) {
    if (!p.session.elevated()) {
        return refuse(p, kNotElevatedMessage, exit_status::kNotElevated,
                      "the run has no administrator rights (its token is not elevated); "
                      "nothing was touched");
    }
    if (!p.session.claim_single_run()) {
        return refuse(p, kAnotherRunMessage, exit_status::kAnotherRunUnderWay,
                      "another run is under way on this machine; nothing was touched");
    }
    return std::nullopt;
}

} // namespace pelto::installer
