// Times the key-frame index build of opening a two-hour movie: 216000
// packets of about 11 KB at 30 frames per second, a key frame every 30th.
// The movie (dummy payloads: the index reads packet headers only) is written
// once into /tmp and kept; the index is built once to warm the page cache,
// then timed over several runs. Prints the best and the median.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "common/zarn_file.h"
#include "decoder/zarn_decoder.h"
#include "writer/zarn_writer.h"
#include "zarn.h"

namespace {

constexpr int32_t PACKETS = 216000;
constexpr uint32_t PACKET_SIZE = 11 * 1024;
constexpr int32_t KEY_INTERVAL = 30;
constexpr int RUNS = 7;
const char* const MOVIE = "/tmp/zarn_bench_index_216000.zrn";

bool movie_exists()
{
    struct stat info {};
    const int64_t expected = static_cast<int64_t>(PACKETS) * (16 + PACKET_SIZE);
    return stat(MOVIE, &info) == 0 && info.st_size > expected;
}

bool write_movie()
{
    zarn_writer_movie movie;
    movie.width = 1280;
    movie.height = 720;
    movie.frame_rate_numerator = 30;
    movie.frame_rate_denominator = 1;
    movie.video_name = "Video";
    zarn_writer writer;
    if (!zarn_writer_begin(&writer, MOVIE, movie)) {
        return false;
    }
    std::vector<uint8_t> payload(PACKET_SIZE);
    for (size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<uint8_t>(i * 31);
    }
    for (int32_t i = 0; i < PACKETS; ++i) {
        const int64_t timestamp = static_cast<int64_t>(i) * ZARN_TIME_UNITS_PER_SECOND / 30;
        if (!zarn_writer_add_packet(&writer, timestamp, i % KEY_INTERVAL == 0, payload.data(), PACKET_SIZE)) {
            zarn_writer_abandon(&writer);
            return false;
        }
    }
    return zarn_writer_finish(&writer);
}

// Opens the movie, reads its headers and creates the video track, which
// builds the index; returns the seconds the track creation took, or -1.
double time_index_build()
{
    zarn_decoder record{};
    if (zarn_file_create(&record.file, MOVIE, true) != ZARN_OK || zarn_decoder_read_headers(&record) != ZARN_OK) {
        zarn_file_free(record.file);
        return -1.0;
    }
    zarn_video_track* track = nullptr;
    const auto start = std::chrono::steady_clock::now();
    const int32_t result =
        zarn_video_track_create(&track, &record.video_track_headers[0], record.file, record.header.frame_blob_size);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result == ZARN_OK && track->keyframe_count != PACKETS / KEY_INTERVAL) {
        fprintf(stderr, "bench_index: %d key frames, expected %d\n", track->keyframe_count, PACKETS / KEY_INTERVAL);
    }
    zarn_video_track_free(track);
    zarn_decoder_free_headers(&record);
    zarn_file_free(record.file);
    return result == ZARN_OK ? seconds : -1.0;
}

}  // namespace

int main()
{
    zarn_initialise(ZARN_INTERFACE_VERSION, nullptr, nullptr);
    if (!movie_exists()) {
        printf("writing %s (%d packets of %u bytes)...\n", MOVIE, PACKETS, PACKET_SIZE);
        fflush(stdout);
        if (!write_movie()) {
            fprintf(stderr, "bench_index: can't write %s\n", MOVIE);
            return 1;
        }
    }
    if (time_index_build() < 0.0) {  // warms the page cache
        fprintf(stderr, "bench_index: can't open %s\n", MOVIE);
        return 1;
    }
    std::vector<double> times;
    for (int run = 0; run < RUNS; ++run) {
        times.push_back(time_index_build());
    }
    std::sort(times.begin(), times.end());
    printf("index build of %d packets, warm cache: best %.3f s, median %.3f s (%d runs; target 0.150 s)\n", PACKETS,
           times.front(), times[times.size() / 2], RUNS);
    return 0;
}
