#pragma once

// A small library of plain functions that write and read AIFF sound files
// (uncompressed, 8, 16, 24 or 32 bits, big-endian) through standard C file
// streams. The export writes its fragments' audio with it: create a file,
// append blocks of per-channel float samples, and the file is a valid AIFF
// file after every append (the header is rewritten each time).
//
// Functions report by their result: 0 or a count on success, a negative code
// on failure (see AiffError). Nothing is printed.

#include <cstdint>

enum AiffError {
    kAiffNotAiff = -3,       // not an AIFF file (an AIFF-C file, for one)
    kAiffCannotRead = -4,    // no path, or the file cannot be opened for reading
    kAiffCannotWrite = -5,   // no path, the file cannot be created or updated, or no memory to append
    kAiffBadSampleSize = -8, // a sample size other than 8, 16, 24 or 32 bits
    kAiffTooManyChannels = -9,
    kAiffNoSampleData = -10,
    kAiffOutOfMemory = -108, // out of memory while reading
};

// What the chunk reader learns of a file.
struct NASsampleInfo
{
    enum { MaxMarkers = 512, MaxMarkerName = 256 };

    int16_t numChannels;
    int16_t sampleSize;
    float sampleRate;
    uint32_t marker1;
    uint32_t marker2;
    long dataStart; // file position of the first sample byte; 0 when none
    uint32_t numFrames;
    uint32_t appDataSize;
    long appDataPosition;
    char appSignature[4];

    uint8_t baseNote;
    int8_t detune;
    uint8_t lowNote;
    uint8_t highNote;
    uint8_t lowVelocity;
    uint8_t highVelocity;
    int16_t gain;
    bool instPresent;
    long instPosition;
    uint32_t instSize;

    bool markPresent;
    long markPosition;
    uint32_t markSize;
    bool commPresent;
    long commPosition;
    uint32_t commSize;

    int numMarkers;
    char markerName[MaxMarkers][MaxMarkerName];
    uint32_t markerPosition[MaxMarkers];
};

// "2.1.0 [1206111600]".
const char *mAiffGetVersion();

// Creates (or truncates) the file with a header for no frames. 0; -5 without
// a path or when it cannot be created; -8 for a bad sample size (no file is
// made then).
int mAiffInitFile(const char *path, int bits, int channels, float sampleRate);

// channels arrays of frames zeroed floats; null when an allocation fails.
float **mAiffAllocateAudioBuffer(int channels, int frames);
// Frees what mAiffAllocateAudioBuffer gave; null is ignored.
void mAiffDeallocateAudioBuffer(float **buffers, int channels);

// Appends frames frames of the per-channel buffers (values -1.0 to below
// 1.0; values beyond are clamped to -1.0 and 0.9999, and the clamped value
// is written back into the buffer). Channels beyond the file's are ignored;
// file channels beyond the given ones get silence. Returns the bytes
// appended (0 for 0 frames) or -5, -4, -3, -8. A failed append leaves the
// file as it was.
int mAiffWriteData(const char *path, float **buffers, int frames, int channels);

// Values of the file's header, or a negative code: -4, -3, -8 (above 32
// bits), -9 (above 2 channels), -10 (no sample data).
int mAiffGetNumberOfChannels(const char *path);
int mAiffGetWordlength(const char *path);
int mAiffGetSampleRate(const char *path);
int mAiffGetNumberOfFrames(const char *path);
int mAiffGetLowKey(const char *path);
int mAiffGetHighKey(const char *path);
int mAiffGetRootKey(const char *path);
int mAiffGetGain(const char *path);
int mAiffGetDetune(const char *path);

// Reads up to frames frames from startFrame into buffers (one array per file
// channel, -1.0 to below 1.0). Returns the frames read or a negative code
// (-108 when memory runs out).
int mAiffReadData(const char *path, float **buffers, int startFrame, int frames);
// The same for one channel; a channel beyond the last reads channel 0.
int mAiffReadDataFromChannel(const char *path, float *buffer, int channel, int startFrame, int frames);

// Creates a file holding a "COMM" chunk (1 channel, no frames, 16 bits,
// 44100 Hz) and an application chunk signed "mAIF" with the bytes. 0 or -5.
int mAiffWriteAppData(const char *path, const char *data, int size);
// Copies up to maxSize bytes of the "mAIF" application chunk into data;
// returns the chunk's size, or -4, -3, or -10 when there is none.
int mAiffReadAppData(const char *path, char *data, int maxSize);

// Reads the whole chunk structure of the file into info. 0 or -4, -3.
int mAiffReadInfo(const char *path, NASsampleInfo *info);

// The ten-byte IEEE 754 extended form of a rate, and back.
void mAiffDoubleToIeee80(double x, unsigned char bytes[10]);
double mAiffIeee80ToDouble(const unsigned char bytes[10]);
