#include "tools/szdd/compress_stream.h"

#include <string.h>

#include <algorithm>
#include <thread>

#include "common/format/szdd.h"

struct SzddStreamCompressor::Block {
  std::vector<uint8_t> buf;  // the window before the block (kSzddWindowSize bytes), then the block
  std::vector<uint32_t> items;
  SzddParseScratch scratch;
  std::thread worker;
};

namespace {
const size_t kFlushBytes = 1u << 20;
}

SzddStreamCompressor::SzddStreamCompressor(uint32_t expandedLength, const SzddStreamOptions& options, Sink sink)
    : expected_(expandedLength), finder_(options.finder), sink_(std::move(sink)) {
  unsigned t = options.threads ? options.threads : std::thread::hardware_concurrency();
  threads_ = std::max(1u, std::min(t, kSzddMaxThreads));
  blockSize_ = std::max<size_t>(1, options.blockSize);
  memset(history_, ' ', sizeof history_);
  writer_.out.resize(kSzddHeaderSize);
  SzddWriteHeader(expandedLength, writer_.out.data());
}

SzddStreamCompressor::~SzddStreamCompressor() {
  for (auto& b : inFlight_) {
    if (b->worker.joinable()) b->worker.join();
  }
}

bool SzddStreamCompressor::Write(const uint8_t* data, size_t size) {
  if (failed_) return false;
  if (size > expected_ - received_) {
    failed_ = true;
    return false;
  }
  received_ += size;
  while (size) {
    if (!filling_) {
      if (!spare_.empty()) {
        filling_ = std::move(spare_.front());
        spare_.pop_front();
      } else {
        filling_.reset(new Block);
      }
      filling_->buf.reserve(kSzddWindowSize + blockSize_ + kSzddParsePadding);
      filling_->buf.assign(history_, history_ + kSzddWindowSize);
    }
    size_t room = kSzddWindowSize + blockSize_ - filling_->buf.size();
    size_t n = std::min(room, size);
    filling_->buf.insert(filling_->buf.end(), data, data + n);
    data += n;
    size -= n;
    if (n == room) {
      Submit();
      if (failed_) return false;
    }
  }
  return true;
}

void SzddStreamCompressor::Submit() {
  Block* b = filling_.get();
  // The next block's window: the last 4096 bytes of the stream so far.
  memcpy(history_, b->buf.data() + b->buf.size() - kSzddWindowSize, kSzddWindowSize);
  size_t size = b->buf.size() - kSzddWindowSize;
  b->buf.resize(b->buf.size() + kSzddParsePadding, 0);
  while (inFlight_.size() >= threads_) {
    if (!Retire()) return;
  }
  SzddMatchFinder finder = finder_;
  b->worker = std::thread(
      [b, size, finder] { SzddParseBlock(b->buf.data(), kSzddWindowSize, size, finder, &b->scratch, &b->items); });
  inFlight_.push_back(std::move(filling_));
}

bool SzddStreamCompressor::Retire() {
  std::unique_ptr<Block> b = std::move(inFlight_.front());
  inFlight_.pop_front();
  b->worker.join();
  // A block's items at once: its stream is at most some 2.3 bytes per item.
  writer_.PutAll(b->items.data(), b->items.size());
  if (writer_.out.size() >= kFlushBytes && !Flush(false)) return false;
  spare_.push_back(std::move(b));
  return true;
}

bool SzddStreamCompressor::Flush(bool all) {
  size_t n = all ? writer_.out.size() : writer_.Final();
  if (!n) return true;
  if (!sink_(writer_.out.data(), n)) {
    failed_ = true;
    return false;
  }
  written_ += n;
  writer_.Drop(n);
  return true;
}

bool SzddStreamCompressor::Finish() {
  if (failed_) return false;
  if (filling_ && filling_->buf.size() > kSzddWindowSize) Submit();
  while (!inFlight_.empty()) {
    if (!Retire()) return false;
  }
  if (!Flush(true)) return false;
  spare_.clear();
  return received_ == expected_;
}
