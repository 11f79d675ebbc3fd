// Reading what a movie opened with cli_movie_open carries, for the commands
// that copy it out unchanged: the video packets one by one with their
// payloads descrambled, and an audio track's whole Ogg stream descrambled.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "commands/cli.h"

struct movie_packet {
    int64_t timestamp = 0;  // 100-ns units
    bool key_frame = false;
    std::vector<uint8_t> payload;  // the VP8 frame; left empty when not asked for
};

// Positions the movie's file at its first video packet.
bool movie_rewind_packets(cli_movie* movie, std::string* reason);

enum class movie_read_result { packet, end, failed };

// Reads the next packet (its payload too when `with_payload`), or finds the
// end-of-stream header. On failure *reason names what is wrong.
movie_read_result movie_next_packet(cli_movie* movie, movie_packet* packet, bool with_payload,
                                    std::string* reason);

// The descrambled data of audio track `index`.
bool movie_read_audio(cli_movie* movie, int32_t index, std::vector<uint8_t>* data, std::string* reason);
