// The run log for support staff: each step, each ignored platform status, each early
// exit. Never a password.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
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

// The machine's local time now: the run log's records, the kept settings files' folders.
LocalTime local_time_now();

// One record of the run log, the same on every platform: "YYYY-MM-DD HH:MM:SS.mmm text"
// and the line end, with every line break inside the text made a blank, so that a value
// written into the log can never forge a second entry.
std::string run_log_record(const LocalTime& now, std::string_view line, std::string_view line_end);

// What the file a run log was opened on is, read from the opened file itself.
struct OpenedLogFile {
    bool is_link = false;    // the path's last name is a link (opened as itself)
    bool is_regular = false; // an ordinary file, not a device, pipe or folder
    uint64_t names = 1;      // its hard links
};

// Why a run log may not be written into that file; nullopt when it may. The run runs as
// administrator and its log often lies where the user's other processes may write: a
// link put in place of the log, or a second name given to it, would make the run append
// to a file someone else chose, or let them read the log through the other name. The
// log is therefore only ever the file itself, with one name.
std::optional<std::string> run_log_refusal(const OpenedLogFile& file);

// A run log kept in a file. What every platform's log does alike lives here: opened once
// (on the first record, or before the run through open()), one record per call, calls
// from several threads kept apart, and never an exception into the run (a line that
// cannot be written is lost, the run goes on). A platform gives its line end and the
// file.
class FileRunLogBase : public RunLog {
public:
    void write(std::string_view line) final;
    // Opens the file now, so that a log the run cannot keep is known before the run
    // touches anything: nullopt when it is open, else why it cannot be.
    std::optional<std::string> open();

protected:
    virtual std::string_view line_end() const = 0;
    // Opens the file for appending, its missing folders made and links on its own name
    // never followed, and checks it with run_log_refusal(): nullopt when it is open, else
    // the reason (the file is then closed again).
    virtual std::optional<std::string> open_file() = 0;
    // Appends one record to the open file; false when it cannot.
    virtual bool append(std::string_view record) = 0;
    // A log that could not be opened on its first record: the records are lost. The
    // platform may say so where someone sees it.
    virtual void lost(const std::string& reason) { (void)reason; }

private:
    std::optional<std::string> open_locked();

    std::mutex mutex_;
    enum class State { Closed, Open, Failed };
    State state_ = State::Closed;
    std::string failure_;
};

} // namespace pelto::platform
