#include "commands/cli.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "common/zarn_file.h"
#include "common/zarn_format.h"
#include "zarn_results.h"

bool cli_args::has(const char* name) const
{
    return values.count(name) != 0;
}

const std::string* cli_args::value(const char* name) const
{
    const auto found = values.find(name);
    return found == values.end() || found->second.empty() ? nullptr : &found->second.back();
}

std::vector<std::string> cli_args::all(const char* name) const
{
    const auto found = values.find(name);
    return found == values.end() ? std::vector<std::string>{} : found->second;
}

namespace {

const cli_option* find_option(const cli_command_syntax& syntax, const std::string& name)
{
    for (const cli_option& option : syntax.options) {
        if (name == option.name || (option.alias != nullptr && name == option.alias)) {
            return &option;
        }
    }
    return nullptr;
}

}  // namespace

void cli_print_help(const cli_command_syntax& syntax)
{
    printf("usage: zrn %s %s\n\n%s", syntax.name, syntax.usage, syntax.description);
    printf("\noptions:\n");
    std::vector<std::pair<std::string, const char*>> rows;
    for (const cli_option& option : syntax.options) {
        std::string left = option.name;
        if (option.alias != nullptr) {
            left = std::string(option.alias) + ", " + left;
        }
        if (option.value_name != nullptr) {
            left += std::string(" ") + option.value_name;
        }
        rows.emplace_back(left, option.help);
    }
    rows.emplace_back("--help", "show this help and exit");
    size_t width = 0;
    for (const auto& row : rows) {
        width = std::max(width, row.first.size());
    }
    for (const auto& row : rows) {
        printf("  %-*s  %s\n", static_cast<int>(width), row.first.c_str(), row.second);
    }
    if (!syntax.examples.empty()) {
        printf("\nexamples:\n");
        for (const char* example : syntax.examples) {
            printf("  %s\n", example);
        }
    }
    printf("\nexit status: 0 success, 1 unreadable or broken movie, 2 wrong command line\n");
}

int cli_usage_error(const cli_command_syntax& syntax, const std::string& message)
{
    fprintf(stderr, "zrn %s: %s\nusage: zrn %s %s (see 'zrn %s --help')\n", syntax.name, message.c_str(),
            syntax.name, syntax.usage, syntax.name);
    return ZRN_EXIT_USAGE;
}

int cli_fail(const std::string& file, const std::string& reason)
{
    fflush(stdout);
    fprintf(stderr, "zrn: %s: %s\n", file.c_str(), reason.c_str());
    return ZRN_EXIT_FAILURE;
}

int cli_parse(const cli_command_syntax& syntax, int argc, char** argv, cli_args* args)
{
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--") == 0) {
            break;
        }
        if (strcmp(argv[i], "--help") == 0) {
            cli_print_help(syntax);
            return ZRN_EXIT_OK;
        }
    }

    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options_ended || arg == "-" || arg.empty() || arg[0] != '-') {
            args->operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool inline_value = false;
        const size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            inline_value = true;
        }
        const cli_option* option = find_option(syntax, name);
        if (option == nullptr) {
            return cli_usage_error(syntax, "unknown option '" + name + "'");
        }
        if (option->value_name == nullptr) {
            if (inline_value) {
                return cli_usage_error(syntax, std::string("option '") + option->name + "' takes no value");
            }
        } else if (!inline_value) {
            if (i + 1 >= argc) {
                return cli_usage_error(syntax, std::string("option '") + option->name + "' needs a value " +
                                                 option->value_name);
            }
            value = argv[++i];
        }
        std::vector<std::string>& slot = args->values[option->name];
        if (!slot.empty() && !option->repeatable) {
            return cli_usage_error(syntax, std::string("option '") + option->name + "' given twice");
        }
        slot.push_back(value);
    }

    const int operands = static_cast<int>(args->operands.size());
    if (operands < syntax.min_operands) {
        return cli_usage_error(syntax, operands == 0 ? "no movie given" : "too few arguments");
    }
    if (operands > syntax.max_operands) {
        return cli_usage_error(syntax, "unexpected argument '" + args->operands[syntax.max_operands] + "'");
    }
    return -1;
}

bool cli_parse_int(const std::string& text, int64_t min, int64_t max, int64_t* out)
{
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long value = strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0' || value < min || value > max) {
        return false;
    }
    *out = value;
    return true;
}

std::string cli_reason(int32_t code)
{
    switch (code) {
    case ZARN_FILE_ERROR_ALLOCATE:
        return "out of memory";
    case ZARN_FILE_ERROR_OPEN:
        return "can't open the file";
    case ZARN_DECODER_ERROR_READ_HEADER:
        return "not a movie: too short for a movie header";
    case ZARN_DECODER_ERROR_HEADER_MAGIC:
        return "not a Zarn movie (wrong magic words)";
    case ZARN_DECODER_ERROR_PARTIALLY_ENCODED:
        return "the movie was only partially encoded (frame_blob_size is 0)";
    case ZARN_DECODER_ERROR_BAD_FRAME_RATE:
        return "the frame rate is not positive";
    case ZARN_DECODER_ERROR_BAD_PICTURE_SIZE:
        return "the picture size is out of range";
    case ZARN_DECODER_ERROR_BAD_FRAME_BLOB_SIZE:
        return "frame_blob_size is larger than the file";
    case ZARN_DECODER_ERROR_BAD_TRACK_COUNT:
        return "the track counts are out of range for the file";
    case ZARN_DECODER_ERROR_PICTURE_SIZE_MISMATCH:
        return "the video track's picture size differs from the movie's";
    case ZARN_DECODER_ERROR_EXAMINE_AUDIO_TRACKS:
    case ZARN_DECODER_ERROR_READ_AUDIO_HEADER:
    case ZARN_DECODER_ERROR_SEEK_NEXT_AUDIO_HEADER:
        return "an audio track header or its data is cut short";
    case ZARN_DECODER_ERROR_EXAMINE_VIDEO_TRACKS:
    case ZARN_DECODER_ERROR_READ_VIDEO_HEADER:
        return "the video track header is cut short";
    case ZARN_DECODER_ERROR_ALLOCATE_AUDIO_HEADERS:
    case ZARN_DECODER_ERROR_ALLOCATE_VIDEO_HEADERS:
    case ZARN_VIDEO_TRACK_ERROR_ALLOCATE:
    case ZARN_VIDEO_TRACK_ERROR_ALLOCATE_YUV_FRAME:
    case ZARN_VIDEO_TRACK_ERROR_ALLOCATE_FRAME_BLOB:
    case ZARN_VIDEO_TRACK_ERROR_SCAN_ALLOCATE_INDEX:
    case ZARN_AUDIO_TRACK_ERROR_ALLOCATE:
    case ZARN_AUDIO_TRACK_ERROR_ALLOCATE_DATA:
        return "out of memory";
    case ZARN_VIDEO_TRACK_ERROR_CREATE_DECOMPRESSOR:
        return "can't create the VP8 decoder";
    case ZARN_VIDEO_TRACK_ERROR_EXAMINE:
        return "the video packets are damaged";
    case ZARN_VIDEO_TRACK_ERROR_SCAN_NO_LEADING_KEY_FRAME:
        return "the video stream doesn't start with a key frame";
    case ZARN_VIDEO_TRACK_ERROR_SCAN_PACKET_TOO_LARGE:
    case ZARN_VIDEO_TRACK_ERROR_PACKET_TOO_LARGE:
        return "a video packet is larger than frame_blob_size";
    case ZARN_VIDEO_TRACK_ERROR_SEEK_FIRST_PACKET:
    case ZARN_VIDEO_TRACK_ERROR_SCAN_SEEK_START:
    case ZARN_VIDEO_TRACK_ERROR_SCAN_SEEK_START_AGAIN:
    case ZARN_VIDEO_TRACK_ERROR_SCAN_NEXT_PACKET:
    case ZARN_VIDEO_TRACK_ERROR_SCAN_NEXT_PACKET_AGAIN:
        return "can't move through the video packets";
    case ZARN_VIDEO_TRACK_ERROR_SCAN_READ_HEADER:
    case ZARN_VIDEO_TRACK_ERROR_SCAN_READ_HEADER_AGAIN:
    case ZARN_VIDEO_TRACK_ERROR_READ_HEADER:
        return "the video stream is cut short (no end-of-stream header)";
    case ZARN_VIDEO_TRACK_ERROR_READ_DATA:
        return "a video packet is cut short or empty";
    case ZARN_VIDEO_TRACK_ERROR_DECODE:
        return "a video packet is not a valid VP8 frame";
    case ZARN_AUDIO_TRACK_ERROR_SEEK_DATA:
    case ZARN_AUDIO_TRACK_ERROR_READ_DATA:
        return "its data is cut short";
    case ZARN_AUDIO_TRACK_ERROR_OPEN:
        return "its data is not a valid Ogg Vorbis stream";
    case ZARN_AUDIO_TRACK_ERROR_FORMAT_MISMATCH:
        return "its header's channels or sample rate differ from its stream";
    default:
        return "can't read the movie (code " + std::to_string(code) + ")";
    }
}

cli_walk_result cli_walk_packets(cli_movie* movie, cli_packet_count* count)
{
    *count = {};
    const zarn_track_header& track = movie->decoder.video_track_headers[0];
    if (zarn_fseek(movie->file, track.video.data_position, SEEK_SET) != 0) {
        return cli_walk_result::seek_failed;
    }
    // Each packet takes at least its 16-byte header, so the walk ends within
    // the file's size even for a stream of empty packets.
    for (;;) {
        zarn_packet_header packet{};
        if (zarn_fread(movie->file, &packet, sizeof(packet), 1) != 1) {
            return cli_walk_result::cut_short;
        }
        const bool key_frame = (packet.flags & PACKET_FLAG_KEY_FRAME) != 0;
        if (!key_frame && (packet.flags & PACKET_FLAG_END_OF_STREAM) != 0) {
            return cli_walk_result::ok;
        }
        if (count->packets == 0 && !key_frame) {
            return cli_walk_result::no_leading_key_frame;
        }
        if (packet.size > movie->decoder.header.frame_blob_size) {
            return cli_walk_result::packet_too_large;
        }
        count->packets += 1;
        count->key_frames += key_frame ? 1 : 0;
        if (zarn_fseek(movie->file, static_cast<int64_t>(packet.size), SEEK_CUR) != 0) {
            return cli_walk_result::seek_failed;
        }
    }
}

namespace {

// The codec only says that the key-frame scan failed; a walk of our own
// names what is wrong with the packets.
std::string video_track_reason(cli_movie* movie, int32_t code)
{
    if (code != ZARN_VIDEO_TRACK_ERROR_EXAMINE) {
        return cli_reason(code);
    }
    cli_packet_count count;
    switch (cli_walk_packets(movie, &count)) {
    case cli_walk_result::cut_short:
        return cli_reason(ZARN_VIDEO_TRACK_ERROR_SCAN_READ_HEADER);
    case cli_walk_result::no_leading_key_frame:
        return cli_reason(ZARN_VIDEO_TRACK_ERROR_SCAN_NO_LEADING_KEY_FRAME);
    case cli_walk_result::packet_too_large:
        return cli_reason(ZARN_VIDEO_TRACK_ERROR_SCAN_PACKET_TOO_LARGE);
    case cli_walk_result::seek_failed:
        return cli_reason(ZARN_VIDEO_TRACK_ERROR_SCAN_NEXT_PACKET);
    case cli_walk_result::ok:
        break;
    }
    return cli_reason(code);
}

}  // namespace

int cli_movie_open(cli_movie* movie, const std::string& path)
{
    movie->path = path;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return cli_fail(path, std::string("can't open the file (") + strerror(errno) + ")");
    }
    if (S_ISDIR(info.st_mode)) {
        return cli_fail(path, "is a directory, not a movie");
    }
    errno = 0;
    int32_t result = zarn_file_create(&movie->file, path.c_str(), true);
    if (result != ZARN_OK) {
        const int error = errno;
        return cli_fail(path, error != 0 && result == ZARN_FILE_ERROR_OPEN
                                  ? std::string("can't open the file (") + strerror(error) + ")"
                                  : cli_reason(result));
    }
    movie->decoder.file = movie->file;
    result = zarn_decoder_read_headers(&movie->decoder);
    if (result != ZARN_OK) {
        return cli_fail(path, cli_reason(result));
    }
    if (movie->decoder.header.video_track_count < 1 || movie->decoder.video_track_headers == nullptr) {
        return cli_fail(path, "the movie has no video track");
    }
    result = zarn_video_track_create(&movie->video, &movie->decoder.video_track_headers[0], movie->file,
                                     movie->decoder.header.frame_blob_size);
    if (result != ZARN_OK) {
        return cli_fail(path, video_track_reason(movie, result));
    }
    return ZRN_EXIT_OK;
}

void cli_movie_close(cli_movie* movie)
{
    zarn_video_track_free(movie->video);
    movie->video = nullptr;
    zarn_decoder_free_headers(&movie->decoder);
    movie->decoder.file = nullptr;
    zarn_file_free(movie->file);
    movie->file = nullptr;
}
