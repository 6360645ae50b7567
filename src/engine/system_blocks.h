// System blocks of the extra field: the Windows security descriptor, and the VMS
// attribute blocks that say whether an entry holds variable-length records.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineState;

// Security descriptor blocks: 4-byte uncompressed size, version byte, then a
// compressed block (method, CRC, data) of at least 6 bytes.
constexpr uint32_t SECURITY_HEADER_LENGTH = 11;

// The last security descriptor block of the current extra field that is to be restored;
// nullptr when there is none or restoring is not asked for. Sets the block's length
// (with its 4-byte header).
const uint8_t* findSecurityBlock(const EngineState* state, uint32_t* blockLength);

// RC_OK, or RC_EFTRUNC when the block is too short to hold a descriptor.
int restoreSecurityData(const uint8_t* block, const char* name, uint32_t attributes,
                        uint32_t dataLength);

// True when the extra field describes VMS variable-length records.
bool vmsRecordsVariable(EngineState* state, const uint8_t* extra, size_t length);

// Unpacks the data of a VMS attribute block (packing 0 stored, 1 flag bits, 2 a
// compressed field block); a new buffer, or nullptr.
uint8_t* unpackVmsBlock(EngineState* state, const uint8_t* data, size_t length,
                        size_t* unpackedLength);

// Produces n bytes from a bit stream: 0 gives a zero byte, 1 and 8 bits give a byte.
void expandFlagBits(const uint8_t* source, size_t sourceLength, uint8_t* target, size_t n);
