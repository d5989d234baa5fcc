#include "tools/pelto-cipher/cipher_cli.h"

#include "cipher/cls_zan_cipher.h"
#include "core/error.h"
#include "core/text.h"

#include <istream>
#include <optional>
#include <ostream>

namespace pelto::tools {

namespace {

constexpr const char* kUsage =
    "usage: pelto-cipher encrypt [--second-key] TEXT\n"
    "       pelto-cipher decrypt [--second-key] DIGITS\n"
    "Enciphers TEXT into hexadecimal digits, or deciphers DIGITS back into the text\n"
    "(trailing spaces included). The first key text is the default; --second-key\n"
    "selects the other. TEXT or DIGITS \"-\" reads standard input and answers one\n"
    "line per input line. Use -- before a TEXT that begins with '-'.\n"
    "Exit status: 0 done, 2 malformed input (the other lines are still answered),\n"
    "64 wrong usage, 1 output failed.\n";

enum class Mode { Encrypt, Decrypt };

struct Request {
    Mode mode = Mode::Encrypt;
    bool second_key = false;
    std::string operand;
};

// The request, or nullopt after a usage message.
std::optional<Request> parse(const std::vector<std::string>& args, std::ostream& err) {
    auto usage_error = [&err](const std::string& why) {
        err << "pelto-cipher: " << why << "\n" << kUsage;
        return std::nullopt;
    };
    if (args.empty()) {
        return usage_error("no command given");
    }
    Request request;
    if (args[0] == "encrypt") {
        request.mode = Mode::Encrypt;
    } else if (args[0] == "decrypt") {
        request.mode = Mode::Decrypt;
    } else {
        return usage_error("unknown command '" + args[0] + "'");
    }
    std::optional<std::string> operand;
    bool options_ended = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!options_ended && arg == "--") {
            options_ended = true;
        } else if (!options_ended && arg == "--second-key") {
            request.second_key = true;
        } else if (!options_ended && arg.size() > 1 && arg[0] == '-') {
            return usage_error("unknown option '" + arg + "'");
        } else if (operand) {
            return usage_error("more than one TEXT or DIGITS given");
        } else {
            operand = arg;
        }
    }
    if (!operand) {
        return usage_error(request.mode == Mode::Encrypt ? "no TEXT given" : "no DIGITS given");
    }
    request.operand = *operand;
    return request;
}

bool is_hex_digit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

// Why the digits were refused, with the place of the fault; never the digits
// themselves.
std::string describe_malformed(const VbError& error, const Text& digits) {
    if (error.number() == vberr::kSubscriptOutOfRange) {
        return "odd number of characters (" + std::to_string(digits.size()) +
               "); the cipher form has two hexadecimal digits per byte";
    }
    for (size_t i = 0; i < digits.size(); ++i) {
        if (!is_hex_digit(digits[i])) {
            return "character " + std::to_string(i + 1) + " is not a hexadecimal digit";
        }
    }
    return to_utf8(error.error().description);
}

class Answerer {
public:
    Answerer(const Request& request, std::ostream& out, std::ostream& err)
        : request_(request), out_(out), err_(err) {}

    // Answers one input; false when it was malformed (then an empty line is written,
    // so that answers stay in step with the input lines).
    bool answer(const std::string& input, const std::string& where) {
        const Text text = from_utf8(input);
        if (to_utf8(text) != input) {
            err_ << "pelto-cipher: " << where << "input is not valid UTF-8\n";
            out_ << "\n";
            return false;
        }
        const bool before_key = !request_.second_key;
        if (request_.mode == Mode::Encrypt) {
            out_ << to_utf8(cipher_.fG_암호화(text, before_key)) << "\n";
            return true;
        }
        try {
            out_ << to_utf8(cipher_.fG_복호화(text, before_key)) << "\n";
            return true;
        } catch (const VbError& error) {
            err_ << "pelto-cipher: " << where
                 << "malformed digits: " << describe_malformed(error, text) << "\n";
            out_ << "\n";
            return false;
        }
    }

private:
    const Request& request_;
    std::ostream& out_;
    std::ostream& err_;
    clsZan암호화 cipher_;
};

} // namespace

int run_cipher_cli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err) {
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
        out << kUsage;
        return kExitOk;
    }
    const std::optional<Request> request = parse(args, err);
    if (!request) {
        return kExitUsage;
    }

    Answerer answerer(*request, out, err);
    bool all_well = true;
    if (request->operand == "-") {
        std::string line;
        for (size_t number = 1; std::getline(in, line); ++number) {
            // Files written on Windows end their lines with CR LF.
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            all_well &= answerer.answer(line, "line " + std::to_string(number) + ": ");
        }
    } else {
        all_well = answerer.answer(request->operand, "");
    }

    out.flush();
    if (!out) {
        err << "pelto-cipher: could not write the answer to standard output\n";
        return kExitOutputFailed;
    }
    return all_well ? kExitOk : kExitMalformed;
}

} // namespace pelto::tools
