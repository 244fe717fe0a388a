// The buffer a reader reads a file into, kept for the next reader.
//
// A run reads the chip data, then its input twice, one after the other. Each
// page of fresh memory costs a page fault when it is first written; a buffer
// that the last reader leaves behind costs none. One buffer is kept, and taken
// by the next reader that asks for no more than it holds.
#pragma once

#include <atomic>
#include <cstddef>

namespace tolvek {

class ReadBuffer {
  public:
    // The size of the kept buffer: a 16 KB piece and what a reader needs
    // beyond it.
    static constexpr std::size_t kKeptSize = (1 << 14) + 512;

    explicit ReadBuffer(std::size_t size);
    ~ReadBuffer();
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;

    char* get() const { return data_; }
    char& operator[](std::size_t index) const { return data_[index]; }

  private:
    char* data_;
    bool keepable_;  // of kKeptSize, so that it may be kept
};

}  // namespace tolvek
