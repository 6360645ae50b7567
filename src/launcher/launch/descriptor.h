/*
 * The launch descriptor sfx.ini (section "autorun"), read at three moments of a run:
 * the archive's size right after the descriptor is extracted, the disk count after the
 * whole archive is extracted, and the installer command with the runtime component
 * just before the launch. Nothing is kept between reads.
 */
#pragma once

#include <cstddef>
#include <cstdint>

// Buffer sizes of the values, terminating zero included.
inline constexpr std::size_t kDescriptorNumberSize = 4096;
inline constexpr std::size_t kDescriptorCommandSize = 1024;

// TEMP_SPACE_TOTAL_BYTES (default "1") into totalBytes. Fails, with a log line only,
// when the key is present but empty.
bool readTotalBytes();

// DISKCNT (default "1"), logged. Fails with "Cannot get disk count from ..." when the
// key is present but empty.
bool readDiskCount();

// CMD and JRE_COMPONENT into buffers of kDescriptorCommandSize bytes. Fails, after the
// message, when either is absent or empty.
bool readLaunchSettings(char* command, char* component);

// A text read as a signed 64-bit number with automatic base ("0x" hexadecimal, a
// leading "0" octal, else decimal; saturating; 0 without digits), kept as unsigned.
uint64_t convertSizeText(const char* text);
