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

// Who holds the machine's one run, in the refused run's log line.
std::string holder_text(const platform::RunHolder& holder) {
    if (!holder.process_id) {
        return "another run is under way on this machine";
    }
    const std::string process = "(process " + std::to_string(*holder.process_id) + ")";
    if (holder.running) {
        return "another run " + process + " is under way on this machine";
    }
    return "a program that an earlier run " + process + " started is still running on this machine";
}

} // namespace

std::optional<int> check_session(platform::Platform& p, Claim claim) {
    if (!p.session.elevated()) {
        return refuse(p, kNotElevatedMessage, exit_status::kNotElevated,
                      "the run has no administrator rights (its token is not elevated); "
                      "nothing was touched");
    }
    if (claim == Claim::None) {
        return std::nullopt;
    }
    const platform::SingleRunClaim answer = p.session.claim_single_run();
    if (!answer.claimed) {
        return refuse(p, kAnotherRunMessage, exit_status::kAnotherRunUnderWay,
                      holder_text(answer.holder) + "; this run (process " +
                          std::to_string(p.session.process_id()) + ") touched nothing");
    }
    return std::nullopt;
}

} // namespace pelto::installer
