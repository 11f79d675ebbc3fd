#include "writer/zarn_writer.h"

#include <algorithm>
#include <cstring>
#include <unistd.h>

#include "common/zarn_crypt.h"

namespace {

constexpr uint32_t FORMAT_VERSION = 1;

bool fail(const char* function, const char* sentence)
{
    fprintf(stderr, "%s() : %s\n", function, sentence);
    return false;
}

bool write_bytes(zarn_writer* writer, const void* data, size_t size)
{
    return size == 0 || fwrite(data, size, 1, writer->file) == 1;
}

bool write_scrambled(zarn_writer* writer, const uint8_t* data, uint32_t size)
{
    if (size == 0) {
        return true;  // an empty block stays empty (and may have no buffer)
    }
    writer->scratch.assign(data, data + size);
    zarn_crypt_encrypt(writer->scratch.data(), size);
    return write_bytes(writer, writer->scratch.data(), size);
}

void copy_name(char (&field)[64], const std::string& name)
{
    memset(field, 0, sizeof(field));
    memcpy(field, name.data(), std::min(name.size(), sizeof(field) - 1));
}

int64_t position(zarn_writer* writer)
{
    return static_cast<int64_t>(ftello(writer->file));
}

}  // namespace

bool zarn_writer_begin(zarn_writer* writer, const char* path, const zarn_writer_movie& movie,
                       const zarn_writer_options& options)
{
    *writer = zarn_writer{};
    writer->options = options;
    writer->file = fopen(path, "wb");
    if (writer->file == nullptr) {
        return fail("zarn_writer_begin", "Couldn't create file.");
    }

    zarn_header& header = writer->header;
    header.magic[0] = ZARN_MAGIC_KTW;
    header.magic[1] = ZARN_MAGIC_ZARN;
    header.reserved0 = FORMAT_VERSION;
    header.frame_rate_numerator = movie.frame_rate_numerator;
    header.frame_rate_denominator = movie.frame_rate_denominator;
    header.audio_track_count = static_cast<int32_t>(movie.audio_tracks.size());
    header.caption_track_count = 0;
    header.video_track_count = 1;
    header.width = movie.width;
    header.height = movie.height;
    // frame_blob_size stays 0 until finish: an unfinished file reads as
    // partially encoded.
    if (!write_bytes(writer, &header, sizeof(header))) {
        return fail("zarn_writer_begin", "Couldn't write movie header.");
    }

    for (const zarn_writer_audio_track& track : movie.audio_tracks) {
        zarn_track_header track_header{};
        track_header.type = ZARN_TRACK_TYPE_AUDIO;
        copy_name(track_header.name, track.name);
        track_header.audio.channels = track.channels;
        track_header.audio.sample_rate = track.sample_rate;
        track_header.audio.data_size = static_cast<uint32_t>(track.ogg_data.size());
        writer->layout.audio_track_headers.push_back(position(writer));
        if (!write_bytes(writer, &track_header, sizeof(track_header))) {
            return fail("zarn_writer_begin", "Couldn't write audio track header.");
        }
        writer->layout.audio_track_data.push_back(position(writer));
        if (!write_scrambled(writer, track.ogg_data.data(), track_header.audio.data_size)) {
            return fail("zarn_writer_begin", "Couldn't write audio track data.");
        }
    }

    zarn_track_header video_header{};
    video_header.type = ZARN_TRACK_TYPE_VIDEO;
    copy_name(video_header.name, movie.video_name);
    video_header.video.width = movie.width;
    video_header.video.height = movie.height;
    video_header.video.header_word = movie.header_word;
    writer->layout.video_track_header = position(writer);
    if (!write_bytes(writer, &video_header, sizeof(video_header))) {
        return fail("zarn_writer_begin", "Couldn't write video track header.");
    }
    return true;
}

bool zarn_writer_add_packet(zarn_writer* writer, int64_t timestamp, bool key_frame,
                            const uint8_t* data, uint32_t size)
{
    zarn_packet_header packet{};
    packet.timestamp = timestamp;
    packet.size = size;
    packet.flags = key_frame ? PACKET_FLAG_KEY_FRAME : 0;
    writer->layout.packet_headers.push_back(position(writer));
    if (!write_bytes(writer, &packet, sizeof(packet)) || !write_scrambled(writer, data, size)) {
        return fail("zarn_writer_add_packet", "Couldn't write packet.");
    }
    writer->last_timestamp = timestamp;
    writer->largest_packet = std::max(writer->largest_packet, size);
    return true;
}

bool zarn_writer_finish(zarn_writer* writer, int64_t duration)
{
    if (writer->options.write_end_of_stream) {
        zarn_packet_header end{};
        end.timestamp = writer->last_timestamp;
        end.flags = PACKET_FLAG_END_OF_STREAM;
        writer->layout.end_of_stream_header = position(writer);
        if (!write_bytes(writer, &end, sizeof(end))) {
            zarn_writer_abandon(writer);
            return fail("zarn_writer_finish", "Couldn't write end-of-stream header.");
        }
    }
    writer->layout.file_size = position(writer);

    zarn_header& header = writer->header;
    if (duration < 0) {
        const int64_t period = header.frame_rate_numerator > 0
            ? ZARN_TIME_UNITS_PER_SECOND * header.frame_rate_denominator / header.frame_rate_numerator
            : 0;
        duration = writer->layout.packet_headers.empty() ? 0 : writer->last_timestamp + period;
    }
    header.duration = duration;
    header.frame_blob_size = writer->options.override_frame_blob_size ? writer->options.frame_blob_size
                                                                      : writer->largest_packet;
    const bool ok = fseeko(writer->file, 0, SEEK_SET) == 0 && write_bytes(writer, &header, sizeof(header));
    const bool closed = fclose(writer->file) == 0;
    writer->file = nullptr;
    if (!ok || !closed) {
        return fail("zarn_writer_finish", "Couldn't complete movie header.");
    }
    return true;
}

void zarn_writer_abandon(zarn_writer* writer)
{
    if (writer->file != nullptr) {
        fclose(writer->file);
        writer->file = nullptr;
    }
}

bool zarn_writer_patch(const char* path, int64_t offset, const void* bytes, size_t size)
{
    FILE* file = fopen(path, "r+b");
    if (file == nullptr) {
        return fail("zarn_writer_patch", "Couldn't open file.");
    }
    const bool ok = fseeko(file, offset, SEEK_SET) == 0 && fwrite(bytes, size, 1, file) == 1;
    const bool closed = fclose(file) == 0;
    return (ok && closed) || fail("zarn_writer_patch", "Couldn't write file.");
}

bool zarn_writer_truncate(const char* path, int64_t size)
{
    return truncate(path, size) == 0 || fail("zarn_writer_truncate", "Couldn't cut file.");
}
