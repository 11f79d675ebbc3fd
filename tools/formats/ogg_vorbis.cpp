#include "formats/ogg_vorbis.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <ogg/ogg.h>

namespace {

bool fail(std::string* error, const std::string& reason)
{
    *error = reason;
    return false;
}

// Vorbis packs its fields from the least significant bit of each byte up.
class bit_reader {
public:
    bit_reader(const uint8_t* data, size_t size) : data_(data), bits_(static_cast<uint64_t>(size) * 8) {}

    // False (and the reader spent) when fewer than `count` bits are left.
    bool read(int count, uint32_t* value)
    {
        if (count < 0 || count > 32 || bits_ - position_ < static_cast<uint64_t>(count)) {
            position_ = bits_;
            ok_ = false;
            *value = 0;
            return false;
        }
        uint32_t out = 0;
        for (int i = 0; i < count; ++i) {
            const uint64_t at = position_ + static_cast<uint64_t>(i);
            out |= static_cast<uint32_t>((data_[at / 8] >> (at % 8)) & 1u) << i;
        }
        position_ += static_cast<uint64_t>(count);
        *value = out;
        return true;
    }
    uint32_t get(int count)
    {
        uint32_t value = 0;
        read(count, &value);
        return value;
    }
    bool skip(uint64_t count)
    {
        if (bits_ - position_ < count) {
            position_ = bits_;
            ok_ = false;
            return false;
        }
        position_ += count;
        return true;
    }
    bool ok() const { return ok_; }

private:
    const uint8_t* data_;
    uint64_t bits_;
    uint64_t position_ = 0;
    bool ok_ = true;
};

int ilog(uint32_t value)
{
    int bits = 0;
    while (value != 0) {
        bits += 1;
        value >>= 1;
    }
    return bits;
}

// The largest r with r^dimensions <= entries.
uint64_t lookup1_values(uint32_t entries, uint32_t dimensions)
{
    if (dimensions == 0) {
        return 0;
    }
    uint64_t r = 0;
    for (;;) {
        const uint64_t next = r + 1;
        uint64_t power = 1;
        bool over = false;
        for (uint32_t d = 0; d < dimensions && !over; ++d) {
            power *= next;
            over = power > entries;
        }
        if (over) {
            return r;
        }
        r = next;
    }
}

bool has_vorbis_signature(const std::vector<uint8_t>& packet, uint8_t type)
{
    return packet.size() >= 7 && packet[0] == type && memcmp(packet.data() + 1, "vorbis", 6) == 0;
}

bool skip_codebook(bit_reader* bits)
{
    if (bits->get(24) != 0x564342) {
        return false;
    }
    const uint32_t dimensions = bits->get(16);
    const uint32_t entries = bits->get(24);
    if (bits->get(1) != 0) {  // ordered lengths
        uint32_t current = 0;
        uint32_t length = bits->get(5) + 1;
        while (bits->ok() && current < entries) {
            const uint32_t number = bits->get(ilog(entries - current));
            if (number > entries - current || length > 32) {
                return false;
            }
            current += number;
            length += 1;
        }
    } else {
        const bool sparse = bits->get(1) != 0;
        for (uint32_t i = 0; i < entries && bits->ok(); ++i) {
            if (!sparse || bits->get(1) != 0) {
                bits->get(5);
            }
        }
    }
    const uint32_t lookup_type = bits->get(4);
    if (lookup_type == 1 || lookup_type == 2) {
        bits->get(32);  // minimum value
        bits->get(32);  // delta value
        const uint32_t value_bits = bits->get(4) + 1;
        bits->get(1);  // sequence_p
        const uint64_t values = lookup_type == 1 ? lookup1_values(entries, dimensions)
                                                 : static_cast<uint64_t>(entries) * dimensions;
        bits->skip(values * value_bits);
    } else if (lookup_type != 0) {
        return false;
    }
    return bits->ok();
}

bool skip_floor(bit_reader* bits, uint32_t codebooks)
{
    const uint32_t type = bits->get(16);
    if (type == 0) {
        bits->get(8);   // order
        bits->get(16);  // rate
        bits->get(16);  // bark map size
        bits->get(6);   // amplitude bits
        bits->get(8);   // amplitude offset
        const uint32_t books = bits->get(4) + 1;
        for (uint32_t i = 0; i < books; ++i) {
            if (bits->get(8) >= codebooks) {
                return false;
            }
        }
        return bits->ok();
    }
    if (type != 1) {
        return false;
    }
    const uint32_t partitions = bits->get(5);
    uint32_t partition_class[32];
    int32_t maximum_class = -1;
    for (uint32_t i = 0; i < partitions; ++i) {
        partition_class[i] = bits->get(4);
        maximum_class = std::max(maximum_class, static_cast<int32_t>(partition_class[i]));
    }
    uint32_t class_dimensions[16] = {};
    for (int32_t c = 0; c <= maximum_class; ++c) {
        class_dimensions[c] = bits->get(3) + 1;
        const uint32_t subclasses = bits->get(2);
        if (subclasses != 0 && bits->get(8) >= codebooks) {
            return false;
        }
        for (uint32_t j = 0; j < (1u << subclasses); ++j) {
            if (bits->get(8) > codebooks) {  // the book number plus one; 0 for none
                return false;
            }
        }
    }
    bits->get(2);  // multiplier
    const int range_bits = static_cast<int>(bits->get(4));
    for (uint32_t i = 0; i < partitions; ++i) {
        for (uint32_t j = 0; j < class_dimensions[partition_class[i]]; ++j) {
            bits->get(range_bits);
        }
    }
    return bits->ok();
}

bool skip_residue(bit_reader* bits, uint32_t codebooks)
{
    if (bits->get(16) > 2) {
        return false;
    }
    bits->get(24);  // begin
    bits->get(24);  // end
    bits->get(24);  // partition size - 1
    const uint32_t classifications = bits->get(6) + 1;
    if (bits->get(8) >= codebooks) {
        return false;
    }
    uint32_t cascade[64];
    for (uint32_t i = 0; i < classifications; ++i) {
        const uint32_t low = bits->get(3);
        const uint32_t high = bits->get(1) != 0 ? bits->get(5) : 0;
        cascade[i] = high * 8 + low;
    }
    for (uint32_t i = 0; i < classifications; ++i) {
        for (int j = 0; j < 8; ++j) {
            if ((cascade[i] & (1u << j)) != 0 && bits->get(8) >= codebooks) {
                return false;
            }
        }
    }
    return bits->ok();
}

bool skip_mapping(bit_reader* bits, int32_t channels)
{
    if (bits->get(16) != 0) {
        return false;
    }
    const uint32_t submaps = bits->get(1) != 0 ? bits->get(4) + 1 : 1;
    if (bits->get(1) != 0) {
        const uint32_t steps = bits->get(8) + 1;
        const int width = ilog(static_cast<uint32_t>(channels - 1));
        for (uint32_t i = 0; i < steps; ++i) {
            bits->get(width);  // magnitude
            bits->get(width);  // angle
        }
    }
    if (bits->get(2) != 0) {
        return false;
    }
    if (submaps > 1) {
        for (int32_t c = 0; c < channels; ++c) {
            bits->get(4);
        }
    }
    for (uint32_t i = 0; i < submaps; ++i) {
        bits->get(8);  // unused time configuration
        bits->get(8);  // floor
        bits->get(8);  // residue
    }
    return bits->ok();
}

}  // namespace

bool vorbis_parse_headers(const std::vector<uint8_t>& identification, const std::vector<uint8_t>& setup,
                          vorbis_setup* out, std::string* error)
{
    *out = vorbis_setup{};
    if (!has_vorbis_signature(identification, 1) || identification.size() < 30) {
        return fail(error, "not a Vorbis stream (no Vorbis identification header)");
    }
    const uint8_t* id = identification.data();
    uint32_t version = 0;
    memcpy(&version, id + 7, 4);
    uint32_t rate = 0;
    memcpy(&rate, id + 12, 4);
    const int exponent0 = id[28] & 15;
    const int exponent1 = id[28] >> 4;
    if (version != 0 || id[11] == 0 || rate == 0 || rate > INT32_MAX || exponent0 < 6 || exponent1 > 13 ||
        exponent0 > exponent1 || (id[29] & 1) == 0) {
        return fail(error, "the Vorbis identification header is damaged");
    }
    out->channels = id[11];
    out->sample_rate = static_cast<int32_t>(rate);
    out->block_sizes[0] = 1 << exponent0;
    out->block_sizes[1] = 1 << exponent1;

    if (!has_vorbis_signature(setup, 5)) {
        return fail(error, "not a Vorbis stream (no Vorbis setup header)");
    }
    bit_reader bits(setup.data() + 7, setup.size() - 7);
    const uint32_t codebooks = bits.get(8) + 1;
    bool ok = true;
    for (uint32_t i = 0; i < codebooks && ok; ++i) {
        ok = skip_codebook(&bits);
    }
    const uint32_t times = bits.get(6) + 1;
    for (uint32_t i = 0; i < times && ok; ++i) {
        ok = bits.get(16) == 0;
    }
    const uint32_t floors = bits.get(6) + 1;
    for (uint32_t i = 0; i < floors && ok; ++i) {
        ok = skip_floor(&bits, codebooks);
    }
    const uint32_t residues = bits.get(6) + 1;
    for (uint32_t i = 0; i < residues && ok; ++i) {
        ok = skip_residue(&bits, codebooks);
    }
    const uint32_t mappings = bits.get(6) + 1;
    for (uint32_t i = 0; i < mappings && ok; ++i) {
        ok = skip_mapping(&bits, out->channels);
    }
    const uint32_t modes = bits.get(6) + 1;
    for (uint32_t i = 0; i < modes && ok; ++i) {
        out->mode_long_block.push_back(bits.get(1) != 0);
        ok = bits.get(16) == 0 && bits.get(16) == 0 && bits.get(8) < mappings;
    }
    if (!ok || !bits.ok() || bits.get(1) != 1) {
        out->mode_long_block.clear();
        return fail(error, "the Vorbis setup header is damaged");
    }
    return true;
}

int32_t vorbis_packet_block_size(const vorbis_setup& setup, const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    if (setup.mode_long_block.empty()) {
        return -1;
    }
    bit_reader bits(data, size);
    uint32_t mode = 0;
    if (bits.get(1) != 0 || !bits.read(ilog(static_cast<uint32_t>(setup.mode_long_block.size() - 1)), &mode) ||
        mode >= setup.mode_long_block.size()) {
        return -1;
    }
    return setup.block_sizes[setup.mode_long_block[mode] ? 1 : 0];
}

namespace {

// Samples each audio packet adds: none for the first (it only primes the
// overlap) and for empty packets, otherwise a quarter of the previous block
// plus a quarter of its own.
bool packet_durations(const vorbis_stream& stream, std::vector<int64_t>* durations, std::string* error)
{
    durations->clear();
    int32_t previous = 0;
    for (const vorbis_packet& packet : stream.packets) {
        const int32_t block = vorbis_packet_block_size(stream.setup, packet.data.data(), packet.data.size());
        if (block < 0) {
            return fail(error, "an audio packet is not a Vorbis audio packet of this stream");
        }
        durations->push_back(block == 0 || previous == 0 ? 0 : previous / 4 + block / 4);
        if (block != 0) {
            previous = block;
        }
    }
    return true;
}

}  // namespace

void vorbis_compute_granules(vorbis_stream* stream, int64_t start)
{
    std::vector<int64_t> durations;
    std::string ignored;
    packet_durations(*stream, &durations, &ignored);
    int64_t granule = start;
    for (size_t i = 0; i < stream->packets.size(); ++i) {
        granule += i < durations.size() ? durations[i] : 0;
        stream->packets[i].granule = granule;
    }
    if (!stream->packets.empty()) {
        stream->packets.back().granule -= stream->end_trim;
    }
}

bool ogg_vorbis_read(const uint8_t* data, size_t size, vorbis_stream* stream, std::string* error)
{
    *stream = vorbis_stream{};
    if (size == 0) {
        return fail(error, "not an Ogg stream (it is empty)");
    }
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    ogg_stream_state ogg;
    bool ogg_ready = false;
    struct cleanup {
        ogg_sync_state* sync;
        ogg_stream_state* ogg;
        bool* ready;
        ~cleanup()
        {
            if (*ready) {
                ogg_stream_clear(ogg);
            }
            ogg_sync_clear(sync);
        }
    } guard{&sync, &ogg, &ogg_ready};

    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(size));
    if (buffer == nullptr || size > static_cast<size_t>(LONG_MAX)) {
        return fail(error, "the Ogg stream is too large");
    }
    memcpy(buffer, data, size);
    ogg_sync_wrote(&sync, static_cast<long>(size));

    // Every packet with the granule position of the page it ends on (-1 for
    // packets that do not end a page), and whether that page ends the stream.
    struct read_packet {
        std::vector<uint8_t> data;
        int64_t page_granule;
        bool last_page;
    };
    std::vector<read_packet> packets;
    bool seen_end = false;
    ogg_page page;
    for (;;) {
        const int got = ogg_sync_pageout(&sync, &page);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            return fail(error, "the Ogg stream is damaged (bytes that are not a page, or a bad checksum)");
        }
        if (!ogg_ready) {
            if (!ogg_page_bos(&page)) {
                return fail(error, "not an Ogg stream (its first page does not begin a stream)");
            }
            ogg_stream_init(&ogg, ogg_page_serialno(&page));
            ogg_ready = true;
        } else if (ogg_page_serialno(&page) != ogg.serialno || ogg_page_bos(&page)) {
            return fail(error, "the Ogg data holds more than one logical stream");
        }
        if (seen_end) {
            return fail(error, "the Ogg stream goes on after its last page");
        }
        seen_end = ogg_page_eos(&page) != 0;
        if (ogg_stream_pagein(&ogg, &page) != 0) {
            return fail(error, "the Ogg stream is damaged (a page out of order)");
        }
        ogg_packet packet;
        for (;;) {
            const int out = ogg_stream_packetout(&ogg, &packet);
            if (out == 0) {
                break;
            }
            if (out < 0) {
                return fail(error, "the Ogg stream is damaged (pages are missing)");
            }
            packets.push_back({std::vector<uint8_t>(packet.packet, packet.packet + packet.bytes),
                               static_cast<int64_t>(packet.granulepos), seen_end});
        }
    }
    if (sync.fill > sync.returned || (ogg_ready && ogg.body_fill > ogg.body_returned)) {
        return fail(error, "the Ogg stream is cut short");
    }
    if (!ogg_ready) {
        return fail(error, "not an Ogg stream");
    }
    if (packets.size() < 3) {
        return fail(error, "the Vorbis stream is cut short (it lacks its three headers)");
    }
    for (int i = 0; i < 3; ++i) {
        stream->headers[i] = packets[i].data;
    }
    if (!has_vorbis_signature(stream->headers[0], 1)) {
        return fail(error, "not a Vorbis stream");
    }
    if (!has_vorbis_signature(stream->headers[1], 3)) {
        return fail(error, "not a Vorbis stream (no Vorbis comment header)");
    }
    if (!vorbis_parse_headers(stream->headers[0], stream->headers[2], &stream->setup, error)) {
        return false;
    }
    for (size_t i = 3; i < packets.size(); ++i) {
        stream->packets.push_back({std::move(packets[i].data), 0});
    }

    // Anchor the computed positions at the first page that ends an audio
    // packet (unless that page is the last, whose position may cut the end
    // short: then the audio starts at 0), and hold every other page to them.
    std::vector<int64_t> durations;
    if (!packet_durations(*stream, &durations, error)) {
        return false;
    }
    int64_t start = 0;
    int64_t sum = 0;
    for (size_t i = 0; i < stream->packets.size(); ++i) {
        sum += durations[i];
        const read_packet& read = packets[i + 3];
        if (read.page_granule >= 0) {
            if (!read.last_page) {
                start = read.page_granule - sum;
            }
            break;
        }
    }
    if (start < 0) {
        return fail(error, "the Vorbis stream's first samples are cut off, which cannot be carried over");
    }
    int64_t granule = start;
    for (size_t i = 0; i < stream->packets.size(); ++i) {
        granule += durations[i];
        const read_packet& read = packets[i + 3];
        const bool final_packet = i + 1 == stream->packets.size();
        if (read.page_granule < 0) {
            continue;
        }
        if (final_packet) {
            if (read.page_granule > granule || read.page_granule < start) {
                return fail(error, "the Vorbis stream's last granule position lies outside its audio");
            }
            stream->end_trim = granule - read.page_granule;
        } else if (read.page_granule != granule) {
            return fail(error, "the Vorbis stream's granule positions don't follow its packets' block sizes");
        }
    }
    vorbis_compute_granules(stream, start);
    return true;
}

bool ogg_vorbis_build(const vorbis_stream& stream, std::vector<uint8_t>* ogg, std::string* error)
{
    ogg->clear();
    ogg_stream_state state;
    if (ogg_stream_init(&state, OGG_VORBIS_SERIAL) != 0) {
        return fail(error, "can't start an Ogg stream");
    }
    auto append = [ogg](const ogg_page& page) {
        ogg->insert(ogg->end(), page.header, page.header + page.header_len);
        ogg->insert(ogg->end(), page.body, page.body + page.body_len);
    };
    int64_t number = 0;
    auto put = [&](const std::vector<uint8_t>& data, int64_t granule, bool last) {
        ogg_packet packet{};
        packet.packet = const_cast<unsigned char*>(data.data());
        packet.bytes = static_cast<long>(data.size());
        packet.b_o_s = number == 0 ? 1 : 0;
        packet.e_o_s = last ? 1 : 0;
        packet.granulepos = granule;
        packet.packetno = number++;
        return ogg_stream_packetin(&state, &packet) == 0;
    };
    bool ok = true;
    for (int i = 0; i < 3 && ok; ++i) {
        ok = put(stream.headers[i], 0, i == 2 && stream.packets.empty());
    }
    // The audio starts on a page of its own, as decoders expect.
    ogg_page page;
    while (ok && ogg_stream_flush(&state, &page) != 0) {
        append(page);
    }
    for (size_t i = 0; i < stream.packets.size() && ok; ++i) {
        ok = put(stream.packets[i].data, stream.packets[i].granule, i + 1 == stream.packets.size());
        while (ok && ogg_stream_pageout(&state, &page) != 0) {
            append(page);
        }
    }
    while (ok && ogg_stream_flush(&state, &page) != 0) {
        append(page);
    }
    ogg_stream_clear(&state);
    return ok || fail(error, "can't put the Vorbis packets into Ogg pages");
}

std::vector<uint8_t> vorbis_pack_headers(const std::vector<uint8_t> (&headers)[3])
{
    std::vector<uint8_t> out{2};
    for (int i = 0; i < 2; ++i) {
        size_t size = headers[i].size();
        while (size >= 255) {
            out.push_back(255);
            size -= 255;
        }
        out.push_back(static_cast<uint8_t>(size));
    }
    for (const std::vector<uint8_t>& header : headers) {
        out.insert(out.end(), header.begin(), header.end());
    }
    return out;
}

bool vorbis_unpack_headers(const uint8_t* data, size_t size, std::vector<uint8_t> (&headers)[3],
                           std::string* error)
{
    if (size < 1 || data[0] != 2) {
        return fail(error, "the Vorbis track's codec private data does not hold three headers");
    }
    size_t at = 1;
    size_t sizes[2] = {0, 0};
    for (size_t& header_size : sizes) {
        for (;;) {
            if (at >= size) {
                return fail(error, "the Vorbis track's codec private data is cut short");
            }
            const uint8_t byte = data[at++];
            header_size += byte;
            if (byte < 255) {
                break;
            }
        }
    }
    if (sizes[0] > size - at || sizes[1] > size - at - sizes[0]) {
        return fail(error, "the Vorbis track's codec private data is cut short");
    }
    headers[0].assign(data + at, data + at + sizes[0]);
    at += sizes[0];
    headers[1].assign(data + at, data + at + sizes[1]);
    at += sizes[1];
    headers[2].assign(data + at, data + size);
    return true;
}
