#include "formats/ivf.h"

#include <cstring>

namespace {

void put_le16(uint8_t* at, uint16_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void put_le32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

void put_le64(uint8_t* at, uint64_t value)
{
    for (int i = 0; i < 8; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

bool fail(std::string* error, const char* reason)
{
    *error = reason;
    return false;
}

}  // namespace

bool ivf_begin(ivf_writer* writer, const char* path, const char fourcc[4], uint16_t width, uint16_t height,
               uint32_t time_base_numerator, uint32_t time_base_denominator, std::string* error)
{
    *writer = ivf_writer{};
    writer->file = fopen(path, "wb");
    if (writer->file == nullptr) {
        return fail(error, "can't create the file");
    }
    uint8_t header[32] = {'D', 'K', 'I', 'F'};
    put_le16(header + 4, 0);   // version
    put_le16(header + 6, 32);  // header size
    memcpy(header + 8, fourcc, 4);
    put_le16(header + 12, width);
    put_le16(header + 14, height);
    // The rate, then the scale: a tick lasts scale / rate seconds.
    put_le32(header + 16, time_base_denominator);
    put_le32(header + 20, time_base_numerator);
    put_le32(header + 24, 0);  // frame count, written at the end
    return fwrite(header, sizeof(header), 1, writer->file) == 1 || fail(error, "can't write the file");
}

bool ivf_add_frame(ivf_writer* writer, int64_t timestamp, const uint8_t* data, uint32_t size, std::string* error)
{
    uint8_t header[12];
    put_le32(header, size);
    put_le64(header + 4, static_cast<uint64_t>(timestamp));
    if (fwrite(header, sizeof(header), 1, writer->file) != 1 ||
        (size != 0 && fwrite(data, size, 1, writer->file) != 1)) {
        return fail(error, "can't write the file");
    }
    writer->frames += 1;
    return true;
}

bool ivf_finish(ivf_writer* writer, std::string* error)
{
    uint8_t count[4];
    put_le32(count, writer->frames);
    const bool ok = fseeko(writer->file, 24, SEEK_SET) == 0 && fwrite(count, sizeof(count), 1, writer->file) == 1;
    const bool closed = fclose(writer->file) == 0;
    writer->file = nullptr;
    return (ok && closed) || fail(error, "can't write the file");
}

void ivf_abandon(ivf_writer* writer)
{
    if (writer->file != nullptr) {
        fclose(writer->file);
        writer->file = nullptr;
    }
}
