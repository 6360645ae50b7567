// CRC-32 as the ZIP format uses it (reflected polynomial 0xEDB88320, register
// inverted before and after), so that a stored value can be continued with more bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// Continues `crc` over `length` bytes. A null buffer gives 0; a length of 0 gives `crc`.
uint32_t crc32Update(uint32_t crc, const uint8_t* buffer, size_t length);

// The same by tables alone, whatever the processor offers: the reference the faster
// path is checked against.
uint32_t crc32UpdateByTable(uint32_t crc, const uint8_t* buffer, size_t length);

// The process-wide 256-entry table (entry i: i reduced bit by bit through the
// polynomial). Kept by the state for the decryption step.
const uint32_t* getCrcTable();
