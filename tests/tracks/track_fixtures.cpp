#include "track_fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <vpx/vp8cx.h>
#include <vpx/vpx_encoder.h>

#include "common/zarn_crypt.h"
#include "common/zarn_file.h"
#include "common/zarn_memory.h"

namespace tracks {

namespace {

void fill_picture(vpx_image_t* image, int32_t width, int32_t height, int32_t frame)
{
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = image->planes[0] + y * image->stride[0];
        for (int32_t x = 0; x < width; ++x) {
            row[x] = static_cast<uint8_t>(x * 4 + y * 2 + frame * 7);
        }
    }
    for (int32_t y = 0; y < (height + 1) / 2; ++y) {
        uint8_t* u = image->planes[1] + y * image->stride[1];
        uint8_t* v = image->planes[2] + y * image->stride[2];
        for (int32_t x = 0; x < (width + 1) / 2; ++x) {
            u[x] = static_cast<uint8_t>(128 + x * 3 + frame * 5);
            v[x] = static_cast<uint8_t>(64 + y * 5 + frame * 3);
        }
    }
}

std::string scratch_folder()
{
    static std::string folder = [] {
        char pattern[] = "/tmp/zarn-tracks-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        std::string made = pattern;
        static std::string removed;
        removed = made;
        atexit([] { std::filesystem::remove_all(removed); });
        return made;
    }();
    return folder;
}

std::vector<uint8_t> read_whole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct movie_recipe {
    int32_t width, height, rate_num, rate_den, frames, key_interval;
    std::vector<std::pair<int32_t, int32_t>> audio;  // channels, sample rate
};

const std::map<std::string, movie_recipe>& recipes()
{
    static const std::map<std::string, movie_recipe> table = {
        {"video_64x48.zrn", {64, 48, 25, 1, 50, 10, {}}},
        {"video_65x49.zrn", {65, 49, 25, 1, 25, 10, {}}},
        {"keyframes_only.zrn", {64, 48, 1, 1, 10, 1, {}}},
        {"keyint10s.zrn", {64, 48, 1, 1, 12, 10, {}}},
        {"stereo.zrn", {64, 48, 25, 1, 50, 10, {{2, 44100}}}},
        {"mono.zrn", {64, 48, 25, 1, 50, 10, {{1, 22050}}}},
        {"six_channel.zrn", {64, 48, 25, 1, 50, 10, {{6, 48000}}}},
        {"two_audio.zrn", {64, 48, 25, 1, 50, 10, {{2, 44100}, {1, 22050}}}},
        {"ntsc.zrn", {64, 48, 30000, 1001, 30, 10, {}}},
    };
    return table;
}

std::string make_movie(const std::string& name)
{
    const auto found = recipes().find(name);
    if (found == recipes().end()) {
        throw std::runtime_error("no recipe for test movie " + name);
    }
    const movie_recipe& recipe = found->second;
    std::vector<zarn_writer_audio_track> audio;
    for (size_t i = 0; i < recipe.audio.size(); ++i) {
        const auto [channels, rate] = recipe.audio[i];
        zarn_writer_audio_track track;
        track.name = "Audio " + std::to_string(i + 1);
        track.channels = channels;
        track.sample_rate = rate;
        track.ogg_data = read_whole(std::string(ZARN_TRACKS_OGG_DIR) + "/tone_" + std::to_string(channels) + "_" +
                                    std::to_string(rate) + ".ogg");
        if (track.ogg_data.empty()) {
            throw std::runtime_error("missing generated Ogg stream for " + name);
        }
        audio.push_back(track);
    }
    const std::string path = scratch_folder() + "/" + name;
    std::vector<int64_t> timestamps;
    for (int32_t i = 0; i < recipe.frames; ++i) {
        timestamps.push_back(i * ZARN_TIME_UNITS_PER_SECOND * recipe.rate_den / recipe.rate_num);
    }
    zarn_writer_movie movie;
    movie.width = recipe.width;
    movie.height = recipe.height;
    movie.frame_rate_numerator = recipe.rate_num;
    movie.frame_rate_denominator = recipe.rate_den;
    movie.video_name = "Video";
    movie.audio_tracks = audio;
    const std::vector<encoded_frame> frames =
        encode_frames(recipe.width, recipe.height, recipe.frames, recipe.key_interval);
    zarn_writer writer;
    bool ok = zarn_writer_begin(&writer, path.c_str(), movie);
    for (size_t i = 0; ok && i < frames.size(); ++i) {
        ok = zarn_writer_add_packet(&writer, timestamps[i], frames[i].key_frame, frames[i].data.data(),
                                    static_cast<uint32_t>(frames[i].data.size()));
    }
    if (!ok || !zarn_writer_finish(&writer)) {
        throw std::runtime_error("couldn't write test movie " + name);
    }
    for (size_t i = 0; i < audio.size(); ++i) {
        std::ofstream out(path + ".a" + std::to_string(i) + ".ogg", std::ios::binary);
        out.write(reinterpret_cast<const char*>(audio[i].ogg_data.data()),
                  static_cast<std::streamsize>(audio[i].ogg_data.size()));
    }
    return path;
}

}  // namespace

std::vector<encoded_frame> encode_frames(int32_t width, int32_t height, int32_t count, int32_t key_interval)
{
    vpx_codec_enc_cfg_t config;
    if (vpx_codec_enc_config_default(vpx_codec_vp8_cx(), &config, 0) != VPX_CODEC_OK) {
        throw std::runtime_error("vpx_codec_enc_config_default failed");
    }
    config.g_w = static_cast<unsigned int>(width);
    config.g_h = static_cast<unsigned int>(height);
    config.g_timebase.num = 1;
    config.g_timebase.den = 25;
    config.g_threads = 1;
    config.g_lag_in_frames = 0;
    config.rc_target_bitrate = 300;
    config.kf_mode = VPX_KF_DISABLED;
    vpx_codec_ctx_t encoder;
    if (vpx_codec_enc_init(&encoder, vpx_codec_vp8_cx(), &config, 0) != VPX_CODEC_OK) {
        throw std::runtime_error("vpx_codec_enc_init failed");
    }
    vpx_image_t* image = vpx_img_alloc(nullptr, VPX_IMG_FMT_I420, static_cast<unsigned int>(width),
                                       static_cast<unsigned int>(height), 1);
    std::vector<encoded_frame> frames;
    for (int32_t i = 0; i < count; ++i) {
        fill_picture(image, width, height, i);
        const bool key = key_interval > 0 ? i % key_interval == 0 : i == 0;
        if (vpx_codec_encode(&encoder, image, i, 1, key ? VPX_EFLAG_FORCE_KF : 0, VPX_DL_GOOD_QUALITY) !=
            VPX_CODEC_OK) {
            throw std::runtime_error("vpx_codec_encode failed");
        }
        vpx_codec_iter_t iterator = nullptr;
        while (const vpx_codec_cx_pkt_t* packet = vpx_codec_get_cx_data(&encoder, &iterator)) {
            if (packet->kind == VPX_CODEC_CX_FRAME_PKT) {
                const uint8_t* data = static_cast<const uint8_t*>(packet->data.frame.buf);
                encoded_frame frame;
                frame.data.assign(data, data + packet->data.frame.sz);
                frame.key_frame = (packet->data.frame.flags & VPX_FRAME_IS_KEY) != 0;
                frames.push_back(frame);
            }
        }
    }
    vpx_img_free(image);
    vpx_codec_destroy(&encoder);
    if (frames.size() != static_cast<size_t>(count)) {
        throw std::runtime_error("the encoder gave another number of frames");
    }
    return frames;
}

zarn_movie_layout write_movie(const std::string& path, int32_t width, int32_t height,
                              const std::vector<encoded_frame>& frames, const std::vector<int64_t>& timestamps,
                              const zarn_writer_options& options, const std::vector<zarn_writer_audio_track>& audio)
{
    zarn_writer_movie movie;
    movie.width = width;
    movie.height = height;
    movie.frame_rate_numerator = 25;
    movie.frame_rate_denominator = 1;
    movie.video_name = "Video";
    movie.audio_tracks = audio;
    zarn_writer writer;
    bool ok = zarn_writer_begin(&writer, path.c_str(), movie, options);
    for (size_t i = 0; ok && i < frames.size(); ++i) {
        ok = zarn_writer_add_packet(&writer, timestamps.at(i), frames[i].key_frame, frames[i].data.data(),
                                    static_cast<uint32_t>(frames[i].data.size()));
    }
    if (!ok || !zarn_writer_finish(&writer)) {
        throw std::runtime_error("couldn't write movie " + path);
    }
    return writer.layout;
}

std::vector<int64_t> timestamps_every(int64_t period, int32_t count)
{
    std::vector<int64_t> timestamps;
    for (int32_t i = 0; i < count; ++i) {
        timestamps.push_back(i * period);
    }
    return timestamps;
}

std::string scratch_path(const std::string& name)
{
    static int serial = 0;
    return scratch_folder() + "/" + std::to_string(++serial) + "_" + name;
}

std::string test_movie(const std::string& name)
{
    static std::map<std::string, std::string> made;
    const std::string built = std::string(ZARN_TEST_MOVIE_DIR) + "/" + name;
    if (std::filesystem::exists(built)) {
        return built;
    }
    auto found = made.find(name);
    if (found == made.end()) {
        found = made.emplace(name, make_movie(name)).first;
    }
    return found->second;
}

bool copy_file(const std::string& from, const std::string& to)
{
    std::error_code error;
    return std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
}

movie_records read_records(const std::string& path)
{
    movie_records records;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw std::runtime_error("couldn't open " + path);
    }
    auto read = [&](void* target, size_t size) {
        if (fread(target, size, 1, file) != 1) {
            fclose(file);
            throw std::runtime_error("short movie " + path);
        }
    };
    read(&records.header, sizeof(records.header));
    for (int32_t i = 0; i < records.header.audio_track_count; ++i) {
        zarn_track_header header;
        records.audio_header_positions.push_back(ftello(file));
        read(&header, sizeof(header));
        header.audio.data_position = ftello(file);
        records.audio_headers.push_back(header);
        fseeko(file, header.audio.data_size, SEEK_CUR);
    }
    records.video_header_position = ftello(file);
    read(&records.video_header, sizeof(records.video_header));
    records.video_header.video.data_position = ftello(file);
    for (;;) {
        packet_record packet;
        packet.position = ftello(file);
        read(&packet.header, sizeof(packet.header));
        if ((packet.header.flags & PACKET_FLAG_END_OF_STREAM) != 0) {
            records.end_of_stream_position = packet.position;
            break;
        }
        records.packets.push_back(packet);
        fseeko(file, packet.header.size, SEEK_CUR);
    }
    fseeko(file, 0, SEEK_END);
    records.file_size = ftello(file);
    fclose(file);
    return records;
}

std::vector<uint8_t> read_payload(const std::string& path, const movie_records& records, size_t index)
{
    const packet_record& packet = records.packets.at(index);
    std::vector<uint8_t> payload(packet.header.size);
    FILE* file = fopen(path.c_str(), "rb");
    const bool ok = file != nullptr && fseeko(file, packet.position + 16, SEEK_SET) == 0 &&
        (payload.empty() || fread(payload.data(), payload.size(), 1, file) == 1);
    if (file != nullptr) {
        fclose(file);
    }
    if (!ok) {
        throw std::runtime_error("couldn't read a payload of " + path);
    }
    zarn_crypt_decrypt(payload.data(), static_cast<int64_t>(payload.size()));
    return payload;
}

picture_samples visible_samples(const vpx_image_t* image, int32_t width, int32_t height)
{
    picture_samples samples;
    for (int plane = 0; plane < 3; ++plane) {
        const int32_t columns = plane == 0 ? width : (width + 1) / 2;
        const int32_t rows = plane == 0 ? height : (height + 1) / 2;
        for (int32_t y = 0; y < rows; ++y) {
            const uint8_t* row = image->planes[plane] + y * image->stride[plane];
            samples.planes[plane].insert(samples.planes[plane].end(), row, row + columns);
        }
    }
    return samples;
}

size_t counting_memory::largest = 0;
size_t counting_memory::count = 0;

namespace {
void* counting_alloc(size_t size)
{
    counting_memory::largest = std::max(counting_memory::largest, size);
    ++counting_memory::count;
    return malloc(size);
}
void* counting_realloc(void* pointer, size_t size)
{
    counting_memory::largest = std::max(counting_memory::largest, size);
    return realloc(pointer, size);
}
}  // namespace

counting_memory::counting_memory()
{
    largest = 0;
    count = 0;
    const zarn_memory_handlers handlers = {free, counting_alloc, counting_realloc};
    zarn_set_memory_handlers(&handlers);
}

counting_memory::~counting_memory()
{
    const zarn_memory_handlers handlers = {free, malloc, realloc};
    zarn_set_memory_handlers(&handlers);
}

std::vector<read_record> recording_files::reads;

namespace {
int recording_close(void* handle)
{
    return fclose(static_cast<FILE*>(handle));
}
size_t recording_read(void* buffer, size_t size, size_t count, void* handle)
{
    recording_files::reads.push_back({static_cast<int64_t>(ftello(static_cast<FILE*>(handle))), size * count});
    return fread(buffer, size, count, static_cast<FILE*>(handle));
}
size_t recording_write(const void* buffer, size_t size, size_t count, void* handle)
{
    return fwrite(buffer, size, count, static_cast<FILE*>(handle));
}
int recording_eof(void* handle)
{
    return feof(static_cast<FILE*>(handle));
}
size_t plain_read(void* buffer, size_t size, size_t count, void* handle)
{
    return fread(buffer, size, count, static_cast<FILE*>(handle));
}
}  // namespace

recording_files::recording_files()
{
    reads.clear();
    const zarn_file_handlers handlers = {zarn_file_open, recording_close, recording_read, recording_write,
                                         zarn_file_seek, zarn_file_tell, recording_eof};
    zarn_set_file_handlers(&handlers);
}

recording_files::~recording_files()
{
    const zarn_file_handlers handlers = {zarn_file_open, recording_close, plain_read, recording_write,
                                         zarn_file_seek, zarn_file_tell, recording_eof};
    zarn_set_file_handlers(&handlers);
}

opened_movie::opened_movie(const std::string& path)
{
    result = zarn_file_create(&file, path.c_str(), true);
    if (result == 0) {
        decoder.file = file;
        result = zarn_decoder_read_headers(&decoder);
    }
}

opened_movie::~opened_movie()
{
    zarn_decoder_free_headers(&decoder);
    zarn_file_free(file);
}

}  // namespace tracks
