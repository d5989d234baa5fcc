// A demo machine of the test's own: a machine root built by scripts/make-demo-machine.sh
// below the system's temporary folder (the earlier installation, the update share, the
// central server with its demo institutions), removed again with the object unless the
// test failed. What the tests that run the installation on it read back is here too.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace pelto::testing {

class DemoMachine {
public:
    // `name` names the root's folder, below `base`; the process id keeps parallel runs
    // apart. Throws std::runtime_error when the machine cannot be built.
    explicit DemoMachine(const std::string& name, const std::filesystem::path& base =
                                                      std::filesystem::temp_directory_path());
    ~DemoMachine();
    DemoMachine(const DemoMachine&) = delete;
    DemoMachine& operator=(const DemoMachine&) = delete;

    // Leaves the root in place for inspection (a failed test).
    void keep() { keep_ = true; }

    const std::filesystem::path& root() const { return root_; }
    // The host path of C:\<relative>.
    std::filesystem::path c(const std::string& relative) const;
    std::string registry() const; // the registry store's text
    std::string log() const;      // the run log
    std::string settings() const; // C:\Pelto_H\bin\Pelto.ini

    // Every file and folder below the root: its bytes, its mode and its modification time
    // (folders: "<folder>" and the same), and its DOS attributes, by host path.
    std::map<std::string, std::string> snapshot() const;

private:
    std::filesystem::path root_;
    bool keep_ = false;
};

// A folder for machines that many runs write to: memory (/dev/shm) where the system has it,
// so that flushing each replaced file costs nothing, else the temporary folder.
std::filesystem::path scratch_folder();

// The program the tests run, and the central addresses it was built with.
extern const char* const kProgram;
extern const char* const kCentral1;
extern const char* const kCentral2;

} // namespace pelto::testing
