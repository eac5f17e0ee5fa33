// The system's random source behind a narrow door: Windows CNG in the
// programs (shared/cng_crypto_win.h), a fixed or seeded source in tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // Fills `out` with `count` random bytes; false when the source failed.
  virtual bool Fill(uint8_t* out, size_t count) = 0;
};

}  // namespace corvane
