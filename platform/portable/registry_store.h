// HKEY_LOCAL_MACHINE of the mapped machine, kept in registry/HKEY_LOCAL_MACHINE.reg: the
// text form regedit exports ("Windows Registry Editor Version 5.00"), in UTF-8.
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\MSSQLServer\Client\ConnectTo]
//   "127.0.0.11"="DBMSSOCN,127.0.0.11"
//   "EnableLUA"=dword:00000000
//   "Other"=hex(3):01,02
//
// A text value whose bytes (as RegSetValueExA received them, code page 949) end in one
// NUL and convert cleanly is written in the quoted form; any other data keeps its exact
// bytes as hex(N). A key path names its parents too: [HKEY_LOCAL_MACHINE\A\B] makes A
// exist. Each write re-reads the file, changes only the lines of that one value (a new
// value goes after the last value of its key) and replaces the file atomically. A store
// that cannot be parsed is reported to the run log and never written.
#pragma once

#include "platform/portable/odbc_providers_portable.h"
#include "platform/registry.h"
#include "platform/run_log.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

namespace pelto::platform::portable {

// Win32 statuses beyond those of registry.h.
constexpr long kRegBadDatabase = 1009; // ERROR_BADDB: the store cannot be parsed
constexpr long kRegIoFailed = 1016;    // ERROR_REGISTRY_IO_FAILED: the store cannot be written
constexpr long kRegKeyDeleted = 1018;  // ERROR_KEY_DELETED: the open key has gone

struct RegValue {
    uint32_t type = 0;
    std::vector<uint8_t> data; // as RegQueryValueExA returns it (text in code page 949 + NUL)
    bool operator==(const RegValue&) const = default;
};

class PortableRegistry final : public Registry {
public:
    PortableRegistry(std::filesystem::path store_file, RunLog& log);

    // Access without KEY_SET_VALUE gives a key that refuses writes (status 5); the
    // registry-view flags are accepted and mean nothing here. A store the process may
    // not write gives status 5, as a user without administrator rights gets.
    long open_local_machine_key(TextView path, uint32_t access,
                                std::unique_ptr<RegistryKey>& key) override;

    // RegSetValueExA on an open key (what the key's set_value calls).
    long set_value(TextView key_path, TextView value_name, uint32_t type,
                   std::span<const uint8_t> data);

    // Reading, for tests, the demo and the ODBC provider layer. nullopt when the key or
    // value is missing or the store cannot be read.
    bool key_exists(TextView key_path) const;
    std::optional<RegValue> read_value(TextView key_path, TextView value_name) const;
    // A text value (types 1 and 2) as text, without its terminating NUL.
    std::optional<Text> read_string(TextView key_path, TextView value_name) const;
    std::optional<uint32_t> read_dword(TextView key_path, TextView value_name) const;
    // The values of one key in the order the store keeps them.
    std::vector<std::pair<Text, RegValue>> values(TextView key_path) const;
    // The data of a SQL Server client alias (ConnectTo), for PortableOdbcProviders.
    ConnectToLookup connect_to_lookup() const;

    // Setting up a machine (tests, the demo): creates the key as "reg add" does, the
    // store and its folder too when missing. kRegSuccess when the key exists afterwards.
    long create_key(TextView key_path);

    const std::filesystem::path& store_file() const { return store_file_; }

private:
    std::filesystem::path store_file_;
    RunLog& log_;
};

} // namespace pelto::platform::portable
