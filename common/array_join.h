// Arrays joined at compile time: a table made of runs that several tables share, so that each
// run is written once. The element type is named, the runs are arrays or braced lists:
//
//   constexpr auto kOrder = join_arrays<ReplyItem>({{"chnid", ReplyItem::kChannel}}, kSharedRun);
#pragma once

#include <array>
#include <cstddef>

template <class T, size_t... N>
constexpr std::array<T, (N + ...)> join_arrays(const T (&... runs)[N]) {
  std::array<T, (N + ...)> out{};
  size_t at = 0;
  auto append = [&](const auto& run) {
    for (const T& item : run) out[at++] = item;
  };
  (append(runs), ...);
  return out;
}
