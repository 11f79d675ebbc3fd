// The keyless payload scrambling of .zrn movies. Byte i of an n-byte block is
// XORed with (n + 33*i + 75) mod 256, so encrypting and decrypting are the
// same operation and applying it twice restores the block.
#pragma once

#include <cstdint>

// Transform `n` bytes at `buf` in place; return n, or 0 (changing nothing)
// when n <= 0.
int64_t zarn_crypt_encrypt(uint8_t* buf, int64_t n);
int64_t zarn_crypt_decrypt(uint8_t* buf, int64_t n);
