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

#include <utility>
#include <vector>

#include "platform/runtime_errors.h"

namespace vz {

namespace {

struct Node {
  int64_t weight;
  int32_t count;   // leaves: code length so far; packages: unused
  int32_t symbol;  // leaves: symbol; packages: -1
  Node* left;
  Node* right;
};

// Hoare's partition around the middle element, recursing on the left part and looping on the
// right.
void SortByWeight(std::vector<Node*>& a, int lo, int hi) {
  while (lo < hi) {
    const int64_t pivot = a[static_cast<size_t>((lo + hi) / 2)]->weight;
    int i = lo - 1;
    int j = hi + 1;
    for (;;) {
      do --j;
      while (a[static_cast<size_t>(j)]->weight > pivot);
      do ++i;
      while (a[static_cast<size_t>(i)]->weight < pivot);
      if (j <= i) break;
      std::swap(a[static_cast<size_t>(i)], a[static_cast<size_t>(j)]);
    }
    if (lo < j) SortByWeight(a, lo, j);
    lo = j + 1;
  }
}

void CountLeaves(Node* node) {
  if (node->symbol >= 0) {
    ++node->count;
    return;
  }
  CountLeaves(node->left);
  CountLeaves(node->right);
}

}  // namespace

void GenerateCodeLengths(int max_code_len, std::span<const int32_t> weights,
                         std::span<int32_t> code_lengths, int start_index, Logger* /*log*/) {
  const int n_weights = static_cast<int>(weights.size());
  Check(max_code_len >= 1 && max_code_len <= 15,
        "GenerateCodeLengths: the maximum code length should be in the range 1..15");
  Check(n_weights >= 1 && n_weights <= 286 && n_weights < (1 << max_code_len),
        "GenerateCodeLengths: the weight array must have 1..286 elements");
  for (int s = 0; s < n_weights; ++s) code_lengths[static_cast<size_t>(start_index + s)] = 0;

  NodeManager nodes(sizeof(Node));
  auto make = [&nodes](int64_t weight, int32_t symbol, Node* left, Node* right) {
    Node* node = static_cast<Node*>(nodes.TakeNode());
    *node = Node{weight, 1, symbol, left, right};
    return node;
  };
  std::vector<Node*> leaves;
  leaves.reserve(static_cast<size_t>(n_weights));
  for (int s = 0; s < n_weights; ++s) {
    if (weights[static_cast<size_t>(s)] != 0) {
      leaves.push_back(make(weights[static_cast<size_t>(s)], s, nullptr, nullptr));
    }
  }
  const int n = static_cast<int>(leaves.size());
  if (n == 0) {
    code_lengths[static_cast<size_t>(start_index)] = 1;
    return;
  }
  if (n == 1) {
    code_lengths[static_cast<size_t>(start_index + leaves[0]->symbol)] = 1;
    return;
  }
  SortByWeight(leaves, 0, n - 1);

  std::vector<Node*> list = leaves;
  std::vector<Node*> packages;
  std::vector<Node*> merged;
  for (int level = 1; level < max_code_len; ++level) {
    packages.clear();
    for (size_t i = 0; i + 1 < list.size(); i += 2) {
      packages.push_back(make(list[i]->weight + list[i + 1]->weight, -1, list[i], list[i + 1]));
    }
    merged.clear();
    size_t a = 0;
    size_t b = 0;
    while (a < leaves.size() || b < packages.size()) {
      if (b == packages.size() || (a < leaves.size() && leaves[a]->weight <= packages[b]->weight)) {
        merged.push_back(leaves[a++]);
      } else {
        merged.push_back(packages[b++]);
      }
    }
    std::swap(list, merged);
  }
  const size_t taken = static_cast<size_t>(2 * n - 2);
  Check(list.size() >= taken,
        "GenerateCodeLengths: the package-merge algorithm should always be feasible");
  for (size_t i = 0; i < taken; ++i) {
    if (list[i]->symbol < 0) CountLeaves(list[i]);
  }
  for (Node* leaf : leaves) {
    code_lengths[static_cast<size_t>(start_index + leaf->symbol)] = leaf->count;
  }
}

}  // namespace vz
