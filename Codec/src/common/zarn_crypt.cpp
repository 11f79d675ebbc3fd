#include "zarn_crypt.h"

#include <cassert>

namespace {

int64_t scramble(uint8_t* buf, int64_t n)
{
    assert(buf != nullptr);
    if (n <= 0) {
        return 0;
    }
    // The key byte starts at (n + 75) mod 256 and grows by 33 per byte; the
    // uint8_t arithmetic does the mod 256.
    uint8_t key = static_cast<uint8_t>(n + 75);
    for (int64_t i = 0; i < n; ++i) {
        buf[i] ^= key;
        key = static_cast<uint8_t>(key + 33);
    }
    return n;
}

}  // namespace

int64_t zarn_crypt_encrypt(uint8_t* buf, int64_t n)
{
    return scramble(buf, n);
}

int64_t zarn_crypt_decrypt(uint8_t* buf, int64_t n)
{
    return scramble(buf, n);
}
