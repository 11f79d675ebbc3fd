// Ogg Vorbis streams taken apart into their packets and put back together,
// with libogg, without decoding anything.
//
// A Vorbis packet's length in samples follows from its block size and the
// previous packet's: the identification header gives the two block sizes and
// the setup header's modes say which one each audio packet uses (the mode
// number sits in the packet's first bits). So granule positions can be
// computed for packets that arrive without pages, as Matroska carries them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The Ogg serial number of every stream ogg_vorbis_build makes. It is the
// one the project's own encoder uses, so the streams of the project's movies
// come back byte for byte from a trip through another container.
constexpr int32_t OGG_VORBIS_SERIAL = 0x5A524E31;

// What the three header packets say that the packets' timing needs.
struct vorbis_setup {
    int32_t channels = 0;
    int32_t sample_rate = 0;
    int32_t block_sizes[2] = {0, 0};  // short and long block, samples
    std::vector<bool> mode_long_block;  // per mode: uses the long block
};

// Reads the identification header (packet 0) and the setup header
// (packet 2). Returns false with *error set when they are not Vorbis's.
bool vorbis_parse_headers(const std::vector<uint8_t>& identification, const std::vector<uint8_t>& setup,
                          vorbis_setup* out, std::string* error);

// The block size of an audio packet, or 0 for an empty packet; -1 when the
// packet is not an audio packet of this stream.
int32_t vorbis_packet_block_size(const vorbis_setup& setup, const uint8_t* data, size_t size);

struct vorbis_packet {
    std::vector<uint8_t> data;
    int64_t granule = 0;  // samples decoded once this packet is (the audio start + samples so far)
};

// A Vorbis stream as packets: the three headers, then the audio packets with
// the granule position each ends at.
struct vorbis_stream {
    std::vector<uint8_t> headers[3];  // identification, comment, setup
    vorbis_setup setup;
    std::vector<vorbis_packet> packets;
    // Samples the last packet decodes to beyond the stream's end, which the
    // last page's granule position cuts off (0 when it cuts none).
    int64_t end_trim = 0;
};

// Takes an Ogg stream apart. It must hold one logical Vorbis stream, whole
// (pages in order, checksums right, its three headers first). Each audio
// packet's granule is computed from the block sizes and anchored at the
// first page that ends a packet, and checked against every later page.
bool ogg_vorbis_read(const uint8_t* data, size_t size, vorbis_stream* stream, std::string* error);

// Computes the granule of each audio packet from the block sizes, starting
// at `start` samples, and cuts the last one short by stream->end_trim.
void vorbis_compute_granules(vorbis_stream* stream, int64_t start);

// Puts a stream into Ogg pages: the identification header on a page of its
// own, the other two headers on the next, the audio packets paged as libogg
// pages them, the last page marked as the end of the stream.
bool ogg_vorbis_build(const vorbis_stream& stream, std::vector<uint8_t>* ogg, std::string* error);

// The three headers as Matroska's CodecPrivate carries them (Xiph lacing:
// a count byte, the sizes of the first two, then the three packets), and back.
std::vector<uint8_t> vorbis_pack_headers(const std::vector<uint8_t> (&headers)[3]);
bool vorbis_unpack_headers(const uint8_t* data, size_t size, std::vector<uint8_t> (&headers)[3],
                           std::string* error);
