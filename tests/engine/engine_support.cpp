#include "engine_support.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>
#include <vpx/vp8dx.h>
#include <vpx/vpx_decoder.h>

#include "common/zarn_crypt.h"
#include "writer/zarn_writer.h"

namespace engine {

namespace {

std::vector<uint8_t> read_file(const std::string& path)
{
    FILE* file = fopen(path.c_str(), "rb");
    EXPECT_NE(file, nullptr) << path;
    std::vector<uint8_t> bytes;
    if (file == nullptr) {
        return bytes;
    }
    uint8_t buffer[65536];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    fclose(file);
    return bytes;
}

template <typename T>
T read_at(const std::vector<uint8_t>& bytes, size_t offset)
{
    T value{};
    if (offset + sizeof(T) <= bytes.size()) {
        memcpy(static_cast<void*>(&value), bytes.data() + offset, sizeof(T));
    } else {
        ADD_FAILURE() << "record past the end of the file at " << offset;
    }
    return value;
}

std::vector<uint8_t> descrambled(const std::vector<uint8_t>& bytes, size_t offset, size_t size)
{
    if (offset + size > bytes.size()) {
        ADD_FAILURE() << "payload past the end of the file at " << offset;
        return {};
    }
    std::vector<uint8_t> data(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                              bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
    zarn_crypt_decrypt(data.data(), static_cast<int64_t>(data.size()));
    return data;
}

}  // namespace

std::string test_movie(const std::string& name)
{
    return std::string(ZARN_TEST_MOVIE_DIR) + "/" + name;
}

std::string scratch_path(const std::string& name)
{
    const std::string dir = std::string(ENGINE_SCRATCH_DIR) + "/" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    return dir + "/" + name;
}

std::string scratch_copy(const std::string& movie, const std::string& name)
{
    const std::string path = scratch_path(name);
    std::filesystem::copy_file(test_movie(movie), path, std::filesystem::copy_options::overwrite_existing);
    return path;
}

movie_records read_records(const std::string& path)
{
    const std::vector<uint8_t> bytes = read_file(path);
    movie_records records;
    records.header = read_at<zarn_header>(bytes, 0);
    size_t offset = sizeof(zarn_header);
    for (int32_t i = 0; i < records.header.audio_track_count && !testing::Test::HasFailure(); ++i) {
        const zarn_track_header header = read_at<zarn_track_header>(bytes, offset);
        offset += sizeof(zarn_track_header);
        records.audio_headers.push_back(header);
        records.audio_data.push_back(descrambled(bytes, offset, header.audio.data_size));
        offset += header.audio.data_size;
    }
    records.video_header_position = static_cast<int64_t>(offset);
    records.video_header = read_at<zarn_track_header>(bytes, offset);
    offset += sizeof(zarn_track_header);
    while (!testing::Test::HasFailure()) {
        packet next;
        next.position = static_cast<int64_t>(offset);
        next.header = read_at<zarn_packet_header>(bytes, offset);
        offset += sizeof(zarn_packet_header);
        if ((next.header.flags & PACKET_FLAG_END_OF_STREAM) != 0) {
            break;
        }
        next.payload = descrambled(bytes, offset, next.header.size);
        offset += next.header.size;
        records.packets.push_back(std::move(next));
    }
    return records;
}

bool picture::operator==(const picture& other) const
{
    return planes[0] == other.planes[0] && planes[1] == other.planes[1] && planes[2] == other.planes[2];
}

picture picture_from_planes(const uint8_t* const data[3], const int32_t stride[3], int32_t width, int32_t height)
{
    picture result;
    for (int plane = 0; plane < 3; ++plane) {
        const int32_t columns = plane == 0 ? width : (width + 1) / 2;
        const int32_t rows = plane == 0 ? height : (height + 1) / 2;
        for (int32_t row = 0; row < rows; ++row) {
            const uint8_t* line = data[plane] + static_cast<ptrdiff_t>(row) * stride[plane];
            result.planes[plane].insert(result.planes[plane].end(), line, line + columns);
        }
    }
    return result;
}

picture picture_from_frame(const zarn_frame& frame)
{
    const uint8_t* const data[3] = {frame.data[0], frame.data[1], frame.data[2]};
    return picture_from_planes(data, frame.stride, frame.width[0], frame.height[0]);
}

std::vector<picture> decode_pictures(const movie_records& records)
{
    std::vector<picture> pictures;
    vpx_codec_ctx_t codec;
    if (vpx_codec_dec_init(&codec, vpx_codec_vp8_dx(), nullptr, 0) != VPX_CODEC_OK) {
        ADD_FAILURE() << "vpx_codec_dec_init";
        return pictures;
    }
    for (const packet& next : records.packets) {
        EXPECT_EQ(vpx_codec_decode(&codec, next.payload.data(), static_cast<unsigned int>(next.payload.size()),
                                   nullptr, 0),
                  VPX_CODEC_OK);
        vpx_codec_iter_t iterator = nullptr;
        while (vpx_image_t* image = vpx_codec_get_frame(&codec, &iterator)) {
            const uint8_t* const data[3] = {image->planes[0], image->planes[1], image->planes[2]};
            picture shown = picture_from_planes(data, image->stride, static_cast<int32_t>(image->d_w),
                                                static_cast<int32_t>(image->d_h));
            shown.timestamp = next.header.timestamp;
            pictures.push_back(std::move(shown));
        }
    }
    vpx_codec_destroy(&codec);
    return pictures;
}

const picture& picture_at(const std::vector<picture>& pictures, double time)
{
    const int64_t units = static_cast<int64_t>(time * static_cast<double>(ZARN_TIME_UNITS_PER_SECOND));
    size_t index = 0;
    for (size_t i = 0; i < pictures.size(); ++i) {
        if (pictures[i].timestamp <= units) {
            index = i;
        }
    }
    return pictures.at(index);
}

void write_movie(const std::string& path, const movie_records& records)
{
    zarn_writer_movie movie;
    movie.width = records.header.width;
    movie.height = records.header.height;
    movie.frame_rate_numerator = records.header.frame_rate_numerator;
    movie.frame_rate_denominator = records.header.frame_rate_denominator;
    movie.video_name = records.video_header.name;
    movie.header_word = records.video_header.video.header_word;
    for (size_t i = 0; i < records.audio_headers.size(); ++i) {
        zarn_writer_audio_track track;
        track.name = records.audio_headers[i].name;
        track.channels = records.audio_headers[i].audio.channels;
        track.sample_rate = records.audio_headers[i].audio.sample_rate;
        track.ogg_data = records.audio_data[i];
        movie.audio_tracks.push_back(std::move(track));
    }
    zarn_writer writer;
    ASSERT_TRUE(zarn_writer_begin(&writer, path.c_str(), movie));
    for (const packet& next : records.packets) {
        ASSERT_TRUE(zarn_writer_add_packet(&writer, next.header.timestamp,
                                           (next.header.flags & PACKET_FLAG_KEY_FRAME) != 0, next.payload.data(),
                                           static_cast<uint32_t>(next.payload.size())));
    }
    ASSERT_TRUE(zarn_writer_finish(&writer, records.header.duration));
}

void event_log::callback(void* user_data, int32_t event)
{
    static_cast<event_log*>(user_data)->events.push_back(event);
}

bool wait_until(const std::function<bool()>& done, double seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return done();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

int thread_count()
{
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] != '.') {
                ++count;
            }
        }
        closedir(tasks);
    }
    return count;
}

zarn_decoder* open_movie(const std::string& path, event_log* events)
{
    zarn_decoder* movie = nullptr;
    const int32_t result =
        zarn_open(path.c_str(), &movie, events != nullptr ? event_log::callback : nullptr, events);
    EXPECT_EQ(result, ZARN_OK) << path;
    return movie;
}

picture take_picture(zarn_decoder* movie)
{
    zarn_frame frame{};
    EXPECT_EQ(zarn_get_current_frame(movie, &frame), ZARN_OK);
    return picture_from_frame(frame);
}

}  // namespace engine
