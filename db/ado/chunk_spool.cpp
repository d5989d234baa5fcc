#include "db/ado/chunk_spool.h"

#include "core/error.h"

#include <algorithm>
#include <random>
#include <string>
#include <system_error>

namespace pelto::ado {

namespace {

// A temporary file that fails is a file access error, not a lost connection.
[[noreturn]] void spool_failure(const char16_t* what) {
    throw VbError(vberr::kPathFileAccess, u"ADODB.Field", what);
}

std::filesystem::path unique_temporary_path() {
    std::random_device random;
    const uint64_t token = (static_cast<uint64_t>(random()) << 32) ^ random();
    std::error_code ec;
    const auto folder = std::filesystem::temp_directory_path(ec);
    if (ec) {
        spool_failure(u"There is no folder for temporary files.");
    }
    constexpr char kDigits[] = "0123456789abcdef";
    std::string name = "pelto-chunks-";
    for (int shift = 60; shift >= 0; shift -= 4) {
        name.push_back(kDigits[(token >> shift) & 0xF]);
    }
    return folder / (name + ".tmp");
}

} // namespace

ChunkSpool::~ChunkSpool() {
    if (!path_.empty()) {
        file_.close();
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
}

void ChunkSpool::move_to_file() {
    path_ = unique_temporary_path();
    file_.open(path_, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
    if (!file_) {
        path_.clear();
        spool_failure(u"A temporary file for the field's content could not be created.");
    }
    file_.write(reinterpret_cast<const char*>(memory_.data()),
                static_cast<std::streamsize>(memory_.size()));
    ByteArray().swap(memory_);
}

void ChunkSpool::append(std::span<const uint8_t> data) {
    if (data.empty()) {
        return;
    }
    if (path_.empty() && memory_.size() + data.size() > kMemoryLimit) {
        move_to_file();
    }
    if (path_.empty()) {
        memory_.insert(memory_.end(), data.begin(), data.end());
    } else {
        file_.seekp(0, std::ios::end);
        file_.write(reinterpret_cast<const char*>(data.data()),
                    static_cast<std::streamsize>(data.size()));
        if (!file_) {
            spool_failure(u"The field's content could not be written to its temporary file.");
        }
    }
    size_ += data.size();
}

size_t ChunkSpool::read(uint64_t offset, std::span<uint8_t> out) const {
    if (offset >= size_ || out.empty()) {
        return 0;
    }
    const size_t count = static_cast<size_t>(std::min<uint64_t>(out.size(), size_ - offset));
    if (path_.empty()) {
        std::copy_n(memory_.begin() + static_cast<std::ptrdiff_t>(offset), count, out.begin());
        return count;
    }
    file_.flush();
    file_.seekg(static_cast<std::streamoff>(offset));
    file_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(count));
    if (static_cast<size_t>(file_.gcount()) != count) {
        file_.clear();
        spool_failure(u"The field's content could not be read back from its temporary file.");
    }
    return count;
}

ByteArray ChunkSpool::read_all() const {
    if (path_.empty()) {
        return memory_;
    }
    ByteArray out(static_cast<size_t>(size_));
    read(0, out);
    return out;
}

std::shared_ptr<ChunkSpool> spool_of(const Variant& value) {
    if (!value.is_object()) {
        return nullptr;
    }
    return std::dynamic_pointer_cast<ChunkSpool>(value.object());
}

Variant visible(const Variant& value) {
    if (auto spool = spool_of(value)) {
        return spool->read_all();
    }
    return value;
}

} // namespace pelto::ado
