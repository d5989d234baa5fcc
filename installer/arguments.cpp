#include "installer/arguments.h"

#include <algorithm>

namespace pelto::installer {

namespace {

// The part of an argument after "/NAME=" when the argument starts so (name in any case).
std::optional<Text> value_of(TextView argument, TextView name) {
    const size_t eq = argument.find(u'=');
    if (eq == TextView::npos || !equals_ignore_case(argument.substr(0, eq), name)) {
        return std::nullopt;
    }
    return Text(argument.substr(eq + 1));
}

bool is_path_separator(char16_t c) {
    return c == u'\\' || c == u'/';
}

// A full Windows path of a file: "X:\..." or "\\host\share\...", none of the characters
// Windows refuses in a name, and not ending in a separator. A relative path would depend
// on the folder the program was started in.
bool is_full_file_path(TextView path) {
    const bool drive =
        path.size() > 3 &&
        ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z')) &&
        path[1] == u':' && is_path_separator(path[2]);
    const bool unc = path.size() > 4 && is_path_separator(path[0]) && is_path_separator(path[1]) &&
                     !is_path_separator(path[2]);
    if (!drive && !unc) {
        return false;
    }
    const TextView rest = drive ? path.substr(3) : path.substr(2);
    const bool clean = std::none_of(rest.begin(), rest.end(), [](char16_t c) {
        return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' ||
               c == u'?' || c == u'*';
    });
    return clean && !is_path_separator(path.back());
}

// "yyyymmdd-hhmmss", or that with "-N": the name of a dated folder of kept settings files.
bool is_stamp(TextView name) {
    const auto digits = [](TextView t) {
        return !t.empty() &&
               std::all_of(t.begin(), t.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
    };
    if (name.size() < 15 || name[8] != u'-' || !digits(name.substr(0, 8)) ||
        !digits(name.substr(9, 6))) {
        return false;
    }
    return name.size() == 15 || (name[15] == u'-' && name.size() <= 22 && digits(name.substr(16)));
}

// The exit statuses in short, each with its Korean and English meaning: the usage's table.
// The whole table, with what the user saw, is "Exit status" in docs/operations.md.
struct StatusRow {
    TextView status;
    TextView korean;
    TextView english;
};
constexpr StatusRow kStatusRows[] = {
    {u"0", u"설치 완료 (/?, /RESTORE 포함)", u"completed (also /? and a whole /RESTORE)"},
    {u"3010, 1641", u"설치 완료, 다시 시작 필요", u"completed; a restart is asked for"},
    {u"10", u"중앙 데이터베이스에 연결할 수 없음", u"the central database cannot be reached"},
    {u"11", u"요양기관기호를 입력하지 않음", u"no code entered"},
    {u"12", u"요양기관기호가 잘못됨", u"no institution for the code"},
    {u"13", u"업데이트 경로를 쓸 수 없음", u"the update path cannot serve the run"},
    {u"14", u"인스톨 파일이 없음", u"no installer"},
    {u"15", u"업데이트 파일이 없음", u"no updater"},
    {u"16", u"설치 완료, 오류 있음 (로그 참고)", u"completed with faults (see the log)"},
    {u"17", u"되돌릴 설정 파일이 없음", u"nothing to restore"},
    {u"20", u"예기치 않은 오류", u"an unexpected error"},
    {u"21", u"시작할 수 없음 (/LOG 파일 등)", u"could not start (the /LOG file, ...)"},
    {u"22", u"잘못된 인수", u"a wrong argument"},
    {u"23", u"다른 설치나 그 프로그램이 실행 중", u"another run, or a program it started, at work"},
    {u"24", u"관리자 권한 없음", u"no administrator rights"},
};

Text status_table() {
    Text table = u"종료 코드 / Exit status (Linux: 3010, 1641 -> 194, 105):\n";
    for (const StatusRow& row : kStatusRows) {
        Text status(row.status);
        status.resize(12, u' ');
        table += u"  " + status + Text(row.korean) + u" / " + Text(row.english) + u"\n";
    }
    return table;
}

CommandLine usage_error(CommandLine line, TextView korean, TextView english, TextView argument) {
    line.kind = CommandLine::Kind::UsageError;
    line.fault =
        Text(korean) + u": " + Text(argument) + u"\n" + Text(english) + u": " + Text(argument);
    return line;
}

} // namespace

CommandLine parse_arguments(const std::vector<Text>& arguments) {
    CommandLine line;
    line.silent_given = std::any_of(arguments.begin(), arguments.end(), [](const Text& a) {
        return equals_ignore_case(a, u"/SILENT");
    });
    bool help = false;
    Text silent_argument; // as given, to be named when the code is missing
    for (const Text& argument : arguments) {
        if (argument == u"/?") {
            help = true;
        } else if (equals_ignore_case(argument, u"/SILENT")) {
            if (line.options.silent) {
                return usage_error(line, u"두 번 주어진 인수", u"Argument given twice", argument);
            }
            line.options.silent = true;
            silent_argument = argument;
        } else if (std::optional<Text> code = value_of(argument, u"/CODE")) {
            if (line.options.code) {
                return usage_error(line, u"두 번 주어진 인수", u"Argument given twice", argument);
            }
            if (code->empty()) {
                return usage_error(line, u"요양기관기호가 비어 있습니다", u"The code is empty",
                                   argument);
            }
            line.options.code = std::move(code);
        } else if (equals_ignore_case(argument, u"/PLAN")) {
            if (line.options.plan) {
                return usage_error(line, u"두 번 주어진 인수", u"Argument given twice", argument);
            }
            line.options.plan = true;
        } else if (equals_ignore_case(argument, u"/RESTORE") || value_of(argument, u"/RESTORE")) {
            if (line.options.restore) {
                return usage_error(line, u"두 번 주어진 인수", u"Argument given twice", argument);
            }
            Text stamp = value_of(argument, u"/RESTORE").value_or(Text());
            if (argument.find(u'=') != Text::npos && !is_stamp(stamp)) {
                return usage_error(line, u"보관 폴더 이름은 yyyymmdd-hhmmss 형식입니다",
                                   u"A kept folder is named yyyymmdd-hhmmss", argument);
            }
            line.options.restore = std::move(stamp);
        } else if (std::optional<Text> log = value_of(argument, u"/LOG")) {
            if (line.options.log) {
                return usage_error(line, u"두 번 주어진 인수", u"Argument given twice", argument);
            }
            if (!is_full_file_path(*log)) {
                return usage_error(line, u"로그 파일은 전체 경로로 주어야 합니다",
                                   u"The log needs a full path of a file", argument);
            }
            line.options.log = std::move(log);
        } else if (equals_ignore_case(argument, u"/CODE") ||
                   equals_ignore_case(argument, u"/LOG")) {
            return usage_error(line, u"값이 없는 인수", u"Argument without its value", argument);
        } else {
            return usage_error(line, u"알 수 없는 인수", u"Unknown argument", argument);
        }
    }
    if (help) {
        line.kind = CommandLine::Kind::Help;
        return line;
    }
    if (line.options.restore && line.options.code) {
        return usage_error(line, u"/RESTORE에는 /CODE를 함께 쓰지 않습니다",
                           u"/RESTORE takes no /CODE", *line.options.code);
    }
    // A restore asks for no code; an installation, planned or not, does.
    if (line.options.silent && !line.options.code && !line.options.restore) {
        return usage_error(line, u"/SILENT에는 /CODE가 필요합니다", u"/SILENT needs /CODE",
                           silent_argument);
    }
    return line;
}

Text usage_text() {
    return u"사용법 / Usage: PeltoUserInstall_H [/CODE=요양기관기호] [/SILENT] [/LOG=경로] "
           u"[/PLAN]\n"
           u"                                  [/RESTORE[=yyyymmdd-hhmmss]] [/?]\n"
           u"\n"
           u"  /CODE=code  요양기관기호. 입력 창을 띄우지 않고 주어진 그대로 씁니다\n"
           u"              (공백이 있으면 따옴표로 묶습니다).\n"
           u"              The care-institution code, used exactly as given; no input box\n"
           u"              (quote it when it holds spaces).\n"
           u"  /SILENT     메시지 창, 경고 창, 복사 질문 없이 설치합니다. /CODE가 필요합니다.\n"
           u"              결과는 종료 코드와 실행 로그로 알 수 있습니다.\n"
           u"              No message box, warning window or copy question; needs /CODE.\n"
           u"              The exit status and the run log tell the outcome.\n"
           u"  /LOG=path   실행 로그를 이 파일(Windows 전체 경로)에 씁니다.\n"
           u"              Writes the run log to this file (a full Windows path).\n"
           u"  /PLAN       설치가 이 PC에서 무엇을 할지 보여 줄 뿐, 아무것도 바꾸거나 실행하지\n"
           u"              않습니다. 종료 코드는 설치가 끝날 때의 코드와 같습니다.\n"
           u"              Shows what the installation would do on this PC; changes and\n"
           u"              starts nothing. Ends with the exit status the run would end with.\n"
           u"  /RESTORE[=yyyymmdd-hhmmss]\n"
           u"              보관된 설정 파일(가장 최근 것, 또는 이름을 준 폴더)을\n"
           u"              C:\\Pelto_H\\bin에 되돌립니다. 지금의 설정 파일은 먼저 보관합니다.\n"
           u"              레지스트리와 정책 값은 되돌리지 않습니다. /PLAN과 함께 쓰면 계획만\n"
           u"              보여 줍니다.\n"
           u"              Puts the kept settings files (the newest, or the named folder's)\n"
           u"              back into C:\\Pelto_H\\bin, keeping today's first. Registry and\n"
           u"              policy values are not restored. With /PLAN, only the plan.\n"
           u"  /?          이 도움말을 보여 줍니다. / Shows this help.\n"
           u"\n"
           u"인수 이름은 대소문자를 가리지 않습니다. 잘못된 인수는 종료 코드 22로 끝나며\n"
           u"아무것도 바꾸지 않습니다.\n"
           u"Argument names are not case-sensitive. A wrong argument ends with exit status 22\n"
           u"and changes nothing.\n"
           u"\n" +
           status_table();
}

} // namespace pelto::installer
