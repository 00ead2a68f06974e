#include "io/Aiff.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr long HeaderSize = 54;
constexpr float ClampHigh = 0.9999f;

struct FileCloser
{
    void operator()(FILE *f) const
    {
        if (f)
            std::fclose(f);
    }
};
using File = std::unique_ptr<FILE, FileCloser>;

bool validBits(int bits)
{
    return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

void put16(unsigned char *p, uint32_t v)
{
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

void put32(unsigned char *p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

uint32_t get16(const unsigned char *p)
{
    return (uint32_t(p[0]) << 8) | p[1];
}

uint32_t get32(const unsigned char *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

bool readBytes(FILE *f, unsigned char *p, size_t n)
{
    return std::fread(p, 1, n, f) == n;
}

bool skip(FILE *f, long n)
{
    return n <= 0 || std::fseek(f, n, SEEK_CUR) == 0;
}

long even(long n)
{
    return n + (n & 1);
}

// The 54-byte header for the given format and frame count.
void makeHeader(unsigned char *h, int channels, uint32_t frames, int bits, double rate)
{
    const uint32_t dataBytes = uint32_t(channels) * frames * uint32_t(bits) / 8u;
    std::memcpy(h, "FORM", 4);
    put32(h + 4, 46u + dataBytes);
    std::memcpy(h + 8, "AIFF", 4);
    std::memcpy(h + 12, "COMM", 4);
    put32(h + 16, 18);
    put16(h + 20, uint32_t(channels));
    put32(h + 22, frames);
    put16(h + 26, uint32_t(bits));
    mAiffDoubleToIeee80(rate, h + 28);
    std::memcpy(h + 38, "SSND", 4);
    put32(h + 42, dataBytes + 8u);
    put32(h + 46, 0);
    put32(h + 50, 0);
}

// Reads one chunk at the current position into info. Clears more at the end
// of the file. False when the file is not an AIFF file.
bool getAndIdentifyAIFFchunk(FILE *f, bool &more, NASsampleInfo &info)
{
    more = true;
    unsigned char head[8];
    if (!readBytes(f, head, 8)) {
        more = false;
        return true;
    }
    const long size = long(get32(head + 4));
    const long position = std::ftell(f) - 8;
    if (!std::memcmp(head, "FORM", 4)) {
        unsigned char type[4];
        if (!readBytes(f, type, 4) || std::memcmp(type, "AIFF", 4))
            return false;
        return true;
    }
    if (!std::memcmp(head, "COMM", 4) && size != 0) {
        info.commPresent = true;
        info.commPosition = position;
        info.commSize = uint32_t(size);
        unsigned char c[18];
        if (!readBytes(f, c, 18)) {
            more = false;
            return true;
        }
        info.numChannels = int16_t(get16(c));
        info.numFrames = get32(c + 2);
        info.sampleSize = int16_t(get16(c + 6));
        info.sampleRate = float(std::floor(mAiffIeee80ToDouble(c + 8) + 0.5));
        return skip(f, even(size) - 18);
    }
    if (!std::memcmp(head, "SSND", 4) && size != 0) {
        unsigned char s[8];
        if (!readBytes(f, s, 8)) {
            more = false;
            return true;
        }
        const long offset = long(get32(s));
        if (!skip(f, offset))
            return false;
        if (std::ftell(f) & 1)
            skip(f, 1);
        info.dataStart = std::ftell(f);
        const long rest = size - 8 - offset;
        return skip(f, even(rest > 0 ? rest : 0));
    }
    if (!std::memcmp(head, "MARK", 4)) {
        info.markPresent = true;
        info.markPosition = position;
        info.markSize = uint32_t(size);
        const long end = position + 8 + even(size);
        unsigned char n[2];
        if (readBytes(f, n, 2)) {
            const int count = int(get16(n));
            int kept = 0;
            for (int i = 0; i < count && std::ftell(f) < end; ++i) {
                unsigned char m[7];
                if (!readBytes(f, m, 7))
                    break;
                const uint32_t at = get32(m + 2);
                const int len = m[6];
                char name[256];
                if (len > 0 && !readBytes(f, reinterpret_cast<unsigned char *>(name), size_t(len)))
                    break;
                if (i == 0)
                    info.marker1 = at;
                if (i == 1)
                    info.marker2 = at;
                if (kept < NASsampleInfo::MaxMarkers) {
                    const int copy = len < NASsampleInfo::MaxMarkerName - 1 ? len : NASsampleInfo::MaxMarkerName - 1;
                    std::memcpy(info.markerName[kept], name, size_t(copy));
                    info.markerName[kept][copy] = 0;
                    info.markerPosition[kept] = at;
                    ++kept;
                }
                if (std::ftell(f) & 1)
                    skip(f, 1);
            }
            info.numMarkers = kept;
        }
        return std::fseek(f, end, SEEK_SET) == 0;
    }
    if (!std::memcmp(head, "INST", 4) && size != 0) {
        info.instPresent = true;
        info.instPosition = position;
        info.instSize = uint32_t(size);
        unsigned char i[8];
        if (!readBytes(f, i, 8)) {
            more = false;
            return true;
        }
        info.baseNote = i[0];
        info.detune = int8_t(i[1]);
        info.lowNote = i[2];
        info.highNote = i[3];
        info.lowVelocity = i[4];
        info.highVelocity = i[5];
        info.gain = int16_t(get16(i + 6));
        return skip(f, even(size) - 8);
    }
    if (!std::memcmp(head, "APPL", 4) && size != 0) {
        unsigned char sig[4];
        if (!readBytes(f, sig, 4)) {
            more = false;
            return true;
        }
        if (!std::memcmp(sig, "mAIF", 4)) {
            info.appDataSize = uint32_t(size - 4);
            info.appDataPosition = std::ftell(f);
            std::memcpy(info.appSignature, sig, 4);
        }
        return skip(f, even(size) - 4);
    }
    return skip(f, even(size));
}

// Parses the whole file. 0, -4 or -3.
int parse(FILE *f, NASsampleInfo &info)
{
    std::memset(&info, 0, sizeof info);
    bool more = true;
    while (more) {
        if (!getAndIdentifyAIFFchunk(f, more, info))
            return kAiffNotAiff;
    }
    return 0;
}

int parsePath(const char *path, File &file, std::unique_ptr<NASsampleInfo> &info)
{
    if (!path || !*path)
        return kAiffCannotRead;
    file.reset(std::fopen(path, "rb"));
    if (!file)
        return kAiffCannotRead;
    info = std::make_unique<NASsampleInfo>();
    return parse(file.get(), *info);
}

// The checks the readers share after parsing.
int checkReadable(const NASsampleInfo &info)
{
    if (info.sampleSize > 32)
        return kAiffBadSampleSize;
    if (info.numChannels > 2)
        return kAiffTooManyChannels;
    if (info.dataStart == 0)
        return kAiffNoSampleData;
    return 0;
}

template <class Getter>
int getValue(const char *path, Getter getter)
{
    File file;
    std::unique_ptr<NASsampleInfo> info;
    int r = parsePath(path, file, info);
    if (r == 0)
        r = checkReadable(*info);
    return r == 0 ? getter(*info) : r;
}

int32_t sampleAt(const unsigned char *p, int bytes)
{
    switch (bytes) {
    case 1:
        return int8_t(p[0]);
    case 2:
        return int16_t(get16(p));
    case 3: {
        int32_t v = (int32_t(p[0]) << 16) | (int32_t(p[1]) << 8) | p[2];
        return v & 0x800000 ? v - 0x1000000 : v;
    }
    default:
        return int32_t(get32(p));
    }
}

// Reads frames into the arrays of the wanted channels (out[c] null skips c).
int readFrames(const char *path, float **out, int channelWanted, int startFrame, int frames)
{
    File file;
    std::unique_ptr<NASsampleInfo> info;
    int r = parsePath(path, file, info);
    if (r == 0)
        r = checkReadable(*info);
    if (r != 0)
        return r;
    if (!validBits(info->sampleSize))
        return kAiffBadSampleSize;
    if (startFrame < 0 || frames <= 0 || uint32_t(startFrame) >= info->numFrames)
        return 0;
    const uint32_t available = info->numFrames - uint32_t(startFrame);
    const int count = uint32_t(frames) < available ? frames : int(available);
    const int channels = info->numChannels;
    const int bytes = info->sampleSize / 8;
    const size_t frameBytes = size_t(channels) * size_t(bytes);
    unsigned char *raw = static_cast<unsigned char *>(std::malloc(frameBytes * size_t(count)));
    if (!raw)
        return kAiffOutOfMemory;
    const long at = info->dataStart + long(frameBytes) * startFrame;
    size_t got = 0;
    if (std::fseek(file.get(), at, SEEK_SET) == 0)
        got = std::fread(raw, frameBytes, size_t(count), file.get());
    const double scale = std::ldexp(1.0, info->sampleSize - 1);
    for (size_t f = 0; f < got; ++f) {
        for (int c = 0; c < channels; ++c) {
            const float v = float(sampleAt(raw + f * frameBytes + size_t(c * bytes), bytes) / scale);
            if (channelWanted < 0) {
                if (out[c])
                    out[c][f] = v;
            } else if (c == channelWanted) {
                out[0][f] = v;
            }
        }
    }
    std::free(raw);
    return int(got);
}

} // namespace

const char *mAiffGetVersion()
{
    return "2.1.0 [1206111600]";
}

void mAiffDoubleToIeee80(double x, unsigned char bytes[10])
{
    std::memset(bytes, 0, 10);
    int sign = 0;
    if (!(x >= 0)) {
        sign = 1;
        x = -x;
    }
    if (x == 0 || !std::isfinite(x))
        return;
    // x = f * 2^p with f in [0.5, 1): the integer bit of the extended form
    // is f's leading bit, so the biased exponent is p - 1 + 16383 and the
    // 64-bit mantissa is f * 2^64. frexp is exact where log() is not (a
    // power of two must not fall one exponent short).
    int p = 0;
    const double f = std::frexp(x, &p);
    const int e = p - 1 + 16383;
    const double m = std::ldexp(f, 32);
    const uint32_t hi = uint32_t(m);
    const uint32_t lo = uint32_t(std::ldexp(m - double(hi), 32));
    bytes[0] = uint8_t(sign * 128 + ((e >> 8) & 0x7f));
    bytes[1] = uint8_t(e);
    put32(bytes + 2, hi);
    put32(bytes + 6, lo);
}

double mAiffIeee80ToDouble(const unsigned char bytes[10])
{
    const int e = int(((bytes[0] & 0x7f) << 8) | bytes[1]);
    const uint32_t hi = get32(bytes + 2);
    const uint32_t lo = get32(bytes + 6);
    if (e == 0 && hi == 0 && lo == 0)
        return 0.0;
    const double v = std::ldexp(double(hi), e - 16383 - 31) + std::ldexp(double(lo), e - 16383 - 63);
    return (bytes[0] & 0x80) ? -v : v;
}

int mAiffInitFile(const char *path, int bits, int channels, float sampleRate)
{
    if (!path || !*path)
        return kAiffCannotWrite;
    if (!validBits(bits))
        return kAiffBadSampleSize;
    File file(std::fopen(path, "wb"));
    if (!file)
        return kAiffCannotWrite;
    unsigned char h[HeaderSize];
    makeHeader(h, channels, 0, bits, double(sampleRate));
    if (std::fwrite(h, 1, HeaderSize, file.get()) != size_t(HeaderSize))
        return kAiffCannotWrite;
    return std::fclose(file.release()) == 0 ? 0 : kAiffCannotWrite;
}

float **mAiffAllocateAudioBuffer(int channels, int frames)
{
    if (channels <= 0 || frames < 0)
        return nullptr;
    float **buffers = static_cast<float **>(std::calloc(size_t(channels), sizeof(float *)));
    if (!buffers)
        return nullptr;
    for (int c = 0; c < channels; ++c) {
        buffers[c] = static_cast<float *>(std::calloc(size_t(frames > 0 ? frames : 1), sizeof(float)));
        if (!buffers[c]) {
            mAiffDeallocateAudioBuffer(buffers, c);
            return nullptr;
        }
    }
    return buffers;
}

void mAiffDeallocateAudioBuffer(float **buffers, int channels)
{
    if (!buffers)
        return;
    for (int c = 0; c < channels; ++c)
        std::free(buffers[c]);
    std::free(buffers);
}

int mAiffWriteData(const char *path, float **buffers, int frames, int channels)
{
    if (frames <= 0)
        return 0;
    if (!path || !*path)
        return kAiffCannotWrite;
    std::unique_ptr<NASsampleInfo> info;
    {
        File in;
        const int r = parsePath(path, in, info);
        if (r != 0)
            return r;
    }
    const int bits = info->sampleSize;
    if (!validBits(bits))
        return kAiffBadSampleSize;
    const int fileChannels = info->numChannels;
    if (fileChannels <= 0 || info->dataStart == 0)
        return kAiffNotAiff;
    const int bytes = bits / 8;
    const size_t outBytes = size_t(fileChannels) * size_t(frames) * size_t(bytes);
    std::vector<unsigned char> out;
    std::vector<float> interleaved;
    try {
        out.assign(outBytes, 0);
        interleaved.assign(size_t(fileChannels) * size_t(frames), 0.0f);
    } catch (...) {
        return kAiffCannotWrite;
    }
    const int used = channels < fileChannels ? channels : fileChannels;
    for (int c = 0; c < used; ++c) {
        float *b = buffers ? buffers[c] : nullptr;
        if (!b)
            continue;
        for (int f = 0; f < frames; ++f) {
            float v = b[f];
            if (!(v >= -1.0f))
                v = v != v ? 0.0f : -1.0f;
            if (v > ClampHigh)
                v = ClampHigh;
            b[f] = v;
            interleaved[size_t(f) * size_t(fileChannels) + size_t(c)] = v;
        }
    }
    const double scale = std::ldexp(1.0, bits - 1);
    for (size_t i = 0; i < interleaved.size(); ++i) {
        const int32_t s = int32_t(double(interleaved[i]) * scale); // toward zero
        unsigned char *p = out.data() + i * size_t(bytes);
        switch (bytes) {
        case 1:
            p[0] = uint8_t(s);
            break;
        case 2:
            put16(p, uint32_t(s));
            break;
        case 3:
            p[0] = uint8_t(s >> 16);
            p[1] = uint8_t(s >> 8);
            p[2] = uint8_t(s);
            break;
        default:
            put32(p, uint32_t(s));
            break;
        }
    }
    File file(std::fopen(path, "r+b"));
    if (!file)
        return kAiffCannotWrite;
    const long at = info->dataStart + long(info->numFrames) * fileChannels * bytes;
    if (std::fseek(file.get(), at, SEEK_SET) != 0 || std::fwrite(out.data(), 1, outBytes, file.get()) != outBytes)
        return kAiffCannotWrite;
    unsigned char h[HeaderSize];
    makeHeader(h, fileChannels, info->numFrames + uint32_t(frames), bits, double(info->sampleRate));
    if (std::fseek(file.get(), 0, SEEK_SET) != 0 || std::fwrite(h, 1, HeaderSize, file.get()) != size_t(HeaderSize))
        return kAiffCannotWrite;
    if (std::fclose(file.release()) != 0)
        return kAiffCannotWrite;
    return int(outBytes);
}

int mAiffGetNumberOfChannels(const char *path)
{
    return getValue(path, [](const NASsampleInfo &i) { return int(i.numChannels); });
}

int mAiffGetWordlength(const char *path)
{
    return getValue(path, [](const NASsampleInfo &i) { return int(i.sampleSize); });
}

int mAiffGetSampleRate(const char *path)
{
    return getValue(path, [](const NASsampleInfo &i) { return int(i.sampleRate); });
}

int mAiffGetNumberOfFrames(const char *path)
{
    return getValue(path, [](const NASsampleInfo &i) { return int(i.numFrames); });
}

int mAiffGetLowKey(const char *path)
{
    return getValue(path, [](const NASsampleInfo &i) { return int(i.lowNote); });
}

int mAiffGetHighKey(const char *path)
{
    return getValue(path, [](const NASsampleInfo &i) { return int(i.highNote); });
}

int mAiffGetRootKey(const char *path)
{
    return getValue(path, [](const NASsampleInfo &i) { return int(i.baseNote); });
}

int mAiffGetGain(const char *path)
{
    return getValue(path, [](const NASsampleInfo &i) { return int(i.gain); });
}

int mAiffGetDetune(const char *path)
{
    return getValue(path, [](const NASsampleInfo &i) { return int(i.detune); });
}

int mAiffReadData(const char *path, float **buffers, int startFrame, int frames)
{
    return readFrames(path, buffers, -1, startFrame, frames);
}

int mAiffReadDataFromChannel(const char *path, float *buffer, int channel, int startFrame, int frames)
{
    const int channels = mAiffGetNumberOfChannels(path);
    if (channels < 0)
        return channels;
    if (channel < 0 || channel >= channels)
        channel = 0;
    float *one[1] = {buffer};
    return readFrames(path, one, channel, startFrame, frames);
}

int mAiffWriteAppData(const char *path, const char *data, int size)
{
    if (!path || !*path || size < 0)
        return kAiffCannotWrite;
    File file(std::fopen(path, "wb"));
    if (!file)
        return kAiffCannotWrite;
    const uint32_t applSize = 4u + uint32_t(size);
    const uint32_t padded = applSize + (applSize & 1u);
    unsigned char h[12 + 26 + 12];
    std::memcpy(h, "FORM", 4);
    put32(h + 4, 4u + 26u + 8u + padded);
    std::memcpy(h + 8, "AIFF", 4);
    std::memcpy(h + 12, "COMM", 4);
    put32(h + 16, 18);
    put16(h + 20, 1);
    put32(h + 22, 0);
    put16(h + 26, 16);
    mAiffDoubleToIeee80(44100.0, h + 28);
    std::memcpy(h + 38, "APPL", 4);
    put32(h + 42, applSize);
    std::memcpy(h + 46, "mAIF", 4);
    bool ok = std::fwrite(h, 1, sizeof h, file.get()) == sizeof h;
    if (ok && size > 0)
        ok = std::fwrite(data, 1, size_t(size), file.get()) == size_t(size);
    if (ok && (applSize & 1u))
        ok = std::fputc(0, file.get()) != EOF;
    ok = std::fclose(file.release()) == 0 && ok;
    return ok ? 0 : kAiffCannotWrite;
}

int mAiffReadAppData(const char *path, char *data, int maxSize)
{
    File file;
    std::unique_ptr<NASsampleInfo> info;
    const int r = parsePath(path, file, info);
    if (r != 0)
        return r;
    if (info->appDataPosition == 0)
        return kAiffNoSampleData;
    const int size = int(info->appDataSize);
    const int n = size < maxSize ? size : maxSize;
    if (n > 0 && data) {
        if (std::fseek(file.get(), info->appDataPosition, SEEK_SET) != 0
            || std::fread(data, 1, size_t(n), file.get()) != size_t(n))
            return kAiffCannotRead;
    }
    return size;
}

int mAiffReadInfo(const char *path, NASsampleInfo *info)
{
    if (!info)
        return kAiffCannotRead;
    File file;
    std::unique_ptr<NASsampleInfo> parsed;
    const int r = parsePath(path, file, parsed);
    if (parsed)
        *info = *parsed;
    return r;
}
