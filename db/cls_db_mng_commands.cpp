// clsDBMng: the shared parameterised command and the binary column transfers.
#include "db/cls_db_mng.h"
#include "db/cls_db_mng_trap.h"
#include "platform/path_files.h"

#include <algorithm>
#include <limits>

namespace pelto {

using dbmng::must;
using dbmng::trap;

namespace {

constexpr size_t kChunkSize = 32768;
constexpr int32_t kLoadPiece = 1 << 20; // bytes a load writes at a time

struct ParameterKind {
    int32_t ado_type;
    int32_t precision;
    int32_t scale;
};

// The manager's parameter type codes.
ParameterKind parameter_kind(int32_t pType) {
    switch (pType) {
    case 0:
        return {ado::adVarWChar, 0, 0};
    case 1:
        return {ado::adInteger, 0, 0};
    case 2:
        return {ado::adDecimal, 8, 2};
    case 3:
        return {ado::adDate, 0, 0};
    case 4:
        return {ado::adDecimal, 20, 7};
    case 9:
        return {ado::adIUnknown, 0, 0};
    default:
        return {ado::adEmpty, 0, 0}; // refused when the command runs
    }
}

void read_exactly(platform::File& file, std::span<uint8_t> buffer) {
    size_t done = 0;
    while (done < buffer.size()) {
        const auto got = file.read(buffer.subspan(done));
        if (!got) {
            throw VbError::runtime(vberr::kPathFileAccess);
        }
        if (*got == 0) {
            throw VbError::runtime(vberr::kInputPastEnd); // the file shrank while being read
        }
        done += *got;
    }
}

} // namespace

std::shared_ptr<ado::Command> clsDBMng::GetCommand(const Text& ComText, int32_t ComType) {
    std::shared_ptr<ado::Command> command;
    trap([&] {
        ErrorClear();
        command = std::make_shared<ado::Command>();
        command->ActiveConnection(sConnect.get());
        command->CommandText(ComText);
        command->CommandType(ComType);
    });
    return command;
}

void clsDBMng::CommandParaClear() {
    ado::ParameterList& parameters = must(sCommand).Parameters();
    const int32_t count = parameters.Count();
    for (int32_t i = 0; i < count; ++i) {
        parameters.Delete(Variant(int32_t{0}));
    }
}

std::shared_ptr<ado::Parameter> clsDBMng::GetParameter(const Variant& sParaName) {
    std::shared_ptr<ado::Parameter> parameter;
    trap([&] { parameter = must(sCommand).Parameters().Item(sParaName); });
    return parameter;
}

int32_t clsDBMng::CommandAppendPara(const Variant& ParaName, const Variant& ValueData,
                                    int32_t pType, int32_t Direction, int32_t pSize) {
    int32_t result = -1000;
    const auto failure = trap([&] {
        ErrorClear();
        sParameter = GetParameter(ParaName);
        if (!sParameter) {
            const ParameterKind kind = parameter_kind(pType);
            int32_t size = 0;
            if (pType == 0) {
                size = static_cast<int32_t>(ValueData.to_text().size());
                if (size == 0) {
                    size = 1;
                }
                if (pSize != 0) {
                    size = pSize;
                }
            }
            sParameter =
                must(sCommand).CreateParameter(ParaName.to_text(), kind.ado_type, Direction, 0);
            if (size != 0) {
                sParameter->Size(size);
            }
            if (kind.precision != 0) {
                sParameter->Precision(kind.precision);
                sParameter->NumericScale(kind.scale);
            }
            sParameter->Value(ValueData);
            sCommand->Parameters().Append(sParameter);
        } else {
            sParameter->Value(ValueData);
        }
        result = 0;
    });
    if (failure) {
        result = -1000;
    }
    return result;
}

std::shared_ptr<ado::Recordset> clsDBMng::execute_main_command(const Text& rSQL,
                                                               int32_t& affected) {
    ado::Command& command = must(sCommand);
    command.Prepared(true);
    command.CommandType(ado::adCmdText);
    if (!rSQL.empty()) {
        command.CommandText(rSQL);
    }
    return command.Execute(&affected, nullptr, ado::adOptionUnspecified);
}

int32_t clsDBMng::CommandExcute(const Text& rSQL, bool paraClear) {
    int32_t result = -1000;
    const auto failure = trap([&] {
        ErrorClear();
        int32_t affected = 0;
        execute_main_command(rSQL, affected); // its record set is released at once
        result = affected;
        if (paraClear) {
            CommandParaClear();
        }
    });
    if (failure) {
        result = -1000;
        // Both steps may fail (no command at all) and then reach the caller.
        ErrorDesc = u"[clsDBMng/CommandExcute] " + from_utf8(std::to_string(failure->number)) +
                    u"-" + failure->source + u"/" + failure->description + u"#" +
                    must(sCommand).CommandText();
        log("CommandExcute failed: " + to_utf8(ErrorDesc), *failure);
        end_transaction_on(*failure, "CommandExcute");
        CommandParaClear();
    }
    return result;
}

int32_t clsDBMng::CommandExcuteRst(const Text& rSQL) {
    std::shared_ptr<ado::Recordset> discarded;
    return CommandExcuteRst(rSQL, discarded, true);
}

int32_t clsDBMng::CommandExcuteRst(const Text& rSQL, std::shared_ptr<ado::Recordset>& rRst,
                                   bool paraClear) {
    int32_t result = -1000;
    const auto failure = trap([&] {
        ErrorClear();
        int32_t affected = 0;
        rRst = execute_main_command(rSQL, affected);
        result = affected;
        if (paraClear) {
            CommandParaClear();
        }
    });
    if (failure) {
        result = -1000;
        log("CommandExcuteRst failed: " + to_utf8(failure->description), *failure);
        end_transaction_on(*failure, "CommandExcuteRst");
        CommandParaClear();
    }
    return result;
}

int32_t clsDBMng::ImageDBSave(ado::Field& sFld, const Text& sFileName) {
    int32_t result = -1;
    const auto failure = trap([&] {
        // Every save is a file of its own: its first chunk replaces what the field held,
        // also the chunks of an earlier save or of one that failed part-way.
        sFld.restart_chunks();
        const auto file = platform::PathFiles(platform_.files, platform_.log)
                              .open_file(sFileName, platform::FileMode::Read);
        if (!file) {
            throw VbError::runtime(vberr::kFileNotFound);
        }
        const auto length = file->size();
        if (!length) {
            throw VbError::runtime(vberr::kPathFileAccess);
        }
        if (*length > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
            throw VbError::runtime(vberr::kOverflow); // the result counts bytes in 32 bits
        }
        if (*length == 0) {
            result = 0;
            return;
        }
        // One chunk of the file in memory at a time, whatever its size.
        std::vector<uint8_t> buffer(kChunkSize);
        const uint64_t whole = *length / kChunkSize;
        const auto rest = static_cast<size_t>(*length % kChunkSize);
        for (uint64_t i = 0; i < whole; ++i) {
            read_exactly(*file, buffer);
            sFld.AppendChunk(std::span<const uint8_t>(buffer));
        }
        if (rest > 0) {
            const std::span<uint8_t> last(buffer.data(), rest);
            read_exactly(*file, last);
            sFld.AppendChunk(std::span<const uint8_t>(last));
        }
        result = static_cast<int32_t>(*length);
    });
    if (failure) {
        result = -1;
        log("ImageDBSave failed for '" + to_utf8(sFileName) + "': " + to_utf8(failure->description),
            *failure);
    }
    return result;
}

int32_t clsDBMng::ImageDBLoad(ado::Field& sFld, const Text& sFileName, bool sIsUpdate) {
    int32_t result = -1;
    const auto failure = trap([&] {
        platform::PathFiles files(platform_.files, platform_.log);
        const bool exists = !files.list(sFileName, platform::attr::kNormal).empty();
        if (exists && !sIsUpdate) {
            result = 1;
            return;
        }
        // No file can be named with "*" or "?"; taken as a pattern, the deletion below
        // would remove every file it matches.
        if (sFileName.find_first_of(u"*?") != Text::npos) {
            throw VbError::runtime(vberr::kBadFileNameOrNumber);
        }
        if (exists && !files.delete_files(sFileName)) {
            throw VbError::runtime(vberr::kPathFileAccess);
        }
        if (sFld.is_null()) {
            result = 0;
            return;
        }
        const int32_t size = sFld.ActualSize();
        if (size == 0) {
            result = 0;
            return;
        }
        // The field's bytes go to the file a piece at a time: the record set already
        // holds them, and a second copy of a large value would double the memory.
        const auto next_piece = [&sFld](int32_t left) {
            Variant piece = sFld.GetChunk(std::min<int32_t>(left, kLoadPiece));
            if (!piece.is_bytes() || piece.bytes().empty()) {
                throw VbError::runtime(vberr::kTypeMismatch); // not a binary value
            }
            return piece;
        };
        int32_t left = size;
        Variant piece = next_piece(left);
        // A hidden or system file of that name is not seen above; writing into it from
        // its start would leave its old tail behind the new content.
        if (files.get_attributes(sFileName)) {
            throw VbError::runtime(vberr::kPathFileAccess);
        }
        auto file = files.open_file(sFileName, platform::FileMode::ReadWrite);
        if (!file) {
            throw VbError::runtime(vberr::kPathFileAccess);
        }
        const auto written = trap([&] {
            for (;;) {
                const ByteArray& bytes = piece.bytes();
                if (!file->write(bytes)) {
                    throw VbError::runtime(vberr::kPathFileAccess);
                }
                left -= static_cast<int32_t>(bytes.size());
                if (left <= 0) {
                    break;
                }
                piece = next_piece(left);
            }
        });
        file.reset(); // closed before the operation returns, in every outcome
        if (written) {
            // No half-written file stays behind.
            files.delete_files(sFileName);
            throw VbError(*written);
        }
        result = 1;
    });
    if (failure) {
        result = -1;
        log("ImageDBLoad failed for '" + to_utf8(sFileName) + "': " + to_utf8(failure->description),
            *failure);
    }
    return result;
}

} // namespace pelto
