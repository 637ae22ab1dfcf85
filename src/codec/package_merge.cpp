// Package-merge for length-limited prefix codes.
//
// Think of a code length as a number of coins: a symbol of length l contributes 2^-l to the Kraft
// sum, and a prefix code with lengths at most L exists when that sum is at most 1. Give every
// symbol one coin of each denomination 2^-1 .. 2^-L, each coin weighing the symbol's count. A
// symbol's length is the number of its coins chosen, and the cost sum(weight * length) is the
// weight of the chosen coins. The cheapest choice that buys exactly n - 1 units (the Kraft sum of
// a complete code, scaled) is found level by level from the smallest denomination: pair the
// cheapest items of a level into packages worth one coin of the next level, merge them with that
// level's coins, and repeat. At the top, the 2n - 2 cheapest items are taken; every leaf inside a
// taken package gains one coin, that is one bit of length. Each leaf starts with one coin for its
// own top-level occurrence, since all n leaves are among the cheapest 2n - 2 items.
//
// Which of several equal-weight symbols gets the longer code is decided by the order of the
// sorted leaves (a particular quicksort, not stable) and by taking a leaf before a package of the
// same weight; both are part of the encoder's output, so they are kept exactly.
#include "codec/package_merge.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/runtime_errors.h"

namespace vz {

namespace {

constexpr int kMaxSymbols = 286;
constexpr int kMaxListLength = 2 * kMaxSymbols;

struct Leaf {
  int64_t weight;
  int32_t symbol;
};

// Hoare's partition around the middle element, recursing on the left part and looping on the
// right.
void SortByWeight(Leaf* a, int lo, int hi) {
  while (lo < hi) {
    const int64_t pivot = a[(lo + hi) / 2].weight;
    int i = lo - 1;
    int j = hi + 1;
    for (;;) {
      do --j;
      while (a[j].weight > pivot);
      do ++i;
      while (a[i].weight < pivot);
      if (j <= i) break;
      std::swap(a[i], a[j]);
    }
    if (lo < j) SortByWeight(a, lo, j);
    lo = j + 1;
  }
}

}  // namespace

// The lists are kept level by level rather than as a tree of packages. A package of one level
// is the pair of entries 2j and 2j + 1 of the level below, and packages keep their order in the
// merge, so the packages taken from a level are always its first ones, and the entries they
// contain are a prefix of the level below. Walking down from the top, each level's taken prefix
// gives the next one's, and every leaf inside it gains a bit. This counts exactly the leaves
// that opening each taken package recursively would reach.
void GenerateCodeLengths(int max_code_len, std::span<const int32_t> weights,
                         std::span<int32_t> code_lengths, int start_index, Logger* /*log*/) {
  const int n_weights = static_cast<int>(weights.size());
  Check(max_code_len >= 1 && max_code_len <= 15,
        "GenerateCodeLengths: the maximum code length should be in the range 1..15");
  Check(n_weights >= 1 && n_weights <= kMaxSymbols && n_weights < (1 << max_code_len),
        "GenerateCodeLengths: the weight array must have 1..286 elements");
  for (int s = 0; s < n_weights; ++s) code_lengths[static_cast<size_t>(start_index + s)] = 0;

  std::array<Leaf, kMaxSymbols> leaves;
  int n = 0;
  for (int s = 0; s < n_weights; ++s) {
    if (weights[static_cast<size_t>(s)] != 0)
      leaves[static_cast<size_t>(n++)] = {weights[static_cast<size_t>(s)], s};
  }
  if (n == 0) {
    code_lengths[static_cast<size_t>(start_index)] = 1;
    return;
  }
  if (n == 1) {
    code_lengths[static_cast<size_t>(start_index + leaves[0].symbol)] = 1;
    return;
  }
  SortByWeight(leaves.data(), 0, n - 1);

  // entry[level][i]: the sorted leaf at position i of that level's list, or -1 for a package.
  // A sentinel of the largest weight closes both the leaves and the packages. Once a level's
  // list comes out the same as the one below it, every level above repeats it, so those levels
  // share its entries instead of merging again (the usual case when no code reaches the limit).
  constexpr int64_t kEnd = INT64_MAX;
  std::array<std::array<int16_t, kMaxListLength>, 15> entries;
  std::array<const int16_t*, 15> entry;
  std::array<int, 15> length{};
  std::array<int64_t, kMaxSymbols + 1> leaf_weight;
  std::array<int64_t, kMaxListLength> list_weight;      // the current level's list
  std::array<int64_t, kMaxSymbols + 1> package_weight;  // the packages made from it
  for (int i = 0; i < n; ++i) {
    const auto at = static_cast<size_t>(i);
    entries[0][at] = static_cast<int16_t>(i);
    leaf_weight[at] = list_weight[at] = leaves[at].weight;
  }
  leaf_weight[static_cast<size_t>(n)] = kEnd;
  entry[0] = entries[0].data();
  length[0] = n;
  bool settled = false;
  for (int level = 1; level < max_code_len; ++level) {
    const auto at = static_cast<size_t>(level);
    if (settled) {
      entry[at] = entry[at - 1];
      length[at] = length[at - 1];
      continue;
    }
    const int below = length[at - 1];
    const int packages = below / 2;
    for (int p = 0; p < packages; ++p) {
      package_weight[static_cast<size_t>(p)] =
          list_weight[static_cast<size_t>(2 * p)] + list_weight[static_cast<size_t>(2 * p + 1)];
    }
    package_weight[static_cast<size_t>(packages)] = kEnd;
    int16_t* out = entries[at].data();
    const int total = n + packages;
    settled = total == below;
    int a = 0;
    int b = 0;
    for (int k = 0; k < total; ++k) {
      int64_t weight;
      if (leaf_weight[static_cast<size_t>(a)] <= package_weight[static_cast<size_t>(b)]) {
        out[k] = static_cast<int16_t>(a);  // a leaf goes first among equal weights
        weight = leaf_weight[static_cast<size_t>(a++)];
      } else {
        out[k] = -1;
        weight = package_weight[static_cast<size_t>(b++)];
      }
      settled = settled && weight == list_weight[static_cast<size_t>(k)];
      list_weight[static_cast<size_t>(k)] = weight;  // its packages were summed out already
    }
    entry[at] = out;
    length[at] = total;
  }

  int taken = 2 * n - 2;
  Check(length[static_cast<size_t>(max_code_len - 1)] >= taken,
        "GenerateCodeLengths: the package-merge algorithm should always be feasible");
  std::array<int32_t, kMaxSymbols> count;
  std::fill_n(count.begin(), n, 1);  // every leaf's own place in the top list
  for (int level = max_code_len - 1; level > 0; --level) {
    const int16_t* list = entry[static_cast<size_t>(level)];
    int packages = 0;
    for (int i = 0; i < taken; ++i) packages += list[static_cast<size_t>(i)] < 0;
    taken = 2 * packages;
    const int16_t* below = entry[static_cast<size_t>(level - 1)];
    for (int i = 0; i < taken; ++i) {
      if (below[static_cast<size_t>(i)] >= 0)
        ++count[static_cast<size_t>(below[static_cast<size_t>(i)])];
    }
  }
  for (int i = 0; i < n; ++i) {
    code_lengths[static_cast<size_t>(start_index + leaves[static_cast<size_t>(i)].symbol)] =
        count[static_cast<size_t>(i)];
  }
}

}  // namespace vz
