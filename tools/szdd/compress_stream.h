#pragma once
// The streaming SZDD compressor (host only): the data arrive in pieces, the stream leaves in
// pieces, and memory stays bounded whatever the length.
//
// The data are cut into blocks. Each block is parsed optimally on a thread of its own, seeing
// the 4096 bytes before it as the expander's window will hold them (the initial spaces before
// the stream's start); the parses are joined in order, flag-byte groups running on across
// block borders. At most `threads` blocks are parsed at once and one more is being filled,
// so memory is some 12 bytes per block byte per block in flight.
#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <functional>
#include <memory>

#include "tools/szdd/compress.h"

const size_t kSzddDefaultBlockSize = 2u << 20;
const unsigned kSzddMaxThreads = 8;  // keeps memory within some 250 MB with the default blocks

struct SzddStreamOptions {
  unsigned threads = 0;                     // 0: one per core (at most kSzddMaxThreads)
  size_t blockSize = kSzddDefaultBlockSize;  // at least 1
  SzddMatchFinder finder = SzddMatchFinder::kBinaryTree;
};

class SzddStreamCompressor {
 public:
  // Receives the stream in order; false stops the compressor.
  typedef std::function<bool(const uint8_t* data, size_t size)> Sink;

  // The header, which states expandedLength, goes to the sink at once.
  SzddStreamCompressor(uint32_t expandedLength, const SzddStreamOptions& options, Sink sink);
  ~SzddStreamCompressor();  // waits for the parses still running
  SzddStreamCompressor(const SzddStreamCompressor&) = delete;
  SzddStreamCompressor& operator=(const SzddStreamCompressor&) = delete;

  // The next data bytes. False when the sink has failed or more than expandedLength bytes came.
  bool Write(const uint8_t* data, size_t size);
  // Parses and writes what is left. False when the sink has failed or the data came short of
  // expandedLength.
  bool Finish();

  uint64_t compressedSize() const { return written_; }

 private:
  struct Block;
  void Submit();
  bool Retire();  // waits for the oldest block in flight and writes its items
  bool Flush(bool all);

  uint32_t expected_;
  uint64_t received_ = 0, written_ = 0;
  unsigned threads_;
  size_t blockSize_;
  SzddMatchFinder finder_;
  Sink sink_;
  bool failed_ = false;
  uint8_t history_[4096];  // the window before the block being filled
  std::unique_ptr<Block> filling_;
  std::deque<std::unique_ptr<Block>> inFlight_;
  std::deque<std::unique_ptr<Block>> spare_;
  SzddItemWriter writer_;
};
