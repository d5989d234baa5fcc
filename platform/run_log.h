// The run log for support staff: each step, each ignored platform status, each early
// exit. Never a password.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace pelto::platform {

class RunLog {
public:
    virtual ~RunLog() = default;
    // One line of UTF-8 text; the log adds the time stamp and the line end.
    virtual void write(std::string_view line) = 0;
};

// The local time of a log record.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// One record of the run log, the same on every platform: "YYYY-MM-DD HH:MM:SS.mmm text"
// and the line end, with every line break inside the text made a blank, so that a value
// written into the log can never forge a second entry.
std::string run_log_record(const LocalTime& now, std::string_view line, std::string_view line_end);

// A run log kept in a file. What every platform's log does alike lives here: one record
// per call, calls from several threads kept apart, and never an exception into the run (a
// line that cannot be written is lost, the run goes on). A platform gives the clock, its
// line end and the file.
class FileRunLogBase : public RunLog {
public:
    void write(std::string_view line) final;

protected:
    virtual LocalTime local_time() const = 0;
    virtual std::string_view line_end() const = 0;
    // Appends one record to the file, opening it on the first call; false when it
    // cannot, and the record is lost.
    virtual bool append(std::string_view record) = 0;

private:
    std::mutex mutex_;
};

} // namespace pelto::platform
