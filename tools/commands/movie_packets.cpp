#include "commands/movie_packets.h"

#include "common/zarn_crypt.h"
#include "common/zarn_file.h"
#include "common/zarn_format.h"
#include "zarn_results.h"

bool movie_rewind_packets(cli_movie* movie, std::string* reason)
{
    if (zarn_fseek(movie->file, movie->decoder.video_track_headers[0].video.data_position, SEEK_SET) != 0) {
        *reason = cli_reason(ZARN_VIDEO_TRACK_ERROR_SEEK_FIRST_PACKET);
        return false;
    }
    return true;
}

movie_read_result movie_next_packet(cli_movie* movie, movie_packet* packet, bool with_payload,
                                    std::string* reason)
{
    zarn_packet_header header{};
    if (zarn_fread(movie->file, &header, sizeof(header), 1) != 1) {
        *reason = cli_reason(ZARN_VIDEO_TRACK_ERROR_READ_HEADER);
        return movie_read_result::failed;
    }
    const bool key_frame = (header.flags & PACKET_FLAG_KEY_FRAME) != 0;
    if (!key_frame && (header.flags & PACKET_FLAG_END_OF_STREAM) != 0) {
        return movie_read_result::end;
    }
    // The size is checked before anything is allocated for it.
    if (header.size > movie->decoder.header.frame_blob_size) {
        *reason = cli_reason(ZARN_VIDEO_TRACK_ERROR_PACKET_TOO_LARGE);
        return movie_read_result::failed;
    }
    packet->timestamp = header.timestamp;
    packet->key_frame = key_frame;
    packet->payload.clear();
    if (!with_payload) {
        if (zarn_fseek(movie->file, static_cast<int64_t>(header.size), SEEK_CUR) != 0) {
            *reason = cli_reason(ZARN_VIDEO_TRACK_ERROR_SCAN_NEXT_PACKET);
            return movie_read_result::failed;
        }
        return movie_read_result::packet;
    }
    packet->payload.resize(header.size);
    if (header.size != 0 && zarn_fread(movie->file, packet->payload.data(), header.size, 1) != 1) {
        *reason = "a video packet is cut short";
        return movie_read_result::failed;
    }
    if (header.size != 0) {
        zarn_crypt_decrypt(packet->payload.data(), header.size);
    }
    return movie_read_result::packet;
}

bool movie_read_audio(cli_movie* movie, int32_t index, std::vector<uint8_t>* data, std::string* reason)
{
    const zarn_track_header& track = movie->decoder.audio_track_headers[index];
    const int64_t size = zarn_file_size(movie->file);
    const int64_t end = track.audio.data_position + static_cast<int64_t>(track.audio.data_size);
    if (size < 0 || end > size) {
        *reason = cli_reason(ZARN_AUDIO_TRACK_ERROR_READ_DATA);
        return false;
    }
    data->resize(track.audio.data_size);
    if (zarn_fseek(movie->file, track.audio.data_position, SEEK_SET) != 0 ||
        (!data->empty() && zarn_fread(movie->file, data->data(), data->size(), 1) != 1)) {
        *reason = cli_reason(ZARN_AUDIO_TRACK_ERROR_READ_DATA);
        return false;
    }
    if (!data->empty()) {
        zarn_crypt_decrypt(data->data(), static_cast<int64_t>(data->size()));
    }
    return true;
}
