// Storage for the mesh tables (huge pages for large blocks) and for the line buffer's text.
#include <sys/mman.h>

#include <array>
#include <new>

#include "mesh/mesh.hpp"

namespace corvath {

namespace {

constexpr size_t kTextBlock = size_t{8} << 20;
constexpr size_t kLargeBlock = size_t{1} << 20;

// Line text comes in classes of 16-byte steps up to 512 bytes; longer texts (rare: only
// unusual files have such lines) go to the general allocator.
constexpr size_t kTextStep = 16;
constexpr size_t kLargestClassBytes = 512;
constexpr size_t kTextClasses = kLargestClassBytes / kTextStep;

struct FreeText {
  FreeText* next;
};

// Free lists per class, and the block that new texts are carved from.
std::array<FreeText*, kTextClasses + 1> freeTexts{};
char* carveAt = nullptr;
char* carveEnd = nullptr;

}  // namespace

void* TableMemory::allocate(size_t bytes) {
  if (bytes < kLargeBlock) return ::operator new(bytes);
  void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) throw std::bad_alloc();
  madvise(memory, bytes, MADV_HUGEPAGE);
  return memory;
}

void TableMemory::release(void* memory, size_t bytes) {
  if (memory == nullptr) return;
  if (bytes < kLargeBlock) {
    ::operator delete(memory);
  } else {
    munmap(memory, bytes);
  }
}

void* LineTextMemory::allocate(size_t bytes) {
  if (bytes > kLargestClassBytes) return ::operator new(bytes);
  const size_t textClass = (bytes + kTextStep - 1) / kTextStep;
  if (FreeText* text = freeTexts[textClass]) {
    freeTexts[textClass] = text->next;
    return text;
  }
  const size_t size = textClass * kTextStep;
  if (static_cast<size_t>(carveEnd - carveAt) < size) {
    // The rest of the old block (less than one text) is left unused.
    carveAt = static_cast<char*>(TableMemory::allocate(kTextBlock));
    carveEnd = carveAt + kTextBlock;
  }
  void* text = carveAt;
  carveAt += size;
  return text;
}

void LineTextMemory::release(void* memory, size_t bytes) {
  if (memory == nullptr) return;
  if (bytes > kLargestClassBytes) {
    ::operator delete(memory);
    return;
  }
  const size_t textClass = (bytes + kTextStep - 1) / kTextStep;
  auto* text = static_cast<FreeText*>(memory);
  text->next = freeTexts[textClass];
  freeTexts[textClass] = text;
}

}  // namespace corvath
