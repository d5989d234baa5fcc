// pelto-cipher: the string cipher on the command line, for the people who fill the
// central table's password column and for support staff.
//
//   pelto-cipher encrypt [--second-key] TEXT
//   pelto-cipher decrypt [--second-key] DIGITS
//
// TEXT or DIGITS "-" reads standard input and answers one line per input line.
// Input and output are UTF-8.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace pelto::tools {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitOutputFailed = 1; // standard output could not be written
constexpr int kExitMalformed = 2;    // malformed digits or input that is not UTF-8
constexpr int kExitUsage = 64;       // as EX_USAGE of sysexits.h

// Runs the tool on its arguments (without the program name), all UTF-8.
int run_cipher_cli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err);

} // namespace pelto::tools
