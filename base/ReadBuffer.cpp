#include "base/ReadBuffer.h"

namespace tolvek {

namespace {
// The buffer left by the last reader, or null; readers may run in any thread.
std::atomic<char*> g_kept{nullptr};
}  // namespace

ReadBuffer::ReadBuffer(std::size_t size) : data_(nullptr), keepable_(size <= kKeptSize) {
    if (keepable_) {
        data_ = g_kept.exchange(nullptr);
    }
    if (data_ == nullptr) {
        data_ = new char[keepable_ ? kKeptSize : size];
    }
}

ReadBuffer::~ReadBuffer() {
    char* expected = nullptr;
    if (!keepable_ || !g_kept.compare_exchange_strong(expected, data_)) {
        delete[] data_;
    }
}

}  // namespace tolvek
