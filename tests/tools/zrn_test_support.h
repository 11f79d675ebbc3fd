// Support for the zrn tests: running the program, a scratch folder, and
// readers that are independent of the tool and the codec's tracks (a plain
// walk of the movie's records, libvpx and Tremor called directly, minimal
// Y4M and WAV parsers), so the tool's output can be checked against them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/zarn_format.h"
#include "writer/zarn_writer.h"

struct zrn_run {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs the zrn program under test with `args`.
zrn_run run_zrn(const std::vector<std::string>& args);

// The lines of `text`, without their line ends.
std::vector<std::string> split_lines(const std::string& text);

// A folder of its own under the system's temporary folder, removed again.
struct scratch_dir {
    scratch_dir();
    ~scratch_dir();
    std::string path(const std::string& name) const;
    std::string root;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& data);

// A test movie of the build, and the unscrambled Ogg stream of its audio
// track `track` written beside it.
std::string test_movie(const std::string& name);
std::string test_movie_ogg(const std::string& name, int track);

// A movie read record by record, each packet's payload descrambled.
struct reference_packet {
    int64_t timestamp = 0;
    uint32_t flags = 0;
    std::vector<uint8_t> payload;
};
struct reference_movie {
    zarn_header header{};
    std::vector<zarn_track_header> audio_tracks;
    zarn_track_header video_track{};
    std::vector<reference_packet> packets;  // before the end-of-stream header
};
// Fails the current test (and returns false) when the movie is malformed.
bool read_reference_movie(const std::string& path, reference_movie* movie);

// A 4:2:0 picture as packed planes: chroma of (width+1)/2 x (height+1)/2.
struct yuv_picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> planes[3];
};

// Every picture libvpx shows for the movie's packets, decoded directly.
std::vector<yuv_picture> vpx_decode_packets(const reference_movie& movie);

struct y4m_stream {
    std::string header;  // the first line, without its line end
    std::vector<yuv_picture> pictures;
};
// Fails the current test (and returns false) on a malformed stream.
bool parse_y4m(const std::string& data, y4m_stream* stream);

struct wav_file {
    uint16_t format_tag = 0;  // 1 PCM, 0xFFFE extensible
    int channels = 0;
    int sample_rate = 0;
    int bits = 0;
    uint32_t channel_mask = 0;  // extensible only
    std::string sub_format;     // extensible only: the 16-byte GUID
    std::vector<int16_t> samples;
};
bool parse_wav(const std::string& data, wav_file* wav);

// Decodes a whole Ogg Vorbis file with Tremor into interleaved samples in
// Vorbis channel order.
bool tremor_decode(const std::string& path, int* channels, int* sample_rate, std::vector<int16_t>* samples);

// A small movie whose payloads are made up (three 100-byte packets at 25
// frames per second): enough for everything that reads only the records (the
// headers and the key-frame index), not for decoding.
struct fake_movie {
    std::string path;
    zarn_movie_layout layout;
};
struct fake_movie_setup {
    bool with_audio = false;  // one stereo track of 500 made-up bytes
    bool first_packet_key = true;
    bool end_of_stream = true;
    bool frame_blob_too_small = false;
    bool frame_blob_zero = false;
    std::string video_name = "Video";
};
fake_movie write_fake_movie(const scratch_dir& dir, const fake_movie_setup& setup);
