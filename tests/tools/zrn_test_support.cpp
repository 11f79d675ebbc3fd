#include "zrn_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <tremor/ivorbisfile.h>
#include <unistd.h>
#include <vpx/vp8dx.h>
#include <vpx/vpx_decoder.h>

#include "common/zarn_crypt.h"

extern char** environ;

scratch_dir::scratch_dir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "zrn-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "can't make a scratch folder";
    }
    root = pattern;
}

scratch_dir::~scratch_dir()
{
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

std::string scratch_dir::path(const std::string& name) const
{
    return root + "/" + name;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

void write_file(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary);
    out << data;
}

zrn_run run_zrn(const std::vector<std::string>& args)
{
    scratch_dir dir;
    const std::string out_path = dir.path("stdout");
    const std::string err_path = dir.path("stderr");
    std::vector<std::string> words = {ZRN_PROGRAM};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    zrn_run run;
    const int spawned = posix_spawn(&pid, ZRN_PROGRAM, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "can't start " << ZRN_PROGRAM << ": " << strerror(spawned);
        return run;
    }
    int wait_status = 0;
    if (waitpid(pid, &wait_status, 0) == pid && WIFEXITED(wait_status)) {
        run.status = WEXITSTATUS(wait_status);
    }
    run.out = read_file(out_path);
    run.err = read_file(err_path);
    return run;
}

std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string test_movie(const std::string& name)
{
    return std::string(ZARN_TEST_MOVIE_DIR) + "/" + name + ".zrn";
}

std::string test_movie_ogg(const std::string& name, int track)
{
    const std::string dir = ZARN_TEST_MOVIE_DIR;
    const std::string suffix = ".a" + std::to_string(track) + ".ogg";
    const std::string beside = dir + "/" + name + suffix;
    return std::filesystem::exists(beside) ? beside : dir + "/" + name + ".zrn" + suffix;
}

namespace {

template <typename T>
bool take(const std::string& data, size_t* offset, T* record)
{
    if (*offset > data.size() || data.size() - *offset < sizeof(T)) {
        return false;
    }
    memcpy(static_cast<void*>(record), data.data() + *offset, sizeof(T));
    *offset += sizeof(T);
    return true;
}

}  // namespace

bool read_reference_movie(const std::string& path, reference_movie* movie)
{
    *movie = {};
    const std::string data = read_file(path);
    size_t offset = 0;
    if (!take(data, &offset, &movie->header)) {
        ADD_FAILURE() << path << ": no movie header";
        return false;
    }
    if (movie->header.audio_track_count < 0 || movie->header.audio_track_count > 16 ||
        movie->header.video_track_count != 1) {
        ADD_FAILURE() << path << ": unexpected track counts";
        return false;
    }
    for (int32_t i = 0; i < movie->header.audio_track_count; ++i) {
        zarn_track_header track{};
        if (!take(data, &offset, &track) || data.size() - offset < track.audio.data_size) {
            ADD_FAILURE() << path << ": audio track " << i << " is cut short";
            return false;
        }
        offset += track.audio.data_size;
        movie->audio_tracks.push_back(track);
    }
    if (!take(data, &offset, &movie->video_track)) {
        ADD_FAILURE() << path << ": no video track header";
        return false;
    }
    for (;;) {
        zarn_packet_header header{};
        if (!take(data, &offset, &header)) {
            ADD_FAILURE() << path << ": no end-of-stream header";
            return false;
        }
        if ((header.flags & PACKET_FLAG_END_OF_STREAM) != 0) {
            return true;
        }
        if (data.size() - offset < header.size) {
            ADD_FAILURE() << path << ": packet " << movie->packets.size() << " is cut short";
            return false;
        }
        reference_packet packet;
        packet.timestamp = header.timestamp;
        packet.flags = header.flags;
        packet.payload.assign(data.begin() + static_cast<std::ptrdiff_t>(offset),
                              data.begin() + static_cast<std::ptrdiff_t>(offset + header.size));
        zarn_crypt_decrypt(packet.payload.data(), static_cast<int64_t>(packet.payload.size()));
        offset += header.size;
        movie->packets.push_back(std::move(packet));
    }
}

std::vector<yuv_picture> vpx_decode_packets(const reference_movie& movie)
{
    std::vector<yuv_picture> pictures;
    vpx_codec_ctx_t codec;
    if (vpx_codec_dec_init(&codec, vpx_codec_vp8_dx(), nullptr, 0) != VPX_CODEC_OK) {
        ADD_FAILURE() << "can't create a VP8 decoder";
        return pictures;
    }
    for (const reference_packet& packet : movie.packets) {
        if (vpx_codec_decode(&codec, packet.payload.data(), static_cast<unsigned int>(packet.payload.size()), nullptr,
                             0) != VPX_CODEC_OK) {
            ADD_FAILURE() << "libvpx refuses packet " << &packet - movie.packets.data();
            break;
        }
        vpx_codec_iter_t iterator = nullptr;
        while (const vpx_image_t* image = vpx_codec_get_frame(&codec, &iterator)) {
            yuv_picture picture;
            picture.width = static_cast<int>(image->d_w);
            picture.height = static_cast<int>(image->d_h);
            for (int plane = 0; plane < 3; ++plane) {
                const int w = plane == 0 ? picture.width : (picture.width + 1) / 2;
                const int h = plane == 0 ? picture.height : (picture.height + 1) / 2;
                for (int row = 0; row < h; ++row) {
                    const uint8_t* line = image->planes[plane] + static_cast<ptrdiff_t>(row) * image->stride[plane];
                    picture.planes[plane].insert(picture.planes[plane].end(), line, line + w);
                }
            }
            pictures.push_back(std::move(picture));
        }
    }
    vpx_codec_destroy(&codec);
    return pictures;
}

bool parse_y4m(const std::string& data, y4m_stream* stream)
{
    *stream = {};
    const size_t header_end = data.find('\n');
    if (data.rfind("YUV4MPEG2 ", 0) != 0 || header_end == std::string::npos) {
        ADD_FAILURE() << "no YUV4MPEG2 header";
        return false;
    }
    stream->header = data.substr(0, header_end);
    int width = 0;
    int height = 0;
    std::istringstream fields(stream->header.substr(10));
    for (std::string field; fields >> field;) {
        if (field[0] == 'W') {
            width = atoi(field.c_str() + 1);
        } else if (field[0] == 'H') {
            height = atoi(field.c_str() + 1);
        }
    }
    if (width <= 0 || height <= 0) {
        ADD_FAILURE() << "no picture size in '" << stream->header << "'";
        return false;
    }
    const size_t sizes[3] = {static_cast<size_t>(width) * height,
                             static_cast<size_t>((width + 1) / 2) * ((height + 1) / 2),
                             static_cast<size_t>((width + 1) / 2) * ((height + 1) / 2)};
    size_t offset = header_end + 1;
    while (offset < data.size()) {
        if (data.compare(offset, 6, "FRAME\n") != 0) {
            ADD_FAILURE() << "no FRAME marker at byte " << offset;
            return false;
        }
        offset += 6;
        yuv_picture picture;
        picture.width = width;
        picture.height = height;
        for (int plane = 0; plane < 3; ++plane) {
            if (data.size() - offset < sizes[plane]) {
                ADD_FAILURE() << "frame " << stream->pictures.size() << " is cut short";
                return false;
            }
            picture.planes[plane].assign(data.begin() + static_cast<std::ptrdiff_t>(offset),
                                         data.begin() + static_cast<std::ptrdiff_t>(offset + sizes[plane]));
            offset += sizes[plane];
        }
        stream->pictures.push_back(std::move(picture));
    }
    return true;
}

bool parse_wav(const std::string& data, wav_file* wav)
{
    *wav = {};
    auto u16 = [&](size_t at) { return static_cast<uint16_t>(uint8_t(data[at]) | uint8_t(data[at + 1]) << 8); };
    auto u32 = [&](size_t at) { return static_cast<uint32_t>(u16(at) | static_cast<uint32_t>(u16(at + 2)) << 16); };
    if (data.size() < 12 || data.compare(0, 4, "RIFF") != 0 || data.compare(8, 4, "WAVE") != 0) {
        ADD_FAILURE() << "no RIFF WAVE header";
        return false;
    }
    if (u32(4) != data.size() - 8) {
        ADD_FAILURE() << "RIFF size " << u32(4) << " for a file of " << data.size() << " bytes";
        return false;
    }
    bool have_format = false;
    for (size_t offset = 12; offset + 8 <= data.size();) {
        const std::string id = data.substr(offset, 4);
        const uint32_t size = u32(offset + 4);
        const size_t body = offset + 8;
        if (size > data.size() - body) {
            ADD_FAILURE() << "chunk '" << id << "' runs past the end";
            return false;
        }
        if (id == "fmt " && size >= 16) {
            wav->format_tag = u16(body);
            wav->channels = u16(body + 2);
            wav->sample_rate = static_cast<int>(u32(body + 4));
            wav->bits = u16(body + 14);
            if (wav->format_tag == 0xFFFE && size >= 40) {
                wav->channel_mask = u32(body + 20);
                wav->sub_format = data.substr(body + 24, 16);
            }
            have_format = true;
        } else if (id == "data") {
            if (!have_format) {
                ADD_FAILURE() << "data chunk before the format chunk";
                return false;
            }
            wav->samples.resize(size / 2);
            memcpy(wav->samples.data(), data.data() + body, wav->samples.size() * 2);
            return true;
        }
        offset = body + size + (size & 1);
    }
    ADD_FAILURE() << "no data chunk";
    return false;
}

bool tremor_decode(const std::string& path, int* channels, int* sample_rate, std::vector<int16_t>* samples)
{
    samples->clear();
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        ADD_FAILURE() << "can't open " << path;
        return false;
    }
    OggVorbis_File vorbis;
    if (ov_open(file, &vorbis, nullptr, 0) < 0) {
        fclose(file);
        ADD_FAILURE() << "Tremor can't open " << path;
        return false;
    }
    const vorbis_info* info = ov_info(&vorbis, -1);
    *channels = info->channels;
    *sample_rate = static_cast<int>(info->rate);
    char buffer[4096];
    int section = 0;
    for (;;) {
        const long got = ov_read(&vorbis, buffer, sizeof(buffer), &section);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            ov_clear(&vorbis);
            ADD_FAILURE() << "Tremor fails decoding " << path << ": " << got;
            return false;
        }
        const size_t at = samples->size();
        samples->resize(at + static_cast<size_t>(got) / 2);
        memcpy(samples->data() + at, buffer, static_cast<size_t>(got));
    }
    ov_clear(&vorbis);  // closes the file
    return true;
}

fake_movie write_fake_movie(const scratch_dir& dir, const fake_movie_setup& setup)
{
    fake_movie movie;
    movie.path = dir.path("fake.zrn");
    zarn_writer_movie description;
    description.width = 64;
    description.height = 48;
    description.frame_rate_numerator = 25;
    description.frame_rate_denominator = 1;
    description.video_name = setup.video_name;
    if (setup.with_audio) {
        zarn_writer_audio_track track;
        track.name = "Audio 1";
        track.channels = 2;
        track.sample_rate = 44100;
        track.ogg_data.assign(500, 0x5A);
        description.audio_tracks.push_back(track);
    }
    zarn_writer_options options;
    options.write_end_of_stream = setup.end_of_stream;
    options.override_frame_blob_size = setup.frame_blob_too_small || setup.frame_blob_zero;
    options.frame_blob_size = setup.frame_blob_zero ? 0 : 50;
    zarn_writer writer;
    EXPECT_TRUE(zarn_writer_begin(&writer, movie.path.c_str(), description, options));
    const std::vector<uint8_t> payload(100, 0xA5);
    for (int i = 0; i < 3; ++i) {
        const bool key = i == 0 ? setup.first_packet_key : false;
        EXPECT_TRUE(zarn_writer_add_packet(&writer, i * 400000, key, payload.data(),
                                           static_cast<uint32_t>(payload.size())));
    }
    EXPECT_TRUE(zarn_writer_finish(&writer));
    movie.layout = writer.layout;
    return movie;
}

