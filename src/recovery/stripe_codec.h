// Reed-Solomon erasure coding over GF(2^8) of one stripe: the blocks at the
// same place in each of k data chunks, and the N recovery blocks computed
// from them. Any k of the k + N blocks give back the others. The coding is
// ISA-L's, with a Cauchy matrix whose first k rows are the identity.
#pragma once

#include <cstddef>
#include <vector>

namespace slicery {

// Data blocks plus recovery blocks of one stripe: at most 255.
inline constexpr int kMaxStripeBlocks = 255;
inline constexpr int kMaxRecoveryDisks = 16;

class StripeCodec {
 public:
  // `data` data blocks and `recovery` recovery blocks per stripe; their sum is
  // at most kMaxStripeBlocks, and each is at least 1.
  StripeCodec(int data, int recovery);

  int data() const { return data_; }
  int recovery() const { return recovery_; }

  // Computes recovery block `row` (0 to recovery - 1) of the `length`-byte
  // data blocks `blocks` (data() of them) into `out`.
  void Encode(std::size_t length, unsigned char* const* blocks, int row,
              unsigned char* out) const;
  // Computes recovery blocks `first` to `first + count - 1` at once into
  // `outs`, one per row, as Encode does each.
  void EncodeRows(std::size_t length, unsigned char* const* blocks, int first, int count,
                  unsigned char* const* outs) const;

  // Rebuilds, in place, the blocks marked in `lost` among `blocks`: data()
  // data blocks followed by recovery() recovery blocks, each `length` bytes.
  // False, with nothing changed, when more than recovery() are lost.
  bool Rebuild(std::size_t length, unsigned char* const* blocks,
               const std::vector<bool>& lost) const;

 private:
  int data_, recovery_;
  std::vector<unsigned char> matrix_;  // (data + recovery) rows of data columns
};

}  // namespace slicery
