// libmcrypt's Rijndael in ECB mode: the independent implementation the cipher is
// checked and measured against.
#pragma once

#include <cstdint>
#include <mcrypt.h>
#include <stdexcept>
#include <string>

namespace pelto::cipher::testing {

class McryptRijndael {
public:
    // block_bytes 16, 24 or 32: "rijndael-128", "-192", "-256".
    explicit McryptRijndael(int block_bytes) {
        std::string name = "rijndael-" + std::to_string(block_bytes * 8);
        std::string mode = "ecb";
        td_ = mcrypt_module_open(name.data(), nullptr, mode.data(), nullptr);
        if (td_ == MCRYPT_FAILED) {
            throw std::runtime_error("libmcrypt has no " + name);
        }
    }
    ~McryptRijndael() {
        deinit();
        mcrypt_module_close(td_);
    }
    McryptRijndael(const McryptRijndael&) = delete;
    McryptRijndael& operator=(const McryptRijndael&) = delete;

    void set_key(const uint8_t* key, int size) {
        deinit();
        if (mcrypt_generic_init(td_, const_cast<uint8_t*>(key), size, nullptr) < 0) {
            throw std::runtime_error("libmcrypt refused the key");
        }
        keyed_ = true;
    }
    // In place; size a multiple of the block length.
    void encrypt(uint8_t* data, int size) { mcrypt_generic(td_, data, size); }
    void decrypt(uint8_t* data, int size) { mdecrypt_generic(td_, data, size); }

    void deinit() {
        if (keyed_) {
            mcrypt_generic_deinit(td_);
            keyed_ = false;
        }
    }

private:
    MCRYPT td_;
    bool keyed_ = false;
};

} // namespace pelto::cipher::testing
