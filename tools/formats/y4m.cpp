#include "y4m.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t MAX_LINE = 4096;
constexpr int32_t MAX_SIZE = 16383;

bool fail(std::string* error, const std::string& reason)
{
    if (error != nullptr) {
        *error = reason;
    }
    return false;
}

// Reads one line up to '\n' (not kept). Returns false at end of file before
// any byte, or when the line is longer than MAX_LINE (*too_long set).
bool read_line(FILE* file, std::string* line, bool* too_long)
{
    line->clear();
    *too_long = false;
    int c = 0;
    while ((c = fgetc(file)) != EOF && c != '\n') {
        if (line->size() >= MAX_LINE) {
            *too_long = true;
            return false;
        }
        line->push_back(static_cast<char>(c));
    }
    return c == '\n' || !line->empty();
}

bool parse_int(const std::string& text, int64_t* value)
{
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long parsed = strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') {
        return false;
    }
    *value = parsed;
    return true;
}

bool parse_ratio(const std::string& text, int64_t* num, int64_t* den)
{
    const size_t colon = text.find(':');
    return colon != std::string::npos && parse_int(text.substr(0, colon), num) &&
           parse_int(text.substr(colon + 1), den);
}

FILE* open_file(const char* path, const char* mode, bool* owns, FILE* standard)
{
    if (strcmp(path, "-") == 0) {
        *owns = false;
        return standard;
    }
    *owns = true;
    return fopen(path, mode);
}

}  // namespace

size_t y4m_frame_size(int32_t width, int32_t height)
{
    const size_t chroma = static_cast<size_t>((width + 1) / 2) * static_cast<size_t>((height + 1) / 2);
    return static_cast<size_t>(width) * static_cast<size_t>(height) + 2 * chroma;
}

bool y4m_reader_open(y4m_reader* reader, const char* path, std::string* error)
{
    *reader = y4m_reader{};
    reader->file = open_file(path, "rb", &reader->owns_file, stdin);
    if (reader->file == nullptr) {
        return fail(error, std::string("can't open: ") + strerror(errno));
    }
    std::string line;
    bool too_long = false;
    if (!read_line(reader->file, &line, &too_long) || line.compare(0, 10, "YUV4MPEG2 ") != 0) {
        y4m_reader_close(reader);
        return fail(error, too_long ? "not a YUV4MPEG2 stream (header line too long)"
                                    : "not a YUV4MPEG2 stream");
    }
    int64_t width = 0;
    int64_t height = 0;
    int64_t num = 0;
    int64_t den = 0;
    reader->colorspace = "420jpeg";
    size_t at = 10;
    while (at < line.size()) {
        size_t end = line.find(' ', at);
        if (end == std::string::npos) {
            end = line.size();
        }
        const std::string field = line.substr(at, end - at);
        at = end + 1;
        if (field.empty()) {
            continue;
        }
        const std::string value = field.substr(1);
        bool ok = true;
        switch (field[0]) {
        case 'W': ok = parse_int(value, &width); break;
        case 'H': ok = parse_int(value, &height); break;
        case 'F': ok = parse_ratio(value, &num, &den); break;
        case 'C': reader->colorspace = value; break;
        default: break;  // interlacing, aspect ratio, comments: pictures are taken as they are
        }
        if (!ok) {
            y4m_reader_close(reader);
            return fail(error, "bad YUV4MPEG2 header field '" + field + "'");
        }
    }
    if (width < 1 || height < 1 || width > MAX_SIZE || height > MAX_SIZE) {
        y4m_reader_close(reader);
        return fail(error, "picture size must be 1x1 to 16383x16383 (W and H fields)");
    }
    if (num < 1 || den < 1 || num > INT32_MAX || den > INT32_MAX) {
        y4m_reader_close(reader);
        return fail(error, "frame rate missing or not above 0 (F field)");
    }
    const std::string& cs = reader->colorspace;
    if (cs != "420jpeg" && cs != "420" && cs != "420mpeg2" && cs != "420paldv") {
        const std::string refused = cs;
        y4m_reader_close(reader);
        return fail(error, "colour space C" + refused + " is not supported, only 8-bit 4:2:0");
    }
    reader->width = static_cast<int32_t>(width);
    reader->height = static_cast<int32_t>(height);
    reader->frame_rate_numerator = static_cast<int32_t>(num);
    reader->frame_rate_denominator = static_cast<int32_t>(den);
    return true;
}

bool y4m_reader_read_frame(y4m_reader* reader, std::vector<uint8_t>* planes, bool* got, std::string* error)
{
    *got = false;
    std::string line;
    bool too_long = false;
    if (!read_line(reader->file, &line, &too_long)) {
        if (too_long) {
            return fail(error, "frame header too long");
        }
        if (ferror(reader->file)) {
            return fail(error, std::string("read error: ") + strerror(errno));
        }
        return true;
    }
    if (line.compare(0, 5, "FRAME") != 0 || (line.size() > 5 && line[5] != ' ')) {
        return fail(error, "frame " + std::to_string(reader->frames_read) + " has no FRAME header");
    }
    planes->resize(y4m_frame_size(reader->width, reader->height));
    if (fread(planes->data(), planes->size(), 1, reader->file) != 1) {
        return fail(error, "frame " + std::to_string(reader->frames_read) + " is cut short");
    }
    ++reader->frames_read;
    *got = true;
    return true;
}

void y4m_reader_close(y4m_reader* reader)
{
    if (reader->file != nullptr && reader->owns_file) {
        fclose(reader->file);
    }
    reader->file = nullptr;
}

bool y4m_writer_open(y4m_writer* writer, const char* path, int32_t width, int32_t height,
                     int32_t frame_rate_numerator, int32_t frame_rate_denominator, std::string* error)
{
    *writer = y4m_writer{};
    if (width < 1 || height < 1) {
        return fail(error, "picture size must be above 0");
    }
    writer->file = open_file(path, "wb", &writer->owns_file, stdout);
    if (writer->file == nullptr) {
        return fail(error, std::string("can't create: ") + strerror(errno));
    }
    writer->width = width;
    writer->height = height;
    if (fprintf(writer->file, "YUV4MPEG2 W%d H%d F%d:%d Ip A1:1 C420jpeg\n", width, height,
                frame_rate_numerator, frame_rate_denominator) < 0) {
        return fail(error, std::string("write error: ") + strerror(errno));
    }
    return true;
}

bool y4m_writer_write_frame(y4m_writer* writer, const uint8_t* y, int32_t y_stride, const uint8_t* u,
                            int32_t u_stride, const uint8_t* v, int32_t v_stride, std::string* error)
{
    const size_t width = static_cast<size_t>(writer->width);
    const size_t chroma_width = static_cast<size_t>((writer->width + 1) / 2);
    const int32_t chroma_height = (writer->height + 1) / 2;
    bool ok = fwrite("FRAME\n", 6, 1, writer->file) == 1;
    for (int32_t row = 0; ok && row < writer->height; ++row) {
        ok = fwrite(y + static_cast<ptrdiff_t>(row) * y_stride, width, 1, writer->file) == 1;
    }
    for (int32_t row = 0; ok && row < chroma_height; ++row) {
        ok = fwrite(u + static_cast<ptrdiff_t>(row) * u_stride, chroma_width, 1, writer->file) == 1;
    }
    for (int32_t row = 0; ok && row < chroma_height; ++row) {
        ok = fwrite(v + static_cast<ptrdiff_t>(row) * v_stride, chroma_width, 1, writer->file) == 1;
    }
    return ok || fail(error, std::string("write error: ") + strerror(errno));
}

bool y4m_writer_close(y4m_writer* writer, std::string* error)
{
    if (writer->file == nullptr) {
        return true;
    }
    bool ok = fflush(writer->file) == 0 && ferror(writer->file) == 0;
    if (writer->owns_file) {
        ok = fclose(writer->file) == 0 && ok;
    }
    writer->file = nullptr;
    return ok || fail(error, std::string("write error: ") + strerror(errno));
}
