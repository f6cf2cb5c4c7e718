#include "recovery/stripe_codec.h"

#include <isa-l/erasure_code.h>

namespace slicery {
namespace {

// Runs the rows of coefficients `rows` (each data() wide) over `sources`.
void Apply(std::size_t length, int sources, std::vector<unsigned char> rows,
           unsigned char* const* inputs, unsigned char* const* outputs) {
  const int count = static_cast<int>(rows.size()) / sources;
  std::vector<unsigned char> tables(32 * rows.size());
  ec_init_tables(sources, count, rows.data(), tables.data());
  ec_encode_data(static_cast<int>(length), sources, count, tables.data(),
                 const_cast<unsigned char**>(inputs),
                 const_cast<unsigned char**>(outputs));
}

}  // namespace

StripeCodec::StripeCodec(int data, int recovery)
    : data_(data), recovery_(recovery), matrix_((data + recovery) * data) {
  gf_gen_cauchy1_matrix(matrix_.data(), data + recovery, data);
}

void StripeCodec::Encode(std::size_t length, unsigned char* const* blocks, int row,
                         unsigned char* out) const {
  EncodeRows(length, blocks, row, 1, &out);
}

void StripeCodec::EncodeRows(std::size_t length, unsigned char* const* blocks, int first,
                             int count, unsigned char* const* outs) const {
  const auto from = matrix_.begin() + (data_ + first) * data_;
  Apply(length, data_, std::vector<unsigned char>(from, from + count * data_), blocks,
        outs);
}

bool StripeCodec::Rebuild(std::size_t length, unsigned char* const* blocks,
                          const std::vector<bool>& lost) const {
  const int total = data_ + recovery_;
  // The first data() blocks still there, and the matrix rows that made them.
  std::vector<unsigned char*> present, missing;
  std::vector<int> missing_rows;
  std::vector<unsigned char> chosen;
  for (int row = 0; row < total; ++row) {
    if (lost[row]) {
      missing.push_back(blocks[row]);
      missing_rows.push_back(row);
    } else if (static_cast<int>(present.size()) < data_) {
      present.push_back(blocks[row]);
      chosen.insert(chosen.end(), matrix_.begin() + row * data_,
                    matrix_.begin() + (row + 1) * data_);
    }
  }
  if (missing.empty()) return true;
  if (static_cast<int>(present.size()) < data_) return false;
  // The inverse of the chosen rows turns the present blocks into the data;
  // a missing row's coefficients times that inverse turns them into it.
  std::vector<unsigned char> inverse(chosen.size());
  if (gf_invert_matrix(chosen.data(), inverse.data(), data_) != 0) return false;
  std::vector<unsigned char> rows;
  for (const int row : missing_rows) {
    for (int column = 0; column < data_; ++column) {
      unsigned char sum = 0;
      for (int j = 0; j < data_; ++j) {
        sum ^= gf_mul(matrix_[row * data_ + j], inverse[j * data_ + column]);
      }
      rows.push_back(sum);
    }
  }
  Apply(length, data_, std::move(rows), present.data(), missing.data());
  return true;
}

}  // namespace slicery
