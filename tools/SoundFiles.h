// Writers of sound files: WAV bytes chunk by chunk and Ogg Vorbis files
// through the Vorbis encoder. The sound generator makes the sample
// installation's music with them, the sound tests their fixtures.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <vorbis/vorbisenc.h>

namespace SoundFiles {

inline void PutLE32(std::string& s, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s.push_back(char((v >> (8 * i)) & 0xFF));
}
inline void PutLE16(std::string& s, uint16_t v)
{
    s.push_back(char(v & 0xFF));
    s.push_back(char(v >> 8));
}

// One RIFF chunk: id, size, body (padded to an even length).
inline std::string Chunk(const char* id, const std::string& body, int64_t declaredSize = -1)
{
    std::string s(id, 4);
    PutLE32(s, uint32_t(declaredSize >= 0 ? declaredSize : int64_t(body.size())));
    s += body;
    if (body.size() % 2)
        s.push_back('\0');
    return s;
}

inline std::string FmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, size_t extra = 0)
{
    std::string s;
    PutLE16(s, tag);
    PutLE16(s, channels);
    PutLE32(s, rate);
    PutLE32(s, rate * channels * bits / 8);
    PutLE16(s, uint16_t(channels * bits / 8));
    PutLE16(s, bits);
    s.append(extra, '\0');
    return s;
}

inline std::string Samples16(const std::vector<int16_t>& v)
{
    std::string s(v.size() * 2, '\0');
    std::memcpy(s.data(), v.data(), s.size());
    return s;
}

// "RIFF" size "WAVE" followed by the chunks.
inline std::string Riff(const std::string& chunks, const char* mark = "RIFF")
{
    std::string s(mark, 4);
    PutLE32(s, uint32_t(4 + chunks.size()));
    s += "WAVE";
    s += chunks;
    return s;
}

// The canonical 44-byte-header file.
inline std::string Wav16(const std::vector<int16_t>& samples, uint16_t channels = 1, uint32_t rate = 44100)
{
    return Riff(Chunk("fmt ", FmtBody(1, channels, rate, 16)) + Chunk("data", Samples16(samples)));
}

// A sine of the given frequency, interleaved, the same on every channel but
// scaled by (1 + channel) / channels so channels differ.
inline std::vector<float> Sine(int channels, int rate, int frames, double hz, double amplitude = 0.5)
{
    std::vector<float> v(size_t(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            v[size_t(i) * channels + c] =
                float(amplitude * (1.0 + c) / channels * std::sin(2 * M_PI * hz * i / double(rate)));
    return v;
}

// Encodes interleaved float samples (-1..1) as an Ogg Vorbis file; with
// pagePerPacket every audio packet gets a page of its own (a file of many
// pages out of a short sound). The stream's serial number is fixed, so the
// same samples give the same bytes.
inline std::string EncodeOgg(const std::vector<float>& interleaved, int channels, int rate, float quality = 0.6f,
                             bool pagePerPacket = false)
{
    std::string out;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, rate, quality) != 0) {
        vorbis_info_clear(&vi);
        return out;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 12345);
    ogg_page og;
    ogg_packet op;

    auto writePage = [&](const ogg_page& page) {
        out.append(reinterpret_cast<const char*>(page.header), size_t(page.header_len));
        out.append(reinterpret_cast<const char*>(page.body), size_t(page.body_len));
    };
    {
        ogg_packet header, comments, code;
        vorbis_analysis_headerout(&vd, &vc, &header, &comments, &code);
        ogg_stream_packetin(&os, &header);
        ogg_stream_packetin(&os, &comments);
        ogg_stream_packetin(&os, &code);
        while (ogg_stream_flush(&os, &og) != 0)
            writePage(og);
    }
    const int frames = int(interleaved.size() / size_t(channels));
    auto drain = [&]() {
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            while (vorbis_bitrate_flushpacket(&vd, &op)) {
                ogg_stream_packetin(&os, &op);
                while ((pagePerPacket ? ogg_stream_flush(&os, &og) : ogg_stream_pageout(&os, &og)) != 0)
                    writePage(og);
            }
        }
    };
    constexpr int Chunk = 1024;
    for (int at = 0; at < frames; at += Chunk) {
        const int n = std::min(Chunk, frames - at);
        float** buffer = vorbis_analysis_buffer(&vd, n);
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c)
                buffer[c][i] = interleaved[size_t(at + i) * channels + c];
        vorbis_analysis_wrote(&vd, n);
        drain();
    }
    vorbis_analysis_wrote(&vd, 0);
    drain();
    while (ogg_stream_flush(&os, &og) != 0)
        writePage(og);

    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

// The Ogg file with the granule position (the sample count so far) of its
// last page replaced, the page's checksum made right again: a damaged file
// that libvorbisfile still opens.
inline std::string WithLastGranule(std::string ogg, int64_t granule)
{
    const size_t at = ogg.rfind("OggS");
    if (at == std::string::npos || ogg.size() < at + 27)
        return ogg;
    for (int i = 0; i < 8; ++i)
        ogg[at + 6 + i] = char((uint64_t(granule) >> (8 * i)) & 0xFF);
    auto* bytes = reinterpret_cast<unsigned char*>(ogg.data());
    const int segments = bytes[at + 26];
    long body = 0;
    for (int i = 0; i < segments; ++i)
        body += bytes[at + 27 + i];
    ogg_page page;
    page.header = bytes + at;
    page.header_len = 27 + segments;
    page.body = bytes + at + 27 + segments;
    page.body_len = body;
    ogg_page_checksum_set(&page);
    return ogg;
}

// The same Ogg file with another sample rate in its identification header
// (on the first page), the page's checksum made right again.
inline std::string WithSampleRate(std::string ogg, uint32_t rate)
{
    if (ogg.size() < 27 || ogg.compare(0, 4, "OggS") != 0)
        return ogg;
    auto* bytes = reinterpret_cast<unsigned char*>(ogg.data());
    const int segments = bytes[26];
    long body = 0;
    for (int i = 0; i < segments; ++i)
        body += bytes[27 + i];
    // The packet: type 1, "vorbis", a 32-bit version, the channel count, then the rate.
    const size_t at = 27 + size_t(segments) + 7 + 4 + 1;
    if (ogg.size() < at + 4)
        return ogg;
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = (rate >> (8 * i)) & 0xFF;
    bytes[22] = bytes[23] = bytes[24] = bytes[25] = 0;
    ogg_page page;
    page.header = bytes;
    page.header_len = 27 + segments;
    page.body = bytes + 27 + segments;
    page.body_len = body;
    ogg_page_checksum_set(&page);
    return ogg;
}

} // namespace SoundFiles
