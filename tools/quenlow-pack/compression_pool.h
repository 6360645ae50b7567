/*
 * Deflates whole files on all cores for the ZIP writer. Jobs are taken in the writer's
 * order; a job starts only while the memory held by started but not yet released jobs
 * (each file's bytes and room for its compressed copy) stays under a budget, except that
 * one job always may run, so the writer, which releases jobs in order, never waits on a
 * job that cannot start.
 */
#ifndef QUENLOW_PACK_COMPRESSION_POOL_H
#define QUENLOW_PACK_COMPRESSION_POOL_H

#include <cstdint>
#include <string>
#include <vector>

// Files up to this size are read whole and deflated in memory by the pool; larger ones
// are streamed by the writer. Twice this (a file and its compressed copy) fits the budget.
constexpr uint64_t kWholeFileLimit = uint64_t(256) << 20;

struct CompressedFile {
    bool failed = false;
    std::string error;
    std::vector<unsigned char> data; // deflated, or the file itself when that is not larger
    bool deflated = false;
    uint32_t crc = 0;
    uint64_t size = 0;               // bytes read
};

struct CompressionJob {
    std::string path;
    uint64_t size = 0;
};

struct CompressionPool;

CompressionPool* startCompression(std::vector<CompressionJob> jobs);
// Waits until job `index` is done; the jobs must be awaited and released in order.
const CompressedFile& awaitCompressed(CompressionPool* pool, size_t index);
void releaseCompressed(CompressionPool* pool, size_t index);
// Stops the workers (those still busy finish their file) and frees the pool.
void stopCompression(CompressionPool* pool);

#endif
