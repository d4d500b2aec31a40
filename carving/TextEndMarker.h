// Byte searches shared by the text-format analysers: a plain pattern search
// and the search for the end of a text-like file whose last sector is
// padded with zero bytes.
#pragma once

#include <cstddef>
#include <cstdint>

class CRawFileInfo;
class IStorageDevice;

// The end marker a text format closes with (for example "</html>"),
// cleared to zero before use.
struct TextEndMarker {
  uint8_t marker[64];
  int markerLength;    // bytes of `marker` compared, 1 to 64
  uint64_t sizeLimit;  // longest file considered; 0: the maximum carved size
};

// The first occurrence of `pattern` in `buffer`, or null (also for an
// absent buffer or pattern, an empty pattern, or a buffer shorter than it).
const uint8_t* FindBytes(const uint8_t* buffer, size_t bufferLength, const uint8_t* pattern, size_t patternLength);

// Walks the file of `info` sector by sector (the device's own sector size)
// and searches the marker in the sectors that end in two zero bytes,
// together with the sector before them, so that a marker split over a
// sector boundary is found too. `exact` nonzero compares the marker bytes
// as they are; 0 looks for its all-lower-case and its all-upper-case forms.
// Stores the size: up to the marker's last byte when found; otherwise the
// first sector boundary past the limit, or where the data ended; never
// beyond the device's end counted from the file's start. Returns 1.
int FindTextEndMarker(CRawFileInfo* info, IStorageDevice* device, const TextEndMarker& endMarker, int exact);
